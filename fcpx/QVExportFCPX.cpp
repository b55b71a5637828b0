#include "fcpx/QVExportFCPX.h"

#include "fcpx/FCPXFormat.h"
#include "fcpx/KeywordRanges.h"
#include "model/AppDelegate.h"
#include "model/ExportShell.h"
#include "model/MediaFilesMapping.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/TextCompare.h"
#include "platform/media/Asset.h"

#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

// The picture the format name is chosen by: the first video track's when the file has video;
// for sound alone a 720p picture at the timecode's rate, or none without a start timecode.
PictureDescription pictureOfFile(const QVFile& file)
{
    if (file.hasVideo) {
        if (file.asset)
            for (const qv::AssetTrack& track : file.asset->tracksWithMediaType(qv::MediaType::Video))
                if (track.video)
                    return pictureDescriptionOfVideo(*track.video);
        return {};
    }
    if (!file.timecodeStart.isValid())
        return {};
    PictureDescription picture;
    picture.width = 1280;
    picture.height = 720;
    const qv::MediaTime& frame = file.timecodeFrameDuration;
    // A frame duration that is not a positive number has no rate; it names no known one.
    const float fps = frame.isValid() && frame.value > 0 ? float(frame.timescale) / float(frame.value) : 0.0f;
    picture.frameRateCode = convertFps(fps);
    return picture;
}

}  // namespace

QVExportFCPX::QVExportFCPX(AppDelegate& ad, const qv::Preferences& preferences, qv::ExportShell& shell)
    : ad(&ad), preferences_(preferences), shell_(shell)
{
}

FCPXDocumentContent QVExportFCPX::contentOfOpenFile()
{
    FCPXDocumentContent content;
    const std::shared_ptr<QVFile> file = ad->currentFile;
    if (!file)
        return content;
    const PictureDescription picture = pictureOfFile(*file);
    content.formatName = getVideoFormatNameForWidth(picture.width, picture.height, picture.frameRateCode, picture.isDV,
                                                    picture.isInterlaced, picture.isWidescreenSD);

    const QUrl media = getFirstMediaFileURLFromCurrentFile(*ad);
    content.assetName = QFileInfo(media.fileName()).completeBaseName();
    content.assetSrc = media.toString(QUrl::FullyEncoded);
    if (file->asset && file->asset->duration().isNumeric())
        content.assetDuration = file->asset->duration();
    const qv::MediaTime origin = keywordTimeOrigin(file->timecodeStart);
    content.assetStart = origin;

    // Each speaker range runs to the next one's start; a range without a speaker says nothing.
    std::vector<KeywordSpeakerRange> ranges;
    const auto& speakerRanges = ad->speakerRanges.items();
    for (std::size_t i = 0; i < speakerRanges.size(); ++i) {
        const auto& range = speakerRanges[i];
        if (!range || !range->speaker)
            continue;
        const std::int64_t end = i + 1 < speakerRanges.size() && speakerRanges[i + 1] ? speakerRanges[i + 1]->start
                                                                                         : INT64_MAX;
        const QString& name = range->speaker->name;
        ranges.push_back({range->start, end, name.isEmpty() ? kUnknownSpeakerName : name});
    }
    const QString keywordType = preferences_.stringForKey(kQVExportFCPXKeywordType).value_or(kKeywordTypeAuto);
    KeywordRanges cut = cutKeywordRanges(ranges, ad->words.items(), origin, keywordType);

    keywordCollection.clear();
    for (const QString& name : cut.speakerNames)
        if (!keywordCollection.contains(name))
            keywordCollection.append(name);
    std::sort(keywordCollection.begin(), keywordCollection.end(),
              [](const QString& a, const QString& b) { return qv::localizedStandardCompare(a, b) < 0; });
    keywordRanges = cut.keywordRanges;

    content.keywordRanges = std::move(cut.keywordRanges);
    content.favoriteRanges = std::move(cut.favoriteRanges);
    content.keywordCollection = keywordCollection;
    return content;
}

QString QVExportFCPX::buildDocument()
{
    return fcpxmlDocument(contentOfOpenFile());
}

std::optional<QString> QVExportFCPX::exportFileToURL(const QString& path)
{
    const QByteArray data = buildDocument().toUtf8();
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(data) != data.size() || !out.commit())
        return out.errorString();
    shell_.changeFile(ad->currentFile, qv::kFileStatusExported, true);
    return std::nullopt;
}
