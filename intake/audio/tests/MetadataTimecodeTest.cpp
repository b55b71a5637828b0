// Start timecode from broadcast-wave, iXML and MP3 metadata, and iXML track names; files made
// here, by hand or with ffmpeg.
#include "intake/audio/QVMetadataTimecode.h"
#include "intake/audio/tests/AudioModel.h"

#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"

#include "platform/media/tests/TestMedia.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qv::test {
namespace {

using Chunks = std::vector<std::pair<std::string, std::vector<std::uint8_t>>>;

constexpr std::uint32_t kOneHourAt48k = 3600u * 48000u;

std::string ixml(const std::string& speed) { return "<?xml version=\"1.0\"?><BWFXML><SPEED>" + speed + "</SPEED></BWFXML>"; }

// A short silent stereo file at 48 kHz with `chunks` before its audio.
QUrl wave(const std::string& name, Chunks chunks)
{
    chunks.insert(chunks.begin(), {"fmt ", fmtChunk(2, 48000)});
    chunks.push_back({"data", pcmData(std::vector<std::int16_t>(96, 0))});
    return QUrl::fromLocalFile(QString::fromStdString(writeScratchFile(name, riffWave(chunks))));
}

QUrl ffmpeg(const std::string& name, const std::string& arguments)
{
    const std::string path = scratchFolder() + "/" + name;
    const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i sine=frequency=440:duration=0.5 " + arguments +
                                " '" + path + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

struct Expected {
    MediaTime start;
    MediaTime frameDuration;
    std::uint32_t quanta;
    bool dropFrame;
};

void expectTimecode(const QUrl& url, const Expected& expected)
{
    QVTimecodeFields fields;
    ASSERT_TRUE(readMetadataTimecode(url, fields)) << url.toLocalFile().toStdString();
    EXPECT_EQ(fields.timecodeStart.seconds(), expected.start.seconds());
    EXPECT_EQ(fields.timecodeFrameDuration, expected.frameDuration);
    EXPECT_EQ(fields.timecodeFrameDuration.timescale, expected.frameDuration.timescale);
    EXPECT_EQ(fields.timecodeFrameQuanta, expected.quanta);
    EXPECT_EQ(fields.timecodeIsDropFrame, expected.dropFrame);
}

TEST(MetadataTimecode, BroadcastWaveTimeReferenceCountsSamplesSinceMidnight)
{
    expectTimecode(wave("bext.wav", {{"bext", bextChunk(kOneHourAt48k)}}),
                   {MediaTime(3600, 1), MediaTime(1, 1000), 1000, false});
    // Written by another tool, in upper case, after an odd-sized chunk and its pad byte.
    expectTimecode(wave("odd.wav", {{"LIST", textChunk("odd")}, {"BEXT", bextChunk(kOneHourAt48k / 2)}}),
                   {MediaTime(1800, 1), MediaTime(1, 1000), 1000, false});
    expectTimecode(ffmpeg("ffmpeg-bext.wav", "-ar 48000 -write_bext 1 -metadata time_reference=172800000"),
                   {MediaTime(3600, 1), MediaTime(1, 1000), 1000, false});
}

TEST(MetadataTimecode, IXMLRateAndFlagOverTheBroadcastWaveTime)
{
    const std::string speed = "<TIMECODE_RATE>30000/1001</TIMECODE_RATE><TIMECODE_FLAG>DF</TIMECODE_FLAG>"
                              "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>" + std::to_string(kOneHourAt48k) +
                              "</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>";
    expectTimecode(wave("ixml.wav", {{"bext", bextChunk(0)}, {"iXML", textChunk(ixml(speed))}}),
                   {MediaTime(3600, 1), MediaTime(1001, 30000), 30, true});
    // A time but no rate: the broadcast-wave reading stands.
    const std::string noRate = "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>48000</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>";
    expectTimecode(wave("norate.wav", {{"bext", bextChunk(kOneHourAt48k)}, {"iXML", textChunk(ixml(noRate))}}),
                   {MediaTime(3600, 1), MediaTime(1, 1000), 1000, false});
}

// Malformed metadata never yields a timecode it does not hold: each of these reads as the
// broadcast-wave time when there is one (`withBext`), or as none at all.
TEST(MetadataTimecode, MalformedMetadataIsNoTimecode)
{
    const std::string reference = "<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>48000</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>";
    struct Case {
        const char* name;
        Chunks chunks;
        bool fallsBackToBext;
    };
    const Case cases[] = {
        {"ixml-not-xml", {{"bext", bextChunk(kOneHourAt48k)}, {"iXML", textChunk("<BWFXML><SPEED>30/1")}}, true},
        {"rate-over-zero", {{"bext", bextChunk(kOneHourAt48k)}, {"iXML", textChunk(ixml(reference + "<TIMECODE_RATE>30/0</TIMECODE_RATE>"))}}, true},
        {"rate-of-zero", {{"iXML", textChunk(ixml(reference + "<TIMECODE_RATE>0/1</TIMECODE_RATE>"))}}, false},
        {"rate-of-letters", {{"iXML", textChunk(ixml(reference + "<TIMECODE_RATE>abc/25</TIMECODE_RATE>"))}}, false},
        {"rate-below-one-frame-a-second", {{"iXML", textChunk(ixml(reference + "<TIMECODE_RATE>1/1000</TIMECODE_RATE>"))}}, false},
        {"reference-of-letters", {{"iXML", textChunk(ixml("<TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO>12ab</TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO><TIMECODE_RATE>25/1</TIMECODE_RATE>"))}}, false},
        {"bext-too-short", {{"bext", std::vector<std::uint8_t>(100, 0)}}, false},
    };
    for (const Case& c : cases) {
        QVTimecodeFields fields;
        const QUrl url = wave(std::string(c.name) + ".wav", c.chunks);
        EXPECT_EQ(readMetadataTimecode(url, fields), c.fallsBackToBext) << c.name;
        if (c.fallsBackToBext) {
            EXPECT_EQ(fields.timecodeStart.seconds(), 3600) << c.name;
            EXPECT_EQ(fields.timecodeFrameQuanta, 1000u) << c.name;
        } else {
            EXPECT_FALSE(fields.timecodeStart.isValid()) << c.name;
            EXPECT_FALSE(fields.timecodeFrameDuration.isValid()) << c.name;
        }
    }
}

TEST(MetadataTimecode, DamagedWaveFilesAreNoTimecode)
{
    // A bext chunk whose length runs past the end of the file.
    std::vector<std::uint8_t> truncated = riffWave({{"fmt ", fmtChunk(2, 48000)}});
    appendChunk(truncated, "bext", bextChunk(kOneHourAt48k), 1 << 30);
    // A file that declares no channels: its samples count no time.
    const std::vector<std::uint8_t> noChannels = riffWave({{"fmt ", fmtChunk(0, 48000)}, {"bext", bextChunk(kOneHourAt48k)}});
    const std::vector<std::uint8_t> noRate = riffWave({{"fmt ", fmtChunk(2, 0)}, {"bext", bextChunk(kOneHourAt48k)}});
    const std::pair<const char*, std::vector<std::uint8_t>> files[] = {
        {"past-end.wav", truncated}, {"no-channels.wav", noChannels}, {"no-rate.wav", noRate},
        {"tiny.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}}, {"empty.wav", {}}};
    for (const auto& [name, bytes] : files) {
        QVTimecodeFields fields;
        EXPECT_FALSE(readMetadataTimecode(QUrl::fromLocalFile(QString::fromStdString(writeScratchFile(name, bytes))), fields)) << name;
        EXPECT_FALSE(fields.timecodeStart.isValid()) << name;
    }
    QVTimecodeFields fields;
    EXPECT_FALSE(readMetadataTimecode(QUrl::fromLocalFile(QString::fromStdString(scratchFolder() + "/gone.wav")), fields));
    EXPECT_FALSE(readMetadataTimecode(QUrl::fromLocalFile(QString::fromStdString(testMedia("short.aiff"))), fields));
}

TEST(MetadataTimecode, MP3AlbumAndArtistTags)
{
    struct Case {
        const char* name;
        std::string tags;
        bool answers;
        std::optional<Expected> expected;
    };
    const Case cases[] = {
        {"tc.mp3", "-metadata album='FR=25.000/ND second' -metadata artist=TC=01:00:00:00", true,
         Expected{MediaTime(3600, 1), MediaTime(1, 25), 25, false}},
        // Ten minutes of drop-frame labels are 17982 frames.
        {"df.mp3", "-metadata album='FR=29.970/DF x' -metadata artist=TC=00:10:00:00", true,
         Expected{MediaTime(17982 * 1001, 30000), MediaTime(1001, 30000), 30, true}},
        {"other.mp3", "-metadata album=Interviews -metadata artist=Ann", true, std::nullopt},
        {"fifty.mp3", "-metadata album='FR=50.000/ND x' -metadata artist=TC=01:00:00:00", true, std::nullopt},
        {"letters.mp3", "-metadata album='FR=25.000/ND x' -metadata artist=TC=ab:cd:ef:gh", true, std::nullopt},
        {"frames-over.mp3", "-metadata album='FR=25.000/ND x' -metadata artist=TC=01:00:00:30", true, std::nullopt},
        {"album-only.mp3", "-metadata album='FR=25.000/ND x'", false, std::nullopt},
        {"untagged.mp3", "-id3v2_version 0 -write_xing 0", false, std::nullopt},
    };
    for (const Case& c : cases) {
        const QUrl url = ffmpeg(c.name, c.tags);
        QVTimecodeFields fields;
        EXPECT_EQ(readMetadataTimecode(url, fields), c.answers) << c.name;
        if (c.expected) {
            expectTimecode(url, *c.expected);
        } else {
            EXPECT_FALSE(fields.timecodeStart.isValid()) << c.name;
            EXPECT_FALSE(fields.timecodeFrameDuration.isValid()) << c.name;
        }
    }
}

// An MP3 with only a version 1 tag, whose fields are zero-padded to 30 bytes; only their first
// 14 bytes are read.
QUrl withVersion1Tag(const std::string& name, const std::string& artist, const std::string& album)
{
    std::vector<std::uint8_t> bytes = readFile(ffmpeg("untagged-" + name, "-id3v2_version 0").toLocalFile().toStdString());
    std::vector<std::uint8_t> tag(128, 0);
    std::copy_n("TAG", 3, tag.begin());
    std::copy(artist.begin(), artist.end(), tag.begin() + 33);
    std::copy(album.begin(), album.end(), tag.begin() + 63);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    return QUrl::fromLocalFile(QString::fromStdString(writeScratchFile(name, bytes)));
}

TEST(MetadataTimecode, MP3Version1Tag)
{
    expectTimecode(withVersion1Tag("v1.mp3", "TC=01:00:00:00", "FR=25.000/ND x-and-more"),
                   {MediaTime(3600, 1), MediaTime(1, 25), 25, false});
    // The rate word alone has no space in its first 14 bytes: tagged, but no timecode.
    QVTimecodeFields fields;
    EXPECT_TRUE(readMetadataTimecode(withVersion1Tag("v1-bare.mp3", "TC=01:00:00:00", "FR=25.000/ND"), fields));
    EXPECT_FALSE(fields.timecodeStart.isValid());
}

TEST(MetadataTimecode, PendingFileOrOpenFileReadsItsFirstMediaFile)
{
    auto pending = std::make_shared<QVFilePending>();
    EXPECT_FALSE(getBWFMP3TimecodeForFilePending(pending.get(), nullptr));
    auto mediaFile = std::make_shared<QVMediaFile>();
    mediaFile->url = wave("first.wav", {{"bext", bextChunk(kOneHourAt48k)}});
    pending->mediaFiles = {mediaFile};
    EXPECT_TRUE(getBWFMP3TimecodeForFilePending(pending.get(), nullptr));
    EXPECT_EQ(pending->timecodeStart.seconds(), 3600);
    EXPECT_FALSE(getBWFMP3TimecodeForFilePending(nullptr, nullptr));
}

TEST(MetadataTimecode, IXMLTrackNamesInInterleaveOrder)
{
    const std::string tracks = "<?xml version=\"1.0\"?><BWFXML><TRACK_LIST>"
                               "<TRACK><INTERLEAVE_INDEX>2</INTERLEAVE_INDEX><NAME>B</NAME></TRACK>"
                               "<TRACK><INTERLEAVE_INDEX>1</INTERLEAVE_INDEX><NAME><![CDATA[A]]></NAME></TRACK>"
                               "<TRACK><INTERLEAVE_INDEX>3</INTERLEAVE_INDEX></TRACK>"
                               "</TRACK_LIST></BWFXML>";
    EXPECT_EQ(getiXMLTrackNamesFromURL(wave("names.wav", {{"iXML", textChunk(tracks)}})), QStringList({"A", "B", ""}));
    EXPECT_EQ(getiXMLTrackNamesFromURL(wave("nonames.wav", {{"bext", bextChunk(0)}})), std::nullopt);
    EXPECT_EQ(getiXMLTrackNamesFromURL(wave("notracks.wav", {{"iXML", textChunk(ixml(""))}})), std::nullopt);
    EXPECT_EQ(getiXMLTrackNamesFromURL(wave("badxml.wav", {{"iXML", textChunk("<BWFXML><TRACK_LIST>")}})), std::nullopt);
    EXPECT_EQ(getiXMLTrackNamesFromURL(QUrl::fromLocalFile(QString::fromStdString(testMedia("short.aiff")))), std::nullopt);
}

}  // namespace
}  // namespace qv::test
