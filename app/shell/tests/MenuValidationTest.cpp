// The menu validation table, row by row, at the states where its rules differ.
#include "app/shell/MenuValidation.h"

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

MenuState transcriptScreen()
{
    MenuState s;
    s.mode = 2;
    s.hasTranscript = true;
    s.hasSelectedWords = true;
    s.isSimpleFile = true;
    s.speakerRangeCount = 2;
    s.hasFavoriteWord = true;
    return s;
}

MenuState filesScreen()
{
    MenuState s;
    s.mode = 1;
    s.userStatus = 30;
    s.externalServiceStatus = 1;
    s.filesTableHasSelection = true;
    return s;
}

struct Row {
    const char* name;
    const char* action;
    int tag;
    MenuState state;
    bool enabled;
};

// Names the row in test output instead of dumping its bytes.
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name << " (" << row.action << ", tag " << row.tag << ") -> " << (row.enabled ? "enabled" : "disabled");
}

class MenuValidationTable : public ::testing::TestWithParam<Row> {};

TEST_P(MenuValidationTable, DecidesTheItem)
{
    const Row& row = GetParam();
    EXPECT_EQ(validateMenuItem(row.action, row.tag, row.state).enabled, row.enabled);
}

MenuState with(MenuState s, const std::function<void(MenuState&)>& change)
{
    change(s);
    return s;
}

const Row kRows[] = {
    {"CopyWithSelection", "copy:", 0, transcriptScreen(), true},
    {"CopyWhileEditing", "copy:", 0, with(transcriptScreen(), [](MenuState& s) { s.isEditing = true; }), true},
    {"CopyWithoutWords", "copy:", 0, with(transcriptScreen(), [](MenuState& s) { s.hasSelectedWords = false; }), false},
    {"CopyMetadataWhileEditing", "copyWithMetadata:", 0,
     with(transcriptScreen(), [](MenuState& s) { s.isEditing = true; }), false},
    {"CopyMetadata", "copyWithMetadata:", 0, transcriptScreen(), true},
    {"ExportOnTranscript", "exportToSubRip:", 0, transcriptScreen(), true},
    {"ExportOnFilesWithSelection", "exportToSubRip:", 0, filesScreen(), false},
    {"PrintWithoutTranscript", "printTranscript:", 0,
     with(transcriptScreen(), [](MenuState& s) { s.hasTranscript = false; }), false},
    {"FinalCutSimple", "exportToFinalCutProXXML:", 0, transcriptScreen(), true},
    {"FinalCutMulticam", "sendToFinalCutProX:", 0, with(transcriptScreen(), [](MenuState& s) { s.isSimpleFile = false; }),
     false},
    {"ImportVerified", "importMenuPressed:", 0, filesScreen(), true},
    {"ImportUnverified", "importMenuPressed:", 0, with(filesScreen(), [](MenuState& s) { s.userStatus = 29; }), false},
    {"ImportDuringDrop", "importMenuPressed:", 0,
     with(filesScreen(), [](MenuState& s) { s.droppedLibraryInProgress = true; }), false},
    {"ImportServiceDelayed", "importMenuPressed:", 0,
     with(filesScreen(), [](MenuState& s) { s.externalServiceStatus = 0; }), true},
    {"ImportServiceDown", "importMenuPressed:", 0,
     with(filesScreen(), [](MenuState& s) { s.externalServiceStatus = -1; }), false},
    {"LibraryVerified", "importFinalCutProXLibrary:", 0, filesScreen(), true},
    {"LibraryDuringDrop", "importFinalCutProXLibrary:", 0,
     with(filesScreen(), [](MenuState& s) { s.droppedLibraryInProgress = true; }), false},
    {"LibraryServiceDown", "importFinalCutProXLibrary:", 0,
     with(filesScreen(), [](MenuState& s) { s.externalServiceStatus = -1; }), true},
    {"LibraryOnTranscript", "importFinalCutProXLibrary:", 0, transcriptScreen(), false},
    {"CopyAudioConfiguration", "copyAudioConfiguration:", 0, with(filesScreen(), [](MenuState& s) {
         s.pendingSelectedRows = 1;
         s.pendingPanelShowsFile = true;
         s.pendingFileHasMultipleChannels = true;
     }), true},
    {"CopyAudioConfigurationTwoRows", "copyAudioConfiguration:", 0, with(filesScreen(), [](MenuState& s) {
         s.pendingSelectedRows = 2;
         s.pendingPanelShowsFile = true;
         s.pendingFileHasMultipleChannels = true;
     }), false},
    {"PasteAudioConfiguration", "pasteAudioConfiguration:", 0, with(filesScreen(), [](MenuState& s) {
         s.pendingSelectedRows = 3;
         s.pasteboardHasAudioConfiguration = true;
     }), true},
    {"PasteAudioConfigurationEmpty", "pasteAudioConfiguration:", 0,
     with(filesScreen(), [](MenuState& s) { s.pendingSelectedRows = 3; }), false},
    {"FindOnTranscript", "performFindPanelAction:", 1, transcriptScreen(), true},
    {"FindNextOnTranscript", "performFindPanelAction:", kFindNextTag, transcriptScreen(), false},
    {"FindPreviousOnFiles", "performFindPanelAction:", kFindPreviousTag, filesScreen(), false},
    {"FindOnFiles", "performFindPanelAction:", 1, filesScreen(), true},
    {"FindOnLogIn", "performFindPanelAction:", 1, MenuState{}, true},
    {"FindWithoutTranscript", "performFindPanelAction:", 1,
     with(transcriptScreen(), [](MenuState& s) { s.hasTranscript = false; }), false},
    {"RemoveFavorites", "removeFavoriteRanges:", 0, transcriptScreen(), true},
    {"RemoveFavoritesNone", "removeFavoriteRanges:", 0,
     with(transcriptScreen(), [](MenuState& s) { s.hasFavoriteWord = false; }), false},
    {"RemovePunctuationEditing", "removePunctuation:", 0,
     with(transcriptScreen(), [](MenuState& s) { s.isEditing = true; }), false},
    {"RemoveSpeakerRangesTwo", "removeSpeakerRanges:", 0, transcriptScreen(), true},
    {"RemoveSpeakerRangesOne", "removeSpeakerRanges:", 0,
     with(transcriptScreen(), [](MenuState& s) { s.speakerRangeCount = 1; }), false},
    {"ShowFilesOnLogIn", "showFiles:", 0, MenuState{}, false},
    {"ShowFilesOnTranscript", "showFiles:", 0, transcriptScreen(), true},
    {"ShowTranscriptWithSelection", "showTranscript:", 0, filesScreen(), true},
    {"ShowTranscriptWithoutSelection", "showTranscript:", 0,
     with(filesScreen(), [](MenuState& s) { s.filesTableHasSelection = false; }), false},
    {"ToggleOnFiles", "toggleEditingControls:", 0, filesScreen(), false},
    {"ToggleOnTranscript", "toggleNavigationControls:", 0, transcriptScreen(), true},
    {"AnythingElse", "showPreferences:", 0, MenuState{}, true},
};

