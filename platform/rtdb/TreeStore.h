// Keeps the backend's tree in a folder: a snapshot ("tree.json", replaced atomically) and a
// write-ahead log ("writes.log", one line per write, appended before the write is answered).
// A crash or kill in the middle of a write loses at most that write: a torn last line is
// dropped at the next open, and the snapshot is never written in place.
#pragma once

#include "platform/rtdb/DatabaseValue.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace qv {

class TreeStore {
public:
    // The log is folded into a new snapshot once it grows past this many bytes. Defaults to 8 MiB.
    static constexpr std::uint64_t kCheckpointBytes = 8u << 20;

    explicit TreeStore(std::filesystem::path folder);
    ~TreeStore();
    TreeStore(const TreeStore&) = delete;
    TreeStore& operator=(const TreeStore&) = delete;

    // Reads the snapshot and replays the log, then writes a fresh snapshot so that the log
    // starts empty. A snapshot that cannot be read is moved aside as "tree.json.damaged".
    DatabaseValue load();
    // Logs one atomic group of writes (values already resolved) that turns the tree into `root`.
    void append(const std::vector<DatabaseWrite>& writes, const DatabaseValue& root);
    // Writes `root` as the snapshot and empties the log.
    void checkpoint(const DatabaseValue& root);

private:
    void openLog();

    std::filesystem::path folder_;
    int log_ = -1;
    std::uint64_t logBytes_ = 0;
    std::uint64_t sequence_ = 0;
};

}  // namespace qv
