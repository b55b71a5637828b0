#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <sys/random.h>

#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

namespace ze::crypto {

namespace {

std::mutex randomMutex;
RandomSource randomSource;
// Whether a test replaced the source: the usual path then takes no lock.
std::atomic<bool> customRandomSource{false};

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value: encoding looks up half a group at a time.
constexpr std::array<std::array<char, 2>, 4096> kAlphabetPairs = [] {
    std::array<std::array<char, 2>, 4096> pairs{};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        pairs[i] = {kAlphabet[i >> 6], kAlphabet[i & 63]};
    }
    return pairs;
}();

// Each byte's place in the alphabet, or -1: decoding stored logs reads every character once.
constexpr std::array<std::int8_t, 256> kAlphabetIndexes = [] {
    std::array<std::int8_t, 256> indexes{};
    indexes.fill(-1);
    for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
        indexes[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    return indexes;
}();

int alphabetIndex(char c)
{
    return kAlphabetIndexes[static_cast<unsigned char>(c)];
}

// Each byte's sextet already shifted to its place in a group of four: a group is the OR of four
// lookups, and any byte outside the alphabet sets the top bit.
constexpr std::uint32_t kNotInAlphabet = 0x80000000;
constexpr std::array<std::array<std::uint32_t, 256>, 4> kShiftedSextets = [] {
    std::array<std::array<std::uint32_t, 256>, 4> tables{};
    for (std::size_t place = 0; place < tables.size(); ++place) {
        for (std::size_t c = 0; c < 256; ++c) {
            const int index = kAlphabetIndexes[c];
            tables[place][c] = index < 0 ? kNotInAlphabet : static_cast<std::uint32_t>(index) << (18 - 6 * place);
        }
    }
    return tables;
}();

// Decodes the alphabet characters of `text` up to the first '=' into bytes, passing over any
// other character; nothing when they leave a lone sextet over.
std::optional<ZEData> decodeSextets(std::string_view text)
{
    // One byte more than the groups make, as room for the last group's four-byte store.
    ZEData out(text.size() / 4 * 3 + 3);
    std::uint8_t* const bytes = out.data();
    const auto* const in = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t written = 0;
    std::size_t sextets = 0;
    std::uint32_t buffer = 0;
    int bits = 0;
    std::size_t at = 0;
    // Whole groups of four alphabet characters make three bytes each, until anything else comes.
    // Each group is stored as four bytes, the last of which the next group overwrites.
    for (; at + 4 <= text.size(); at += 4) {
        const std::uint32_t group = kShiftedSextets[0][in[at]] | kShiftedSextets[1][in[at + 1]]
            | kShiftedSextets[2][in[at + 2]] | kShiftedSextets[3][in[at + 3]];
        if ((group & kNotInAlphabet) != 0) {
            break;
        }
        const std::uint32_t stored = std::endian::native == std::endian::big ? group << 8 : __builtin_bswap32(group << 8);
        std::memcpy(bytes + written, &stored, 4);
        written += 3;
        sextets += 4;
    }
    for (const char c : text.substr(at)) {
        if (c == '=') {
            break;
        }
        const int index = alphabetIndex(c);
        if (index < 0) {
            continue;
        }
        ++sextets;
        buffer = (buffer << 6) | static_cast<std::uint32_t>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes[written++] = static_cast<std::uint8_t>((buffer >> bits) & 0xff);
        }
    }
    if (sextets % 4 == 1) {
        return std::nullopt;
    }
    out.resize(written);
    return out;
}

} // namespace

std::optional<ZEData> aes256Cbc(bool encrypt, const ZEData& input, const ZEData& iv, const ZEData& key)
{
    if (key.size() != 32 || iv.size() != 16) {
        return std::nullopt;
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1) {
        return std::nullopt;
    }
    ZEData out(input.size() + 17);
    int written = 0;
    int finalWritten = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data(), &written, input.data(), static_cast<int>(input.size())) != 1
        || EVP_CipherFinal_ex(ctx.get(), out.data() + written, &finalWritten) != 1) {
        ERR_clear_error();
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(written + finalWritten));
    return out;
}

ZEData hmacSha256(const ZEData& key, const ZEData& data)
{
    ZEData out(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    static const std::uint8_t empty = 0;
    HMAC(EVP_sha256(), key.empty() ? &empty : key.data(), static_cast<int>(key.size()),
        data.empty() ? &empty : data.data(), data.size(), out.data(), &length);
    out.resize(length);
    return out;
}

ZEData sha256(const ZEData& data)
{
    ZEData out(SHA256_DIGEST_LENGTH);
    SHA256(data.data(), data.size(), out.data());
    return out;
}

std::string hex(const ZEData& bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xf];
    }
    return out;
}

int randomBytes(std::uint8_t* buffer, std::size_t count)
{
    if (customRandomSource.load(std::memory_order_acquire)) {
        std::lock_guard lock(randomMutex);
        if (randomSource) {
            return randomSource(buffer, count);
        }
    }
    // The kernel's generator needs no lock and is safe across fork; the library's stands in
    // only where the kernel offers none.
    std::size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(buffer + filled, count - filled, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled == count) {
        return 0;
    }
    if (RAND_bytes(buffer, static_cast<int>(count)) == 1) {
        return 0;
    }
    const unsigned long error = ERR_get_error();
    const int status = error != 0 ? static_cast<int>(ERR_GET_REASON(error)) : -1;
    return status != 0 ? status : -1;
}

int randomBytes(std::size_t count, ZEData& out)
{
    out.assign(count, 0);
    const int status = randomBytes(out.data(), count);
    if (status != 0) {
        out.clear();
    }
    return status;
}

void setRandomSource(RandomSource source)
{
    std::lock_guard lock(randomMutex);
    customRandomSource.store(static_cast<bool>(source), std::memory_order_release);
    randomSource = std::move(source);
}

std::string base64Encode(const ZEData& bytes)
{
    std::string out((bytes.size() + 2) / 3 * 4, '=');
    std::size_t i = 0;
    char* o = out.data();
    // Three bytes make two 12-bit halves, each written as its pair of characters.
    for (; i + 2 < bytes.size(); i += 3, o += 4) {
        const std::uint32_t n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        std::memcpy(o, kAlphabetPairs[n >> 12].data(), 2);
        std::memcpy(o + 2, kAlphabetPairs[n & 0xfff].data(), 2);
    }
    const std::size_t rest = bytes.size() - i;
    if (rest > 0) {
        const std::uint32_t n = (bytes[i] << 16) | (rest == 2 ? bytes[i + 1] << 8 : 0);
        o[0] = kAlphabet[(n >> 18) & 63];
        o[1] = kAlphabet[(n >> 12) & 63];
        if (rest == 2) {
            o[2] = kAlphabet[(n >> 6) & 63];
        }
    }
    return out;
}

std::optional<ZEData> base64Decode(std::string_view text)
{
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') {
        ++padding;
    }
    const std::string_view sextets = text.substr(0, text.size() - padding);
    for (char c : sextets) {
        if (alphabetIndex(c) < 0) {
            return std::nullopt;
        }
    }
    return decodeSextets(sextets);
}

std::optional<ZEData> base64DecodeIgnoringUnknown(std::string_view text)
{
    return decodeSextets(text);
}

} // namespace ze::crypto
