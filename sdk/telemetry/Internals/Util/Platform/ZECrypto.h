// Digests, ciphers, random bytes and Base64 for the SDK, all through OpenSSL's libcrypto.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ze::crypto {

// AES-256 in CBC mode with PKCS#7 padding; `key` must hold 32 bytes and `iv` 16. Answers nothing
// for a wrong key or IV size and when the padding check of a decryption fails.
std::optional<ZEData> aes256Cbc(bool encrypt, const ZEData& input, const ZEData& iv, const ZEData& key);
ZEData hmacSha256(const ZEData& key, const ZEData& data);
ZEData sha256(const ZEData& data);
std::string hex(const ZEData& bytes);

// Fills `out` with `count` bytes from the system's secure random source; answers 0 on success,
// else the source's error code and `out` is left empty.
int randomBytes(std::size_t count, ZEData& out);
// Fills `count` bytes at `buffer` the same way; answers 0 on success, else the source's error code.
int randomBytes(std::uint8_t* buffer, std::size_t count);
// Replaces the random source (tests simulate a failing one); an empty function restores the
// system's (the kernel's generator, or OpenSSL's where that cannot be had).
using RandomSource = std::function<int(std::uint8_t* buffer, std::size_t count)>;
void setRandomSource(RandomSource source);

// Standard Base64 with padding and no line breaks.
std::string base64Encode(const ZEData& bytes);
// Strict decoding: any character outside the alphabet, or a wrong length or padding, fails.
std::optional<ZEData> base64Decode(std::string_view text);
// Lenient decoding: characters outside the alphabet are skipped.
std::optional<ZEData> base64DecodeIgnoringUnknown(std::string_view text);

inline ZEData bytes(std::string_view text) { return ZEData(text.begin(), text.end()); }
inline std::string string(const ZEData& bytes) { return std::string(bytes.begin(), bytes.end()); }

} // namespace ze::crypto
