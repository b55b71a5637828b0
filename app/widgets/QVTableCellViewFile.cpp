#include "app/widgets/QVTableCellViewFile.h"

#include "model/QVFile.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// Height of the thumbnail, pixels; its width follows the aspect ratio.
constexpr int kThumbnailHeight = 54;
// Ratio of the placeholder picture and of thumbnails without a usable one.
constexpr double kPlaceholderRatio = 16.0 / 9.0;
const QColor kSelectionColor(0, 99, 225);
// Above this width-to-height ratio a thumbnail is shown at 16:9.
constexpr double kWidestThumbnailRatio = 1.76777778;

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

QImage placeholderImage()
{
    QImage image(160, 90, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(200, 200, 200));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(150, 150, 150));
    const QPointF triangle[] = {{68, 28}, {68, 62}, {98, 45}};
    painter.drawPolygon(triangle, 3);
    return image;
}

QProgressBar* busyIndicator(QWidget* parent)
{
    auto* indicator = new QProgressBar(parent);
    indicator->setRange(0, 0);
    indicator->setTextVisible(false);
    indicator->setFixedSize(60, 6);
    indicator->hide();
    return indicator;
}

}  // namespace

QVFileNameField::QVFileNameField(QWidget* parent) : QLineEdit(parent)
{
    setFrame(false);
    setStyleSheet("QLineEdit { background: transparent; }");
}

void QVFileNameField::beginEditing()
{
    if (editing_)
        return;
    editing_ = true;
    original_ = text();
}

void QVFileNameField::endEditing(TextMovement movement)
{
    if (!editing_)
        return;
    editing_ = false;
    if (movement == kCancel)
        setText(original_);
    if (onEndEditing)
        onEndEditing(movement);
}

void QVFileNameField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (!isReadOnly())
        beginEditing();
}

void QVFileNameField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    endEditing(kOther);
}

void QVFileNameField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && editing_) {
        endEditing(kCancel);
        clearFocus();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && editing_) {
        endEditing(kReturn);
        clearFocus();
        return;
    }
    if (!isReadOnly())
        beginEditing();
    QLineEdit::keyPressEvent(event);
}

QVTableCellViewFile::QVTableCellViewFile(QWidget* parent)
    : QWidget(parent), imageView_(new QLabel(this)), textField_(new QVFileNameField(this)),
      durationDisplay_(new QLabel(this)), detailsDisplay_(new QLabel(this)), fileStatusPopup_(new QComboBox(this)),
      progressIndicator_(busyIndicator(this)), progressIndicatorProcessing_(busyIndicator(this)),
      restoreButton_(new QPushButton(QStringLiteral("Restore"), this))
{
    setAutoFillBackground(false);
    imageView_->setFixedHeight(kThumbnailHeight);
    imageView_->setFixedWidth(int(std::lround(kThumbnailHeight * kPlaceholderRatio)));

    QFont nameFont = textField_->font();
    nameFont.setPointSizeF(nameFont.pointSizeF() + 1);
    nameFont.setBold(true);
    textField_->setFont(nameFont);
    QFont smallFont = durationDisplay_->font();
    smallFont.setPointSizeF(smallFont.pointSizeF() - 1);
    durationDisplay_->setFont(smallFont);
    detailsDisplay_->setFont(smallFont);

    fileStatusPopup_->setFixedWidth(120);
    restoreButton_->setFixedWidth(80);
    restoreButton_->hide();

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addStretch();
    texts->addWidget(textField_);
    auto* line = new QHBoxLayout;
    line->setSpacing(12);
    line->addWidget(durationDisplay_);
    line->addWidget(detailsDisplay_, 1);
    texts->addLayout(line);
    texts->addStretch();

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 6, 14, 6);
    row->setSpacing(12);
    row->addWidget(imageView_);
    row->addLayout(texts, 1);
    row->addWidget(progressIndicator_);
    row->addWidget(progressIndicatorProcessing_);
    row->addWidget(fileStatusPopup_);
    row->addWidget(restoreButton_);

    for (QWidget* part : std::initializer_list<QWidget*>{textField_, imageView_, durationDisplay_, detailsDisplay_})
        part->installEventFilter(this);
    setPlaceholderThumbnail();
    updateTextFieldAppearance(kAppearanceNormal);
}

