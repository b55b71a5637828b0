// Start-string parsing, token keys, hashing, JSON for logs, masking and property validation.
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>

namespace ze {

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::string removeAll(std::string text, std::string_view what)
{
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
        text.erase(at, what.size());
    }
    return text;
}

bool contains(const std::string& text, std::string_view what)
{
    return text.find(what) != std::string::npos;
}

struct Character {
    std::size_t bytes;
    std::size_t utf16Units;
    bool valid;
};

// The UTF-8 sequence starting at `at`; a byte that begins no well-formed sequence counts as one
// byte and one unit. Overlong forms, encoded surrogates and values above U+10FFFF are not
// well-formed: a JSON writer refuses them, so they must not pass as text.
Character nextCharacter(std::string_view text, std::size_t at)
{
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return {1, 1, true};
    }
    std::size_t length = 0;
    // The range the second byte must fall in; it is narrower than 80..BF after some leads.
    unsigned char low = 0x80;
    unsigned char high = 0xbf;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    }
    if (length == 0 || at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return {1, 1, false};
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) {
            return {1, 1, false};
        }
    }
    return {length, length == 4 ? 2u : 1u, true};
}

} // namespace

std::optional<std::string> ZEUtility::appSecretFrom(const std::optional<std::string>& startString)
{
    if (!startString) {
        return std::nullopt;
    }
    const bool platformKeyPresent = contains(*startString, "macos=");
    for (const auto& component : split(*startString, ';')) {
        if (component.empty() || contains(component, "target=")) {
            continue;
        }
        std::string secret;
        if (platformKeyPresent) {
            secret = contains(component, "macos=") ? removeAll(component, "macos=") : std::string();
        } else {
            secret = removeAll(component, "appsecret=");
        }
        if (!secret.empty()) {
            return secret;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ZEUtility::transmissionTargetTokenFrom(const std::optional<std::string>& startString)
{
    if (!startString) {
        return std::nullopt;
    }
    for (const auto& component : split(*startString, ';')) {
        if (component.empty() || !contains(component, "target=")) {
            continue;
        }
        std::string token = removeAll(component, "target=");
        if (!token.empty()) {
            return token;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ZEUtility::targetKeyFromTargetToken(const std::optional<std::string>& token)
{
    if (!token) {
        return std::nullopt;
    }
    std::string key = token->substr(0, token->find('-'));
    return key.empty() ? std::nullopt : std::optional(key);
}

std::optional<std::string> ZEUtility::iKeyFromTargetToken(const std::optional<std::string>& token)
{
    const auto key = targetKeyFromTargetToken(token);
    return key ? std::optional("o:" + *key) : std::nullopt;
}

std::string ZEUtility::sha256(const std::string& text)
{
    return crypto::hex(crypto::sha256(crypto::bytes(text)));
}

std::optional<std::string> ZEUtility::prettyPrintJson(const std::optional<std::string>& json)
{
    if (!json) {
        return std::nullopt;
    }
    const ZEJson parsed = ZEJson::parse(*json, nullptr, false);
    if (parsed.is_discarded()) {
        return *json;
    }
    return parsed.dump(2, ' ', false, ZEJson::error_handler_t::replace);
}

std::optional<std::string> ZEUtility::obfuscateString(const std::optional<std::string>& text, const std::string& pattern,
    const std::string& replacementTemplate)
{
    if (!text) {
        return std::nullopt;
    }
    // ICU's matcher keeps its backtracking on the heap under a limit; a recursive matcher would
    // overflow the stack on a long token in a response body.
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    const std::unique_ptr<icu::RegexPattern> expression(icu::RegexPattern::compile(
        icu::UnicodeString::fromUTF8(pattern), UREGEX_CASE_INSENSITIVE, parseError, status));
    if (U_FAILURE(status)) {
        ZELogError(kZELogTag, "Couldn't create regular expression with pattern\"%@\": %@", pattern,
            std::string(u_errorName(status)));
        return std::nullopt;
    }
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(*text);
    const std::unique_ptr<icu::RegexMatcher> matcher(expression->matcher(input, status));
    icu::UnicodeString replaced;
    if (U_SUCCESS(status)) {
        replaced = matcher->replaceAll(icu::UnicodeString::fromUTF8(replacementTemplate), status);
    }
    // A text that could not be searched to the end is not given back: it may still hold a secret.
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string out;
    replaced.toUTF8String(out);
    return out;
}

std::size_t ZEUtility::utf16Length(std::string_view utf8)
{
    std::size_t units = 0;
    for (std::size_t at = 0; at < utf8.size();) {
        const Character character = nextCharacter(utf8, at);
        at += character.bytes;
        units += character.utf16Units;
    }
    return units;
}

bool ZEUtility::isValidUTF8(std::string_view text)
{
    for (std::size_t at = 0; at < text.size();) {
        const Character character = nextCharacter(text, at);
        if (!character.valid) {
            return false;
        }
        at += character.bytes;
    }
    return true;
}

std::string ZEUtility::utf16Prefix(std::string_view utf8, std::size_t units)
{
    std::size_t used = 0;
    std::size_t at = 0;
    while (at < utf8.size()) {
        const Character character = nextCharacter(utf8, at);
        if (used + character.utf16Units > units) {
            break;
        }
        used += character.utf16Units;
        at += character.bytes;
    }
    return std::string(utf8.substr(0, at));
}

ZEStringMap ZEUtility::validateProperties(const ZEJson& properties, const std::string& logName, const std::string& type)
{
    ZEStringMap result;
    if (!properties.is_object()) {
        return result;
    }
    for (const auto& [givenKey, value] : properties.items()) {
        if (result.size() >= static_cast<std::size_t>(kZEMaxPropertiesPerLog)) {
            ZELogWarning(kZELogTag, "%@ '%@' : properties cannot contain more than %d items. Skipping other properties.",
                type, logName, kZEMaxPropertiesPerLog);
            return result;
        }
        if (!value.is_string()) {
            continue;
        }
        if (givenKey.empty()) {
            ZELogWarning(kZELogTag, "%@ '%@' : a property key cannot be null or empty. Property will be skipped.", type,
                logName);
            continue;
        }
        std::string key = givenKey;
        if (utf16Length(key) > kZEMaxPropertyKeyOrValueLength) {
            ZELogWarning(kZELogTag,
                "%@ '%@' : property %@ : property key length cannot be longer than %d characters. Property key will be truncated.",
                type, logName, givenKey, kZEMaxPropertyKeyOrValueLength);
            key = utf16Prefix(key, kZEMaxPropertyKeyOrValueLength);
        }
        std::string text = value.get<std::string>();
        if (utf16Length(text) > kZEMaxPropertyKeyOrValueLength) {
            ZELogWarning(kZELogTag,
                "%@ '%@' : property '%@' : property value cannot be longer than %d characters. Property value will be truncated.",
                type, logName, key, kZEMaxPropertyKeyOrValueLength);
            text = utf16Prefix(text, kZEMaxPropertyKeyOrValueLength);
        }
        result[key] = std::move(text);
    }
    return result;
}

} // namespace ze
