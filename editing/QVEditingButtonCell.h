// A text button of the editing-controls panel: its title in the bold 17-point system font,
// centred in a 26-point column, dark on a light face, light on a dark face while pressed, and a
// fixed grey whenever the button is disabled. Main thread only.
#pragma once

#include <QAbstractButton>
#include <QColor>

class QVEditingButtonCell : public QAbstractButton {
public:
    // Side of every panel button, in points (the panel's points are device-independent pixels).
    static constexpr int kSide = 26;
    // Size of the bold title font, in points.
    static constexpr int kTitlePointSize = 17;

    explicit QVEditingButtonCell(const QString& title, QWidget* parent = nullptr);

    // Vertical shift of the title in points: brackets sit a little higher than the other marks.
    static double titleNudge(const QString& title);
    static QFont titleFont();
    // Title colours: normal, while pressed (the alternate title), and disabled.
    static QColor normalTitleColor() { return QColor::fromRgbF(0.25, 0.25, 0.25); }
    static QColor alternateTitleColor() { return QColor::fromRgbF(0.88, 0.88, 0.88); }
    static QColor disabledTitleColor() { return QColor::fromRgbF(0.515, 0.515, 0.515); }
    // The colour the title is drawn in now.
    QColor titleColor() const;

    QSize sizeHint() const override { return {kSide, kSide}; }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The face every panel button draws behind its title or image: light, dark while pressed or
// switched on.
void paintEditingButtonFace(QPainter& painter, const QRectF& rect, bool dark);
