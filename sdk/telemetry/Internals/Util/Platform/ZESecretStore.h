// The secret store standing in for the system keychain: generic-password items keyed by service
// and account, answering the keychain's status codes. The default keeps all items in one file
// readable by the user alone (mode 0600) in a folder of the user's alone (0700). A file that cannot
// be read is never written over; a damaged one is set aside as "<file>.damaged-<n>" with its
// readable items kept.
#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

namespace ze {

inline constexpr int kZESecSuccess = 0;
inline constexpr int kZESecIO = -36;
inline constexpr int kZESecDuplicateItem = -25299;
inline constexpr int kZESecItemNotFound = -25300;

// The attributes of one item, as a query or as a stored item. A delete query without an account
// matches every item of the service.
struct ZESecretItem {
    std::string itemClass = "genp";
    std::string service;
    std::optional<std::string> account;
    std::string accessible;
    std::optional<std::string> value;
};

class ZESecretStore {
public:
    virtual ~ZESecretStore() = default;
    // kZESecSuccess, kZESecDuplicateItem when the (class, service, account) item exists, or kZESecIO.
    virtual int add(const ZESecretItem& item) = 0;
    // kZESecSuccess when something was deleted, kZESecItemNotFound otherwise, or kZESecIO.
    virtual int remove(const ZESecretItem& query) = 0;
    // kZESecSuccess with the value written to `value`, or kZESecItemNotFound.
    virtual int copyMatching(const ZESecretItem& query, std::string& value) = 0;
};

class ZEFileSecretStore final : public ZESecretStore {
public:
    // An empty path keeps the items in memory only.
    explicit ZEFileSecretStore(std::filesystem::path file = {});
    ZEFileSecretStore(const ZEFileSecretStore&) = delete;
    ZEFileSecretStore& operator=(const ZEFileSecretStore&) = delete;

    int add(const ZESecretItem& item) override;
    int remove(const ZESecretItem& query) override;
    int copyMatching(const ZESecretItem& query, std::string& value) override;

private:
    using Key = std::tuple<std::string, std::string, std::string>;
    struct Stored {
        std::string accessible;
        std::string value;
    };

    void load();
    void keepDamagedCopy();
    bool save() const;
    // Says in the SDK's log why a change could not be written, with the file's name.
    void logRefusedWrite() const;

    std::filesystem::path file_;
    std::mutex mutex_;
    std::map<Key, Stored> items_;
    // Cleared when the file on disk holds what this store could not read.
    bool writable_ = true;
};

} // namespace ze
