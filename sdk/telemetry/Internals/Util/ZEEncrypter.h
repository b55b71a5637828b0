// Encrypts values the SDK writes to disk (target tokens beside stored logs): AES-256-CBC with
// PKCS#7 padding, authenticated by HMAC-SHA256. Keys are 32 random bytes kept in the secret
// store in two slots that take turns yearly; every value names its slot. Current layout:
//   header "<tag>/AES/HmacSHA256/CBC/PKCS7/32" · ":" · IV (16) · MAC (32) · ciphertext
// Still read: the legacy header "<tag>/AES/CBC/PKCS7/32" · ":" · IV · ciphertext (no MAC), and a
// bare ciphertext made with the original slot's key and an all-zero IV.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <mutex>
#include <optional>
#include <string>

namespace ze {

inline constexpr const char* kZEEncryptionKeyTag = "kZEEncryptionKeyTag";
inline constexpr const char* kZEEncryptionKeyTagAlternate = "kZEEncryptionKeyTagAlternate";
inline constexpr const char* kZEEncryptionAlgorithmName = "AES/HmacSHA256";
inline constexpr const char* kZELegacyEncryptionAlgorithmName = "AES";
// A slot stays current for 365 days after it was chosen.
inline constexpr std::chrono::seconds kZEEncryptionKeyLifetime{31'536'000};

class ZEEncrypter {
public:
    enum Operation { Encrypt = 0, Decrypt = 1 };

    ZEEncrypter() = default;
    ZEEncrypter(const ZEEncrypter&) = delete;
    ZEEncrypter& operator=(const ZEEncrypter&) = delete;

    // Nothing when no key or IV could be drawn.
    std::optional<std::string> encryptString(const std::string& string);
    std::optional<ZEData> encryptData(const ZEData& data);
    // Nothing when the value is malformed, fails its MAC check, or does not decrypt.
    std::optional<std::string> decryptString(const std::string& base64);
    std::optional<ZEData> decryptData(const ZEData& data);

    // The slot's key: cached, else from the secret store, else newly drawn and stored.
    std::optional<ZEData> getKeyWithKeyTag(const std::string& tag);

    // HMAC-SHA256 expansion of `key` to `outputSize` bytes (counter from 0, no context).
    // Throws std::invalid_argument("Invalid output data length.") for a size of 0.
    static ZEData getSubkey(const ZEData& key, std::size_t outputSize);
    // The MAC covers the IV as well as the ciphertext, so neither can be changed unnoticed.
    static ZEData getMacBytes(const ZEData& macKey, const ZEData& iv, const ZEData& cipherText);
    static std::optional<std::size_t> loadMetadataLocation(const ZEData& data);
    // The header before `location` when it is valid UTF-8.
    static std::optional<std::string> loadMetadata(const ZEData& data, std::size_t location);
    static bool hasOldMetadata(const std::string& header, const std::string& tag);
    static std::string getCurrentKeyTag();
    static void rotateToNewKeyTag(const std::string& tag);
    static std::optional<ZEData> performCryptoOperation(Operation operation, const ZEData& input, const ZEData& iv,
        const ZEData& key);
    // Draws and stores a new key; nothing when the draw fails (nothing is stored then) or the
    // key cannot be stored.
    static std::optional<ZEData> generateAndSaveKeyWithTag(const std::string& tag);
    static std::optional<ZEData> generateInitializationVector();
    static ZEData getMetadataStringWithKeyTag(const std::string& tag, const std::string& algorithmName);
    static ZEData getMetadataStringWithKeyTag(const std::string& tag);

private:
    std::optional<ZEData> cachedKey(const std::string& tag) const;

    mutable std::mutex cacheMutex_;
    std::optional<ZEData> originalKeyData_;
    std::optional<ZEData> alternateKeyData_;
};

} // namespace ze
