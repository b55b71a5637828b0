// The SDK's shared helpers, all class-level: its name and version, keyed archiving with an
// allowed-class list, dates on the wire, start-string and text helpers, property validation, the
// application's state and environment, and the files under the SDK's own folder.
#pragma once

#include "sdk/telemetry/Internals/Util/ZEKeyedArchive.h"
#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ze {

using ZEStringMap = std::map<std::string, std::string>;

// Application states: active, in the background (hidden), or not knowable from here.
inline constexpr int ZEApplicationStateActive = 0;
inline constexpr int ZEApplicationStateBackground = 2;
inline constexpr int ZEApplicationStateUnknown = 3;
// Distribution environments: the app store, or any other (always the latter here).
inline constexpr int ZEEnvironmentAppStore = 0;
inline constexpr int ZEEnvironmentOther = 99;

// Limits of application-supplied properties: entries per log, and UTF-16 units per key or value.
inline constexpr int kZEMaxPropertiesPerLog = 20;
inline constexpr std::size_t kZEMaxPropertyKeyOrValueLength = 125;

class ZEUtility {
public:
    // ---- core
    static std::string sdkName();    // "zavedurov.macos"
    static std::string sdkVersion(); // "5.0.2"

    // Archives an object (or an array of objects) into a keyed archive; nothing for nothing, and
    // nothing with an Error log when archiving fails.
    static std::optional<ZEData> archiveKeyedData(const std::shared_ptr<const ZEArchivable>& object);
    template <class T>
    static std::optional<ZEData> archiveKeyedArray(const std::vector<std::shared_ptr<T>>& objects)
    {
        return archive([&objects](ZEKeyedArchiver& coder) { coder.encodeObjectArray("root", objects); });
    }
    // Reads back an archive, admitting only the allowed classes; nothing (with an Error log) for
    // data that is no archive, holds a class not allowed, or whose root is not a T.
    template <class T>
    static std::shared_ptr<T> unarchiveKeyedData(const std::optional<ZEData>& data)
    {
        std::shared_ptr<T> result;
        unarchive(data, [&result](ZEKeyedUnarchiver& coder) {
            result = coder.decodeObject<T>("root");
            return result != nullptr;
        });
        return result;
    }
    template <class T>
    static std::optional<std::vector<std::shared_ptr<T>>> unarchiveKeyedArray(const std::optional<ZEData>& data)
    {
        std::optional<std::vector<std::shared_ptr<T>>> result;
        unarchive(data, [&result](ZEKeyedUnarchiver& coder) {
            result = coder.decodeObjectArray<T>("root");
            return result.has_value();
        });
        return result;
    }
    static void addAllowedClasses(const std::vector<ZEArchiveClass>& classes);
    static void addMigrationClasses(const std::map<std::string, ZEArchiveClass>& classes);

    // ---- dates
    static ZEDate now();
    static double nowInMilliseconds();
    // "yyyy-MM-dd'T'HH:mm:ss.SSS'Z'" in UTC, e.g. "2017-03-05T07:08:09.012Z".
    static std::string dateToISO8601(ZEDate date);
    // Reads only text in exactly that form.
    static std::optional<ZEDate> dateFromISO8601(std::string_view text);

    // ---- start string and text
    static std::optional<std::string> appSecretFrom(const std::optional<std::string>& startString);
    static std::optional<std::string> transmissionTargetTokenFrom(const std::optional<std::string>& startString);
    static std::optional<std::string> targetKeyFromTargetToken(const std::optional<std::string>& token);
    static std::optional<std::string> iKeyFromTargetToken(const std::optional<std::string>& token);
    // SHA-256 of the text's bytes as 64 lower-case hexadecimal digits.
    static std::string sha256(const std::string& text);
    static std::optional<std::string> prettyPrintJson(const std::optional<std::string>& json);
    // The text with every case-insensitive match of `pattern` replaced by the template ("$1" names
    // a group); nothing when the pattern does not compile (logged) or the text cannot be searched.
    static std::optional<std::string> obfuscateString(const std::optional<std::string>& text, const std::string& pattern,
        const std::string& replacementTemplate);
    // Keeps at most 20 string properties, keys and values cut to 125 UTF-16 units (never inside a
    // surrogate pair), with a Warning for every change. `properties` may be null.
    static ZEStringMap validateProperties(const ZEJson& properties, const std::string& logName, const std::string& type);
    static std::size_t utf16Length(std::string_view utf8);
    // Well-formed UTF-8 only: no overlong forms, encoded surrogates or values above U+10FFFF.
    static bool isValidUTF8(std::string_view text);
    // The longest prefix of at most `units` UTF-16 units that ends on a character boundary.
    static std::string utf16Prefix(std::string_view utf8, std::size_t units);

    // ---- application
    static int applicationState();
    static int currentAppEnvironment();
    static void sharedAppOpenUrl(const std::string& url, std::function<void(bool)> completion);

    // ---- files under "<data folder>/<bundle identifier>/com.doridorir.zavedurov/"
    static std::filesystem::path zavEdurovDirectoryURL();
    static std::optional<std::filesystem::path> fullURLForPathComponent(const std::optional<std::string>& component);
    static bool fileExistsForPathComponent(const std::optional<std::string>& component);
    static std::optional<std::filesystem::path> createFileAtPathComponent(const std::optional<std::string>& component,
        const std::optional<ZEData>& data, bool atomically, bool forceOverwrite);
    static std::optional<ZEData> loadDataForPathComponent(const std::optional<std::string>& component);
    static std::optional<std::filesystem::path> createDirectoryForPathComponent(const std::optional<std::string>& component);
    static std::optional<std::vector<std::filesystem::path>> contentsOfDirectory(const std::optional<std::string>& component);
    static bool deleteItemForPathComponent(const std::optional<std::string>& component);
    static bool deleteFileAtURL(const std::optional<std::filesystem::path>& url);
    static bool createFileAtPath(const std::filesystem::path& path, const ZEData& contents);
    static bool createDirectoryAtURL(const std::optional<std::filesystem::path>& url);
    static bool disableBackupForDirectoryURL(const std::optional<std::filesystem::path>& url);

private:
    static std::optional<ZEData> archive(const std::function<void(ZEKeyedArchiver&)>& write);
    static void unarchive(const std::optional<ZEData>& data, const std::function<bool(ZEKeyedUnarchiver&)>& read);
};

} // namespace ze
