// The log-in screen's logo: a mark of sound turning into lines of text, played once as 24 frames
// over 0.8 s when the log-in screen appears, and put back on its first frame afterwards. It paints
// the same mark as the program's icon.
#pragma once

#include <QWidget>

class QVariantAnimation;

namespace qv::shell {

inline constexpr int kLogoFrames = 24;

class LogoView : public QWidget {
public:
    explicit LogoView(QWidget* parent = nullptr);

    // Plays the frames once, from the first to the last, and stays on the last.
    void animate();
    // Back to the first frame.
    void reset();
    int frame() const { return frame_; }

    // Paints the mark at `frame` (0 … 23) into `rect`.
    static void paintMark(QPainter& painter, const QRectF& rect, int frame);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int frame_ = 0;
    QVariantAnimation* animation_ = nullptr;
};

}  // namespace qv::shell
