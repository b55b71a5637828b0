// Signed, expiring upload addresses. An address names one object key and the second at which it
// stops being accepted; its signature is an HMAC-SHA256, keyed with the service's secret, over the
// method, the key and that expiry, so none of the three can be changed without the secret.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace qv::objectstore {

class UploadSigner {
public:
    // How long a handed-out address is accepted, seconds. Defaults to 900 (15 minutes).
    static constexpr std::int64_t kDefaultValiditySeconds = 900;

    enum class Verdict { Valid, Expired, Forged };

    // `secret` is the service's signing key; any length, 32 random bytes being plenty.
    explicit UploadSigner(std::string secret);

    // 32 bytes from the system's cryptographic generator.
    static std::string randomSecret();

    // Lower-case hexadecimal HMAC-SHA256 of "<method>\n<key>\n<expires>".
    std::string signature(std::string_view method, std::string_view key, std::int64_t expires) const;

    // "<baseUrl>/<key>?expires=<expires>&signature=<hex>" for a PUT. `key` must be a valid object
    // key (ObjectStore::isValidKey), which needs no escaping in a URL.
    std::string signedPutUrl(std::string_view baseUrl, std::string_view key, std::int64_t expires) const;

    // Checks the "expires" and "signature" query values of a request against its method and key.
    // A missing, malformed or wrong signature is Forged, whatever the expiry; a genuine address
    // whose expiry is before `nowSeconds` is Expired.
    Verdict verify(std::string_view method, std::string_view key, const std::map<std::string, std::string>& query,
                   std::int64_t nowSeconds) const;

private:
    std::string secret_;
};

}  // namespace qv::objectstore
