// The application-wide state record: every model collection, flag and database reference that
// the subsystems share. Behaviour lives in the subsystems' controllers, which reach this record
// through a non-owning `ad`. It needs no window: tests make one as a plain object.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/DatabaseReference.h"
#include "model/QVFile.h"
#include "model/QVFilePending.h"
#include "model/QVOrderedSet.h"
#include "model/QVSpeaker.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "platform/media/MediaTime.h"
#include "platform/rtdb/AuthTypes.h"

#include <QColor>
#include <QMap>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CustomWordsServices;
class EditingServices;
class ModelServices;
class SearchServices;
class SpeakerServices;
class ViewServices;
class QVTextView;
class QVTimecodeReader;
class QVXMLDocument;
class QVXMLElement;
namespace qv {
class UndoManager;
}

struct OSVersion {
    std::int64_t majorVersion = 0;
    std::int64_t minorVersion = 0;
    std::int64_t patchVersion = 0;
};

class AppDelegate {
public:
    AppDelegate() = default;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // What the model calls of the other subsystems (view, playback, intake, shell); not owned.
    ModelServices* modelServices = nullptr;
    // What the subsystems call of each other: editing, speakers, the transcript view; not owned.
    EditingServices* editingServices = nullptr;
    SpeakerServices* speakerServices = nullptr;
    ViewServices* viewServices = nullptr;
    // The search panel; none until the shell makes it.
    SearchServices* searchServices = nullptr;
    // The custom words panel; none until the shell makes it.
    CustomWordsServices* customWordsServices = nullptr;

    // Workers.
    // Timecode readers kept alive while they read; each removes itself when done.
    QVOrderedSet<QVTimecodeReader> timecodeReaders;

    // Account and connection.
    // The signed-in account; none when signed out. Its uid keys the account, statistics and
    // presence paths.
    std::optional<qv::User> currentUser;
    bool isLoggedIn = false;
    bool hasCheckedAuthOnLaunch = false;
    bool hasLoggedSessionStats = false;
    // Handle of the authentication-state listener; 0 for none.
    std::uint64_t authStateListenerHandle = 0;
    // 10 at sign-up; below 30 importing and transcribing are refused; 0 when signed out.
    std::int64_t userStatus = 0;
    // Minutes balance of the account.
    std::int64_t userBalance = 0;
    // The service marks the account as one whose minutes do not run out: the balance is shown
    // as unlimited instead of its figure.
    bool userBalanceUnlimited = false;
    QString userFirstName;
    QString userLastName;
    QString userEmailAddress;
    // The account's names have been read: one still missing is not on its way.
    bool userDetailsRead = false;
    // The account's custom words: push identifier -> word.
    QMap<QString, QString> userCustomWords;
    QString unverifiedAccountMessage;
    QString temporaryPassword;
    // This computer's identifier (32 upper-case hexadecimal digits).
    QString systemID;
    OSVersion versionOS;
    bool isConnected = false;
    bool userIsOnline = false;
    // Transcription service state: 1 normal, 0 delayed, -1 unavailable.
    std::int64_t externalServiceStatus = 0;
    // This computer holds the edit right of the open file.
    bool hasFullAccess = false;
    // Offline, or another computer holds the edit right: editing is refused.
    bool isViewingOnly = false;
    // Screen shown: 0 log-in, 1 files list, 2 transcript.
    std::int64_t currentMode = 0;
    bool isSavingLocalDataBeforeQuitting = false;

    // Database references.
    qv::DatabaseReference fbRef;
    qv::DatabaseReference filesMetadataRef;
    qv::DatabaseReference statsMetadataRef;
    qv::DatabaseReference statusMetadataRef;
    qv::DatabaseReference transcriptsMetadataRef;
    qv::DatabaseReference usersMetadataRef;
    qv::DatabaseReference usersOnlineMetadataRef;
    qv::DatabaseReference connectionMetadataRef;
    qv::DatabaseReference currentUserOnlineRef;
    qv::DatabaseReference unverifiedAccountMessageRef;
    qv::DatabaseReference userStatusRef;
    qv::DatabaseReference userFirstNameRef;
    qv::DatabaseReference userLastNameRef;
    qv::DatabaseReference userEmailAddressRef;
    qv::DatabaseReference userBalanceRef;
    qv::DatabaseReference userBalanceUnlimitedRef;
    qv::DatabaseReference userCustomWordsRef;
    qv::DatabaseReference userFilesMetadataRef;
    qv::DatabaseReference wordsMetadataRef;
    qv::DatabaseReference speakersMetadataRef;
    qv::DatabaseReference speakerRangesMetadataRef;
    std::uint64_t currentFileUsersOnlineHandle = 0;

    // Files list and synced transcripts.
    std::vector<std::shared_ptr<QVFile>> files;
    // Count-down while the account's file records load.
    std::int64_t userFilesStillToLoad = 0;
    QSet<QString> pendingUserFilesAdded;
    QSet<QString> pendingUserFilesDeleted;
    QString pendingUserFilesDelayID;
    QVOrderedSet<QVFile> syncedTranscripts;
    // The repeating eviction timer of synced transcripts (every 120 s); 0 until started.
    qv::TimerId syncedTranscriptsTimer = 0;

    // Intake.
    std::vector<std::shared_ptr<QVFilePending>> filesPending;
    std::vector<std::shared_ptr<QVFilePending>> filesToProcess;
    QSet<QString> filesAwaitingCreation;
    std::vector<QUrl> droppedFilesBeforeLaunch;
    QStringList availableLanguagesCodes;
    QStringList availableLanguagesLabels;

