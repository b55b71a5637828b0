// Files of each kind the intake takes, cut short at several points as a broken copy or download
// leaves them: inspection either gives the length of the sound their bytes hold, or says the
// file is truncated and where its sound ends, by the same judgement as reading their audio.
#include "platform/media/Asset.h"
#include "platform/media/AudioReader.h"

#include "TestMedia.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace qv {
namespace {

using test::testMedia;

// The byte offset of the first audio packet of `path`, as the ffprobe command finds it.
std::size_t firstAudioPacketOffset(const std::string& path)
{
    const std::string command = "ffprobe -v error -select_streams a:0 -show_entries packet=pos -read_intervals '%+#1'"
                                " -of csv=p=0 '" + path + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    unsigned long long offset = 0;
    if (!pipe || std::fscanf(pipe.get(), "%llu", &offset) != 1)
        ADD_FAILURE() << "ffprobe found no audio packet in " << path;
    return static_cast<std::size_t>(offset);
}

// Seconds of sound the ffmpeg command decodes from the first audio track of `path`.
double decodedSeconds(const std::string& path, int sampleRate)
{
    const std::string command = "ffmpeg -nostdin -v quiet -i '" + path + "' -map 0:a:0 -ac 1 -f s16le -";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::size_t bytes = 0;
    char buffer[65536];
    while (pipe) {
        std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe.get());
        if (got == 0)
            break;
        bytes += got;
    }
    return static_cast<double>(bytes / 2) / sampleRate;
}

// How reading the first audio track of `asset` ends.
AudioReader::Status readingOfFirstAudioTrack(const Asset& asset)
{
    auto reader = AudioReader::forTrack(asset, asset.tracksWithMediaType(MediaType::Audio).front().trackID);
    if (!reader)
        return AudioReader::Status::Failed;
    while (reader.value()->copyNextSampleBuffer()) {
    }
    return reader.value()->status();
}

TEST(CutShortAsset, ListsTheSoundItsBytesHoldOrSaysItIsTruncated)
{
    // Each 10 s of a sine at 44.1 kHz.
    struct Kind {
        const char* name;
        // The file states its length in a header: cut, it is truncated. Otherwise its length is
        // taken from what there is (the last page of an Ogg file, every frame of raw AAC, the
        // bytes of a CAF file whose writer left its data's length open).
        bool statesLength;
        double packetSeconds;  // one packet of its codec: how near the sound's end is found
    };
    const Kind kinds[] = {
        {"long.wav", true, 0.001},   {"long.aiff", true, 0.001},   {"long.caf", false, 0.001},
        {"long.mp3", true, 0.027},   {"long.flac", true, 0.105},   {"long.m4a", true, 0.024},
        {"long.mp4", true, 0.024},   {"long.mov", true, 0.024},    {"long.ogg", false, 0.047},
        {"long.aac", false, 0.024},
    };
    enum Cut { Whole, InHeader, AfterHeader, Middle, NearEnd };
    const char* const cutNames[] = {"whole", "in the header", "just after the header", "in the middle", "near the end"};

    for (const Kind& kind : kinds) {
        const std::string source = testMedia(kind.name);
        const std::vector<std::uint8_t> bytes = test::readFile(source);
        const std::size_t dataStart = firstAudioPacketOffset(source);
        for (Cut cut : {Whole, InHeader, AfterHeader, Middle, NearEnd}) {
            SCOPED_TRACE(std::string(kind.name) + " cut " + cutNames[cut]);
            std::size_t kept = bytes.size();
            switch (cut) {
            case Whole: break;
            case InHeader: kept = 20; break;
            case AfterHeader: kept = dataStart + 1500; break;
            case Middle: kept = bytes.size() / 2; break;
            case NearEnd: kept = bytes.size() * 95 / 100; break;
            }
            const std::string path = test::writeScratchFile(
                "cut-" + std::to_string(cut) + "-" + kind.name,
                std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(kept)));
            auto asset = Asset::inspect(path);
            // Cut in or just after its header, a file may hold too little to be taken for media,
            // or to have a length: the intake refuses it, and it is not listed at all.
            if (!asset.ok() || (!asset->isTruncated() && !asset->duration().isNumeric())) {
                EXPECT_TRUE(cut == InHeader || cut == AfterHeader);
                continue;
            }
            // Truncated exactly when reading its audio fails for it.
            EXPECT_EQ(asset->isTruncated(), readingOfFirstAudioTrack(asset.value()) == AudioReader::Status::Failed);
            EXPECT_EQ(asset->isTruncated(), cut != Whole && kind.statesLength);
            // The length listed is that of the sound decoded: within a packet for a truncated
            // file; a whole one may state the codec's delay and padding on top.
            const MediaTime listed = asset->isTruncated() ? asset->truncatedAt() : asset->duration();
            const double decoded = decodedSeconds(path, 44100);
            EXPECT_NEAR(listed.seconds(), decoded,
                        kind.packetSeconds * (asset->isTruncated() ? 1 : AudioReader::kEndTolerancePackets));
            if (cut == Whole)
                EXPECT_NEAR(listed.seconds(), 10.0, 0.1);
            else
                EXPECT_LT(listed.seconds(), 9.9);
        }
    }
}

}  // namespace
}  // namespace qv
