// A library handed over by the partner editor (dropped, opened from the File menu or named on
// the command line): its clips marked "QV Pending" go to the pending list, those marked
// "QV Processing" with a verified transcript get their transcript back as keywords. The user is
// told what was found in one sheet; a library that cannot be read raises an alert and, where
// it says so, sends a diagnostic trace to the service. Every drop ends: nothing is left half
// imported and the drop state is cleared whenever nothing is handed on.
#pragma once

#include "fcpx/FCPXLibrary.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class AppDelegate;
class QVFile;
namespace qv {
class AlertPresenter;
class Pasteboard;
}

// The partner's pasteboard type, and the two plain-text types a library may come as instead.
inline const QString kFCPXPasteboardType = QStringLiteral("com.apple.finalcutpro.xml");
inline const QString kStringPasteboardType = QStringLiteral("text/plain");
inline const QString kUTF8PlainTextPasteboardType = QStringLiteral("text/plain;charset=utf-8");

// The keywords that mark clips in the editor.
inline const QString kPendingKeyword = QStringLiteral("QV Pending");
inline const QString kProcessingKeyword = QStringLiteral("QV Processing");

// A file of the account whose transcript a library may get back: verified and not deleted.
bool isVerifiedLiveFile(const QVFile& file);

// Sheets S1 to S3 offer at most this many clips for import without asking, when nothing is
// missing.
inline constexpr std::size_t kClipsImportedWithoutSheet = 4;

class FCPXLibraryDrop {
public:
    struct Services {
        qv::AlertPresenter* sheetAlerts = nullptr;
        // The application-modal alerts A2 and A3.
        qv::AlertPresenter* modalAlerts = nullptr;
        std::function<void()> bringMainWindowToFront;
        std::function<void()> transitionToFiles;
        // The clips to import, appended to the pending list.
        std::function<void(const std::vector<std::shared_ptr<QVXMLElement>>& clips)> addClipsToPendingList;
        std::function<void()> sendBackDroppedXML;
        std::function<void()> showRelinkSynchronizedClipsWindow;
        // Writes a diagnostic trace to the service; its result is not awaited.
        std::function<void(const QString& trace)> writeDiagnosticTrace;
        // "CFBundleShortVersionString" of the program.
        QString appVersion;
    };

    // `ad` holds the drop state and the user's files; not owned, it outlives the drop.
    FCPXLibraryDrop(AppDelegate& ad, Services services, BookmarkResolver resolver = resolveBookmark);

    // Reads the library from `drag` (the drag pasteboard, or one made for an opened file).
    void dropFromFCPX(const qv::Pasteboard& drag);
    // Does the keyword lie within the clip's range, starting at least 1 ms before its end?
    bool rangeIsValidForKeyword(const QVXMLElement& keyword, const QVXMLElement& clip) const;

    // The library of the drop in progress; none when no drop is in progress.
    FCPXLibrary library() const;

private:
    void resetDropState();
    void endDrop();
    void writeTrace(const QStringList& lines);
    void showAlert(qv::AlertPresenter* presenter, const QString& message, const QString& informative, bool critical,
                   bool endsDrop);
    void classifyAndAsk();

    AppDelegate& ad_;
    Services services_;
    BookmarkResolver resolver_;
};
