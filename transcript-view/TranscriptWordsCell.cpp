#include "transcript-view/TranscriptWordsCell.h"

#include <QResizeEvent>

namespace qv::transcript {

TranscriptWordsCell::TranscriptWordsCell(AppDelegate& ad, Dispatcher& main)
    : textView_(new QVTextView(ad, main, this)), indicator_(new QLabel(QStringLiteral(">"), this))
{
    indicator_->hide();
    applyTextSize(ad);
}

void TranscriptWordsCell::applyTextSize(const AppDelegate& ad)
{
    QFont font = textView_->defaultFont();
    font.setPointSizeF(ad.textSizeDisplay > 0 ? ad.textSizeDisplay : 14);
    textView_->setDefaultFont(font);
    textView_->setLineSpacing(8);
    textView_->setDefaultForeground(ad.defaultTextColor);
    textView_->setSelectedForeground(ad.editingTextColor);
    indicator_->setFont(font);
    indicator_->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(ad.brandColor.name()));
    indicator_->setGeometry(12, 2, 14, static_cast<int>(ad.lineHeightDisplay));
}

void TranscriptWordsCell::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    textView_->setGeometry(kInsetX, kInsetY, std::max(0, width() - 2 * kInsetX), height());
}

}  // namespace qv::transcript
