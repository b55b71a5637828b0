#include "TestMedia.h"

#include "platform/foundation/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <unistd.h>

namespace qv::test {

namespace fs = std::filesystem;

namespace {

const std::map<std::string, std::string>& recipes()
{
    static const std::map<std::string, std::string> recipes = {
        {"tone.wav", "-f lavfi -i 'aevalsrc=0.9*sin(2*PI*440*t)|0.9*sin(2*PI*440*t):s=48000:d=3' -c:a pcm_s16le -f wav"},
        {"sawtooth.wav", "-f lavfi -i 'aevalsrc=n/1000-floor(n/1000):s=48000:d=3' -c:a pcm_s16le -f wav"},
        {"levels.wav", "-f lavfi -i 'aevalsrc=0.5|-0.25:s=48000:d=1' -c:a pcm_s16le -f wav"},
        {"levels-rf64.wav", "-f lavfi -i 'aevalsrc=0.5|-0.25:s=48000:d=1' -c:a pcm_s16le -rf64 always -f wav"},
        {"video.mov",
         "-f lavfi -i 'nullsrc=s=720x480:r=30000/1001:d=2,geq=lum=T*100:cb=128:cr=128,setsar=32/27,setfield=tff'"
         " -f lavfi -i 'sine=f=440:r=48000:d=2' -f lavfi -i 'sine=f=880:r=44100:d=2'"
         " -filter_complex '[1:a]pan=stereo|c0=c0|c1=c0[st]' -map 0:v -map '[st]' -map 2:a"
         " -c:v prores -profile:v 0 -flags +ilme+ildct -field_order tt -c:a aac"
         " -timecode 01:00:00:00 -metadata:s:v:0 reel_name=REEL1"
         " -movflags use_metadata_tags -metadata com.apple.quicktime.album=QTAlbum -f mov"},
        {"tagged.mp3", "-f lavfi -i 'sine=f=440:r=44100:d=2' -c:a libmp3lame"
                       " -metadata 'album=FR=25.000/ND second' -metadata 'artist=TC=01:00:00:00' -f mp3"},
        {"sine10.mp3", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a libmp3lame -f mp3"},
        {"short.aiff", "-f lavfi -i 'sine=f=440:r=44100:d=0.5' -ac 2 -c:a pcm_s16be -f aiff"},
        {"short.caf", "-f lavfi -i 'sine=f=440:r=22050:d=0.5' -c:a pcm_s16le -f caf"},
        {"mono-part.aac", "-f lavfi -i 'sine=f=440:r=44100:d=1' -ac 1 -c:a aac -f adts"},
        {"stereo-part.aac", "-f lavfi -i 'sine=f=440:r=48000:d=1' -ac 2 -c:a aac -f adts"},
        {"late-audio.mov", "-f lavfi -i 'color=c=gray:s=64x48:r=10:d=0.2' -itsoffset 3600"
                           " -f lavfi -i 'sine=f=440:r=8000:d=0.5' -map 0 -map 1 -c:v mpeg4 -c:a pcm_s16le -f mov"},
        {"groups.mov", "-f lavfi -i 'testsrc2=s=128x72:r=25:d=4' -c:v libx264 -preset veryfast -g 50 -keyint_min 50"
                       " -sc_threshold 0 -bf 3 -pix_fmt yuv420p -f mov"},
        {"groups-mirrored.mov", "-f lavfi -i 'testsrc2=s=128x72:r=25:d=4,hflip' -c:v libx264 -preset veryfast -g 50"
                                " -keyint_min 50 -sc_threshold 0 -bf 3 -pix_fmt yuv420p -f mov"},
        {"groups-sawtooth.mov", "-f lavfi -i 'testsrc2=s=128x72:r=25:d=4' -f lavfi -i 'aevalsrc=n/1000-floor(n/1000):s=48000:d=4'"
                                " -c:v libx264 -preset veryfast -g 50 -keyint_min 50 -sc_threshold 0 -bf 3 -pix_fmt yuv420p"
                                " -c:a pcm_s16le -f mov"},
        {"long.mp3", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a libmp3lame -b:a 128k -f mp3"},
        {"long.m4a", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a aac -b:a 64k -movflags +faststart -f ipod"},
        {"long.wav", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a pcm_s16le -f wav"},
        {"long.aiff", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a pcm_s16be -f aiff"},
        {"long.caf", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a pcm_s16le -f caf"},
        {"long.flac", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a flac -f flac"},
        {"long.ogg", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a libvorbis -f ogg"},
        {"long.aac", "-f lavfi -i 'sine=f=440:r=44100:d=10' -c:a aac -b:a 64k -f adts"},
        {"long.mp4", "-f lavfi -i 'color=c=gray:s=64x48:r=10:d=10' -f lavfi -i 'sine=f=440:r=44100:d=10'"
                     " -c:v mpeg4 -c:a aac -b:a 64k -movflags +faststart -f mp4"},
        {"long.mov", "-f lavfi -i 'color=c=gray:s=64x48:r=10:d=10' -f lavfi -i 'sine=f=440:r=44100:d=10'"
                     " -c:v mpeg4 -c:a aac -b:a 64k -movflags +faststart -f mov"},
        {"sine2.wav", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a pcm_s16le -f wav"},
        {"sine2.aiff", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a pcm_s16be -f aiff"},
        {"sine2.flac", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a flac -f flac"},
        {"sine2.mp3", "-f lavfi -i 'sine=f=440:r=44100:d=2' -c:a libmp3lame -f mp3"},
        {"sine2-48k.mp3", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a libmp3lame -f mp3"},
        {"sine2.m4a", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a aac -f ipod"},
        {"sine2.mp4", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a aac -f mp4"},
        {"sine2.opus", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a libopus -f ogg"},
        {"sine2.ogg", "-f lavfi -i 'sine=f=440:r=48000:d=2' -c:a libvorbis -f ogg"},
        {"high3.mp4", "-f lavfi -i 'sine=f=880:r=48000:d=3' -c:a aac -f mp4"},
        {"vbr5.aac", "-f lavfi -i 'anoisesrc=d=5:c=pink:r=48000:a=0.05' -f lavfi -i 'sine=f=440:r=48000:d=5'"
                     " -filter_complex '[0][1]amerge=inputs=2' -c:a aac -q:a 0.2 -f adts"},
        {"sine2.mov", "-f lavfi -i 'color=c=gray:s=64x48:r=10:d=2' -f lavfi -i 'sine=f=440:r=48000:d=2'"
                      " -c:v mpeg4 -c:a aac -f mov"},
        {"starts-12800.mp4", "-f lavfi -i 'testsrc2=s=128x72:r=25:d=3' -c:v libx264 -preset veryfast -g 25 -bf 2"
                             " -pix_fmt yuv420p -video_track_timescale 12800 -f mp4"},
        {"starts-90000.mp4", "-f lavfi -i 'testsrc2=s=128x72:r=25:d=3' -c:v libx264 -preset veryfast -g 25 -bf 2"
                             " -pix_fmt yuv420p -video_track_timescale 90000 -output_ts_offset 1.4 -f mp4"},
        {"starts-30000.mov", "-f lavfi -i 'testsrc2=s=128x72:r=30000/1001:d=3' -c:v libx264 -preset veryfast -g 30"
                             " -bf 2 -pix_fmt yuv420p -video_track_timescale 30000 -f mov"},
        {"starts-1000.mkv", "-f lavfi -i 'testsrc2=s=128x72:r=30000/1001:d=3' -c:v libx264 -preset veryfast -g 30"
                            " -bf 2 -pix_fmt yuv420p -f matroska"},
        {"keys7.mov", "-f lavfi -i 'testsrc2=s=64x36:r=30000/1001:d=1' -c:v libx264 -preset veryfast -g 7"
                      " -keyint_min 7 -sc_threshold 0 -bf 0 -pix_fmt yuv420p -video_track_timescale 30000 -f mov"},
        {"tagged.m4a", "-f lavfi -i 'sine=f=440:r=44100:d=1' -c:a aac"
                       " -metadata album=iAlbum -metadata artist=iArtist -movflags +faststart -f ipod"},
    };
    return recipes;
}

}  // namespace

std::string testMedia(const std::string& name)
{
    auto recipe = recipes().find(name);
    if (recipe == recipes().end())
        throw std::invalid_argument("no recipe for test media " + name);
    // The cached file is named after its recipe, so a changed recipe makes a new file instead
    // of finding the one an earlier recipe left.
    fs::path folder(QV_TEST_MEDIA_DIR);
    std::string key = md5Hex(QByteArray::fromStdString(recipe->second)).left(12).toStdString();
    fs::path target = folder / (fs::path(name).stem().string() + "-" + key + fs::path(name).extension().string());
    if (fs::exists(target))
        return target.string();
    fs::create_directories(folder);
    // Made under a private name and linked into place, so parallel test processes never see half
    // a file, and a file another process already placed (and may be reading) is never replaced.
    fs::path partial = folder / (name + ".partial." + std::to_string(getpid()));
    std::string command = "ffmpeg -nostdin -v error -y " + recipe->second + " '" + partial.string() + "'";
    if (std::system(command.c_str()) != 0 || !fs::exists(partial))
        throw std::runtime_error("ffmpeg could not make " + name + ": " + command);
    std::error_code linked;
    fs::create_hard_link(partial, target, linked);
    fs::remove(partial);
    if (linked && !fs::exists(target))
        throw std::runtime_error("could not place " + name + ": " + linked.message());
    return target.string();
}

Asset inspected(const std::string& path)
{
    auto asset = Asset::inspect(path);
    if (!asset)
        throw std::runtime_error(asset.error().description + " " + asset.error().failureReason);
    return asset.value();
}

Composition compositionOf(const std::string& name, MediaType type, const std::vector<Placement>& placements)
{
    auto asset = std::make_shared<const Asset>(inspected(testMedia(name)));
    int id = asset->tracksWithMediaType(type).at(0).trackID;
    Composition composition;
    CompositionTrack& track = composition.addMutableTrack(type);
    for (const auto& placement : placements)
        if (auto error = track.insertTimeRange(placement.source, asset, id, placement.at))
            throw std::runtime_error(error->description);
    return composition;
}

// This process's folder of scratch files, removed when the process ends.
struct ProcessScratch {
    fs::path root = fs::temp_directory_path() / ("qv-media-" + std::to_string(getpid()));
    ~ProcessScratch()
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
};

std::string scratchFolder()
{
    static ProcessScratch scratch;
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "scratch";
    fs::path folder = scratch.root / name;
    fs::create_directories(folder);
    return folder.string();
}

std::string writeScratchFile(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    fs::path path = fs::path(scratchFolder()) / name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string patchedCopy(const std::string& name, const std::string& source, const std::string& tag,
                        std::size_t offset, std::uint64_t value, int size, Endian endian)
{
    auto bytes = readFile(testMedia(source));
    auto found = std::search(bytes.begin(), bytes.end(), tag.begin(), tag.end());
    auto at = static_cast<std::size_t>(found - bytes.begin()) + offset;
    if (found == bytes.end() || at + size > bytes.size())
        throw std::runtime_error("no " + tag + " field to change in " + source);
    for (int i = 0; i < size; ++i) {
        int shift = 8 * (endian == Endian::Big ? size - 1 - i : i);
        bytes[at + i] = static_cast<std::uint8_t>(value >> shift);
    }
    return writeScratchFile(name, bytes);
}

void replaceFile(const std::string& source, const std::string& path)
{
    std::string incoming = path + ".incoming";
    fs::remove(incoming);
    fs::create_hard_link(source, incoming);
    fs::rename(incoming, path);
}

InFolder::InFolder(const std::string& folder) : previous_(fs::current_path().string())
{
    fs::current_path(folder);
}

InFolder::~InFolder()
{
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

}  // namespace qv::test
