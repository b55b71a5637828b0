// Undo and redo of the user's edits. Each edit registers its inverse as a closure; everything
// registered while one event or dispatched task is handled forms one undo step, closed when
// control returns to the dispatcher. Main thread only.
#pragma once

#include "Dispatcher.h"

#include <QString>

#include <memory>
#include <vector>

namespace qv {

class UndoManager {
public:
    // Closes the open step at the end of each of `dispatcher`'s turns. The dispatcher may
    // outlive the manager.
    explicit UndoManager(Dispatcher& dispatcher);
    ~UndoManager();
    UndoManager(const UndoManager&) = delete;
    UndoManager& operator=(const UndoManager&) = delete;

    // Adds `inverse` to the current step. While undoing it goes to the redo step being built,
    // while redoing to the undo step being built; otherwise it joins (or opens) this turn's
    // step and, as a new user action, clears the redo stack. A step's inverses run last first.
    void registerUndo(Task inverse);
    // Explicit groups nest inside this turn's step and fold into it.
    void beginUndoGrouping();
    void endUndoGrouping();
    // Names the current step; the name set last wins. An undone step keeps its name on the
    // redo stack, and a redone one on the undo stack.
    void setActionName(const QString& name);

    // Undoes the newest step (closing the open one first). A step whose inverses register
    // nothing is still consumed; it just leaves nothing to redo.
    void undo();
    void redo();
    bool isUndoing() const { return mode_ == Mode::Undoing; }
    bool isRedoing() const { return mode_ == Mode::Redoing; }
    bool canUndo() const;
    bool canRedo() const { return !redoStack_.empty(); }
    // Empty when there is nothing to undo or the step has no name.
    QString undoActionName() const;
    QString redoActionName() const;
    void removeAllActions();

private:
    struct Step {
        std::vector<Task> inverses;
        QString name;
    };
    enum class Mode { Normal, Undoing, Redoing };

    void closeOpenStep();
    // Runs `step`'s inverses in `mode`, collecting what they register into a step that carries
    // the same name, and returns it.
    Step replay(Step step, Mode mode);
    // Takes the newest step off `from`, replays it and pushes what it registered onto `to`.
    void replayNewest(std::vector<Step>& from, std::vector<Step>& to, Mode mode);

    std::shared_ptr<UndoManager*> self_;  // the dispatcher's observer holds it weakly
    std::vector<Step> undoStack_;
    std::vector<Step> redoStack_;
    bool stepOpen_ = false;
    Step openStep_;
    int groupingLevel_ = 0;
    Mode mode_ = Mode::Normal;
    Step replayStep_;  // what the running inverses register
};

}  // namespace qv
