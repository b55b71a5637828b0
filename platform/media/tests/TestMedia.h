// Media files for the tests, made with the ffmpeg command the first time a test asks for one
// and shared by every test process of the build (they live in the build folder, each under a
// name that carries a digest of the command that makes it).
#pragma once

#include "platform/media/Asset.h"
#include "platform/media/Composition.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

// Known names:
//   "tone.wav"    3 s stereo 48 kHz 16-bit, a 440 Hz sine at 0.9 of full scale on both channels
//   "sawtooth.wav" 3 s mono 48 kHz 16-bit whose sample n is (n mod 1000) / 1000, so that a
//                 sample tells where it was taken
//   "levels.wav"  1 s stereo 48 kHz 16-bit, constant 0.5 on the left and -0.25 on the right
//   "levels-rf64.wav"  the same as an RF64 file, its lengths in a 'ds64' chunk
//   "video.mov"   2 s ProRes 720x480 (32:27 pixels, interlaced) at 30000/1001 frames a second
//                 whose brightness rises with time, a stereo 48 kHz and a mono 44.1 kHz AAC
//                 track, a timecode track starting 01:00:00:00 with reel "REEL1", and
//                 QuickTime metadata album "QTAlbum"
//   "tagged.mp3"  2 s mono 44.1 kHz MP3 with ID3 album "FR=25.000/ND second" and artist
//                 "TC=01:00:00:00"
//   "sine10.mp3"  10 s mono 44.1 kHz MP3 of a 440 Hz sine
//   "short.aiff"  0.5 s stereo 44.1 kHz 16-bit AIFF
//   "short.caf"   0.5 s mono 22.05 kHz 16-bit CAF
//   "mono-part.aac", "stereo-part.aac"  1 s of a sine as raw AAC frames (ADTS), mono at
//                 44.1 kHz and stereo at 48 kHz, to be joined into one stream
//   "late-audio.mov"  0.2 s of grey video at the start, and 0.5 s of a sine, mono 8 kHz 16-bit,
//                 that starts one hour in
//   "groups.mov"  4 s of H.264 at 128x72, 25 pictures a second that all differ, in groups of
//                 50 pictures led by a key picture, with pictures that nothing refers to
//   "groups-mirrored.mov"  groups.mov with its pictures mirrored left to right
//   "groups-sawtooth.mov"  groups.mov's pictures beside sawtooth.wav's sound (4 s of it)
//   "starts-12800.mp4", "starts-90000.mp4", "starts-30000.mov", "starts-1000.mkv"  3 s of
//                 H.264 at 128x72 with B-frames and a key picture every second, pictures that
//                 all differ, at 25 (the first two) or 30000/1001 pictures a second, in a stream
//                 whose time base is 1/12800, 1/90000 (the file's clock starting at 1.4 s),
//                 1/30000 and 1/1000
//   "keys7.mov"   1 s of H.264 at 64x36, 30000/1001 pictures a second, a key picture every 7
//                 (most of them starting between two samples at 48 kHz)
//   "long.mp3"    10 s mono 44.1 kHz MP3 at 128 kbit/s, with the header that states its length
//   "long.m4a"    10 s mono 44.1 kHz AAC at 64 kbit/s, its index at the start of the file
//   "long.wav", "long.aiff", "long.caf" (16-bit PCM), "long.flac", "long.ogg" (Vorbis),
//   "long.aac" (raw AAC frames), "long.mp4", "long.mov" (AAC at 64 kbit/s beside a grey
//                 picture, the index at the start of the file)  10 s mono 44.1 kHz of a sine
//   "tagged.m4a"  1 s mono AAC with iTunes album "iAlbum" and artist "iArtist", its index at
//                 the start of the file
//   "sine2.wav", "sine2.aiff", "sine2.flac", "sine2.mp3" (44.1 kHz), "sine2-48k.mp3",
//   "sine2.m4a", "sine2.mp4" (AAC), "sine2.opus", "sine2.ogg" (Vorbis), "sine2.mov" (AAC
//                 beside a grey picture)  2 s mono of a 440 Hz sine at 1/8 of full scale, at
//                 48 kHz unless named
//   "high3.mp4"   3 s mono 48 kHz AAC of an 880 Hz sine at 1/8 of full scale
//   "vbr5.aac"    5 s of stereo raw AAC frames (ADTS) at a variable bit rate (pink noise on one
//                 channel, a sine on the other), whose length the bit rate misjudges
std::string testMedia(const std::string& name);

// The inspected asset of a file that must be readable; throws (failing the test) otherwise.
Asset inspected(const std::string& path);

// A composition of one track of `type`: the first such track of the test medium `name`, its
// ranges (source range, time placed) inserted in turn. Fails the test when one cannot be.
struct Placement {
    MediaTimeRange source;
    MediaTime at;
};
Composition compositionOf(const std::string& name, MediaType type, const std::vector<Placement>& placements);

// A folder for this test's own files, removed when the test process ends.
std::string scratchFolder();

// Writes bytes to a file in the scratch folder and returns its path.
std::string writeScratchFile(const std::string& name, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> readFile(const std::string& path);
// A copy of the test medium `source` in the scratch folder as `name`, with one header field
// changed: `value`, `size` bytes long, big-endian unless said, written `offset` bytes after the
// first `tag` in the file (as a damaged or hostile header would claim it).
enum class Endian { Big, Little };
std::string patchedCopy(const std::string& name, const std::string& source, const std::string& tag,
                        std::size_t offset, std::uint64_t value, int size, Endian endian = Endian::Big);
// Puts the file `source` at `path` in one step, as a program that saves a file whole does: a
// link to it made beside `path` is renamed over whatever is there. `source` stays as it is.
void replaceFile(const std::string& source, const std::string& path);

// Makes `folder` the working folder while it lives, for tests of relative paths.
class InFolder {
public:
    explicit InFolder(const std::string& folder);
    ~InFolder();
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::string previous_;
};

}  // namespace qv::test
