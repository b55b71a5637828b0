// A widget that paints and edits a TextViewModel: lays the text out in blocks of lines (so that
// a keystroke in a long text lays out and paints only a few), draws the stored and temporary
// colours, the selection and the caret, answers character-for-point and
// glyph-rectangle queries, and hands mouse, key and paste events to its owner before acting on
// them itself. Main thread only.
#pragma once

#include "platform/ui/BlockTextLayout.h"
#include "platform/ui/TextViewModel.h"

#include <QTextLayout>
#include <QWidget>

#include <functional>
#include <vector>

namespace qv {

class TextView : public QWidget {
public:
    // Reshapes the rectangles a background colour fills (one per line it covers) before they
    // are drawn. Absent: they are drawn as they are.
    using BackgroundShaper = std::function<std::vector<QRectF>(const std::vector<QRectF>& rects, const QColor& color)>;
    // Mouse hooks take the point in the view's coordinates. A key hook answers true when it
    // handled the key, and the view then does nothing more with it.
    using MouseHook = std::function<void(const QPointF& point)>;
    using MouseUpHook = std::function<bool(const QPointF& point, int clickCount)>;
    using KeyHook = std::function<bool(QKeyEvent* event)>;

    explicit TextView(QWidget* parent = nullptr);

    TextViewModel& model() { return model_; }
    const TextViewModel& model() const { return model_; }

    // Look of text without stored attributes, and the extra space below every line (points).
    void setDefaultFont(const QFont& font);
    const QFont& defaultFont() const { return font_; }
    void setDefaultForeground(const QColor& color) { foreground_ = color; }
    void setLineSpacing(double points);
    // Every line takes exactly `points` (its glyphs at the top) when above 0, in place of its
    // own height and the line spacing: the text's height is then a whole number of lines.
    void setLineHeight(double points);
    // Foreground of selected text; the selection background is the palette's highlight.
    void setSelectedForeground(const QColor& color)
    {
        selectedForeground_ = color;
        invalidateLayout();
    }
    void setCaretHeight(double points) { caretHeight_ = points; }
    void setBackgroundShaper(BackgroundShaper shaper) { backgroundShaper_ = std::move(shaper); }

    // Call after changing the model's text or fonts from outside, so the layout is redone.
    void invalidateLayout();

    // Height of the laid-out text at the view's width (or at `width` when given).
    double usedHeight(double width = -1);
    // The character under `point`; the text's length when the point lies past its end.
    qsizetype characterIndexForPoint(const QPointF& point);
    // Bounding rectangle of the glyphs of `range`, in the view's coordinates; empty for a range
    // outside the text.
    QRectF boundingRectForRange(TextRange range);
    // Rectangles of `range`, one per line it covers.
    std::vector<QRectF> lineRectsForRange(TextRange range);

    void setMouseDownHook(MouseHook hook) { mouseDown_ = std::move(hook); }
    void setMouseDraggedHook(MouseHook hook) { mouseDragged_ = std::move(hook); }
    void setMouseMovedHook(MouseHook hook) { mouseMoved_ = std::move(hook); }
    void setMouseUpHook(MouseUpHook hook) { mouseUp_ = std::move(hook); }
    void setKeyHook(KeyHook hook) { keyHook_ = std::move(hook); }

    // Pasted text: whitespace at both ends is trimmed and every run of whitespace, line feeds
    // included, becomes one blank.
    static QString cleanPastedText(const QString& text);
    // Inserts the cleaned `text` in place of the selection, through the model's refusal hook.
    // Answers whether the change was made.
    bool paste(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // Fonts and colours of the text, the temporary ones and the selection's.
    QList<QTextLayout::FormatRange> formats() const;
    void ensureLayout(double width);
    void moveCaret(qsizetype index, bool extend);

    TextViewModel model_;
    BlockTextLayout layout_;
    bool layoutValid_ = false;
    double layoutWidth_ = -1;
    std::uint64_t layoutRevision_ = 0;
    QFont font_;
    QColor foreground_ = Qt::black;
    QColor selectedForeground_;
    double lineSpacing_ = 0;
    double lineHeight_ = 0;
    double caretHeight_ = 0;
    qsizetype anchor_ = 0;
    BackgroundShaper backgroundShaper_;
    MouseHook mouseDown_;
    MouseHook mouseDragged_;
    MouseHook mouseMoved_;
    MouseUpHook mouseUp_;
    KeyHook keyHook_;
};

}  // namespace qv
