#include "transcript-view/QVTimecodeReader.h"

#include "model/TimeUtilities.h"
#include "platform/foundation/Log.h"
#include "platform/media/Asset.h"
#include "platform/rtdb/DatabaseValue.h"

#include <cmath>

QVTimecodeReader::QVTimecodeReader(AppDelegate& ad, qv::Dispatcher& main, std::shared_ptr<QVFile> file,
                                   std::shared_ptr<QVFilePending> filePending)
    : ad_(ad), main_(main), file_(std::move(file)), filePending_(std::move(filePending))
{
    sourceAsset_ = file_ ? file_->asset : filePending_ ? filePending_->asset : nullptr;
}

std::shared_ptr<QVTimecodeReader> QVTimecodeReader::initWithFile(AppDelegate& ad, qv::Dispatcher& main,
                                                                 std::shared_ptr<QVFile> file)
{
    return std::shared_ptr<QVTimecodeReader>(new QVTimecodeReader(ad, main, std::move(file), nullptr));
}

std::shared_ptr<QVTimecodeReader> QVTimecodeReader::initWithFilePending(AppDelegate& ad, qv::Dispatcher& main,
                                                                        std::shared_ptr<QVFilePending> filePending)
{
    return std::shared_ptr<QVTimecodeReader>(new QVTimecodeReader(ad, main, nullptr, std::move(filePending)));
}

void QVTimecodeReader::readTimecodeSamples()
{
    std::weak_ptr<QVTimecodeReader> weak = weak_from_this();
    main_.async([weak] {
        if (const auto self = weak.lock())
            self->read();
    });
}

void QVTimecodeReader::read()
{
    startTimecode_ = qv::MediaTime::invalid();
    // The asset was inspected when it was opened, first timecode sample included; an asset that
    // could not be, or has no timecode track, completes the reading with no timecode.
    if (sourceAsset_) {
        const std::vector<qv::AssetTrack> tracks = sourceAsset_->tracksWithMediaType(qv::MediaType::Timecode);
        if (!tracks.empty() && tracks.front().timecode)
            outputTimecodeDescription(*tracks.front().timecode);
    }
    if (file_)
        recordOnFile(*file_);
    else if (filePending_)
        recordOnFilePending(*filePending_);
    // The set may hold the last reference to this reader: keep it alive to the end.
    const std::shared_ptr<QVTimecodeReader> self = shared_from_this();
    ad_.timecodeReaders.remove(self);
}

bool QVTimecodeReader::outputTimecodeDescription(const qv::TimecodeTrack& track)
{
    if (track.firstSample.empty()) {
        qv::logWarning("Could not get data from block buffer");
        return false;
    }
    const qv::TimecodeFormat& format = track.format;
    // A rate of no frames or a frame that lasts no time cannot place a frame number in time.
    if (format.frameQuanta == 0 || !format.frameDuration.isValid() || format.frameDuration.value <= 0)
        return false;
    frameDuration_ = format.frameDuration;
    frameQuanta_ = format.frameQuanta;
    if (format.isDropFrame())
        isDropFrame_ = true;
    if (!format.sourceName.empty())
        sourceName_ = QString::fromStdString(format.sourceName);

    const bool known = format.subtype == qv::TimecodeFormat::kTimecode32 || format.subtype == qv::TimecodeFormat::kTimecode64;
    if (!known) {
        // Another kind of timecode: its rate is taken, and the media starts at frame zero.
        startTimecode_ = qv::MediaTime(0, frameDuration_.timescale);
        return true;
    }
    const std::optional<std::int64_t> frame = format.frameNumberOfSample(track.firstSample);
    if (!frame) {
        qv::logWarning("Could not get data from block buffer");
        return false;
    }
    firstTimecodeSample_ = smpteTimeFromFrameNumber(*frame, static_cast<std::int32_t>(frameQuanta_), format.flags);
    if (startTimecode_.isValid())
        return true;
    const std::int64_t f = frameNumberFromSMPTETime(frameQuanta_, format.flags, *firstTimecodeSample_);
    startTimecode_ = qv::MediaTime(f * frameDuration_.value, frameDuration_.timescale);
    return true;
}

void QVTimecodeReader::recordOnFile(QVFile& file)
{
    qv::DatabaseUpdate update;
    if (frameDuration_.isValid()) {
        file.timecodeFrameDuration = frameDuration_;
        update.emplace_back("timecode/frame_duration", convertToStringTime(frameDuration_).toStdString());
    }
    if (isDropFrame_) {
        file.timecodeIsDropFrame = true;
        update.emplace_back("timecode/drop_frame", true);
    }
    if (!sourceName_.isEmpty()) {
        file.timecodeSourceName = sourceName_;
        update.emplace_back("timecode/source_name", sourceName_.toStdString());
    }
    file.timecodeStart = startTimecode_;
    update.emplace_back("timecode/start", convertToStringTime(startTimecode_).toStdString());
    update.emplace_back("updated", qv::DatabaseValue::serverTimestamp());
    if (ad_.filesMetadataRef.isValid() && !file.uuid.isEmpty())
        ad_.filesMetadataRef.child(file.uuid.toStdString()).updateChildValues(update);
    file.hasLoadedTimecode = true;
}

void QVTimecodeReader::recordOnFilePending(QVFilePending& pending)
{
    if (frameDuration_.isValid()) {
        pending.timecodeFrameDuration = frameDuration_;
        pending.timecodeFrameQuanta = static_cast<std::uint32_t>(
            std::lround(static_cast<float>(frameDuration_.timescale) / static_cast<float>(frameDuration_.value)));
    }
    if (isDropFrame_)
        pending.timecodeIsDropFrame = true;
    if (!sourceName_.isEmpty())
        pending.timecodeSourceName = sourceName_;
    pending.timecodeStart = startTimecode_;
}
