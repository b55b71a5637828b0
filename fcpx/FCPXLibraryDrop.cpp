// A library handed over by the partner editor: read, sorted into clips to import, export and
// relink, and put to the user.
#include "fcpx/FCPXLibraryDrop.h"

#include "fcpx/ClipMediaFiles.h"
#include "model/AppDelegate.h"
#include "model/QVFile.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Pasteboard.h"

#include <QCollator>

#include <algorithm>

using qv::localizedString;
using qv::MediaTime;

namespace {

const char* const kPendingKeywordsQuery =
    "./library/event/asset-clip//keyword[contains(@value,'QV Pending')] | "
    "./library/event/clip//keyword[contains(@value,'QV Pending')] | "
    "./library/event/mc-clip//keyword[contains(@value,'QV Pending')] | "
    "./library/event/ref-clip//keyword[contains(@value,'QV Pending')] | "
    "./library/event/sync-clip//keyword[contains(@value,'QV Pending')]";
const char* const kProcessingKeywordsQuery =
    "./library/event/asset-clip//keyword[contains(@value,'QV Processing')] | "
    "./library/event/clip//keyword[contains(@value,'QV Processing')] | "
    "./library/event/mc-clip//keyword[contains(@value,'QV Processing')] | "
    "./library/event/ref-clip//keyword[contains(@value,'QV Processing')] | "
    "./library/event/sync-clip//keyword[contains(@value,'QV Processing')]";

constexpr std::int64_t kVerifiedStatus = 40;
constexpr std::int64_t kServiceUnavailable = -1;
constexpr std::int64_t kFilesMode = 1;

void sortForList(QStringList& names)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
}

QString bulletList(const QStringList& items, const QString& separator)
{
    QStringList bullets;
    for (const QString& item : items)
        bullets.append(QStringLiteral("• ") + item);
    return bullets.join(separator);
}

// "\n\n<one or many text>:" followed by "\n• item" for each item; empty for no item.
QString problemText(const QStringList& items, const QString& one, const QString& many)
{
    if (items.isEmpty())
        return QString();
    const QString list = QStringLiteral("\n") + bulletList(items, QStringLiteral("\n"));
    if (items.size() == 1)
        return localizedString(one).arg(list);
    return localizedString(many).arg(items.size()).arg(list);
}

QString countText(std::size_t count)
{
    return (count > 1 ? localizedString(QStringLiteral("%1 clips are")) : localizedString(QStringLiteral("%1 clip is")))
        .arg(count);
}

}  // namespace

bool isVerifiedLiveFile(const QVFile& file) { return file.status == kVerifiedStatus && file.deleted == 0; }

FCPXLibraryDrop::FCPXLibraryDrop(AppDelegate& ad, Services services, BookmarkResolver resolver)
    : ad_(ad), services_(std::move(services)), resolver_(std::move(resolver))
{
}

FCPXLibrary FCPXLibraryDrop::library() const { return FCPXLibrary(ad_.droppedXMLDoc, resolver_); }

void FCPXLibraryDrop::resetDropState()
{
    ad_.droppedXMLDoc.reset();
    ad_.droppedClipsToImport = {};
    ad_.droppedClipsToExport = {};
    ad_.droppedClipsToRelink.clear();
    ad_.droppedClipsToExportRemaining = 0;
    ad_.filesToRelink.clear();
}

// Nothing was handed on: the drop is over and a next one may come.
void FCPXLibraryDrop::endDrop() { resetDropState(); }

void FCPXLibraryDrop::writeTrace(const QStringList& lines)
{
    QString trace = QStringLiteral("*****\nApp Version: %1\n").arg(services_.appVersion);
    trace += QStringLiteral("OS Version: %1.%2.%3\n")
                 .arg(ad_.versionOS.majorVersion)
                 .arg(ad_.versionOS.minorVersion)
                 .arg(ad_.versionOS.patchVersion);
    trace += lines.join(QString());
    ad_.debugCharacterEditing = trace;
    if (services_.writeDiagnosticTrace)
        services_.writeDiagnosticTrace(trace);
}

