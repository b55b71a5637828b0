// Sends a dropped library back to the partner editor: imported clips move from "QV Pending" to
// "QV Processing", exported clips trade "QV Processing" for their transcript's keyword ranges
// and favourite ratings, everything the round trip does not involve is pruned, and the library
// is written to the temporary document and handed to the editor. Every clip to export is
// counted off, found or not, and the document is finished exactly once; a document that could
// not be written is never handed off.
#pragma once

#include "fcpx/FCPXLibrary.h"
#include "fcpx/PartnerHandOff.h"
#include "platform/rtdb/DatabaseReference.h"

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class AppDelegate;
class QVFile;
namespace qv {
class AlertPresenter;
class ExportShell;
class Preferences;
}

class FCPXSendBack {
public:
    struct Services {
        qv::AlertPresenter* alerts = nullptr;
        qv::ExportShell* shell = nullptr;
        const qv::Preferences* preferences = nullptr;
        // The stored transcript of a file (transcripts/<uuid>).
        std::function<qv::DatabaseReference(const QString& uuid)> transcriptRef;
        // The files list reloads and refreshes.
        std::function<void()> reloadFiles;
        // Where the temporary folder goes; none: no place to write.
        std::optional<std::filesystem::path> dataFolder;
        OpenInApplication openInApplication;
    };

    // `ad` holds the drop state; not owned, it outlives the send-back.
    FCPXSendBack(AppDelegate& ad, Services services, BookmarkResolver resolver = resolveBookmark);

    void sendBackDroppedXML();
    void sendBackDroppedXMLFinish();

    // The temporary document's path; empty without a data folder.
    QString temporaryDocumentPath() const;

private:
    void exportKeywordsForFile(const std::shared_ptr<QVFile>& file, const std::shared_ptr<QVXMLElement>& clip);
    void clipHandled();
    std::shared_ptr<QVFile> transcriptOfClip(const FCPXLibrary& library, const QVXMLElement& clip);

    AppDelegate& ad_;
    Services services_;
    BookmarkResolver resolver_;
    // Ends the count-downs of an earlier send-back: their late answers are ignored.
    std::uint64_t run_ = 0;
};
