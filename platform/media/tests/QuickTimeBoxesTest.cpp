#include "platform/media/QuickTimeBoxes.h"

#include "platform/media/Asset.h"
#include "platform/media/TimecodeFormat.h"

#include "TestMedia.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qv {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

Bytes box(const char (&type)[5], const Bytes& payload)
{
    Bytes out;
    put32(out, static_cast<std::uint32_t>(payload.size() + 8));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Bytes kDescription = {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0x75, 0x30, 0, 0, 0x03, 0xe9, 30, 0};

// A track whose header is of `version` (0: 32-bit dates, 1: 64-bit) with one 'tc64' entry.
Bytes track(std::uint32_t trackID, std::uint8_t version, const Bytes& description = kDescription)
{
    Bytes tkhd = {version, 0, 0, 0};
    tkhd.resize(version == 1 ? 20 : 12, 0);
    put32(tkhd, trackID);
    tkhd.resize(tkhd.size() + 60, 0);
    Bytes entry;
    put32(entry, static_cast<std::uint32_t>(16 + description.size()));
    entry.insert(entry.end(), {'t', 'c', '6', '4', 0, 0, 0, 0, 0, 0, 0, 1});
    entry.insert(entry.end(), description.begin(), description.end());
    Bytes stsd = join({{0, 0, 0, 0, 0, 0, 0, 1}, entry});
    return box("trak", join({box("tkhd", tkhd),
                             box("mdia", box("minf", box("stbl", box("stsd", stsd))))}));
}

TEST(QuickTimeBoxes, FindsTheSampleDescriptionOfATrack)
{
    Bytes movie = join({box("mvhd", Bytes(100, 0)), track(1, 0), track(7, 1)});
    for (std::uint32_t id : {1u, 7u}) {
        auto description = quicktime::sampleDescriptionOfTrack(movie, id);
        ASSERT_TRUE(description) << id;
        EXPECT_TRUE(std::equal(description->begin(), description->end(), kDescription.begin(), kDescription.end()));
    }
    EXPECT_FALSE(quicktime::sampleDescriptionOfTrack(movie, 2));
}

TEST(QuickTimeBoxes, SizesThatDoNotFitEndTheWalk)
{
    Bytes good = track(1, 0);
    Bytes tooLong = good;
    tooLong[3] += 1;  // the track box claims one byte more than there is
    EXPECT_FALSE(quicktime::sampleDescriptionOfTrack(tooLong, 1));
    Bytes cut(good.begin(), good.end() - 4);
    EXPECT_FALSE(quicktime::sampleDescriptionOfTrack(cut, 1));
    Bytes tooSmall = good;
    tooSmall[0] = tooSmall[1] = tooSmall[2] = 0;
    tooSmall[3] = 4;  // smaller than its own header
    EXPECT_FALSE(quicktime::sampleDescriptionOfTrack(tooSmall, 1));
    EXPECT_FALSE(quicktime::sampleDescriptionOfTrack({}, 1));
}

TEST(QuickTimeBoxes, ReadsTheMovieBoxWhereverItStands)
{
    Bytes movie = track(1, 0);
    Bytes largeMdat = {0, 0, 0, 1, 'm', 'd', 'a', 't', 0, 0, 0, 0, 0, 0, 0, 20, 1, 2, 3, 4};
    std::string path = test::writeScratchFile(
        "movie.mov", join({box("ftyp", {'q', 't', ' ', ' '}), largeMdat, box("moov", movie)}));
    auto read = quicktime::readMovieBox(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, movie);

    std::string cut = test::writeScratchFile("cut.mov", join({box("ftyp", {'q', 't', ' ', ' '}),
                                                              Bytes{0, 0, 1, 0, 'm', 'd', 'a', 't', 9}}));
    EXPECT_FALSE(quicktime::readMovieBox(cut));
    EXPECT_FALSE(quicktime::readMovieBox(test::scratchFolder() + "/missing.mov"));
}

TEST(QuickTimeBoxes, SixtyFourBitTimecodeTrackGetsItsFormatFromTheFile)
{
    // The test movie with its timecode entry retyped 'tc64'; FFmpeg then hands on no description.
    auto bytes = test::readFile(test::testMedia("video.mov"));
    const std::string entry = "tmcd";
    const std::string stsd = "stsd";
    auto at = bytes.begin();
    bool patched = false;
    while ((at = std::search(at, bytes.end(), stsd.begin(), stsd.end())) != bytes.end()) {
        if (bytes.end() - at > 20 && std::equal(entry.begin(), entry.end(), at + 16)) {
            std::copy_n("tc64", 4, at + 16);
            patched = true;
        }
        ++at;
    }
    ASSERT_TRUE(patched);
    Asset asset = test::inspected(test::writeScratchFile("tc64.mov", bytes));
    auto timecode = asset.tracksWithMediaType(MediaType::Timecode);
    ASSERT_EQ(timecode.size(), 1u);
    const TimecodeFormat& format = timecode[0].timecode->format;
    EXPECT_EQ(format.subtype, TimecodeFormat::kTimecode64);
    EXPECT_TRUE(isIdentical(format.frameDuration, MediaTime(1001, 30000)));
    EXPECT_EQ(format.frameQuanta, 30u);
    EXPECT_EQ(format.sourceName, "REEL1");
}

}  // namespace
}  // namespace qv
