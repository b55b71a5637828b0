#include "Mp3InfoHeader.h"

#include "BigEndian.h"

#include <cstring>
#include <span>
#include <fstream>
#include <vector>

namespace qv::mp3 {

namespace {

// How far past an ID3 tag the first frame is looked for.
constexpr std::size_t kSearchBytes = 64 * 1024;

std::uint32_t syncSafe(const std::uint8_t* bytes)
{
    return (std::uint32_t(bytes[0] & 0x7F) << 21) | (std::uint32_t(bytes[1] & 0x7F) << 14)
         | (std::uint32_t(bytes[2] & 0x7F) << 7) | std::uint32_t(bytes[3] & 0x7F);
}

// A Layer III frame header: the sync bits, a known version, bit rate and sample rate.
bool isFrameHeader(const std::uint8_t* bytes)
{
    int version = (bytes[1] >> 3) & 3;
    int layer = (bytes[1] >> 1) & 3;
    int bitRate = bytes[2] >> 4;
    int sampleRate = (bytes[2] >> 2) & 3;
    return bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0 && version != 1 && layer == 1 && bitRate != 0
        && bitRate != 15 && sampleRate != 3;
}

}  // namespace

std::optional<std::uint64_t> declaredDataEnd(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::uint8_t tag[10] = {};
    if (!file.read(reinterpret_cast<char*>(tag), sizeof tag))
        return std::nullopt;
    std::uint64_t start = 0;
    if (std::memcmp(tag, "ID3", 3) == 0)
        start = 10 + syncSafe(tag + 6) + ((tag[5] & 0x10) ? 10 : 0);
    std::vector<std::uint8_t> bytes(kSearchBytes);
    file.clear();
    file.seekg(static_cast<std::streamoff>(start));
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));

    std::size_t frame = 0;
    while (frame + 4 <= bytes.size() && !isFrameHeader(&bytes[frame]))
        ++frame;
    if (frame + 4 > bytes.size())
        return std::nullopt;
    const bool mpeg1 = ((bytes[frame + 1] >> 3) & 3) == 3;
    const bool mono = (bytes[frame + 3] >> 6) == 3;
    // The header stands after the frame's side information, whose size the mode sets.
    const std::size_t sideInformation = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    const std::span<const std::uint8_t> view(bytes);
    auto holds = [&](std::size_t offset, std::size_t size) { return offset + size <= view.size(); };
    const std::size_t xing = frame + 4 + sideInformation;
    if (!holds(xing, 8) || (std::memcmp(&bytes[xing], "Xing", 4) != 0 && std::memcmp(&bytes[xing], "Info", 4) != 0))
        return std::nullopt;
    // Flags: 1, a frame count follows; 2, a byte count after it.
    const std::uint64_t flags = readBigEndian(view, xing + 4, 4);
    const std::size_t field = xing + 8 + ((flags & 1) ? 4 : 0);
    if (!(flags & 2) || !holds(field, 4))
        return std::nullopt;
    const std::uint64_t count = readBigEndian(view, field, 4);
    // The byte count takes in the frame that holds it.
    if (count == 0)
        return std::nullopt;
    return start + frame + count;
}

}  // namespace qv::mp3