    // Final Cut Pro X drop.
    // The library document being dropped; none when no drop is in progress.
    std::shared_ptr<QVXMLDocument> droppedXMLDoc;
    // Clip elements of the dropped library to import as pending files, and those whose
    // transcripts go back as keywords.
    QVOrderedSet<QVXMLElement> droppedClipsToImport;
    QVOrderedSet<QVXMLElement> droppedClipsToExport;
    // Dropped clips that need relinking to transcripts.
    std::vector<std::shared_ptr<QVXMLElement>> droppedClipsToRelink;
    std::int64_t droppedClipsToExportRemaining = 0;
    QSet<QString> droppedUsedResourcesIds;
    QStringList droppedFilesAwaitingProcessing;
    std::vector<std::shared_ptr<QVFile>> filesToRelink;
    // Event identifier of the dropped library -> keyword names written back, in order.
    QMap<QString, QStringList> keywordCollections;
    QStringList exportFCPXKeywordTypeCodes;
    QStringList exportFCPXKeywordTypeLabels;

    // Open transcript model.
    std::shared_ptr<QVFile> currentFile;
    // Live words in ascending start order.
    QVOrderedSet<QVWord> words;
    QVOrderedSet<QVSpeaker> speakers;
    // Live speaker ranges in ascending start order, one table row each.
    QVOrderedSet<QVSpeakerRange> speakerRanges;
    QVOrderedSet<QVWord> wordsDeleted;
    QVOrderedSet<QVSpeaker> speakersDeleted;
    QVOrderedSet<QVSpeakerRange> speakerRangesDeleted;
    std::int64_t wordsStillToLoad = 0;
    std::int64_t speakersStillToLoad = 0;
    std::int64_t speakerRangesStillToLoad = 0;
    // Start of the first word, ms.
    std::int64_t firstWordStartTime = 0;
    bool isTimecodeLoaded = false;

    // Playback and highlighting.
    // Media time from which the current playback was started.
    qv::MediaTime playbackStartTime = qv::MediaTime::zero();
    bool isReadyToPlay = false;
    bool isScrubbingMedia = false;
    bool isSeekingToScrubBarPosition = false;
    std::shared_ptr<QVWord> currentWord;
    // Index in `words` of the current word; -1 for none.
    std::int64_t currentWordIndex = -1;
    // Start and end of the current word, ms; -1 for none.
    std::int64_t currentWordStartTime = -1;
    std::int64_t currentWordEndTime = -1;
    std::int64_t nextWordStartTime = 0;
    std::int64_t nextSpeakerRangeStartTime = 0;
    std::int64_t currentSpeakerRangeIndex = 0;
    bool isBeforeFirstWord = false;
    bool isAfterCurrentWord = false;
    bool hasPreloadedRowsToLastMediaTime = false;
    bool loadFileDoTransitionInProgress = false;

    // Selection and mouse.
    std::shared_ptr<QVWord> selectionWordStart;
    std::shared_ptr<QVWord> selectionWordEnd;
    std::shared_ptr<QVWord> selectionWordMouseDown;
    std::shared_ptr<QVWord> selectionWordMouseUp;
    std::int64_t selectionExtensionDirection = 0;
    // Point of a mouse-down on a row whose text view did not exist yet, replayed when the row
    // appears; none otherwise.
    std::optional<QPointF> mouseDownPendingPoint;
    // Row of a mouse-down replayed when its row appears; -1 for none.
    std::int64_t mouseDownPendingSpeakerRangeIndex = -1;

    // Inline editing and undo.
    bool isEditing = false;
    // Text view of the row that holds the current word or the edit; owned by the table.
    QVTextView* currentTextView = nullptr;
    QString editingText;
    QString editingTextOriginal;
    QVOrderedSet<QVWord> wordsEditing;
    QVOrderedSet<QVWord> wordsEditingOriginalData;
    bool wordsEditingStartsWithNewParagraph = false;
    bool disallowLockTimingOnEditedWords = false;
    bool isBlockingReturnEnterKeyPress = false;
    // Trace of editing and drop steps, uploaded when an edit or a library drop fails.
    QString debugCharacterEditing;
    // Undo manager of transcript edits, and the empty one handed out while they must not be
    // undone from the Edit menu.
    std::shared_ptr<qv::UndoManager> undoManager;
    std::shared_ptr<qv::UndoManager> undoManagerEmpty;

    // Speakers and speaker ranges.
    QMap<QString, QColor> speakerColorPalette;
    QStringList speakerColorOrder;
    // Palette colour names already given to speakers of the open file.
    QSet<QString> speakerColorUsed;
    QColor speakerColorUnknown = QColor(128, 128, 128);
    std::shared_ptr<QVSpeakerRange> pendingNewSpeakerRange;
    std::shared_ptr<QVWord> pendingOriginalPreviousWord;
    std::shared_ptr<QVWord> pendingOriginalCurrentWord;

    // Text appearance and measuring.
    QColor brandColor;
    QColor defaultTextColor;
    QColor dimmedTextColor;
    QColor editingTextColor;
    // Point sizes of transcript text on screen and in print, PDF and Word export.
    double textSizeDisplay = 0;
    double textSizeExport = 0;
    double lineHeightDisplay = 0;
    double lineHeightExport = 0;
    // Speaker-range identifier -> measured row height; dropped when the range changes.
    QHash<QString, double> rowHeights;
    // Language code -> lower-case words before which a caption line may begin.
    QMap<QString, QStringList> startWords;
};
