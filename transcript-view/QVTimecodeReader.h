// Reads the start timecode of a file's media from the first sample of its first timecode
// track, and records it with the frame duration, drop-frame flag and reel name on an open
// transcript file (and its database record) or on a file being prepared for upload. A reading
// that finds no usable timecode still completes: the file then has no start timecode, and an
// open file counts its timecode as loaded so that highlighting can begin. Main thread only; the
// reader keeps itself in the state record's reader set until it is done.
#pragma once

#include "model/AppDelegate.h"
#include "model/QVFilePending.h"
#include "model/Timecode.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/media/AssetTrack.h"

#include <QString>

#include <memory>
#include <optional>

class QVTimecodeReader : public std::enable_shared_from_this<QVTimecodeReader> {
public:
    static std::shared_ptr<QVTimecodeReader> initWithFile(AppDelegate& ad, qv::Dispatcher& main, std::shared_ptr<QVFile> file);
    static std::shared_ptr<QVTimecodeReader> initWithFilePending(AppDelegate& ad, qv::Dispatcher& main,
                                                                 std::shared_ptr<QVFilePending> filePending);
    QVTimecodeReader(const QVTimecodeReader&) = delete;
    QVTimecodeReader& operator=(const QVTimecodeReader&) = delete;

    // Reads on the next turn of the main queue and returns at once.
    void readTimecodeSamples();

    // Takes what one timecode track's description and first sample say; false when the sample
    // gives no usable timecode (no data, or a rate or frame duration that is not positive).
    bool outputTimecodeDescription(const qv::TimecodeTrack& track);

    const std::optional<SMPTETime>& firstTimecodeSample() const { return firstTimecodeSample_; }
    const qv::MediaTime& frameDuration() const { return frameDuration_; }
    std::uint32_t frameQuanta() const { return frameQuanta_; }
    bool isDropFrame() const { return isDropFrame_; }
    const QString& sourceName() const { return sourceName_; }
    const qv::MediaTime& startTimecode() const { return startTimecode_; }

private:
    QVTimecodeReader(AppDelegate& ad, qv::Dispatcher& main, std::shared_ptr<QVFile> file,
                     std::shared_ptr<QVFilePending> filePending);
    void read();
    void recordOnFile(QVFile& file);
    void recordOnFilePending(QVFilePending& pending);

    AppDelegate& ad_;
    qv::Dispatcher& main_;
    std::shared_ptr<QVFile> file_;
    std::shared_ptr<QVFilePending> filePending_;
    std::shared_ptr<qv::Asset> sourceAsset_;
    std::optional<SMPTETime> firstTimecodeSample_;
    qv::MediaTime frameDuration_ = qv::MediaTime::invalid();
    std::uint32_t frameQuanta_ = 0;
    bool isDropFrame_ = false;
    QString sourceName_;
    qv::MediaTime startTimecode_ = qv::MediaTime::invalid();
};
