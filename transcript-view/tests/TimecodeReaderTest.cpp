#include "model/tests/ModelFixture.h"
#include "platform/media/tests/TestMedia.h"
#include "transcript-view/QVTimecodeReader.h"

namespace {

using qv::MediaTime;
using qv::TimecodeFormat;

std::vector<std::uint8_t> bigEndian(std::int64_t value, int bytes)
{
    std::vector<std::uint8_t> out;
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
    return out;
}

qv::TimecodeTrack track(std::uint32_t subtype, std::uint32_t quanta, MediaTime frameDuration, std::uint32_t flags,
                        std::vector<std::uint8_t> sample)
{
    qv::TimecodeTrack t;
    t.format.subtype = subtype;
    t.format.frameQuanta = quanta;
    t.format.frameDuration = frameDuration;
    t.format.flags = flags;
    t.firstSample = std::move(sample);
    return t;
}

class TimecodeReaderTest : public ModelFixture {
protected:
    std::shared_ptr<QVFile> openFile(const std::string& media)
    {
        auto file = std::make_shared<QVFile>();
        file->uuid = "file1";
        file->asset = std::make_shared<qv::Asset>(qv::test::inspected(qv::test::testMedia(media)));
        return file;
    }
    // Starts a reader as the playback set-up does and lets it finish.
    void read(const std::shared_ptr<QVTimecodeReader>& reader)
    {
        ad.timecodeReaders.add(reader);
        reader->readTimecodeSamples();
        EXPECT_EQ(ad.timecodeReaders.size(), 1u) << "the reading waits for the main queue";
        main.drain();
        EXPECT_TRUE(ad.timecodeReaders.empty());
    }
};

TEST_F(TimecodeReaderTest, SamplesGiveTheStartOrNoTimecode)
{
    constexpr auto tmcd = TimecodeFormat::kTimecode32;
    constexpr auto tc64 = TimecodeFormat::kTimecode64;
    constexpr auto drop = TimecodeFormat::kDropFrame;
    const MediaTime thirtieth(1, 30);
    const MediaTime ntsc(1001, 30000);
    const struct {
        const char* name;
        qv::TimecodeTrack track;
        bool accepted;
        MediaTime start;
        std::int16_t hours, minutes, seconds, frames;
    } cases[] = {
        {"32-bit, 30 fps", track(tmcd, 30, thirtieth, 0, bigEndian(107999, 4)), true, MediaTime(107999, 30), 0, 59, 59, 29},
        {"64-bit, 30 fps", track(tc64, 30, thirtieth, 0, bigEndian(107999, 8)), true, MediaTime(107999, 30), 0, 59, 59, 29},
        {"drop-frame at 29.97", track(tmcd, 30, ntsc, drop, bigEndian(107892, 4)), true,
         MediaTime(107892LL * 1001, 30000), 1, 0, 0, 0},
        {"negative, sign-extended", track(tmcd, 30, thirtieth, 0, bigEndian(-30, 4)), true, MediaTime(-30, 30), 0,
         std::int16_t(0x80), 1, 0},
        {"another subtype starts at frame zero", track(qv::fourCC("abcd"), 25, MediaTime(1, 25), 0, bigEndian(99, 4)),
         true, MediaTime(0, 25), -1, -1, -1, -1},
        {"no rate", track(tmcd, 0, thirtieth, 0, bigEndian(100, 4)), false, MediaTime::invalid(), -1, -1, -1, -1},
        {"frames that last no time", track(tmcd, 30, MediaTime(0, 30), 0, bigEndian(100, 4)), false,
         MediaTime::invalid(), -1, -1, -1, -1},
        {"no sample data", track(tmcd, 30, thirtieth, 0, {}), false, MediaTime::invalid(), -1, -1, -1, -1},
        {"a sample cut short", track(tmcd, 30, thirtieth, 0, {0, 1}), false, MediaTime::invalid(), -1, -1, -1, -1},
    };
    for (const auto& c : cases) {
        const auto reader = QVTimecodeReader::initWithFile(ad, main, std::make_shared<QVFile>());
        EXPECT_EQ(reader->outputTimecodeDescription(c.track), c.accepted) << c.name;
        EXPECT_TRUE(qv::isIdentical(reader->startTimecode(), c.start) || (!c.start.isValid() && !reader->startTimecode().isValid()))
            << c.name << ": " << reader->startTimecode().value << "/" << reader->startTimecode().timescale;
        EXPECT_EQ(reader->isDropFrame(), c.accepted && (c.track.format.flags & drop) != 0) << c.name;
        if (c.hours < 0) {
            EXPECT_FALSE(reader->firstTimecodeSample()) << c.name;
            continue;
        }
        ASSERT_TRUE(reader->firstTimecodeSample()) << c.name;
        const SMPTETime& sample = *reader->firstTimecodeSample();
        EXPECT_EQ(std::vector<int>({sample.hours, sample.minutes, sample.seconds, sample.frames}),
                  std::vector<int>({c.hours, c.minutes, c.seconds, c.frames}))
            << c.name;
    }
}

TEST_F(TimecodeReaderTest, AnOpenFileGetsItsTimecodeAndItsRecordTheFields)
{
    const auto file = openFile("video.mov");
    read(QVTimecodeReader::initWithFile(ad, main, file));
    EXPECT_TRUE(file->hasLoadedTimecode);
    // 01:00:00:00 at 30 frames a second, each lasting 1001/30000 s.
    EXPECT_TRUE(qv::isIdentical(file->timecodeStart, MediaTime(108000LL * 1001, 30000)));
    EXPECT_TRUE(qv::isIdentical(file->timecodeFrameDuration, MediaTime(1001, 30000)));
    EXPECT_EQ(file->timecodeSourceName, "REEL1");
    EXPECT_EQ(stored("files/file1/timecode/start").toString(), "108108000/30000s");
    EXPECT_EQ(stored("files/file1/timecode/frame_duration").toString(), "1001/30000s");
    EXPECT_EQ(stored("files/file1/timecode/source_name").toString(), "REEL1");
    EXPECT_TRUE(stored("files/file1/timecode/drop_frame").isNull());
    EXPECT_TRUE(stored("files/file1/updated").isNumber());
}

TEST_F(TimecodeReaderTest, MediaWithoutATimecodeTrackStillCompletes)
{
    const auto file = openFile("tone.wav");
    file->hasLoadedTimecode = false;
    read(QVTimecodeReader::initWithFile(ad, main, file));
    EXPECT_TRUE(file->hasLoadedTimecode);
    EXPECT_FALSE(file->timecodeStart.isValid());
    EXPECT_EQ(stored("files/file1/timecode/start").toString(), "0s");

    // A file with no asset at all (its media could not be inspected) completes the same way.
    auto bare = std::make_shared<QVFile>();
    read(QVTimecodeReader::initWithFile(ad, main, bare));
    EXPECT_TRUE(bare->hasLoadedTimecode);
}

TEST_F(TimecodeReaderTest, APendingFileGetsTheRateInWholeFramesAndNoDatabaseWrite)
{
    auto pending = std::make_shared<QVFilePending>();
    pending->uuid = "pending1";
    pending->asset = std::make_shared<qv::Asset>(qv::test::inspected(qv::test::testMedia("video.mov")));
    read(QVTimecodeReader::initWithFilePending(ad, main, pending));
    EXPECT_EQ(pending->timecodeFrameQuanta, 30u);
    EXPECT_TRUE(qv::isIdentical(pending->timecodeStart, MediaTime(108000LL * 1001, 30000)));
    EXPECT_TRUE(stored("files/pending1").isNull());
}

}  // namespace
