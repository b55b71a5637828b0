#include "speakers/SpeakerPanelRow.h"

#include "speakers/SpeakerColorButton.h"
#include "speakers/SpeakerNameText.h"
#include "speakers/SpeakerRowGeometry.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

namespace qv::speakers {

namespace {
const QRect kTagRect(5, 5, 175, 25);
const QRect kFieldRect(15, 5, 160, 25);
const QRect kColorButtonRect(185, 5, 25, 25);
// The smallest type a range count is set in, pixels.
constexpr int kSmallestCountPixels = 6;
}  // namespace

SpeakerPanelRow::SpeakerPanelRow(SpeakersPanel& panel, QWidget* parent)
    : QWidget(parent), panel_(panel), name_(new QLineEdit(this)), colorButton_(new SpeakerColorButton(this))
{
    resize(kWidth, kHeight);
    name_->setGeometry(kFieldRect);
    name_->setFrame(false);
    name_->setFont(boldSystemFont(13));
    QPalette field = name_->palette();
    field.setColor(QPalette::Base, Qt::transparent);
    field.setColor(QPalette::Text, Qt::white);
    field.setColor(QPalette::Highlight, QColor(128, 128, 128));
    field.setColor(QPalette::HighlightedText, Qt::white);
    name_->setPalette(field);
    name_->installEventFilter(this);
    connect(name_, &QLineEdit::editingFinished, this, [this] { panel_.nameEditEnded(*this, name_->text()); });

    colorButton_->setGeometry(kColorButtonRect);
    connect(colorButton_, &QAbstractButton::clicked, this, [this] { panel_.editSpeakerColor(*this); });
}

QString SpeakerPanelRow::nameText() const
{
    return name_->text();
}

void SpeakerPanelRow::setNameText(const QString& text)
{
    // The field holds one line; a stored name with line breaks shows them as blanks.
    name_->setText(singleLineName(text));
    name_->setCursorPosition(0);
}

void SpeakerPanelRow::setRangeCount(std::int64_t count, const RangeCountStyle& style)
{
    const QString text = QString::number(count);
    QFont font = boldSystemFont(style.fontPoints);
    font.setLetterSpacing(QFont::AbsoluteSpacing, -0.5);
    // Four digits and more are made smaller until they fit the button.
    while (font.pixelSize() > kSmallestCountPixels
           && QFontMetricsF(font).horizontalAdvance(text) > kColorButtonRect.width() - 2)
        font.setPixelSize(font.pixelSize() - 1);
    colorButton_->setFont(font);
    colorButton_->setCaptionOffset(style.verticalOffset + 1);
    colorButton_->setText(text);
}

void SpeakerPanelRow::setColor(const QColor& color)
{
    color_ = color;
    colorButton_->setButtonColor(color);
    update();
}

void SpeakerPanelRow::setEditable(bool editable)
{
    name_->setReadOnly(!editable);
    name_->setFocusPolicy(editable ? Qt::StrongFocus : Qt::NoFocus);
    colorButton_->setEnabled(editable);
}

void SpeakerPanelRow::beginEditingName()
{
    name_->setFocus(Qt::OtherFocusReason);
    name_->selectAll();
}

void SpeakerPanelRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(speakerNameTagPath(QRectF(kTagRect)), color_);
}

bool SpeakerPanelRow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == name_ && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        panel_.nameEditCancelled(*this);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace qv::speakers
