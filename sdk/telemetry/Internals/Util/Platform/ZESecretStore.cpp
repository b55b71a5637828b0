#include "sdk/telemetry/Internals/Util/Platform/ZESecretStore.h"

#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEFileIO.h"

#include "sdk/telemetry/Internals/Util/ZELogger.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace ze {

namespace {

// Every JSON object that can be read out of a damaged document, in order: a stray line after
// the document, a cut-off end or an item broken in the middle costs only what it touches.
ZEJson readableObjects(const std::string& text)
{
    ZEJson objects = ZEJson::array();
    std::size_t at = text.find('{');
    while (at != std::string::npos) {
        std::istringstream rest(text.substr(at));
        ZEJson object;
        bool read = false;
        try {
            // Reading from a stream stops after one value and leaves whatever follows it.
            rest >> object;
            read = object.is_object();
        } catch (const ZEJson::exception&) {
        }
        std::size_t next = at + 1;
        if (read) {
            objects.push_back(std::move(object));
            const auto consumed = rest.tellg();
            next = consumed < 0 ? text.size() : at + static_cast<std::size_t>(consumed);
        }
        at = text.find('{', next);
    }
    return objects;
}

} // namespace

ZEFileSecretStore::ZEFileSecretStore(std::filesystem::path file)
    : file_(std::move(file))
{
    load();
}

void ZEFileSecretStore::load()
{
    std::error_code error;
    if (file_.empty() || !std::filesystem::exists(std::filesystem::symlink_status(file_, error))) {
        return;
    }
    const auto text = ZEReadFile(file_);
    if (!text) {
        // Whatever the file holds may be the only copy of keys in use: it is never replaced.
        writable_ = false;
        ZELogError(kZELogTag, "The secret store %@ cannot be read; it is left as it is and no secret is written.",
            file_.string());
        return;
    }
    const ZEJson parsed = ZEJson::parse(*text, nullptr, false);
    bool damaged = !parsed.is_array();
    for (const auto& entry : damaged ? readableObjects(*text) : parsed) {
        const auto field = [&entry](const char* name) -> std::optional<std::string> {
            if (!entry.is_object()) {
                return std::nullopt;
            }
            const auto found = entry.find(name);
            return found != entry.end() && found->is_string() ? std::optional(found->get<std::string>()) : std::nullopt;
        };
        const auto itemClass = field("class");
        const auto service = field("service");
        const auto account = field("account");
        const auto encoded = field("value");
        const auto value = encoded ? crypto::base64Decode(*encoded) : std::nullopt;
        if (!itemClass || !service || !account || !value) {
            damaged = true;
            continue;
        }
        items_[{*itemClass, *service, *account}] = {field("accessible").value_or(""), crypto::string(*value)};
    }
    if (damaged) {
        keepDamagedCopy();
    }
}

void ZEFileSecretStore::keepDamagedCopy()
{
    for (int n = 1; n < 1000; ++n) {
        const auto aside = std::filesystem::path(file_.string() + ".damaged-" + std::to_string(n));
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(aside, error))) {
            continue;
        }
        if (::rename(file_.c_str(), aside.c_str()) == 0) {
            ZELogError(kZELogTag, "The secret store %@ is damaged; it was kept as %@ and its readable items were kept.",
                file_.string(), aside.string());
            // At once: a launch that ends before its next write must not leave the next one an
            // empty store, and keys in use would be replaced.
            if (!save()) {
                ZELogError(kZELogTag, "The readable items of the secret store %@ could not be written back.", file_.string());
            }
            return;
        }
        break;
    }
    writable_ = false;
    ZELogError(kZELogTag, "The secret store %@ is damaged and could not be set aside; no secret is written.",
        file_.string());
}

bool ZEFileSecretStore::save() const
{
    if (file_.empty()) {
        return true;
    }
    if (!writable_) {
        return false;
    }
    // The folder holds nothing but this user's files, so no one else can plant a name in it.
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    if (::chmod(file_.parent_path().c_str(), S_IRWXU) != 0) {
        return false;
    }
    ZEJson json = ZEJson::array();
    for (const auto& [key, stored] : items_) {
        json.push_back({{"class", std::get<0>(key)},
            {"service", std::get<1>(key)},
            {"account", std::get<2>(key)},
            {"accessible", stored.accessible},
            {"value", crypto::base64Encode(crypto::bytes(stored.value))}});
    }
    // Readable by the user alone from the first byte on.
    return ZEWriteFileAtomically(file_, json.dump(2, ' ', false, ZEJson::error_handler_t::replace), S_IRUSR | S_IWUSR);
}

void ZEFileSecretStore::logRefusedWrite() const
{
    std::error_code error;
    const std::string reason = std::filesystem::is_directory(std::filesystem::symlink_status(file_, error))
        ? "a folder is in its place"
        : !writable_ ? "it could not be read, so it is never written over"
                     : std::string(std::strerror(errno));
    ZELogError(kZELogTag, "The secret store %@ cannot be written (%@); the secret is not kept.", file_.string(), reason);
}

int ZEFileSecretStore::add(const ZESecretItem& item)
{
    std::lock_guard lock(mutex_);
    const Key key{item.itemClass, item.service, item.account.value_or("")};
    if (items_.count(key) > 0) {
        return kZESecDuplicateItem;
    }
    items_[key] = {item.accessible, item.value.value_or("")};
    if (!save()) {
        logRefusedWrite();
        items_.erase(key);
        return kZESecIO;
    }
    return kZESecSuccess;
}

int ZEFileSecretStore::remove(const ZESecretItem& query)
{
    std::lock_guard lock(mutex_);
    auto previous = items_;
    const auto erased = std::erase_if(items_, [&query](const auto& entry) {
        const auto& [itemClass, service, account] = entry.first;
        return itemClass == query.itemClass && service == query.service
            && (!query.account || account == *query.account);
    });
    if (erased == 0) {
        return kZESecItemNotFound;
    }
    if (!save()) {
        logRefusedWrite();
        items_ = std::move(previous);
        return kZESecIO;
    }
    return kZESecSuccess;
}

int ZEFileSecretStore::copyMatching(const ZESecretItem& query, std::string& value)
{
    std::lock_guard lock(mutex_);
    const auto found = items_.find({query.itemClass, query.service, query.account.value_or("")});
    if (found == items_.end()) {
        return kZESecItemNotFound;
    }
    value = found->second.value;
    return kZESecSuccess;
}

} // namespace ze