void FCPXLibraryDrop::showAlert(qv::AlertPresenter* presenter, const QString& message, const QString& informative,
                                bool critical, bool endsDrop)
{
    if (endsDrop)
        endDrop();
    if (!presenter)
        return;
    qv::Alert alert;
    alert.messageText = localizedString(message);
    alert.informativeText = localizedString(informative);
    alert.style = critical ? qv::AlertStyle::Critical : qv::AlertStyle::Informational;
    presenter->beginSheet(alert, {});
}

void FCPXLibraryDrop::dropFromFCPX(const qv::Pasteboard& drag)
{
    if (services_.bringMainWindowToFront)
        services_.bringMainWindowToFront();
    // A library arriving while another is still being handled would take its clips' send-back
    // away: it is refused and the first drop goes on.
    // It is application-modal: the first library's sheet may still be open.
    if (ad_.droppedXMLDoc) {
        showAlert(services_.modalAlerts, QStringLiteral("Final Cut Pro X Integration"),
                  QStringLiteral("Another Final Cut Pro X library is still being handled. Wait until its clips have been "
                                 "transcribed and sent back, or remove them from the imported files list, then drag the "
                                 "library again."),
                  true, false);
        return;
    }
    resetDropState();
    const auto lengthOf = [&drag](const QString& type) { return drag.string(type).value_or(QString()).size(); };
    const QString libraryFailed = QStringLiteral(
        "Final Cut Pro X library could not be imported. The relevant data has been sent automatically to help fix this "
        "issue in a future version. Please try dragging the library again.");

    if (!drag.hasType(kFCPXPasteboardType)) {
        writeTrace({QStringLiteral("error on drag and drop with missing com.apple.finalcutpro.xml data\n"),
                    QStringLiteral("NSStringPboardTypeLength: %1\nPlainTextTypeLength: %2\n")
                        .arg(lengthOf(kStringPasteboardType))
                        .arg(lengthOf(kUTF8PlainTextPasteboardType))});
        showAlert(services_.modalAlerts, QStringLiteral("Library Import Error"), libraryFailed, true, true);
        return;
    }
    if (ad_.currentMode != kFilesMode && services_.transitionToFiles)
        services_.transitionToFiles();
    if (!ad_.filesPending.empty()) {
        showAlert(services_.sheetAlerts,
                  QStringLiteral("Quorvantelle can only import clips from Final Cut Pro X if the imported files list is empty."),
                  QStringLiteral("Submit the imported files for transcription and try again."), true, true);
        return;
    }

    QString text = drag.string(kFCPXPasteboardType).value_or(QString());
    if (text.isEmpty()) {
        QStringList lines{QStringLiteral("error on drag and drop with missing string for com.apple.finalcutpro.xml type\n")};
        std::optional<QString> replacement;
        for (const auto& [type, name] : {std::pair{kUTF8PlainTextPasteboardType, QStringLiteral("public.utf8-plain-text")},
                                         std::pair{kStringPasteboardType, QStringLiteral("NSStringPboardType")}}) {
            const std::optional<QString> string = drag.string(type);
            if (!drag.hasType(type))
                lines.append(name + QStringLiteral(" not found\n"));
            else if (!string)
                lines.append(name + QStringLiteral(" string is nil\n"));
            else
                lines.append(name + QStringLiteral(" length = %1\n").arg(string->size()));
            if (string && !replacement)
                replacement = string;
        }
        writeTrace(lines);
        if (!replacement) {
            showAlert(services_.modalAlerts, QStringLiteral("Library Import Error"), libraryFailed, true, true);
            return;
        }
        text = *replacement;
    }

    ad_.droppedXMLDoc = QVXMLDocument::parse(text);
    if (!ad_.droppedXMLDoc) {
        writeTrace({QStringLiteral("error on drag and drop: could not create NSXMLDocument from string\n")});
        showAlert(services_.modalAlerts, QStringLiteral("Library Import Error"), libraryFailed, true, true);
        return;
    }
    std::shared_ptr<QVXMLElement> root = ad_.droppedXMLDoc->rootElement();
    if (!root->firstElementForXPath("./library")) {
        showAlert(services_.sheetAlerts,
                  QStringLiteral("Quorvantelle can only import clips from Final Cut Pro X if a library is dragged."),
                  QStringLiteral("Dragging other items does not provide enough information for Quorvantelle to add "
                                 "transcript keywords to the clip."),
                  false, true);
        return;
    }
    if (!root->firstElementForXPath("./resources")) {
        writeTrace({QStringLiteral("error on drag and drop: resources node does not exist\n")});
        showAlert(services_.modalAlerts, QStringLiteral("Library Import Error"),
                  QStringLiteral("Final Cut Pro X library could not be imported due to lack of resources data in XML. The "
                                 "relevant data has been sent automatically to help fix this issue in a future version. "
                                 "Please try dragging the library again."),
                  true, true);
        return;
    }
    classifyAndAsk();
}

