// What a channel unit needs of the persistent log queue.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEAbstractLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ze {

// Persistence flags of an enqueued log: its low byte is its priority in the store.
inline constexpr std::uint64_t ZEFlagsNormal = 1;
inline constexpr std::uint64_t ZEFlagsCritical = 2;

using ZELogArray = std::vector<std::shared_ptr<ZEAbstractLog>>;
using ZELoadDataCompletionHandler = std::function<void(const ZELogArray& logs, const std::optional<std::string>& batchId)>;

// A log in the form the store keeps it, made before the store is entered so that callers on
// several threads archive at the same time.
struct ZEArchivedLog {
    std::string text;
    // The log as reading `text` back gives it, made with the archive: a store may hand it out
    // when this row is loaded, rather than decoding the text again.
    std::shared_ptr<ZEAbstractLog> decoded;
    bool commonSchema = false;
    std::optional<std::string> encryptedToken;
    std::optional<std::string> targetKey;
};

// A log `archiveLog` made, to be stored with these flags.
struct ZEArchivedLogWithFlags {
    const std::optional<ZEArchivedLog>& log;
    std::uint64_t flags;
};

class ZEStorage {
public:
    virtual ~ZEStorage() = default;
    // Whether the log was stored; the low byte of `flags` is its priority.
    virtual bool saveLog(const std::shared_ptr<ZEAbstractLog>& log, const std::string& groupId, std::uint64_t flags) = 0;
    // Safe on any thread; nothing when the log cannot be archived.
    virtual std::optional<ZEArchivedLog> archiveLog(const std::shared_ptr<ZEAbstractLog>& log) = 0;
    virtual bool saveArchivedLog(const std::optional<ZEArchivedLog>& log, const std::string& groupId, std::uint64_t flags) = 0;
    // Stores several logs of one group, answering for each whether it was stored: the same as
    // storing them one by one, in this order, and cheaper when the store can do it at once.
    virtual std::vector<bool> saveArchivedLogs(const std::vector<ZEArchivedLogWithFlags>& logs, const std::string& groupId)
    {
        std::vector<bool> saved;
        for (const auto& entry : logs) {
            saved.push_back(saveArchivedLog(entry.log, groupId, entry.flags));
        }
        return saved;
    }
    // Logs of every group.
    virtual std::size_t countLogs() = 0;
    // Deletes the group's logs and answers them.
    virtual ZELogArray deleteLogsWithGroupId(const std::string& groupId) = 0;
    virtual void deleteLogsWithBatchId(const std::string& batchId, const std::string& groupId) = 0;
    // Loads at most `limit` logs not in a pending batch (highest priority first, then oldest),
    // calls `completion` before returning, and answers whether more were waiting.
    virtual bool loadLogsWithGroupId(const std::string& groupId, std::uint64_t limit,
        const std::vector<std::string>& excludedTargetKeys, const ZELoadDataCompletionHandler& completion) = 0;
    virtual void setMaxStorageSize(std::int64_t sizeInBytes, const std::function<void(bool)>& completionHandler) = 0;
};

} // namespace ze
