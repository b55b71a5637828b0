#include "search/QVCustomWordsViewButton.h"

#include <QDragEnterEvent>
#include <QMimeData>

namespace qv::search {

namespace {

bool offersCopyOfText(const QDropEvent* event)
{
    return (event->possibleActions() & Qt::CopyAction) && event->mimeData() && event->mimeData()->hasText();
}

}  // namespace

QVCustomWordsViewButton::QVCustomWordsViewButton(const QString& title, int tag, std::function<void(int tag)> dropped,
                                                 QWidget* parent)
    : QToolButton(parent), tag_(tag), dropped_(std::move(dropped))
{
    setText(title);
    setCheckable(true);
    setAcceptDrops(true);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
}

void QVCustomWordsViewButton::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void QVCustomWordsViewButton::dragMoveEvent(QDragMoveEvent* event)
{
    if (!offersCopyOfText(event)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void QVCustomWordsViewButton::dropEvent(QDropEvent* event)
{
    if (!event->mimeData() || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    dropped_(tag_);
}

}  // namespace qv::search
