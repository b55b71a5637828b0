#include "speakers/SpeakersPanelView.h"

#include "speakers/SpeakerColorButton.h"
#include "speakers/SpeakerColorPopover.h"
#include "speakers/SpeakerPanelRow.h"
#include "speakers/SpeakersController.h"

#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QScrollBar>

namespace qv::speakers {

SpeakersPanelView::SpeakersPanelView(SpeakersController& controller, QWidget* parent)
    : QScrollArea(parent), c_(controller), content_(new QWidget)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content_->resize(SpeakerPanelRow::kWidth, 0);
    setWidget(content_);
    setWidgetResizable(false);
    setMinimumWidth(SpeakerPanelRow::kWidth + verticalScrollBar()->sizeHint().width());
    c_.panel().setTable(this);
}

SpeakersPanelView::~SpeakersPanelView()
{
    c_.panel().setTable(nullptr);
}

SpeakerPanelRow* SpeakersPanelView::row(int index) const
{
    return index >= 0 && index < static_cast<int>(rows_.size()) ? rows_[static_cast<std::size_t>(index)] : nullptr;
}

SpeakerPanelCell* SpeakersPanelView::cellForRow(int index, bool)
{
    return row(index);
}

SpeakerPanelRow* SpeakersPanelView::makeRow(int index)
{
    auto* made = new SpeakerPanelRow(c_.panel(), content_);
    made->move(0, index * SpeakerPanelRow::kHeight);
    c_.panel().fillCell(*made, index);
    made->show();
    return made;
}

void SpeakersPanelView::reloadData()
{
    // Rows are reused, as a table reuses its cells: only the missing ones are made.
    const int count = static_cast<int>(c_.panel().speakersList().size());
    while (numberOfRows() > count) {
        delete rows_.back();
        rows_.pop_back();
    }
    for (int i = 0; i < numberOfRows(); ++i)
        c_.panel().fillCell(*rows_[static_cast<std::size_t>(i)], i);
    for (int i = numberOfRows(); i < count; ++i)
        rows_.push_back(makeRow(i));
    layoutRows();
}

void SpeakersPanelView::endUpdates()
{
    if (updating_ > 0)
        --updating_;
    if (updating_ == 0)
        layoutRows();
}

void SpeakersPanelView::insertRow(int index)
{
    index = std::clamp(index, 0, numberOfRows());
    SpeakerPanelRow* made = makeRow(index);
    // A new row comes down from the row above it.
    made->move(0, std::max(0, index - 1) * SpeakerPanelRow::kHeight);
    rows_.insert(rows_.begin() + index, made);
    if (updating_ == 0)
        layoutRows();
}

void SpeakersPanelView::removeRow(int index)
{
    if (!row(index))
        return;
    delete rows_[static_cast<std::size_t>(index)];
    rows_.erase(rows_.begin() + index);
    if (updating_ == 0)
        layoutRows();
}

void SpeakersPanelView::moveRow(int from, int to)
{
    if (!row(from) || !row(to))
        return;
    SpeakerPanelRow* moved = rows_[static_cast<std::size_t>(from)];
    rows_.erase(rows_.begin() + from);
    rows_.insert(rows_.begin() + to, moved);
    if (updating_ == 0)
        layoutRows();
}

void SpeakersPanelView::layoutRows()
{
    content_->resize(SpeakerPanelRow::kWidth, numberOfRows() * SpeakerPanelRow::kHeight);
    for (int i = 0; i < numberOfRows(); ++i) {
        SpeakerPanelRow* shown = rows_[static_cast<std::size_t>(i)];
        const QPoint target(0, i * SpeakerPanelRow::kHeight);
        if (shown->pos() == target)
            continue;
        if (!animated_) {
            shown->move(target);
            continue;
        }
        auto* slide = new QPropertyAnimation(shown, "pos", shown);
        slide->setDuration(kSlideMilliseconds);
        slide->setEndValue(target);
        slide->setEasingCurve(QEasingCurve::OutCubic);
        slide->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

void SpeakersPanelView::scrollRowToVisible(int index)
{
    if (row(index))
        ensureVisible(0, index * SpeakerPanelRow::kHeight + SpeakerPanelRow::kHeight / 2, 0, SpeakerPanelRow::kHeight / 2);
}

void SpeakersPanelView::showColorPopover(int index)
{
    SpeakerPanelRow* shown = row(index);
    if (!shown)
        return;
    if (!popover_) {
        popover_ = new SpeakerColorPopover([this](const QString& name) { return c_.records().colorForColorName(name); },
                                           [this](int tag) { c_.panel().changePopoverSpeakerToColorName(colorNameForTag(tag)); },
                                           this);
    }
    popover_->showBeside(shown->colorButton());
}

void SpeakersPanelView::closeColorPopover()
{
    if (popover_)
        popover_->hide();
}

void SpeakersPanelView::keyPressEvent(QKeyEvent* event)
{
    // Keys belong to the window around the panel: the list neither moves a selection nor
    // scrolls on them.
    event->ignore();
}

}  // namespace qv::speakers
