// The send-back of a dropped library.
#include "fcpx/FCPXSendBack.h"

#include "fcpx/FCPXController.h"
#include "fcpx/FCPXLibraryDrop.h"
#include "fcpx/StoredTranscriptKeywords.h"
#include "model/AppDelegate.h"
#include "model/ExportShell.h"
#include "model/QVFile.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Alert.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {


// The clip kinds a library's events hold and the send-back keeps or prunes.
const char* const kEventClipsQuery = "./library/event/asset-clip | ./library/event/clip | ./library/event/mc-clip | "
                                     "./library/event/ref-clip | ./library/event/sync-clip";
// Where new keywords go in a clip without keywords: before the first of these there is.
const char* const kKeywordAnchors[] = {"./audio-channel-source[1]", "./sync-source[1]", "./filter-video[1]",
                                       "./filter-video-mask[1]", "./filter-audio[1]", "./metadata[1]"};

void addAll(QSet<QString>& set, const QStringList& items)
{
    for (const QString& item : items)
        set.insert(item);
}

// Inserts each element at the same place: before `anchor` when given (so that they end up in
// reverse order), else appended in order.
void insertAll(QVXMLElement& clip, const char* name, const std::vector<XPathVariables>& elements,
               std::shared_ptr<QVXMLElement> anchor)
{
    for (const XPathVariables& attributes : elements) {
        std::shared_ptr<QVXMLElement> made = clip.insertChild(name, attributes, anchor.get());
        if (anchor)
            anchor = made;
    }
}

// The element directly after `element` among the clip's children; null at the end.
std::shared_ptr<QVXMLElement> nextSibling(const QVXMLElement& element)
{
    return element.document()->element(element.node().next_sibling());
}

}  // namespace

FCPXSendBack::FCPXSendBack(AppDelegate& ad, Services services, BookmarkResolver resolver)
    : ad_(ad), services_(std::move(services)), resolver_(std::move(resolver))
{
}

QString FCPXSendBack::temporaryDocumentPath() const
{
    if (!services_.dataFolder || services_.dataFolder->empty())
        return {};
    const QDir folder(QString::fromStdString(services_.dataFolder->string()));
    return folder.filePath(kFCPXTempFolderName + QLatin1Char('/') + kFCPXTempFileName);
}

void FCPXSendBack::sendBackDroppedXML()
{
    if (!ad_.droppedXMLDoc)
        return;
    ++run_;
    const FCPXLibrary library(ad_.droppedXMLDoc, resolver_);
    ad_.droppedUsedResourcesIds.clear();
    ad_.keywordCollections.clear();

    bool marked = false;
    QVOrderedSet<QVXMLElement> events;
    for (const auto& clip : ad_.droppedClipsToImport) {
        const auto keywords = clip->elementsForXPath("./keyword[contains(@value,'QV Pending')]");
        if (keywords.empty())
            continue;
        for (const auto& keyword : keywords)
            keyword->setAttribute("value", keyword->attributeText("value").replace(kPendingKeyword, kProcessingKeyword));
        addAll(ad_.droppedUsedResourcesIds, library.getAllResourceRefsFromElement(*clip, ad_.droppedUsedResourcesIds));
        if (std::shared_ptr<QVXMLElement> media = library.getMediaElementFromCompoundOrMulticamClip(*clip))
            addAll(ad_.droppedUsedResourcesIds, library.getAllResourceRefsFromElement(*media, ad_.droppedUsedResourcesIds));
        events.add(library.getEventForClip(*clip));
        marked = true;
    }
    for (const auto& event : events)
        ad_.keywordCollections[event->attributeText("uid")] = QStringList{kPendingKeyword, kProcessingKeyword};

    if (ad_.droppedClipsToExport.empty()) {
        if (marked) {
            sendBackDroppedXMLFinish();
        } else {
            ad_.droppedXMLDoc.reset();
            ad_.droppedClipsToImport = {};
        }
        return;
    }
    // Taken as a list first: finishing empties the set while it is walked.
    const std::vector<std::shared_ptr<QVXMLElement>> exported = ad_.droppedClipsToExport.items();
    ad_.droppedClipsToExportRemaining = static_cast<std::int64_t>(exported.size());
    for (const auto& clip : exported) {
        const auto keywords = clip->elementsForXPath("./keyword[contains(@value,'QV Processing')]");
        if (keywords.empty()) {
            clipHandled();
            continue;
        }
        for (const auto& keyword : keywords) {
            const QString value = keyword->attributeText("value");
            if (value == kProcessingKeyword) {
                keyword->remove();
                continue;
            }
            QStringList items = value.split(QStringLiteral(", "));
            items.removeAll(kProcessingKeyword);
            keyword->setAttribute("value", items.join(QStringLiteral(", ")));
        }
        addAll(ad_.droppedUsedResourcesIds, library.getAllResourceRefsFromElement(*clip, ad_.droppedUsedResourcesIds));
        if (std::shared_ptr<QVXMLElement> media = library.getMediaElementFromCompoundOrMulticamClip(*clip))
            addAll(ad_.droppedUsedResourcesIds, library.getAllResourceRefsFromElement(*media, ad_.droppedUsedResourcesIds));
        std::shared_ptr<QVFile> file = transcriptOfClip(library, *clip);
        if (!file) {
            qv::logInfo("transcribed file data could not be found for exportedClip " + clip->name().toStdString() + " " +
                        clip->attributeText("name").toStdString());
            clipHandled();
            continue;
        }
        if (services_.shell)
            services_.shell->incrementExportCountForType(qv::ExportTypeFCPXRoundtrip, file);
        exportKeywordsForFile(file, clip);
    }
}