bool QVTableCellViewFile::eventFilter(QObject* watched, QEvent* event)
{
    const bool onName = watched == textField_;
    if (event->type() == QEvent::MouseButtonPress && (!onName || !emphasized_)) {
        if (onClicked)
            onClicked(this);
        return onName;
    }
    if (event->type() == QEvent::MouseButtonDblClick && !onName) {
        if (onDoubleClicked)
            onDoubleClicked(this);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void QVTableCellViewFile::setBackgroundStyle(bool emphasized)
{
    emphasized_ = emphasized;
    if (emphasized)
        updateTextFieldAppearance(kAppearanceSelected);
    else
        updateTextFieldAppearance(file_ && file_->status > 29 ? kAppearanceNormal : kAppearanceProcessing);
    update();
}

void QVTableCellViewFile::updateTextFieldAppearance(int type)
{
    QColor details;
    double detailsAlpha = 0;
    double nameAlpha = 0;
    QColor name;
    switch (type) {
    case kAppearanceProcessing:
        details = QColor(142, 142, 147);
        detailsAlpha = 0.5;
        nameAlpha = 0.5;
        name = QColor(26, 26, 26);
        break;
    case kAppearanceSelected:
        details = QColor::fromRgbF(0.9f, 0.9f, 0.9f);
        detailsAlpha = 0.8;
        nameAlpha = 1.0;
        name = Qt::white;
        break;
    case kAppearanceNormal:
        details = QColor::fromRgbF(0.25f, 0.25f, 0.25f);
        detailsAlpha = 0.8;
        nameAlpha = 1.0;
        name = QColor(26, 26, 26);
        break;
    default:
        return;
    }
    textAppearance_ = type;
    setTextColor(durationDisplay_, withAlpha(details, detailsAlpha));
    setTextColor(detailsDisplay_, withAlpha(details, detailsAlpha));
    setTextColor(textField_, withAlpha(name, nameAlpha));
}

void QVTableCellViewFile::prepareForReuse()
{
    textField_->endEditing(QVFileNameField::kOther);
    progressIndicator_->hide();
    fileStatusPopup_->clear();
}

double QVTableCellViewFile::aspectRatioForThumbnail(const QImage& image)
{
    if (image.height() == 0)
        return kPlaceholderRatio;
    const double ratio = double(image.width()) / double(image.height());
    return ratio > kWidestThumbnailRatio ? kPlaceholderRatio : ratio;
}

void QVTableCellViewFile::setThumbnail(const QImage& image, double aspectRatio)
{
    thumbnail_ = image;
    aspectRatio_ = aspectRatio;
    imageView_->setFixedWidth(int(std::lround(kThumbnailHeight * aspectRatio)));
    showThumbnail();
}

void QVTableCellViewFile::setPlaceholderThumbnail()
{
    static const QImage placeholder = placeholderImage();
    thumbnail_ = placeholder;
    showThumbnail();
}

void QVTableCellViewFile::setThumbnailAlpha(double alpha)
{
    thumbnailAlpha_ = alpha;
    showThumbnail();
}

void QVTableCellViewFile::showThumbnail()
{
    const QSize size(imageView_->width(), kThumbnailHeight);
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setOpacity(thumbnailAlpha_);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), size), thumbnail_);
    painter.end();
    imageView_->setPixmap(pixmap);
}

void QVTableCellViewFile::setName(const QString& name)
{
    textField_->setText(name);
    textField_->setCursorPosition(0);
    updateNameToolTip();
}

void QVTableCellViewFile::updateNameToolTip()
{
    const QString name = textField_->text();
    const int available = textField_->contentsRect().width() - 4;
    const bool fits = textField_->fontMetrics().horizontalAdvance(name) <= available;
    textField_->setToolTip(fits ? QString() : name);
}

void QVTableCellViewFile::setForbiddenCursor(bool forbidden)
{
    forbiddenCursor_ = forbidden;
    if (forbidden)
        setCursor(Qt::ForbiddenCursor);
    else
        unsetCursor();
}

void QVTableCellViewFile::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), emphasized_ ? kSelectionColor : QColor(Qt::white));
    painter.fillRect(QRect(0, height() - 1, width(), 1), QColor(225, 225, 225));
}

void QVTableCellViewFile::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    updateNameToolTip();
}

void QVTableCellViewFile::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    if (onClicked)
        onClicked(this);
}

void QVTableCellViewFile::mouseDoubleClickEvent(QMouseEvent* event)
{
    QWidget::mouseDoubleClickEvent(event);
    if (onDoubleClicked)
        onDoubleClicked(this);
}
