#include "QuickTimeBoxes.h"

#include "BigEndian.h"
#include "TimecodeFormat.h"

#include <algorithm>
#include <fstream>

namespace qv::quicktime {

namespace {

struct BoxHeader {
    std::uint32_t type = 0;
    std::uint64_t headerLength = 8;
    std::uint64_t size = 0;  // header included
};

// The header at the start of `bytes` (8 bytes, or 16 with a 64-bit size) of a box that may
// take up `available` bytes; nothing when its size does not fit.
std::optional<BoxHeader> boxHeader(std::span<const std::uint8_t> bytes, std::uint64_t available)
{
    if (bytes.size() < 8)
        return std::nullopt;
    BoxHeader header;
    header.size = readBigEndian(bytes, 0, 4);
    header.type = static_cast<std::uint32_t>(readBigEndian(bytes, 4, 4));
    if (header.size == 1) {
        if (bytes.size() < 16)
            return std::nullopt;
        header.size = readBigEndian(bytes, 8, 8);
        header.headerLength = 16;
    } else if (header.size == 0) {
        header.size = available;  // runs to the end of its container
    }
    if (header.size < header.headerLength || header.size > available)
        return std::nullopt;
    return header;
}

struct Box {
    std::uint32_t type = 0;
    std::span<const std::uint8_t> payload;
};

// The boxes laid end to end in `bytes`, up to the first whose size does not fit.
std::vector<Box> childBoxes(std::span<const std::uint8_t> bytes)
{
    std::vector<Box> boxes;
    std::size_t offset = 0;
    while (auto header = boxHeader(bytes.subspan(offset, std::min<std::size_t>(16, bytes.size() - offset)),
                                   bytes.size() - offset)) {
        boxes.push_back({header->type, bytes.subspan(offset + header->headerLength, header->size - header->headerLength)});
        offset += header->size;
    }
    return boxes;
}

std::optional<std::span<const std::uint8_t>> child(std::span<const std::uint8_t> bytes, std::uint32_t type)
{
    for (const Box& box : childBoxes(bytes))
        if (box.type == type)
            return box.payload;
    return std::nullopt;
}

std::optional<std::uint32_t> trackIDOf(std::span<const std::uint8_t> trak)
{
    auto tkhd = child(trak, fourCC("tkhd"));
    if (!tkhd || tkhd->empty())
        return std::nullopt;
    std::size_t offset = (*tkhd)[0] == 1 ? 4 + 16 : 4 + 8;  // version 1 has 64-bit dates
    if (tkhd->size() < offset + 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(readBigEndian(*tkhd, offset, 4));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> readMovieBox(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    in.seekg(0, std::ios::end);
    const std::uint64_t fileSize = static_cast<std::uint64_t>(in.tellg());
    std::uint64_t offset = 0;
    while (fileSize - offset >= 8) {
        std::uint8_t header[16];
        in.seekg(static_cast<std::streamoff>(offset));
        std::size_t headerSize = fileSize - offset >= 16 ? 16 : 8;
        if (!in.read(reinterpret_cast<char*>(header), static_cast<std::streamsize>(headerSize)))
            return std::nullopt;
        auto box = boxHeader(std::span<const std::uint8_t>(header, headerSize), fileSize - offset);
        if (!box)
            return std::nullopt;
        if (box->type == fourCC("moov")) {
            if (box->size - box->headerLength > kMaxMovieBoxSize)
                return std::nullopt;
            std::vector<std::uint8_t> payload(box->size - box->headerLength);
            in.seekg(static_cast<std::streamoff>(offset + box->headerLength));
            if (!in.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(payload.size())))
                return std::nullopt;
            return payload;
        }
        offset += box->size;
    }
    return std::nullopt;
}

namespace {

// The first sample description entry of a track box, whole (size and format included).
std::optional<std::span<const std::uint8_t>> firstSampleEntry(std::span<const std::uint8_t> trak)
{
    auto stsd = child(trak, fourCC("mdia"));
    for (std::uint32_t type : {fourCC("minf"), fourCC("stbl"), fourCC("stsd")})
        if (stsd)
            stsd = child(*stsd, type);
    // Version and flags (4), entry count (4), then the first entry.
    if (!stsd || stsd->size() < 8 + 16)
        return std::nullopt;
    auto entry = stsd->subspan(8);
    std::uint64_t entrySize = readBigEndian(entry, 0, 4);
    if (entrySize < 16 || entrySize > entry.size())
        return std::nullopt;
    return entry.subspan(0, entrySize);
}

}  // namespace

std::optional<std::span<const std::uint8_t>> sampleDescriptionOfTrack(std::span<const std::uint8_t> movie,
                                                                      std::uint32_t trackID)
{
    for (const Box& trak : childBoxes(movie)) {
        if (trak.type != fourCC("trak") || trackIDOf(trak.payload) != trackID)
            continue;
        auto entry = firstSampleEntry(trak.payload);
        if (!entry)
            return std::nullopt;
        return entry->subspan(16);
    }
    return std::nullopt;
}

bool movieHasExtends(std::span<const std::uint8_t> movie) { return child(movie, fourCC("mvex")).has_value(); }

std::vector<std::uint32_t> sampleEntryFormats(std::span<const std::uint8_t> movie)
{
    std::vector<std::uint32_t> formats;
    for (const Box& trak : childBoxes(movie))
        if (trak.type == fourCC("trak"))
            if (auto entry = firstSampleEntry(trak.payload))
                formats.push_back(static_cast<std::uint32_t>(readBigEndian(*entry, 4, 4)));
    return formats;
}

}  // namespace qv::quicktime
