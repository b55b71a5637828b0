#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/UndoManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv {
namespace {

// A tiny document whose edits register their inverses the way the editing commands do: the
// inverse re-applies the old value through the same command, which registers the redo.
struct Document {
    UndoManager& undo;
    std::string text;
    std::vector<std::string> seen;  // what the inverses saw of isUndoing / isRedoing

    void set(const std::string& value, const QString& name = {})
    {
        std::string old = text;
        text = value;
        undo.registerUndo([this, old] {
            seen.push_back(undo.isUndoing() ? "undoing" : undo.isRedoing() ? "redoing" : "plain");
            set(old);
        });
        if (!name.isEmpty())
            undo.setActionName(name);
    }
};

class UndoManagerTest : public ::testing::Test {
protected:
    ManualDispatcher main;
    UndoManager undo{main};
    Document doc{undo, "a", {}};

    // One dispatched event: what `handler` registers forms one step.
    template <class F>
    void event(F handler)
    {
        main.async(handler);
        main.drain();
    }
};

TEST_F(UndoManagerTest, RegistrationsOfOneEventFormOneStepWithNestedGroupsFolded)
{
    event([&] {
        doc.set("b");
        undo.beginUndoGrouping();
        doc.set("c");
        undo.beginUndoGrouping();
        doc.set("d", "Inner");
        undo.endUndoGrouping();
        undo.endUndoGrouping();
        undo.setActionName("Typing");
    });
    event([&] { doc.set("e", "Delete"); });

    EXPECT_EQ(undo.undoActionName(), "Delete");
    undo.undo();
    EXPECT_EQ(doc.text, "d");
    EXPECT_EQ(undo.undoActionName(), "Typing");  // the name set last in the event
    undo.undo();
    EXPECT_EQ(doc.text, "a");  // the three registrations undone together, last first
    EXPECT_FALSE(undo.canUndo());
}

TEST_F(UndoManagerTest, ActionNameIsCarriedToRedoAndBack)
{
    event([&] { doc.set("b", "Capitalize"); });
    undo.undo();
    EXPECT_EQ(doc.text, "a");
    ASSERT_TRUE(undo.canRedo());
    EXPECT_EQ(undo.redoActionName(), "Capitalize");
    undo.redo();
    EXPECT_EQ(doc.text, "b");
    EXPECT_EQ(undo.undoActionName(), "Capitalize");
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    EXPECT_EQ(undo.redoActionName(), "Capitalize");
}

TEST_F(UndoManagerTest, InversesSeeWhetherTheyRunAsUndoOrRedo)
{
    event([&] { doc.set("b", "Edit"); });
    EXPECT_FALSE(undo.isUndoing());
    undo.undo();
    undo.redo();
    EXPECT_EQ(doc.seen, (std::vector<std::string>{"undoing", "redoing"}));
    EXPECT_FALSE(undo.isUndoing());
    EXPECT_FALSE(undo.isRedoing());
}

TEST_F(UndoManagerTest, RedoStackSurvivesRedoButNotANewAction)
{
    event([&] { doc.set("b", "One"); });
    event([&] { doc.set("c", "Two"); });
    undo.undo();
    undo.undo();
    undo.redo();  // registers an undo while redoing: the remaining redo must stay
    EXPECT_EQ(doc.text, "b");
    ASSERT_TRUE(undo.canRedo());
    EXPECT_EQ(undo.redoActionName(), "Two");
    event([&] { doc.set("x", "Three"); });
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    EXPECT_EQ(doc.text, "b");
}

TEST_F(UndoManagerTest, UnlimitedLevelsUndoInReverseOrder)
{
    for (int i = 0; i < 500; ++i)
        event([&, i] { doc.set(std::to_string(i)); });
    for (int i = 498; i >= 0; --i) {
        undo.undo();
        ASSERT_EQ(doc.text, std::to_string(i));
    }
    undo.undo();
    EXPECT_EQ(doc.text, "a");
    EXPECT_FALSE(undo.canUndo());
}

TEST_F(UndoManagerTest, UndoWithinTheSameEventClosesTheOpenStepFirst)
{
    event([&] { doc.set("b", "One"); });
    event([&] {
        doc.set("c", "Two");
        EXPECT_TRUE(undo.canUndo());
        EXPECT_EQ(undo.undoActionName(), "Two");
        undo.undo();
        EXPECT_EQ(doc.text, "b");
        EXPECT_EQ(undo.redoActionName(), "Two");
    });
    EXPECT_EQ(undo.undoActionName(), "One");
}

TEST_F(UndoManagerTest, StepWhoseInverseChangesNothingIsStillConsumed)
{
    event([&] { doc.set("b", "Rename"); });
    event([&] {
        undo.registerUndo([] {});  // a refused change: the inverse registers nothing
        undo.setActionName("Rename Speaker");
    });
    undo.undo();
    EXPECT_FALSE(undo.canRedo());
    EXPECT_EQ(undo.undoActionName(), "Rename");
    EXPECT_EQ(doc.text, "b");
}

TEST_F(UndoManagerTest, EventsThatRegisterNothingLeaveNoStep)
{
    event([&] { undo.setActionName("Nothing happened"); });
    event([&] {
        undo.beginUndoGrouping();
        undo.endUndoGrouping();
    });
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.undoActionName(), "");
}

TEST_F(UndoManagerTest, RegistrationMadeBeforeTheQueueRunsIsAStepOfItsOwn)
{
    doc.set("b", "Outside");
    event([&] { doc.set("c", "Inside"); });
    undo.undo();
    EXPECT_EQ(doc.text, "b");
    EXPECT_EQ(undo.undoActionName(), "Outside");
    undo.undo();
    EXPECT_EQ(doc.text, "a");
}

TEST_F(UndoManagerTest, RemoveAllActionsEmptiesBothStacksAndTheOpenStep)
{
    event([&] { doc.set("b", "One"); });
    event([&] { doc.set("c", "Two"); });
    undo.undo();
    event([&] {
        doc.set("d");
        undo.removeAllActions();
    });
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(undo.canRedo());
    EXPECT_EQ(undo.undoActionName(), "");
    EXPECT_EQ(undo.redoActionName(), "");
    event([&] { doc.set("e", "Three"); });
    undo.undo();
    EXPECT_EQ(doc.text, "d");
    EXPECT_FALSE(undo.canUndo());
}

TEST_F(UndoManagerTest, UnbalancedGroupIsClosedAtTheEndOfTheTurn)
{
    event([&] {
        undo.beginUndoGrouping();
        doc.set("b", "One");
    });
    event([&] { doc.set("c", "Two"); });
    undo.undo();
    EXPECT_EQ(doc.text, "b");
}

TEST(UndoManagerLifetimeTest, DispatcherMayOutliveTheManager)
{
    ManualDispatcher main;
    {
        UndoManager undo(main);
        main.async([&] { undo.registerUndo([] {}); });
        main.drain();
    }
    main.async([] {});
    EXPECT_EQ(main.drain(), 1);
}

}  // namespace
}  // namespace qv
