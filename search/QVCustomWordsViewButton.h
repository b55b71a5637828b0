// The custom words panel's two list toggles, File (tag 0) and Account (tag 1): each shows or
// hides its list, and takes tiles dropped on it as a copy into its list. The dropped text is not
// read: the words copied are the tiles the panel is dragging.
#pragma once

#include <QToolButton>

#include <functional>

namespace qv::search {

class QVCustomWordsViewButton final : public QToolButton {
public:
    static constexpr int kFileTag = 0;
    static constexpr int kAccountTag = 1;

    QVCustomWordsViewButton(const QString& title, int tag, std::function<void(int tag)> dropped, QWidget* parent);
    int tag() const { return tag_; }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    int tag_;
    std::function<void(int tag)> dropped_;
};

}  // namespace qv::search
