// A square button filled with a speaker colour, with an optional white caption (the speakers
// panel shows a speaker's range count on it).
#pragma once

#include <QAbstractButton>
#include <QColor>

namespace qv::speakers {

class SpeakerColorButton : public QAbstractButton {
public:
    explicit SpeakerColorButton(QWidget* parent = nullptr);
    QColor buttonColor() const { return color_; }
    void setButtonColor(const QColor& color) { color_ = color, update(); }
    // Moves the caption up (negative) or down from the centre, in pixels.
    void setCaptionOffset(double offset) { captionOffset_ = offset, update(); }
    QSize sizeHint() const override { return {25, 25}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    double captionOffset_ = 0;
};

}  // namespace qv::speakers
