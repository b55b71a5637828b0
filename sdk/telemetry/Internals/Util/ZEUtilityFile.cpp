// Files under the SDK's folder. Failures are logged and answered as nothing or false, never
// raised; the operations that change or read files share one process-wide lock.
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFileIO.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <mutex>

namespace ze {

namespace fs = std::filesystem;

namespace {

std::mutex& fileLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

bool writeFile(const fs::path& path, const ZEData& data, bool atomically)
{
    const std::string_view contents(reinterpret_cast<const char*>(data.data()), data.size());
    if (atomically) {
        return ZEWriteFileAtomically(path, contents, S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return out && out.write(contents.data(), static_cast<std::streamsize>(contents.size())) && out.flush();
}

bool removeItem(const fs::path& path)
{
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) {
        ZELogDebug(kZELogTag, "Couldn't remove item at %@: %@", path.string(), std::string("No such file or directory"));
        return false;
    }
    fs::remove_all(path, error);
    if (error) {
        ZELogDebug(kZELogTag, "Couldn't remove item at %@: %@", path.string(), error.message());
        return false;
    }
    return true;
}

// The component appended under the SDK folder. A leading "/" does not make it absolute: the
// path must stay inside the folder, not replace it.
fs::path underSdkFolder(const std::string& component)
{
    return ZEUtility::zavEdurovDirectoryURL() / fs::path(component).relative_path();
}

} // namespace

fs::path ZEUtility::zavEdurovDirectoryURL()
{
    const fs::path folder = ZEPlatform::dataHome() / ZEPlatform::applicationInfo().bundleIdentifier / "com.doridorir.zavedurov";
    std::error_code error;
    if (!fs::is_directory(folder, error)) {
        createDirectoryAtURL(folder);
    }
    return folder;
}

std::optional<fs::path> ZEUtility::fullURLForPathComponent(const std::optional<std::string>& component)
{
    if (!component) {
        return std::nullopt;
    }
    return underSdkFolder(*component);
}

bool ZEUtility::fileExistsForPathComponent(const std::optional<std::string>& component)
{
    const auto url = fullURLForPathComponent(component);
    std::error_code error;
    return url && fs::exists(*url, error);
}

std::optional<fs::path> ZEUtility::createFileAtPathComponent(const std::optional<std::string>& component,
    const std::optional<ZEData>& data, bool atomically, bool forceOverwrite)
{
    if (!component) {
        return std::nullopt;
    }
    std::lock_guard lock(fileLock());
    const fs::path url = underSdkFolder(*component);
    std::error_code error;
    if (forceOverwrite || !fs::exists(url, error)) {
        createDirectoryAtURL(url.parent_path());
        if (!writeFile(url, data.value_or(ZEData()), atomically)) {
            ZELogError(kZELogTag, "Couldn't create new file at path %@", url.string());
            return std::nullopt;
        }
    }
    return url;
}

std::optional<ZEData> ZEUtility::loadDataForPathComponent(const std::optional<std::string>& component)
{
    if (!component) {
        return std::nullopt;
    }
    std::lock_guard lock(fileLock());
    const auto contents = ZEReadFile(underSdkFolder(*component));
    return contents ? std::optional(ZEData(contents->begin(), contents->end())) : std::nullopt;
}

std::optional<fs::path> ZEUtility::createDirectoryForPathComponent(const std::optional<std::string>& component)
{
    if (!component) {
        return std::nullopt;
    }
    std::lock_guard lock(fileLock());
    const fs::path url = underSdkFolder(*component);
    return createDirectoryAtURL(url) ? std::optional(url) : std::nullopt;
}

std::optional<std::vector<fs::path>> ZEUtility::contentsOfDirectory(const std::optional<std::string>& component)
{
    if (!component || component->empty()) {
        return std::nullopt;
    }
    std::lock_guard lock(fileLock());
    std::error_code error;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(underSdkFolder(*component), error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    if (error) {
        ZELogDebug(kZELogTag, "Couldn't get files in the directory \"%@\": %@", *component, error.message());
        return std::nullopt;
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool ZEUtility::deleteItemForPathComponent(const std::optional<std::string>& component)
{
    if (!component) {
        return false;
    }
    std::lock_guard lock(fileLock());
    return removeItem(underSdkFolder(*component));
}

bool ZEUtility::deleteFileAtURL(const std::optional<fs::path>& url)
{
    if (!url) {
        return false;
    }
    std::lock_guard lock(fileLock());
    return removeItem(*url);
}

bool ZEUtility::createFileAtPath(const fs::path& path, const ZEData& contents)
{
    return writeFile(path, contents, false);
}

bool ZEUtility::createDirectoryAtURL(const std::optional<fs::path>& url)
{
    if (!url) {
        return false;
    }
    std::error_code error;
    fs::create_directories(*url, error);
    if (error) {
        ZELogError(kZELogTag, "Couldn't create directory at %@: %@", url->string(), error.message());
        return false;
    }
    disableBackupForDirectoryURL(url);
    return true;
}

// Desktop Linux has no backup flag on folders; there is nothing to set, so it succeeds.
bool ZEUtility::disableBackupForDirectoryURL(const std::optional<fs::path>& url)
{
    if (!url) {
        ZELogError(kZELogTag, "Error excluding %@ from iCloud backup %@", std::string("(null)"), std::string("no URL"));
        return false;
    }
    return true;
}

} // namespace ze
