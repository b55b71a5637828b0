#include "ZETestSupport.h"

#include "sdk/telemetry/Internals/Model/Util/ZEZavEdurovUserDefaults.h"
#include "sdk/telemetry/Internals/Util/ZEEncrypter.h"
#include "sdk/telemetry/Internals/Util/ZEKeychainUtil.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

namespace ze {
namespace {

using namespace std::chrono_literals;
using test::SdkTest;

class ZEEncrypterTest : public SdkTest {
protected:
    void TearDown() override
    {
        crypto::setRandomSource(nullptr);
        SdkTest::TearDown();
    }

    // Stores a known key in a slot, as an earlier launch would have.
    ZEData storeKey(const std::string& tag, std::uint8_t fill)
    {
        const ZEData key(32, fill);
        EXPECT_TRUE(ZEKeychainUtil::storeString(crypto::base64Encode(key), tag));
        return key;
    }

    std::string header(const std::string& tag, const char* algorithm)
    {
        return crypto::string(ZEEncrypter::getMetadataStringWithKeyTag(tag, algorithm));
    }
};

TEST_F(ZEEncrypterTest, EncryptsTheEmptyStringIntoTheCurrentLayout)
{
    ZEEncrypter encrypter;
    const auto encrypted = encrypter.encryptString("");
    ASSERT_TRUE(encrypted);
    const auto bytes = crypto::base64Decode(*encrypted);
    const std::string expectedHeader = "kZEEncryptionKeyTagAlternate/AES/HmacSHA256/CBC/PKCS7/32";
    ASSERT_EQ(bytes->size(), expectedHeader.size() + 1 + 16 + 32 + 16);
    EXPECT_EQ(crypto::string(ZEData(bytes->begin(), bytes->begin() + static_cast<long>(expectedHeader.size() + 1))),
        expectedHeader + ":");
    EXPECT_EQ(encrypter.decryptString(*encrypted), "");
    EXPECT_EQ(encrypter.decryptString(*encrypter.encryptString("target-token")), "target-token");
    // A new encrypter finds the stored key; the key itself never reaches the settings.
    EXPECT_EQ(ZEEncrypter().decryptString(*encrypted), "");
    EXPECT_TRUE(ZEKeychainUtil::stringForKey(kZEEncryptionKeyTagAlternate));
    EXPECT_FALSE(ZEKeychainUtil::stringForKey(kZEEncryptionKeyTag));
}

TEST_F(ZEEncrypterTest, MatchesTheLayoutByteForByteWithAKnownKeyAndIv)
{
    const ZEData key = storeKey(kZEEncryptionKeyTagAlternate, 0x11);
    crypto::setRandomSource([](std::uint8_t* buffer, std::size_t count) {
        std::fill(buffer, buffer + count, 0x22);
        return 0;
    });
    const auto encrypted = ZEEncrypter().encryptData(crypto::bytes("hello"));
    ASSERT_TRUE(encrypted);
    const ZEData iv(16, 0x22);
    const auto cipher = crypto::aes256Cbc(true, crypto::bytes("hello"), iv, ZEEncrypter::getSubkey(key, 32));
    ZEData expected = crypto::bytes(header(kZEEncryptionKeyTagAlternate, kZEEncryptionAlgorithmName) + ":");
    expected.insert(expected.end(), iv.begin(), iv.end());
    ZEData authenticated = iv;
    authenticated.insert(authenticated.end(), cipher->begin(), cipher->end());
    const ZEData mac = crypto::hmacSha256(ZEEncrypter::getSubkey(key, 16), authenticated);
    expected.insert(expected.end(), mac.begin(), mac.end());
    expected.insert(expected.end(), cipher->begin(), cipher->end());
    EXPECT_EQ(*encrypted, expected);
}

TEST_F(ZEEncrypterTest, SubkeysAreHmacExpansionsFromCounterZero)
{
    const ZEData key(32, 7);
    const ZEData full = ZEEncrypter::getSubkey(key, 32);
    EXPECT_EQ(full, crypto::hmacSha256(key, ZEData{0}));
    EXPECT_EQ(ZEEncrypter::getSubkey(key, 16), ZEData(full.begin(), full.begin() + 16));
    const ZEData longer = ZEEncrypter::getSubkey(key, 40);
    ZEData secondInput = full;
    secondInput.push_back(1);
    const ZEData second = crypto::hmacSha256(key, secondInput);
    EXPECT_EQ(ZEData(longer.begin() + 32, longer.end()), ZEData(second.begin(), second.begin() + 8));
    EXPECT_THROW(ZEEncrypter::getSubkey(key, 0), std::invalid_argument);
}

TEST_F(ZEEncrypterTest, ValuesOfTheEarlierSlotStayReadableAfterRotation)
{
    ZEEncrypter encrypter;
    const auto underAlternate = encrypter.encryptString("first");
    clock->advance(std::chrono::duration_cast<std::chrono::milliseconds>(kZEEncryptionKeyLifetime) + 1ms);
    EXPECT_EQ(ZEEncrypter::getCurrentKeyTag(), kZEEncryptionKeyTag);
    const auto underOriginal = encrypter.encryptString("second");
    EXPECT_NE(crypto::string(*crypto::base64Decode(*underOriginal)).find("kZEEncryptionKeyTag/"), std::string::npos);
    EXPECT_EQ(encrypter.decryptString(*underAlternate), "first");
    EXPECT_EQ(encrypter.decryptString(*underOriginal), "second");

    // The slot stays current until its expiry has passed, then the other comes back.
    clock->advance(std::chrono::duration_cast<std::chrono::milliseconds>(kZEEncryptionKeyLifetime));
    EXPECT_EQ(ZEEncrypter::getCurrentKeyTag(), kZEEncryptionKeyTag);
    clock->advance(1ms);
    EXPECT_EQ(ZEEncrypter::getCurrentKeyTag(), kZEEncryptionKeyTagAlternate);
    EXPECT_EQ(encrypter.decryptString(*underAlternate), "first");
}

TEST_F(ZEEncrypterTest, UnreadableKeyMetadataRotatesToAUsableSlot)
{
    const std::string future = ZEUtility::dateToISO8601(ZEUtility::now() + std::chrono::hours(24));
    const std::pair<std::string, const char*> cases[] = {
        {"/" + future, kZEEncryptionKeyTag},
        {"other/" + future, kZEEncryptionKeyTag},
        {kZEEncryptionKeyTagAlternate, kZEEncryptionKeyTag},
        {std::string(kZEEncryptionKeyTag) + "/tomorrow", kZEEncryptionKeyTagAlternate},
    };
    for (const auto& [metadata, tag] : cases) {
        ZEZavEdurovUserDefaults::shared().setObject(metadata, "EncryptionKeyMetadata");
        EXPECT_EQ(ZEEncrypter::getCurrentKeyTag(), tag) << metadata;
        ZEEncrypter encrypter;
        const auto encrypted = encrypter.encryptString("value");
        ASSERT_TRUE(encrypted) << metadata;
        EXPECT_EQ(encrypter.decryptString(*encrypted), "value");
    }
}

TEST_F(ZEEncrypterTest, DecryptsTheLegacyFormats)
{
    const ZEData original = storeKey(kZEEncryptionKeyTag, 0x33);
    const ZEData zeroIv(16, 0);
    const auto bare = crypto::aes256Cbc(true, crypto::bytes("bare"), zeroIv, original);
    ZEEncrypter encrypter;
    // Bare ciphertexts carry no ":" (this one) or no text before it: they are read with the original key.
    ASSERT_EQ(std::find(bare->begin(), bare->end(), ':'), bare->end());
    EXPECT_EQ(encrypter.decryptData(*bare), crypto::bytes("bare"));
    ZEData notText{0xff, ':'};
    const auto bareWithColon = crypto::aes256Cbc(true, crypto::bytes("x"), zeroIv, original);
    notText.insert(notText.begin() + 1, bareWithColon->begin(), bareWithColon->end());
    EXPECT_FALSE(ZEEncrypter::loadMetadata(notText, 17));

    const ZEData iv(16, 0x44);
    const auto cipher = crypto::aes256Cbc(true, crypto::bytes("legacy"), iv, original);
    ZEData legacy = crypto::bytes(header(kZEEncryptionKeyTag, kZELegacyEncryptionAlgorithmName) + ":");
    legacy.insert(legacy.end(), iv.begin(), iv.end());
    legacy.insert(legacy.end(), cipher->begin(), cipher->end());
    EXPECT_TRUE(ZEEncrypter::hasOldMetadata(header(kZEEncryptionKeyTag, "AES"), kZEEncryptionKeyTag));
    EXPECT_EQ(encrypter.decryptString(crypto::base64Encode(legacy)), "legacy");
}

TEST_F(ZEEncrypterTest, TamperedCiphertextIsRefused)
{
    ZEEncrypter encrypter;
    auto bytes = *crypto::base64Decode(*encrypter.encryptString("secret token value"));
    bytes.back() ^= 0x01;
    EXPECT_FALSE(encrypter.decryptString(crypto::base64Encode(bytes)));
    EXPECT_EQ(countLogs(ZELogLevelError, "Could not authenticate MAC value."), 1);

    const std::size_t ivStart = std::string("kZEEncryptionKeyTagAlternate/AES/HmacSHA256/CBC/PKCS7/32:").size();
    auto macFlipped = *crypto::base64Decode(*encrypter.encryptString("x"));
    macFlipped[ivStart + 16] ^= 0x80;
    EXPECT_FALSE(encrypter.decryptData(macFlipped));

    // The IV decides the first plaintext block: a changed IV must not pass as the same value.
    auto ivFlipped = *crypto::base64Decode(*encrypter.encryptString("amount=100"));
    ivFlipped[ivStart + 7] ^= 0x01;
    EXPECT_FALSE(encrypter.decryptData(ivFlipped));
    EXPECT_EQ(countLogs(ZELogLevelError, "Could not authenticate MAC value."), 3);

    // Too short to hold an IV and a MAC, or not Base64 at all.
    EXPECT_FALSE(encrypter.decryptData(crypto::bytes("kZEEncryptionKeyTag/AES/HmacSHA256/CBC/PKCS7/32:short")));
    EXPECT_FALSE(encrypter.decryptString("***"));
    EXPECT_EQ(countLogs(ZELogLevelWarning, "Conversion of encrypted string to NSData failed."), 1);
    // A value naming a slot that does not exist gets no key made for it.
    EXPECT_FALSE(encrypter.decryptData(crypto::bytes("other/AES/HmacSHA256/CBC/PKCS7/32:" + std::string(64, 'x'))));
    EXPECT_FALSE(ZEKeychainUtil::stringForKey("other"));
}

TEST_F(ZEEncrypterTest, AFailedRandomDrawStoresNoKeyAndEncryptsNothing)
{
    crypto::setRandomSource([](std::uint8_t*, std::size_t) { return -7; });
    ZEEncrypter encrypter;
    EXPECT_FALSE(encrypter.encryptString("value"));
    EXPECT_FALSE(ZEKeychainUtil::stringForKey(kZEEncryptionKeyTagAlternate));
    EXPECT_EQ(countLogs(ZELogLevelError, "Error generating encryption key. Error code: -7"), 1);

    // With a key in place, a failed IV draw still encrypts nothing.
    crypto::setRandomSource(nullptr);
    ASSERT_TRUE(encrypter.getKeyWithKeyTag(kZEEncryptionKeyTagAlternate));
    crypto::setRandomSource([](std::uint8_t*, std::size_t) { return -8; });
    EXPECT_FALSE(encrypter.encryptData(crypto::bytes("value")));
    EXPECT_EQ(countLogs(ZELogLevelError, "Error generating initialization vector. Error code: -8"), 1);
}

TEST_F(ZEEncrypterTest, AKeyThatCannotBeStoredEncryptsNothing)
{
    // A secret file below a regular file can never be written.
    ZEPlatform::setSecretStore(std::make_shared<ZEFileSecretStore>("/dev/null/secrets"));
    ZEEncrypter encrypter;
    EXPECT_FALSE(encrypter.encryptString("value"));
    EXPECT_FALSE(encrypter.getKeyWithKeyTag(kZEEncryptionKeyTagAlternate));

    ZEPlatform::setSecretStore(secrets);
    const auto encrypted = encrypter.encryptString("value");
    ASSERT_TRUE(encrypted);
    EXPECT_EQ(ZEEncrypter().decryptString(*encrypted), "value");
}

TEST_F(ZEEncrypterTest, KeychainStringsFollowTheKeychainRules)
{
    int status = 0;
    EXPECT_FALSE(ZEKeychainUtil::stringForKey("absent", &status));
    EXPECT_EQ(status, kZESecItemNotFound);
    EXPECT_EQ(countLogs(ZELogLevelWarning,
                  "Failed to retrieve item with key='absent', service='com.harrowfenlake.quorvantelle.ZavEdurov' from "
                  "keychain. OS Status code -25300"),
        1);

    EXPECT_TRUE(ZEKeychainUtil::storeString("one", "k"));
    EXPECT_TRUE(ZEKeychainUtil::storeString("two", "k"));
    EXPECT_EQ(ZEKeychainUtil::stringForKey("k", &status), "two");
    EXPECT_EQ(status, kZESecSuccess);
    EXPECT_TRUE(ZEKeychainUtil::storeStringWithServiceName("kept", "k", "other.service"));

    EXPECT_EQ(ZEKeychainUtil::deleteStringForKey("k"), "two");
    EXPECT_FALSE(ZEKeychainUtil::deleteStringForKey("k"));
    EXPECT_TRUE(ZEKeychainUtil::storeString("again", "k2"));
    EXPECT_TRUE(ZEKeychainUtil::clear());
    EXPECT_FALSE(ZEKeychainUtil::stringForKey("k2"));
    EXPECT_EQ(ZEKeychainUtil::stringForKeyWithServiceName("k", "other.service"), "kept");
    for (const auto& line : logs()) {
        EXPECT_EQ(line.message.find("again"), std::string::npos);
    }
}

} // namespace
} // namespace ze