std::shared_ptr<QVFile> FCPXSendBack::transcriptOfClip(const FCPXLibrary& library, const QVXMLElement& clip)
{
    const QString kind = clip.name();
    if (kind == QLatin1String("asset-clip") || kind == QLatin1String("clip")) {
        const std::optional<QString> assetID = library.getAssetRefFromClip(clip);
        const std::optional<FCPXAssetData> data = assetID ? library.getDataFromAssetRef(*assetID) : std::nullopt;
        if (!data || !data->uid)
            return nullptr;
        for (const auto& file : ad_.files)
            if (file && file->fcpxUID == *data->uid && isVerifiedLiveFile(*file))
                return file;
        return nullptr;
    }
    if (kind != QLatin1String("mc-clip") && kind != QLatin1String("ref-clip") && kind != QLatin1String("sync-clip"))
        return nullptr;
    if (kind != QLatin1String("sync-clip"))
        if (std::shared_ptr<QVXMLElement> media = library.getMediaElementFromCompoundOrMulticamClip(clip))
            addAll(ad_.droppedUsedResourcesIds, library.getAllResourceRefsFromElement(*media, ad_.droppedUsedResourcesIds));
    if (!clip.parent())
        return nullptr;
    const std::optional<QString> clipName = clip.attribute("name");
    const std::optional<QString> eventName = library.getEventNameForClip(clip);
    if (!clipName || !eventName)
        return nullptr;
    std::shared_ptr<QVFile> found;
    for (const auto& file : ad_.files)
        if (file && file->fcpxEventName == *eventName && file->fcpxClipName == *clipName && isVerifiedLiveFile(*file)) {
            if (found)
                return nullptr;
            found = file;
        }
    return found;
}

void FCPXSendBack::exportKeywordsForFile(const std::shared_ptr<QVFile>& file, const std::shared_ptr<QVXMLElement>& clip)
{
    if (!services_.transcriptRef || !services_.preferences) {
        clipHandled();
        return;
    }
    const std::uint64_t run = run_;
    readStoredTranscriptKeywords(
        services_.transcriptRef(file->uuid), file->timecodeStart, *services_.preferences,
        [this, run, file, clip](std::optional<KeywordRanges> ranges) {
            if (run != run_ || !ad_.droppedXMLDoc)
                return;
            if (ranges) {
                std::vector<XPathVariables> keywords;
                for (const QVExportFCPXRange& range : ranges->keywordRanges)
                    keywords.push_back({{"start", convertToStringTime(range.start)},
                                        {"duration", convertToStringTime(range.duration)},
                                        {"value", range.keyword},
                                        {"note", range.note}});
                if (!keywords.empty()) {
                    std::shared_ptr<QVXMLElement> anchor;
                    if (std::shared_ptr<QVXMLElement> last = clip->firstElementForXPath("./keyword[last()]")) {
                        anchor = nextSibling(*last);
                    } else {
                        for (const char* query : kKeywordAnchors)
                            if ((anchor = clip->firstElementForXPath(query)))
                                break;
                    }
                    insertAll(*clip, "keyword", keywords, anchor);
                }
                std::vector<XPathVariables> ratings;
                for (const QVExportFCPXRange& range : ranges->favoriteRanges)
                    ratings.push_back({{"start", convertToStringTime(range.start)},
                                       {"duration", convertToStringTime(range.duration)},
                                       {"note", range.note},
                                       {"value", QStringLiteral("favorite")}});
                if (!ratings.empty()) {
                    std::shared_ptr<QVXMLElement> anchor;
                    if (std::shared_ptr<QVXMLElement> last = clip->firstElementForXPath("./rating[last()]"))
                        anchor = nextSibling(*last);
                    else
                        anchor = clip->firstElementForXPath("./keyword[1]");
                    insertAll(*clip, "rating", ratings, anchor);
                }
                if (std::shared_ptr<QVXMLElement> event = FCPXLibrary(ad_.droppedXMLDoc, resolver_).getEventForClip(*clip)) {
                    QStringList& names = ad_.keywordCollections[event->attributeText("uid")];
                    for (const QString& name : ranges->speakerNames)
                        if (!names.contains(name))
                            names.append(name);
                }
                if (services_.shell)
                    services_.shell->changeFile(file, qv::kFileStatusExported, true);
            } else {
                qv::logInfo("transcribed file data could not be found for exportedClip " +
                            clip->attributeText("name").toStdString());
            }
            clipHandled();
        });
}

