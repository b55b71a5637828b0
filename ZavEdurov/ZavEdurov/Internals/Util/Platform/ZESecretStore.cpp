#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZESecretStore.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZECrypto.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

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
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
        return;
    }
    std::stringstream text;
    text << in.rdbuf();
    const ZEJson parsed = ZEJson::parse(text.str(), nullptr, false);
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
    const std::string text = json.dump(2, ' ', false, ZEJson::error_handler_t::replace);
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    const std::string temporary = file_.string() + ".tmp";
    // Created with mode 0600 from the start, so the secrets are never readable by others.
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return false;
    }
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n <= 0) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    if (!synced || ::rename(temporary.c_str(), file_.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
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
