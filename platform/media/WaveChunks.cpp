#include "WaveChunks.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace qv::wave {

namespace {

std::uint64_t littleEndian(const std::uint8_t* bytes, std::size_t size)
{
    std::uint64_t value = 0;
    for (std::size_t i = size; i > 0; --i)
        value = (value << 8) | bytes[i - 1];
    return value;
}

bool isId(const std::uint8_t* bytes, const char* id) { return std::memcmp(bytes, id, 4) == 0; }

constexpr std::uint32_t kOpenLength = 0xFFFFFFFF;

}  // namespace

std::optional<std::uint64_t> declaredDataEnd(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::array<std::uint8_t, 12> header{};
    if (!file.read(reinterpret_cast<char*>(header.data()), header.size()))
        return std::nullopt;
    bool sized64 = isId(header.data(), "RF64") || isId(header.data(), "BW64");
    if (!(isId(header.data(), "RIFF") || sized64) || !isId(header.data() + 8, "WAVE"))
        return std::nullopt;
    std::optional<std::uint64_t> dataSize64;
    std::uint64_t offset = header.size();
    for (;;) {
        std::array<std::uint8_t, 16> chunk{};
        file.seekg(static_cast<std::streamoff>(offset));
        if (!file.read(reinterpret_cast<char*>(chunk.data()), 8))
            return std::nullopt;
        std::uint64_t size = littleEndian(chunk.data() + 4, 4);
        if (isId(chunk.data(), "ds64") && size >= 16) {
            // The sizes of the RIFF chunk and of the data chunk, 64 bits each.
            if (!file.read(reinterpret_cast<char*>(chunk.data()), 16))
                return std::nullopt;
            dataSize64 = littleEndian(chunk.data() + 8, 8);
        } else if (isId(chunk.data(), "data")) {
            if (sized64 && size == kOpenLength)
                return dataSize64 ? std::optional(offset + 8 + *dataSize64) : std::nullopt;
            if (size == 0 || size == kOpenLength)
                return std::nullopt;
            return offset + 8 + size;
        }
        // Chunks are padded to an even length.
        offset += 8 + size + (size & 1);
    }
}

bool isCutShort(const std::string& path)
{
    auto dataEnd = declaredDataEnd(path);
    if (!dataEnd)
        return false;
    std::error_code sizeError;
    auto fileSize = std::filesystem::file_size(path, sizeError);
    return !sizeError && fileSize < *dataEnd;
}

}  // namespace qv::wave
