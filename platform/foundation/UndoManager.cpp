#include "UndoManager.h"

#include "Log.h"

namespace qv {

UndoManager::UndoManager(Dispatcher& dispatcher) : self_(std::make_shared<UndoManager*>(this))
{
    dispatcher.addTurnEndObserver([weak = std::weak_ptr<UndoManager*>(self_)] {
        if (auto self = weak.lock())
            (*self)->closeOpenStep();
    });
}

UndoManager::~UndoManager() = default;

void UndoManager::registerUndo(Task inverse)
{
    if (mode_ != Mode::Normal) {
        replayStep_.inverses.push_back(std::move(inverse));
        return;
    }
    stepOpen_ = true;
    openStep_.inverses.push_back(std::move(inverse));
    redoStack_.clear();
}

void UndoManager::beginUndoGrouping()
{
    if (mode_ != Mode::Normal)
        return;
    stepOpen_ = true;
    ++groupingLevel_;
}

void UndoManager::endUndoGrouping()
{
    if (mode_ != Mode::Normal)
        return;
    if (groupingLevel_ == 0) {
        logWarning("UndoManager: endUndoGrouping without a matching beginUndoGrouping");
        return;
    }
    --groupingLevel_;
}

void UndoManager::setActionName(const QString& name)
{
    if (mode_ != Mode::Normal) {
        replayStep_.name = name;
        return;
    }
    // A name set before the first registration of the turn still names the turn's step.
    stepOpen_ = true;
    openStep_.name = name;
}

void UndoManager::closeOpenStep()
{
    if (!stepOpen_)
        return;
    if (groupingLevel_ > 0)
        logWarning("UndoManager: a turn ended inside an explicit undo group; closing it");
    groupingLevel_ = 0;
    stepOpen_ = false;
    Step step = std::move(openStep_);
    openStep_ = Step{};
    if (!step.inverses.empty())
        undoStack_.push_back(std::move(step));
}

UndoManager::Step UndoManager::replay(Step step, Mode mode)
{
    struct Restore {
        UndoManager& manager;
        ~Restore() { manager.mode_ = Mode::Normal; }
    } restore{*this};

    mode_ = mode;
    replayStep_ = Step{{}, step.name};
    for (auto it = step.inverses.rbegin(); it != step.inverses.rend(); ++it)
        (*it)();
    Step collected = std::move(replayStep_);
    replayStep_ = Step{};
    return collected;
}

void UndoManager::undo()
{
    replayNewest(undoStack_, redoStack_, Mode::Undoing);
}

void UndoManager::redo()
{
    replayNewest(redoStack_, undoStack_, Mode::Redoing);
}

void UndoManager::replayNewest(std::vector<Step>& from, std::vector<Step>& to, Mode mode)
{
    if (mode_ != Mode::Normal) {
        logWarning("UndoManager: undo or redo requested while one is running");
        return;
    }
    closeOpenStep();
    if (from.empty())
        return;
    Step step = std::move(from.back());
    from.pop_back();
    Step inverse = replay(std::move(step), mode);
    if (!inverse.inverses.empty())
        to.push_back(std::move(inverse));
}

bool UndoManager::canUndo() const
{
    return !undoStack_.empty() || !openStep_.inverses.empty();
}

QString UndoManager::undoActionName() const
{
    if (!openStep_.inverses.empty())
        return openStep_.name;
    return undoStack_.empty() ? QString() : undoStack_.back().name;
}

QString UndoManager::redoActionName() const
{
    return redoStack_.empty() ? QString() : redoStack_.back().name;
}

void UndoManager::removeAllActions()
{
    undoStack_.clear();
    redoStack_.clear();
    openStep_ = Step{};
    stepOpen_ = false;
    groupingLevel_ = 0;
}

}  // namespace qv
