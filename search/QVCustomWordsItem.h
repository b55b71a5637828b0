// One custom word as a small grey tile: lighter under the mouse, white while selected, a short
// flash when clicked, and on hover the lists that hold the word as its tooltip. Mouse presses go
// on to the collection view that holds it.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>

class QVariantAnimation;

namespace qv::search {

class QVCustomWordsItem final : public QWidget {
public:
    static const QColor kRestColor;
    static const QColor kHoverColor;
    static const QColor kSelectedColor;
    static constexpr int kHeight = 16;

    struct Host {
        // The tooltip to show for a word, or nothing when it shows none.
        std::function<QString(const QString& word)> tooltipForWord;
        // The hover colours apply (not view-only, not in edit mode).
        std::function<bool()> hoverColors;
    };

    QVCustomWordsItem(const QString& word, const Host* host, QWidget* parent);

    // The word's width in the tiles' font, rounded up, plus 10, by 16.
    static QSize sizeForWord(const QString& word);
    static QFont tileFont();

    const QString& word() const { return word_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    QColor backgroundColor() const { return color_; }
    // The clicked tile's flash: from white to 200, 200, 200 over 0.4 s.
    void flash();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void animateTo(const QColor& color, int milliseconds);

    QString word_;
    const Host* host_;
    bool selected_ = false;
    QColor color_ = kRestColor;
    QVariantAnimation* animation_;
};

}  // namespace qv::search