INSTANTIATE_TEST_SUITE_P(Rows, MenuValidationTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST(MenuValidation, PanelTogglesFollowTheirPreference)
{
    MenuState s = transcriptScreen();
    EXPECT_EQ(validateMenuItem("toggleEditingControls:", 0, s).title, "Hide Editing Controls");
    s.showEditingControls = false;
    EXPECT_EQ(validateMenuItem("toggleEditingControls:", 0, s).title, "Show Editing Controls");
    s.showNavigationControls = false;
    EXPECT_EQ(validateMenuItem("toggleNavigationControls:", 0, s).title, "Show Navigation Controls");
    EXPECT_TRUE(validateMenuItem("copy:", 0, s).title.isEmpty());
}

TEST(MenuValidation, UndoAndRedoNameTheirStepAndAreOffWithNothingToDo)
{
    MenuState s = transcriptScreen();
    for (const char* action : {"undo:", "redo:"}) {
        const MenuItemState item = validateMenuItem(action, 0, s);
        EXPECT_FALSE(item.enabled) << action;
        EXPECT_EQ(item.title, action == std::string("undo:") ? "Undo" : "Redo");
    }
    s.canUndo = true;
    s.undoActionName = "Edit Words";
    EXPECT_TRUE(validateMenuItem("undo:", 0, s).enabled);
    EXPECT_EQ(validateMenuItem("undo:", 0, s).title, "Undo Edit Words");
    s.undoActionName.clear();
    EXPECT_EQ(validateMenuItem("undo:", 0, s).title, "Undo");
    s.canRedo = true;
    s.redoActionName = "Speaker Name";
    EXPECT_EQ(validateMenuItem("redo:", 0, s).title, "Redo Speaker Name");
    // A name left over from a step that is gone is not shown.
    s.canRedo = false;
    EXPECT_EQ(validateMenuItem("redo:", 0, s).title, "Redo");
}

}  // namespace
}  // namespace qv::shell
