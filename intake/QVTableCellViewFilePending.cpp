#include "intake/QVTableCellViewFilePending.h"

#include "intake/QVProgressBarAnimation.h"
#include "intake/WarningTriangle.h"
#include "model/QVFilePending.h"
#include "platform/foundation/LocalizedString.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpressionValidator>
#include <QStyle>

namespace {

// Steps of the processing bar between 0 and 1.
constexpr int kProgressSteps = 1000;

QProgressBar* makeBar(QWidget* parent, int maximum)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, maximum);
    bar->setTextVisible(false);
    bar->setFixedHeight(8);
    return bar;
}

}  // namespace

QVTableCellViewFilePending::QVTableCellViewFilePending(QWidget* parent)
    : QWidget(parent), imageView_(new QLabel(this)), textField_(new QLineEdit(this)), durationDisplay_(new QLabel(this)),
      detailsDisplay_(new QLabel(this)), timeAndProcessingStatus_(new QLabel(this)), audioErrorDisplay_(new QLabel(this)),
      diarizationPopup_(new QComboBox(this)), languagePopup_(new QComboBox(this)),
      makingWaveformIndicator_(makeBar(this, 0)), processingProgressBar_(makeBar(this, kProgressSteps))
{
    setObjectName(QStringLiteral("FilePendingView"));
    setFixedHeight(kRowHeight);
    imageView_->setFixedSize(80, 45);
    imageView_->setAlignment(Qt::AlignCenter);
    imageView_->setStyleSheet(QStringLiteral("background: black;"));
    textField_->setObjectName(QStringLiteral("name"));
    textField_->setFrame(false);
    // A backslash or a colon cannot be typed into a name.
    textField_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[^\\\\:]*")), textField_));
    textField_->installEventFilter(this);
    durationDisplay_->setObjectName(QStringLiteral("durationDisplay"));
    detailsDisplay_->setObjectName(QStringLiteral("detailsDisplay"));
    timeAndProcessingStatus_->setObjectName(QStringLiteral("timeAndProcessingStatus"));
    timeAndProcessingStatus_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    audioErrorDisplay_->setObjectName(QStringLiteral("audioErrorDisplay"));
    audioErrorDisplay_->setPixmap(warningTrianglePixmap(WarningColour::Red, 16));
    audioErrorDisplay_->hide();
    diarizationPopup_->setObjectName(QStringLiteral("diarizationPopup"));
    diarizationPopup_->addItems({qv::localizedString(QStringLiteral("One speaker")),
                                 qv::localizedString(QStringLiteral("Identify speakers"))});
    languagePopup_->setObjectName(QStringLiteral("languagePopup"));
    makingWaveformIndicator_->setObjectName(QStringLiteral("makingWaveformIndicator"));
    makingWaveformIndicator_->setFixedWidth(40);
    makingWaveformIndicator_->setToolTip(qv::localizedString(QStringLiteral("Analyzing audio")));
    makingWaveformIndicator_->hide();
    processingProgressBar_->setObjectName(QStringLiteral("processingProgressBar"));
    processingProgressBar_->hide();

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 4, 8, 4);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(2);
    grid->addWidget(imageView_, 0, 0, 2, 1);
    grid->addWidget(textField_, 0, 1, 1, 3);
    grid->addWidget(audioErrorDisplay_, 0, 4);
    grid->addWidget(timeAndProcessingStatus_, 0, 5, Qt::AlignRight);
    auto* facts = new QHBoxLayout;
    facts->setSpacing(12);
    facts->addWidget(durationDisplay_);
    facts->addWidget(detailsDisplay_);
    facts->addWidget(makingWaveformIndicator_);
    facts->addStretch(1);
    grid->addLayout(facts, 1, 1, 1, 3);
    grid->addWidget(diarizationPopup_, 1, 4);
    grid->addWidget(languagePopup_, 1, 5);
    grid->addWidget(processingProgressBar_, 1, 1, 1, 5, Qt::AlignVCenter);
    grid->setColumnStretch(3, 1);
    updateTextFieldAppearance(2);
}

void QVTableCellViewFilePending::showProcessing(const QString& status, double progress)
{
    timeAndProcessingStatus_->setText(status);
    timeAndProcessingStatus_->setToolTip({});
    for (QWidget* hidden : std::initializer_list<QWidget*>{diarizationPopup_, durationDisplay_, detailsDisplay_,
                                                           languagePopup_, makingWaveformIndicator_})
        hidden->hide();
    // A bar coming into view starts where it is told; one in view moves there.
    if (processingProgressBar_->isHidden())
        processingProgressBar_->setValue(static_cast<int>(std::clamp(progress, 0.0, 1.0) * kProgressSteps));
    else
        setProgress(progress);
    processingProgressBar_->show();
}

void QVTableCellViewFilePending::setProgress(double progress)
{
    animateToDoubleValue(processingProgressBar_, progress);
}

bool QVTableCellViewFilePending::eventFilter(QObject* watched, QEvent* event)
{
    const bool escapeWhileRenaming = watched == textField_ && !textField_->isReadOnly()
        && event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
    if (!escapeWhileRenaming)
        return QWidget::eventFilter(watched, event);
    // Escape cancels the rename: the field shows the file's name again before it gives up the
    // focus, so that the end of editing stores the name the file already had.
    if (filePending)
        textField_->setText(filePending->name);
    textField_->clearFocus();
    return true;
}

void QVTableCellViewFilePending::updateTextFieldAppearance(int style)
{
    const QString colour = style == 1 ? QStringLiteral("rgb(230,230,230)") : QStringLiteral("rgb(64,64,64)");
    for (QLabel* label : {durationDisplay_, detailsDisplay_, timeAndProcessingStatus_})
        label->setStyleSheet(QStringLiteral("color: %1;").arg(colour));
    textField_->setStyleSheet(QStringLiteral("background: transparent; color: %1;")
                                  .arg(style == 1 ? QStringLiteral("white") : QStringLiteral("black")));
}
