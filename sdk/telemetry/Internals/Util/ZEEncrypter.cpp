#include "sdk/telemetry/Internals/Util/ZEEncrypter.h"

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZEKeychainUtil.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

#include <algorithm>
#include <stdexcept>

namespace ze {

namespace {

constexpr const char* kMetadataKey = "EncryptionKeyMetadata";
constexpr std::size_t kKeySize = 32;
constexpr std::size_t kMacKeySize = 16;
constexpr std::size_t kIvSize = 16;
constexpr std::size_t kMacSize = 32;

// Serialises choosing the current slot and creating a missing slot key.
std::mutex& classLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::optional<ZEData> keyFromStore(const std::string& tag, int* status)
{
    const auto text = ZEKeychainUtil::stringForKey(tag, status);
    if (!text) {
        return std::nullopt;
    }
    return crypto::base64Decode(*text);
}

ZEData slice(const ZEData& data, std::size_t from, std::size_t length)
{
    return ZEData(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(from + length));
}

} // namespace

std::optional<std::string> ZEEncrypter::encryptString(const std::string& string)
{
    const auto encrypted = encryptData(crypto::bytes(string));
    return encrypted ? std::optional(crypto::base64Encode(*encrypted)) : std::nullopt;
}

std::optional<ZEData> ZEEncrypter::encryptData(const ZEData& data)
{
    const std::string tag = getCurrentKeyTag();
    const auto key = getKeyWithKeyTag(tag);
    const auto iv = generateInitializationVector();
    if (!key || !iv) {
        return std::nullopt;
    }
    const auto cipherText = performCryptoOperation(Encrypt, data, *iv, getSubkey(*key, kKeySize));
    if (!cipherText) {
        return std::nullopt;
    }
    const ZEData mac = getMacBytes(getSubkey(*key, kMacKeySize), *iv, *cipherText);
    ZEData out = getMetadataStringWithKeyTag(tag, kZEEncryptionAlgorithmName);
    out.push_back(':');
    out.insert(out.end(), iv->begin(), iv->end());
    out.insert(out.end(), mac.begin(), mac.end());
    out.insert(out.end(), cipherText->begin(), cipherText->end());
    return out;
}

std::optional<std::string> ZEEncrypter::decryptString(const std::string& base64)
{
    const auto data = crypto::base64Decode(base64);
    if (!data) {
        ZELogWarning(kZELogTag, "Conversion of encrypted string to NSData failed.");
        return std::nullopt;
    }
    const auto decrypted = decryptData(*data);
    if (!decrypted || !ZEUtility::isValidUTF8(crypto::string(*decrypted))) {
        ZELogWarning(kZELogTag, "Converting decrypted NSData to NSString failed.");
        return std::nullopt;
    }
    return crypto::string(*decrypted);
}

std::optional<ZEData> ZEEncrypter::decryptData(const ZEData& data)
{
    const auto location = loadMetadataLocation(data);
    const auto header = location ? loadMetadata(data, *location) : std::nullopt;
    if (!header) {
        const auto key = getKeyWithKeyTag(kZEEncryptionKeyTag);
        return key ? performCryptoOperation(Decrypt, data, ZEData(kIvSize, 0), *key) : std::nullopt;
    }
    const std::string tag = header->substr(0, header->find('/'));
    const auto key = getKeyWithKeyTag(tag);
    if (!key) {
        return std::nullopt;
    }
    const std::size_t ivStart = *location + 1;
    if (hasOldMetadata(*header, tag)) {
        if (data.size() < ivStart + kIvSize) {
            return std::nullopt;
        }
        return performCryptoOperation(Decrypt, slice(data, ivStart + kIvSize, data.size() - ivStart - kIvSize),
            slice(data, ivStart, kIvSize), *key);
    }
    if (data.size() < ivStart + kIvSize + kMacSize) {
        return std::nullopt;
    }
    const ZEData iv = slice(data, ivStart, kIvSize);
    const ZEData mac = slice(data, ivStart + kIvSize, kMacSize);
    const std::size_t cipherStart = ivStart + kIvSize + kMacSize;
    const ZEData cipherText = slice(data, cipherStart, data.size() - cipherStart);
    // A value whose MAC does not match was altered or corrupted: it is not decrypted at all.
    if (getMacBytes(getSubkey(*key, kMacKeySize), iv, cipherText) != mac) {
        ZELogError(kZELogTag, "Could not authenticate MAC value.");
        return std::nullopt;
    }
    return performCryptoOperation(Decrypt, cipherText, iv, getSubkey(*key, kKeySize));
}

std::optional<ZEData> ZEEncrypter::cachedKey(const std::string& tag) const
{
    std::lock_guard lock(cacheMutex_);
    return tag == kZEEncryptionKeyTag ? originalKeyData_ : tag == kZEEncryptionKeyTagAlternate ? alternateKeyData_ : std::nullopt;
}

std::optional<ZEData> ZEEncrypter::getKeyWithKeyTag(const std::string& tag)
{
    if (auto cached = cachedKey(tag)) {
        return cached;
    }
    if (auto stored = keyFromStore(tag, nullptr)) {
        return stored;
    }
    // Only the two slots ever get keys; a value naming another slot cannot be decrypted.
    if (tag != kZEEncryptionKeyTag && tag != kZEEncryptionKeyTagAlternate) {
        return std::nullopt;
    }
    std::lock_guard lock(classLock());
    if (auto stored = keyFromStore(tag, nullptr)) {
        return stored;
    }
    auto created = generateAndSaveKeyWithTag(tag);
    if (created) {
        std::lock_guard cacheLock(cacheMutex_);
        (tag == kZEEncryptionKeyTag ? originalKeyData_ : alternateKeyData_) = created;
    }
    return created;
}

ZEData ZEEncrypter::getSubkey(const ZEData& key, std::size_t outputSize)
{
    if (outputSize < 1) {
        throw std::invalid_argument("Invalid output data length.");
    }
    ZEData out;
    ZEData block;
    for (std::uint8_t i = 0; out.size() < outputSize; ++i) {
        block.push_back(i);
        block = crypto::hmacSha256(key, block);
        out.insert(out.end(), block.begin(), block.end());
    }
    out.resize(outputSize);
    return out;
}

ZEData ZEEncrypter::getMacBytes(const ZEData& macKey, const ZEData& iv, const ZEData& cipherText)
{
    ZEData authenticated = iv;
    authenticated.insert(authenticated.end(), cipherText.begin(), cipherText.end());
    return crypto::hmacSha256(macKey, authenticated);
}

std::optional<std::size_t> ZEEncrypter::loadMetadataLocation(const ZEData& data)
{
    const auto found = std::find(data.begin(), data.end(), static_cast<std::uint8_t>(':'));
    if (found == data.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(found - data.begin());
}

std::optional<std::string> ZEEncrypter::loadMetadata(const ZEData& data, std::size_t location)
{
    if (location > data.size()) {
        return std::nullopt;
    }
    std::string header(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(location));
    if (!ZEUtility::isValidUTF8(header)) {
        return std::nullopt;
    }
    return header;
}

bool ZEEncrypter::hasOldMetadata(const std::string& header, const std::string& tag)
{
    return crypto::bytes(header) == getMetadataStringWithKeyTag(tag);
}

std::string ZEEncrypter::getCurrentKeyTag()
{
    std::lock_guard lock(classLock());
    const auto stored = ZEZavEdurovUserDefaults::shared().objectForKey(kMetadataKey);
    const auto* metadata = stored ? std::get_if<std::string>(&*stored) : nullptr;
    if (!metadata) {
        rotateToNewKeyTag(kZEEncryptionKeyTagAlternate);
        return kZEEncryptionKeyTagAlternate;
    }
    const auto slash = metadata->find('/');
    const std::string tag = metadata->substr(0, slash);
    const auto expiry = slash == std::string::npos ? std::nullopt : ZEUtility::dateFromISO8601(metadata->substr(slash + 1));
    // Metadata whose expiry cannot be read, or that names no slot, counts as expired: only the two
    // slots ever get keys, so another tag would leave nothing encryptable until its expiry.
    const bool slot = tag == kZEEncryptionKeyTag || tag == kZEEncryptionKeyTagAlternate;
    if (slot && expiry && !(*expiry < ZEUtility::now())) {
        return tag;
    }
    const std::string next = tag == kZEEncryptionKeyTag ? kZEEncryptionKeyTagAlternate : kZEEncryptionKeyTag;
    rotateToNewKeyTag(next);
    return next;
}

void ZEEncrypter::rotateToNewKeyTag(const std::string& tag)
{
    const std::string expiry = ZEUtility::dateToISO8601(ZEUtility::now() + kZEEncryptionKeyLifetime);
    ZEZavEdurovUserDefaults::shared().setObject(tag + "/" + expiry, kMetadataKey);
}

std::optional<ZEData> ZEEncrypter::performCryptoOperation(Operation operation, const ZEData& input, const ZEData& iv,
    const ZEData& key)
{
    auto out = crypto::aes256Cbc(operation == Encrypt, input, iv, key);
    if (!out) {
        ZELogError(kZELogTag, "Error performing encryption or decryption.");
    }
    return out;
}

std::optional<ZEData> ZEEncrypter::generateAndSaveKeyWithTag(const std::string& tag)
{
    ZEData key;
    if (const int status = crypto::randomBytes(kKeySize, key); status != 0) {
        ZELogError(kZELogTag, "Error generating encryption key. Error code: %d", status);
        return std::nullopt;
    }
    // A key that is not kept would encrypt values no later launch can read.
    if (!ZEKeychainUtil::storeString(crypto::base64Encode(key), tag)) {
        return std::nullopt;
    }
    return key;
}

std::optional<ZEData> ZEEncrypter::generateInitializationVector()
{
    ZEData iv;
    if (const int status = crypto::randomBytes(kIvSize, iv); status != 0) {
        ZELogError(kZELogTag, "Error generating initialization vector. Error code: %d", status);
        return std::nullopt;
    }
    return iv;
}

ZEData ZEEncrypter::getMetadataStringWithKeyTag(const std::string& tag, const std::string& algorithmName)
{
    return crypto::bytes(tag + "/" + algorithmName + "/CBC/PKCS7/32");
}

ZEData ZEEncrypter::getMetadataStringWithKeyTag(const std::string& tag)
{
    return getMetadataStringWithKeyTag(tag, kZELegacyEncryptionAlgorithmName);
}

} // namespace ze