bool FCPXLibraryDrop::rangeIsValidForKeyword(const QVXMLElement& keyword, const QVXMLElement& clip) const
{
    const FCPXLibrary library(clip.document(), resolver_);
    const std::optional<QString> assetID = library.getAssetRefFromClip(clip);
    const std::optional<FCPXAssetData> data = assetID ? library.getDataFromAssetRef(*assetID) : std::nullopt;
    MediaTime start = MediaTime::zero();
    if (clip.hasAttribute("start"))
        start = timeAttribute(clip, "start");
    else if (data)
        start = timeOrZero(data->start);
    MediaTime duration;
    if (clip.hasAttribute("duration"))
        duration = timeAttribute(clip, "duration");
    else if (data && !data->duration.isEmpty())
        duration = timeOrZero(data->duration);
    else
        return false;
    const qv::MediaTimeRange clipRange{start, duration};
    const qv::MediaTimeRange keywordRange{timeAttribute(keyword, "start"), MediaTime(1, 1000)};
    return clipRange.containsTimeRange(keywordRange);
}

void FCPXLibraryDrop::classifyAndAsk()
{
    const FCPXLibrary library = this->library();
    std::shared_ptr<QVXMLElement> root = library.root();
    QStringList importNames;
    QStringList exportNames;
    QStringList missingMedia;
    QStringList withoutAudio;

    // Pending pass. A clip is looked at once, however many pending keywords it carries.
    QVOrderedSet<QVXMLElement> pendingSeen;
    for (const auto& keyword : root->elementsForXPath(kPendingKeywordsQuery)) {
        std::shared_ptr<QVXMLElement> clip = keyword->parent();
        if (!clip || !clip->hasAttribute("name") || pendingSeen.contains(clip) || ad_.droppedClipsToImport.contains(clip) ||
            !rangeIsValidForKeyword(*keyword, *clip))
            continue;
        pendingSeen.add(clip);
        const QString kind = clip->name();
        if (kind == QLatin1String("mc-clip") || kind == QLatin1String("ref-clip")) {
            ad_.droppedClipsToImport.add(clip);
            importNames.append(clip->attributeText("name"));
            continue;
        }
        std::shared_ptr<QVXMLElement> mediaClip = clip;
        if (kind == QLatin1String("sync-clip")) {
            mediaClip = clip->firstElementForXPath(".//asset-clip[@lane = -1] | .//clip[@lane = -1]");
            if (!mediaClip) {
                withoutAudio.append(clip->attributeText("name"));
                continue;
            }
        }
        const std::optional<QString> assetID = library.getAssetRefFromClip(*mediaClip);
        if (!assetID)
            continue;
        const std::optional<FCPXAssetData> data = library.getDataFromAssetRef(*assetID);
        if (!data) {
            withoutAudio.append(clip->attributeText("name"));
        } else if (data->mediaOnline) {
            ad_.droppedClipsToImport.add(clip);
            importNames.append(clip->attributeText("name"));
        } else {
            missingMedia.append(data->url.toLocalFile());
        }
    }

    // Processing pass.
    for (const auto& keyword : root->elementsForXPath(kProcessingKeywordsQuery)) {
        std::shared_ptr<QVXMLElement> clip = keyword->parent();
        if (!clip || ad_.droppedClipsToExport.contains(clip) ||
            std::find(ad_.droppedClipsToRelink.begin(), ad_.droppedClipsToRelink.end(), clip) != ad_.droppedClipsToRelink.end() ||
            !rangeIsValidForKeyword(*keyword, *clip))
            continue;
        const QString kind = clip->name();
        std::shared_ptr<QVFile> found;
        if (kind == QLatin1String("asset-clip") || kind == QLatin1String("clip")) {
            const std::optional<QString> assetID = library.getAssetRefFromClip(*clip);
            if (!assetID)
                continue;
            std::shared_ptr<QVXMLElement> asset = root->firstElementForXPath("./resources/asset[@id=$id]", {{"id", *assetID}});
            const std::optional<QString> uid = asset ? asset->attribute("uid") : std::nullopt;
            if (uid)
                for (const auto& file : ad_.files)
                    if (file && file->fcpxUID == *uid && isVerifiedLiveFile(*file)) {
                        found = file;
                        break;
                    }
        } else if (kind == QLatin1String("mc-clip") || kind == QLatin1String("ref-clip") || kind == QLatin1String("sync-clip")) {
            const std::optional<QString> clipName = clip->attribute("name");
            const std::optional<QString> eventName = clip->parent() ? library.getEventNameForClip(*clip) : std::nullopt;
            if (clipName && eventName) {
                int matches = 0;
                for (const auto& file : ad_.files)
                    if (file && file->fcpxEventName == *eventName && file->fcpxClipName == *clipName && isVerifiedLiveFile(*file)) {
                        found = file;
                        ++matches;
                    }
                if (matches != 1)
                    found.reset();
            }
        }
        if (found) {
            ad_.droppedClipsToExport.add(clip);
            exportNames.append(found->name);
        } else {
            ad_.droppedClipsToRelink.push_back(clip);
        }
    }

    // Outcome.
    QStringList both;
    QVOrderedSet<QVXMLElement> shared;
    for (const auto& clip : ad_.droppedClipsToImport)
        if (ad_.droppedClipsToExport.contains(clip)) {
            shared.add(clip);
            both.append(QStringLiteral("\n• ") + clip->attributeText("name"));
        }
    if (!shared.empty()) {
        showAlert(services_.sheetAlerts, QStringLiteral("Final Cut Pro X Integration"),
                  localizedString(QStringLiteral("The dragged Library could not be handled because the following clips(s) "
                                                 "contain both \"QV Pending\" and \"QV Processing\" keywords:\n%1\n\nRemove "
                                                 "one of the keywords in Final Cut Pro X then drag the library to "
                                                 "Quorvantelle again."))
                      .arg(both.join(QString())),
                  true, true);
        return;
    }
    const QString missingText = problemText(
        missingMedia, QStringLiteral("\n\n1 file is missing or unreadable and could not be imported:%1"),
        QStringLiteral("\n\n%1 files are missing or unreadable and could not be imported:%2"));
    const QString withoutAudioText = problemText(
        withoutAudio, QStringLiteral("\n\n1 clip does not contain any audio tracks and could not be imported:%1"),
        QStringLiteral("\n\n%1 clips do not contain any audio tracks and could not be imported:%2"));
    sortForList(importNames);
    sortForList(exportNames);
    if (ad_.externalServiceStatus == kServiceUnavailable) {
        importNames.clear();
        ad_.droppedClipsToImport = {};
    }
    const std::size_t imports = ad_.droppedClipsToImport.size();
    const std::size_t exports = ad_.droppedClipsToExport.size();
    const QString importList = bulletList(importNames, QStringLiteral("\n"));
    const QString exportList = bulletList(exportNames, QStringLiteral("\n"));
    const std::vector<std::shared_ptr<QVXMLElement>> clips = ad_.droppedClipsToImport.items();

    auto addClips = [this, clips] {
        if (services_.addClipsToPendingList)
            services_.addClipsToPendingList(clips);
    };
    auto sendBack = [this] {
        if (services_.sendBackDroppedXML)
            services_.sendBackDroppedXML();
    };
    // Cancel ends the drop, so that the cancelled library is never sent back.
    auto cancel = [this] { endDrop(); };

    qv::Alert sheet;
    sheet.messageText = localizedString(QStringLiteral("Final Cut Pro X Integration"));
    std::function<void(int)> answer;
    if (imports > 0 && exports > 0) {
        sheet.buttons = {localizedString(QStringLiteral("Both")), localizedString(QStringLiteral("Export")),
                         localizedString(QStringLiteral("Import")), localizedString(QStringLiteral("Cancel"))};
        sheet.informativeText =
            localizedString(QStringLiteral("%1 pending and can be imported:\n%2\n\n%3 verified and can be exported:\n%4%5%6"))
                .arg(countText(imports), importList, countText(exports), exportList, missingText, withoutAudioText);
        answer = [this, addClips, sendBack, cancel](int code) {
            switch (code - qv::kAlertFirstButtonReturn) {
            case 0:
                addClips();
                break;
            case 1:
                ad_.droppedClipsToImport = {};
                sendBack();
                break;
            case 2:
                ad_.droppedClipsToExport = {};
                addClips();
                break;
            default:
                cancel();
            }
        };
    } else if (imports > 0 && imports <= kClipsImportedWithoutSheet && missingText.isEmpty() && withoutAudioText.isEmpty()) {
        addClips();
        return;
    } else if (imports > 0) {
        sheet.buttons = {localizedString(QStringLiteral("Import")), localizedString(QStringLiteral("Cancel"))};
        sheet.informativeText = localizedString(QStringLiteral("%1 pending and can be imported:\n%2%3%4"))
                                    .arg(countText(imports), importList, missingText, withoutAudioText);
        answer = [addClips, cancel](int code) { code == qv::kAlertFirstButtonReturn ? addClips() : cancel(); };
    } else if (exports > 0) {
        sheet.buttons = {localizedString(QStringLiteral("Export")), localizedString(QStringLiteral("Cancel"))};
        sheet.informativeText =
            localizedString(QStringLiteral("%1 verified and can be exported:\n%2")).arg(countText(exports), exportList);
        answer = [sendBack, cancel](int code) { code == qv::kAlertFirstButtonReturn ? sendBack() : cancel(); };
    } else {
        if (!ad_.droppedClipsToRelink.empty())
            for (const auto& file : ad_.files)
                if (file && isVerifiedLiveFile(*file) && (file->fileType == 3 || file->fileType == 4 || file->fileType == 6))
                    ad_.filesToRelink.push_back(file);
        const bool relink = !ad_.filesToRelink.empty() && services_.showRelinkSynchronizedClipsWindow;
        sheet.buttons = {localizedString(QStringLiteral("OK"))};
        if (relink) {
            sheet.buttons.append(localizedString(QStringLiteral("Relink Clips")));
            sheet.informativeText = localizedString(QStringLiteral(
                "No clips were identified for import or export in this Library.\n\nIf you’re exporting transcripts back to "
                "compound, multicam or sync clips it may be necessary to relink manually by clicking the button below.\n\n"
                "Note that Final Cut Pro X does not provide optimized or proxy file locations to third party apps so "
                "original media must be available."));
        } else {
            sheet.informativeText = localizedString(QStringLiteral(
                "No clips were identified for import or export in this Library.\n\nNote that Final Cut Pro X does not "
                "provide optimized or proxy file locations to third party apps so original media must be available."));
        }
        answer = [this, cancel, relink](int code) {
            if (relink && code == qv::kAlertFirstButtonReturn + 1)
                services_.showRelinkSynchronizedClipsWindow();
            else
                cancel();
        };
    }
    if (services_.sheetAlerts)
        services_.sheetAlerts->beginSheet(sheet, std::move(answer));
}
