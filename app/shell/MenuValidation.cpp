#include "app/shell/MenuValidation.h"

#include "platform/foundation/LocalizedString.h"

#include <QSet>

namespace qv::shell {

namespace {

// From this account status on, importing is allowed (a verified account).
constexpr std::int64_t kImportUserStatus = 29;

const QSet<QString>& transcriptExports()
{
    static const QSet<QString> actions = {
        "exportToAvidDS:",   "exportToAvidScript:", "exportToiTunesTimedText:", "exportToPDF:",
        "exportToPlainText:", "exportToSubRip:",    "exportToWord:",            "printTranscript:",
    };
    return actions;
}

// "Undo" alone, or followed by the step's name: "Undo Edit Words".
QString undoMenuTitle(const QString& verb, const QString& actionName)
{
    const QString title = localizedString(verb);
    return actionName.isEmpty() ? title : title + QLatin1Char(' ') + actionName;
}

}  // namespace

MenuItemState validateMenuItem(const QString& action, int tag, const MenuState& s)
{
    const bool transcript = s.mode == 2 && s.hasTranscript;
    if (action == "copy:")
        return {transcript && s.hasSelectedWords, {}};
    if (action == "copyAudioConfiguration:")
        return {s.mode == 1 && s.pendingSelectedRows == 1 && s.pendingPanelShowsFile && s.pendingFileHasMultipleChannels,
                {}};
    if (action == "copyWithMetadata:")
        return {transcript && !s.isEditing && s.hasSelectedWords, {}};
    if (transcriptExports().contains(action))
        return {transcript, {}};
    if (action == "exportToFinalCutProXXML:" || action == "sendToFinalCutProX:")
        return {transcript && s.isSimpleFile, {}};
    if (action == "importFinalCutProXLibrary:")
        return {s.mode == 1 && s.userStatus > kImportUserStatus && !s.droppedLibraryInProgress, {}};
    if (action == "importMenuPressed:")
        return {s.mode == 1 && s.userStatus > kImportUserStatus && !s.droppedLibraryInProgress
                    && s.externalServiceStatus >= 0,
                {}};
    if (action == "pasteAudioConfiguration:")
        return {s.mode == 1 && s.pasteboardHasAudioConfiguration && s.pendingSelectedRows > 0, {}};
    if (action == "performFindPanelAction:") {
        if (tag == kFindNextTag || tag == kFindPreviousTag)
            return {false, {}};
        return {s.mode == 2 ? s.hasTranscript : true, {}};
    }
    if (action == "removeFavoriteRanges:")
        return {transcript && !s.isEditing && s.hasFavoriteWord, {}};
    if (action == "removePunctuation:")
        return {transcript && !s.isEditing, {}};
    if (action == "removeSpeakerRanges:")
        return {transcript && !s.isEditing && s.speakerRangeCount > 1, {}};
    if (action == "showFiles:")
        return {s.mode == 1 || s.mode == 2, {}};
    if (action == "showTranscript:")
        return {(s.mode == 1 || s.mode == 2) && s.filesTableHasSelection, {}};
    if (action == "undo:")
        return {s.canUndo, undoMenuTitle(QStringLiteral("Undo"), s.canUndo ? s.undoActionName : QString())};
    if (action == "redo:")
        return {s.canRedo, undoMenuTitle(QStringLiteral("Redo"), s.canRedo ? s.redoActionName : QString())};
    if (action == "toggleEditingControls:")
        return {s.mode == 2, localizedString(s.showEditingControls ? QStringLiteral("Hide Editing Controls")
                                                                   : QStringLiteral("Show Editing Controls"))};
    if (action == "toggleNavigationControls:")
        return {s.mode == 2, localizedString(s.showNavigationControls ? QStringLiteral("Hide Navigation Controls")
                                                                      : QStringLiteral("Show Navigation Controls"))};
    return {true, {}};
}

}  // namespace qv::shell
