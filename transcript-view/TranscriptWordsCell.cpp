#include "transcript-view/TranscriptWordsCell.h"

#include "speakers/SpeakerRowGeometry.h"

#include <QApplication>
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
    // A reused cell mostly gets the look it already has: setting it again would restyle the
    // indicator and lay the text out anew for nothing.
    const AppliedLook look{ad.textSizeDisplay, ad.lineHeightDisplay, ad.defaultTextColor, ad.editingTextColor, ad.brandColor};
    if (applied_ == look)
        return;
    applied_ = look;
    applyTextLook(*textView_, ad);
    textView_->setDefaultForeground(ad.defaultTextColor);
    textView_->setSelectedForeground(ad.editingTextColor);
    indicator_->setFont(textView_->defaultFont());
    indicator_->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(ad.brandColor.name()));
    indicator_->resize(14, static_cast<int>(ad.lineHeightDisplay));
    placeSubviews();
}

void TranscriptWordsCell::applyTextLook(qv::TextView& view, const AppDelegate& ad)
{
    QFont font = QApplication::font();
    font.setPointSizeF(ad.textSizeDisplay > 0 ? ad.textSizeDisplay : 14);
    view.setDefaultFont(font);
    view.setLineSpacing(8);
    view.setLineHeight(ad.lineHeightDisplay);
}

void TranscriptWordsCell::placeSubviews()
{
    const int column = static_cast<int>(speakers::transcriptColumnLeft(width()));
    textView_->setGeometry(column + kTextPadding, kInsetY, kTextWidth, height());
    indicator_->move(column - kIndicatorOffset, 2);
}

void TranscriptWordsCell::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeSubviews();
}

}  // namespace qv::transcript
