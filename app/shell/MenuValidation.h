// Which menu items are enabled, by screen and state, and the titles of the two panel toggles and
// of Undo and Redo (which carry the name of the step they act on).
// Actions are named as the menu items carry them ("copy:", "showFiles:"); an action not in the
// table is always enabled.
#pragma once

#include <QString>

#include <cstdint>

namespace qv::shell {

// The Find Next and Find Previous items of the find menu.
inline constexpr int kFindNextTag = 2;
inline constexpr int kFindPreviousTag = 3;

// What the table reads, gathered from the state record and the windows at validation time.
struct MenuState {
    std::int64_t mode = 0;
    bool hasTranscript = false;
    bool isEditing = false;
    bool hasSelectedWords = false;
    // The open file is one media file, not a multicam, synchronized or compound clip.
    bool isSimpleFile = false;
    bool hasFavoriteWord = false;
    std::size_t speakerRangeCount = 0;
    std::int64_t userStatus = 0;
    bool droppedLibraryInProgress = false;
    std::int64_t externalServiceStatus = 0;
    std::size_t pendingSelectedRows = 0;
    bool pendingPanelShowsFile = false;
    bool pendingFileHasMultipleChannels = false;
    bool pasteboardHasAudioConfiguration = false;
    bool filesTableHasSelection = false;
    bool showEditingControls = true;
    bool showNavigationControls = true;
    // The undo manager the window has now: what it can undo and redo, and the steps' names.
    bool canUndo = false;
    bool canRedo = false;
    QString undoActionName;
    QString redoActionName;
};

struct MenuItemState {
    bool enabled = true;
    // A new title for the item; empty leaves it as it is.
    QString title;
};

MenuItemState validateMenuItem(const QString& action, int tag, const MenuState& state);

}  // namespace qv::shell
