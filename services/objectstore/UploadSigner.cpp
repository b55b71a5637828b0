#include "UploadSigner.h"

#include "platform/foundation/Random.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <charconv>
#include <stdexcept>

namespace qv::objectstore {

namespace {

std::string hex(const unsigned char* bytes, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(size * 2, '0');
    for (std::size_t i = 0; i < size; ++i) {
        text[2 * i] = kDigits[bytes[i] >> 4];
        text[2 * i + 1] = kDigits[bytes[i] & 0xf];
    }
    return text;
}

// Digits only, no sign and no leading '+': the exact text this signer writes.
bool parseSeconds(std::string_view text, std::int64_t& out)
{
    if (text.empty() || text.size() > 18)
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size() && text.front() != '-';
}

}  // namespace

UploadSigner::UploadSigner(std::string secret) : secret_(std::move(secret)) {}

std::string UploadSigner::randomSecret()
{
    std::string secret(32, '\0');
    randomBytes(secret.data(), secret.size());
    return secret;
}

std::string UploadSigner::signature(std::string_view method, std::string_view key, std::int64_t expires) const
{
    std::string message;
    message.append(method).append("\n").append(key).append("\n").append(std::to_string(expires));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!HMAC(EVP_sha256(), secret_.data(), static_cast<int>(secret_.size()),
              reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &length))
        throw std::runtime_error("HMAC-SHA256 failed");
    return hex(digest, length);
}

std::string UploadSigner::signedPutUrl(std::string_view baseUrl, std::string_view key, std::int64_t expires) const
{
    std::string url(baseUrl);
    url.append("/").append(key);
    url.append("?expires=").append(std::to_string(expires));
    url.append("&signature=").append(signature("PUT", key, expires));
    return url;
}

UploadSigner::Verdict UploadSigner::verify(std::string_view method, std::string_view key,
                                           const std::map<std::string, std::string>& query,
                                           std::int64_t nowSeconds) const
{
    auto expiresText = query.find("expires");
    auto given = query.find("signature");
    std::int64_t expires = 0;
    if (expiresText == query.end() || given == query.end() || !parseSeconds(expiresText->second, expires))
        return Verdict::Forged;
    const std::string expected = signature(method, key, expires);
    if (given->second.size() != expected.size()
        || CRYPTO_memcmp(given->second.data(), expected.data(), expected.size()) != 0)
        return Verdict::Forged;
    return expires < nowSeconds ? Verdict::Expired : Verdict::Valid;
}

}  // namespace qv::objectstore
