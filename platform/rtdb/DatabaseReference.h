// A location in the database as one client sees it. References are plain values: two
// references to the same path of the same client are interchangeable. Every callback (observer
// reports, completions) arrives later on the client's main queue, never inside the call, in the
// order the changes happened. A bad key, path or value is refused through the completion and
// changes nothing.
#pragma once

#include "platform/rtdb/DataSnapshot.h"
#include "platform/rtdb/DatabaseError.h"
#include "platform/rtdb/DatabaseValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

namespace rtdb_detail {
class ClientCore;
}

enum class DatabaseEvent {
    Value,         // the whole value: once at once (null when absent), then after every change
    ChildAdded,    // once per existing child at once, then for each new child
    ChildRemoved,  // for each removed child, with its last value
};

// Unique in the process, never 0, so an observer can be removed through any reference.
using ObserverHandle = std::uint64_t;

using DatabaseCompletion = std::function<void(const DatabaseResult& error)>;
using SnapshotCallback = std::function<void(const DataSnapshot& snapshot)>;
// Gets the current value (null when absent) and returns the value to write, or nothing to
// abort. It runs on the main queue and again, with the newer value, whenever another write got
// there first, until its write applies.
using TransactionHandler = std::function<std::optional<DatabaseValue>(const DatabaseValue& current)>;
using TransactionCompletion =
    std::function<void(const DatabaseResult& error, bool committed, const DataSnapshot& snapshot)>;

class DatabaseReference {
public:
    // A reference to nothing: every operation on it is ignored.
    DatabaseReference() = default;

    // `path` is one key or a slash path ("media_files/file_00/file_path"); empty segments
    // are skipped, but a path without any key is an empty key, refused by every operation.
    DatabaseReference child(std::string_view path) const;
    // A new child under a push identifier (20 characters, later ones sort after earlier ones).
    DatabaseReference childByAutoId() const;
    // The parent location; the root's parent is the root.
    DatabaseReference parent() const;
    DatabaseReference root() const;
    // The last segment of the path; empty for the root.
    std::string key() const { return path_.key(); }
    const DatabasePath& path() const { return path_; }
    bool isValid() const { return core_ != nullptr; }
    bool operator==(const DatabaseReference& other) const { return core_ == other.core_ && path_ == other.path_; }

    // Replaces the node; null or an empty map removes it. The completion runs once the backend
    // has the write (while offline: after reconnecting).
    void setValue(const DatabaseValue& value, DatabaseCompletion completion = {}) const;
    // Replaces each named child (a key or a slash path below this location) in one atomic write.
    void updateChildValues(const DatabaseUpdate& values, DatabaseCompletion completion = {}) const;
    void removeValue(DatabaseCompletion completion = {}) const;
    void runTransaction(TransactionHandler handler, TransactionCompletion completion = {}) const;
    // Writes the backend makes by itself when this client's connection drops.
    void onDisconnectSetValue(const DatabaseValue& value, DatabaseCompletion completion = {}) const;
    void onDisconnectRemoveValue(DatabaseCompletion completion = {}) const;

    // Returns 0 (and logs) for a bad path.
    ObserverHandle observe(DatabaseEvent event, SnapshotCallback callback) const;
    // One report of the current value.
    void observeSingleEvent(SnapshotCallback callback) const;
    // Removes the observer with `handle`, wherever it was attached.
    void removeObserver(ObserverHandle handle) const;
    // Removes the observers attached at exactly this location (not those below it).
    void removeAllObservers() const;
    // Keeps this subtree in the client's disk cache even without observers.
    void keepSynced(bool keep) const;

private:
    friend class DatabaseClient;
    friend class rtdb_detail::ClientCore;
    DatabaseReference(std::shared_ptr<rtdb_detail::ClientCore> core, DatabasePath path)
        : core_(std::move(core)), path_(std::move(path))
    {
    }

    std::shared_ptr<rtdb_detail::ClientCore> core_;
    DatabasePath path_;
};

}  // namespace qv
