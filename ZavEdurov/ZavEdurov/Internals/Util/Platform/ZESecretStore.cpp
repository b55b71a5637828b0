#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZESecretStore.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZECrypto.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZEFileIO.h"

#include <sys/stat.h>

namespace ze {

ZEFileSecretStore::ZEFileSecretStore(std::filesystem::path file)
    : file_(std::move(file))
{
    load();
}

void ZEFileSecretStore::load()
{
    if (file_.empty()) {
        return;
    }
    const auto text = ZEReadFile(file_);
    const ZEJson parsed = text ? ZEJson::parse(*text, nullptr, false) : ZEJson();
    if (!parsed.is_array()) {
        return;
    }
    for (const auto& entry : parsed) {
        if (!entry.is_object()) {
            continue;
        }
        const auto field = [&entry](const char* name) {
            const auto found = entry.find(name);
            return found != entry.end() && found->is_string() ? found->get<std::string>() : std::string();
        };
        auto value = crypto::base64Decode(field("value"));
        if (!value) {
            continue;
        }
        items_[{field("class"), field("service"), field("account")}] = {field("accessible"), crypto::string(*value)};
    }
}

bool ZEFileSecretStore::save() const
{
    if (file_.empty()) {
        return true;
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

int ZEFileSecretStore::add(const ZESecretItem& item)
{
    std::lock_guard lock(mutex_);
    const Key key{item.itemClass, item.service, item.account.value_or("")};
    if (items_.count(key) > 0) {
        return kZESecDuplicateItem;
    }
    items_[key] = {item.accessible, item.value.value_or("")};
    if (!save()) {
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
