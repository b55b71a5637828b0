// Builds byte fixtures for the binary-format readers: little-endian fields, LEB128 numbers and
// patching of fields written before their value was known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ByteBuilder {
public:
    ByteBuilder& u8(uint8_t value)
    {
        bytes_.push_back(value);
        return *this;
    }
    ByteBuilder& u16(uint16_t value) { return little(value, 2); }
    ByteBuilder& u32(uint32_t value) { return little(value, 4); }
    ByteBuilder& u64(uint64_t value) { return little(value, 8); }
    ByteBuilder& uleb(uint64_t value)
    {
        do {
            uint8_t byte = value & 0x7f;
            value >>= 7;
            bytes_.push_back(value != 0 ? byte | 0x80 : byte);
        } while (value != 0);
        return *this;
    }
    ByteBuilder& sleb(int64_t value)
    {
        for (;;) {
            const uint8_t byte = value & 0x7f;
            value >>= 7;
            const bool done = (value == 0 && (byte & 0x40) == 0) || (value == -1 && (byte & 0x40) != 0);
            bytes_.push_back(done ? byte : byte | 0x80);
            if (done)
                return *this;
        }
    }
    ByteBuilder& text(const std::string& value)
    {
        bytes_.insert(bytes_.end(), value.begin(), value.end());
        bytes_.push_back(0);
        return *this;
    }
    ByteBuilder& raw(const std::vector<uint8_t>& value)
    {
        bytes_.insert(bytes_.end(), value.begin(), value.end());
        return *this;
    }
    ByteBuilder& zeros(size_t count)
    {
        bytes_.insert(bytes_.end(), count, 0);
        return *this;
    }
    // Overwrites `width` bytes at `at` with value, little-endian.
    void patch(size_t at, uint64_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i)
            bytes_[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }

    size_t size() const { return bytes_.size(); }
    std::vector<uint8_t>& bytes() { return bytes_; }

private:
    ByteBuilder& little(uint64_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i)
            bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
        return *this;
    }

    std::vector<uint8_t> bytes_;
};