void FCPXSendBack::clipHandled()
{
    if (--ad_.droppedClipsToExportRemaining == 0)
        sendBackDroppedXMLFinish();
}

void FCPXSendBack::sendBackDroppedXMLFinish()
{
    ++run_;
    std::shared_ptr<QVXMLDocument> document = ad_.droppedXMLDoc;
    std::shared_ptr<QVXMLElement> root = document ? document->rootElement() : nullptr;
    if (root) {
        for (const auto& node : root->elementsForXPath("./library/event/audition | ./library/event/project"))
            node->remove();
        for (const auto& clip : root->elementsForXPath(kEventClipsQuery))
            if (!ad_.droppedClipsToImport.contains(clip) && !ad_.droppedClipsToExport.contains(clip))
                clip->remove();
        // Compared here rather than pasted into a query: ids come from the dropped document.
        if (!ad_.droppedUsedResourcesIds.isEmpty())
            for (const auto& resource : root->elementsForXPath(
                     "./resources/asset | ./resources/effect | ./resources/format | ./resources/media"))
                if (!ad_.droppedUsedResourcesIds.contains(resource->attributeText("id")))
                    resource->remove();
        for (const auto& event : root->elementsForXPath(
                 "./library/event[not(*)] | ./library/event[count(descendant::*[name()=\"keyword-collection\"]) = "
                 "count(descendant::*)]"))
            event->remove();

        if (std::shared_ptr<QVXMLElement> library = root->firstElementForXPath("./library")) {
            const QString location = library->attributeText("location");
            // A document that went back once already names its library: it is named once.
            for (const auto& earlier : root->elementsForXPath("./import-options"))
                earlier->remove();
            // Text before the first element (a hostile library can hold some) is passed over.
            std::shared_ptr<QVXMLElement> first =
                document->element(root->node().find_child([](const pugi::xml_node& node) { return node.type() == pugi::node_element; }));
            std::shared_ptr<QVXMLElement> options = root->insertChild("import-options", {}, first.get());
            options->insertChild("option", {{"key", QStringLiteral("library location")}, {"value", location}}, nullptr);

            const QString path = temporaryDocumentPath();
            if (path.isEmpty()) {
                if (services_.alerts)
                    services_.alerts->beginSheet(transcriptCouldNotBeSavedAlert(), {});
            } else {
                QDir().mkpath(QFileInfo(path).path());
                QSaveFile out(path);
                const QByteArray text = document->prettyText();
                if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
                    // Handing off now would open whatever an earlier send left there.
                    qv::logError(QStringLiteral("Could not write document out... %1: %2").arg(path, out.errorString()).toStdString());
                    if (services_.alerts) {
                        services_.alerts->beep();
                        services_.alerts->beginSheet(transcriptCouldNotBeSavedAlert(), {});
                    }
                } else if (const auto error = openInPartnerEditor(services_.openInApplication, path)) {
                    if (services_.alerts)
                        services_.alerts->beginSheet({qv::localizedString("Transcript could not be sent to Final Cut Pro X"),
                                                      error->message, qv::AlertStyle::Critical, {}},
                                                     {});
                }
            }
        }
    }
    ad_.droppedXMLDoc.reset();
    ad_.droppedClipsToExport = {};
    ad_.droppedClipsToImport = {};
    ad_.droppedClipsToExportRemaining = 0;
    if (services_.reloadFiles)
        services_.reloadFiles();
}
