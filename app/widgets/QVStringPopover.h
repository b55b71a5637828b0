// A transient popover showing a wrapped text beside a rectangle of a view: it takes no keyboard
// focus (the user keeps typing in the field it explains) and closes when the user clicks
// anywhere outside it. Closing only hides it; whoever keeps it deletes it.
#pragma once

#include <QColor>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QWidget>

class QLabel;

class QVStringPopover : public QWidget {
public:
    // The side of the anchor rectangle the popover stands on.
    enum class Edge { Left, Right, Top, Bottom };

    // Each shows a new popover at once and returns it; the text wraps at `wrapWidth` points.
    static QVStringPopover* showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                               const QString& string, float wrapWidth);
    static QVStringPopover* showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                               const QString& string, const QColor& stringColor, float wrapWidth);
    static QVStringPopover* showRelativeToRect(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                               const QString& string, bool centered, float wrapWidth);
    // Rich text (HTML) shown with its own styling; a null text gives an empty popover.
    static QVStringPopover* showRelativeToRectAttributed(const QRect& rect, QWidget* ofView, Edge preferredEdge,
                                                         const QString& attributedString, float wrapWidth);

    // The content's size: the text's measured width + 22 by its height + 10.
    QSize contentSize() const { return contentSize_; }
    QString text() const;
    // Hides the popover; it stays alive for its keeper.
    void closePopover();
    bool isShown() const { return isVisible(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QVStringPopover(QWidget* ofView, const QString& text, Qt::TextFormat format, Qt::Alignment alignment,
                    const QColor& color, float wrapWidth);
    void place(const QRect& rect, QWidget* ofView, Edge edge);

    QLabel* field_;
    QSize contentSize_;
};
