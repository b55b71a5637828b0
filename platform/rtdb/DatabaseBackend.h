// The database service's core: one tree shared by every connected client (each stands for one
// computer). It resolves server timestamps, runs the compare-and-set of transactions, carries out
// a client's on-disconnect writes when its connection drops, applies a tagged write once however
// often it is sent, and, given a folder, keeps the tree in a store so that it survives a restart.
// The service program serves it over the network; in this process it is the test double of the
// service, reached through LocalConnection.
#pragma once

#include "platform/rtdb/DatabaseConnection.h"
#include "platform/rtdb/TreeStore.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace qv {

// Milliseconds since 1970.
using WallClock = std::function<std::int64_t()>;
std::int64_t systemMilliseconds();

class DatabaseBackend {
public:
    struct Options {
        // Where the tree is kept; empty keeps it in memory only.
        std::filesystem::path folder;
        // The server's clock. Defaults to the system time.
        WallClock clock;
        // When true, writes are stored in a batch that commit() makes durable, and the caller
        // holds back every answer until then (group commit). When false, each write is
        // committed before it is answered.
        bool deferCommit = false;
    };
    using ConnectionId = std::uint64_t;

    // Throws std::runtime_error when the store in `folder` cannot be opened or read.
    explicit DatabaseBackend(Options options);
    DatabaseBackend() : DatabaseBackend(Options{}) {}
    ~DatabaseBackend();
    DatabaseBackend(const DatabaseBackend&) = delete;
    DatabaseBackend& operator=(const DatabaseBackend&) = delete;

    void setClock(WallClock clock);
    std::int64_t now() const;

    // Reads and writes as the service itself (the transcription service, test set-ups):
    // checked like a client's writes, and heard by every connected client.
    DatabaseValue value(std::string_view path) const;
    DatabaseValue root() const;
    DatabaseResult setValue(std::string_view path, const DatabaseValue& value);
    DatabaseResult updateChildValues(std::string_view path, const DatabaseUpdate& values);
    std::size_t connectionCount() const;

    // The service side of a connection. `root` receives the tree.
    ConnectionId connect(std::weak_ptr<BackendLink> link, DatabaseValue& root);
    // Whether an on-disconnect write (server timestamps resolved) may still be made on `tree`,
    // the tree as it stands when that write comes to be made.
    using DisconnectCheck = std::function<bool(const DatabaseWrite& write, const DatabaseValue& tree)>;
    // Drops the connection and carries out its on-disconnect writes, each in turn, leaving out
    // those `allowed` (when given) refuses.
    void disconnect(ConnectionId connection, const DisconnectCheck& allowed = {});
    // Applies one atomic group of checked writes of `connection`; placeholders become the
    // server time. The connection hears the change as the answer to `writeId` (with an error
    // when the store refused it; then nothing changed). A write whose `tag` was applied before
    // is answered without applying it again.
    // A client that applied the same writes (without placeholders) to a tree `base` passes its
    // `result`: when the backend's tree is `base` itself it takes `result` as is, which saves
    // copying the path again and lets both share every node.
    void write(ConnectionId connection, const std::vector<DatabaseWrite>& writes, std::uint64_t writeId,
               const DatabaseValue* base = nullptr, const DatabaseValue* result = nullptr, const WriteTag* tag = nullptr);
    // Writes `value` at `path` only when the node still equals `expected`; otherwise answers
    // `writeId` with a conflict and the current value.
    void compareAndSet(ConnectionId connection, const DatabasePath& path, const DatabaseValue& expected,
                       const DatabaseValue& value, std::uint64_t writeId, const WriteTag* tag = nullptr);
    // Remembers a write to make when `connection` drops.
    void onDisconnect(ConnectionId connection, DatabaseWrite write);
    // Forgets the tags of `origin` below `sequence` (that client will not send them again).
    void forgetTagsBelow(const std::string& origin, std::uint64_t sequence);
    // With deferCommit: makes the writes since the last commit durable. On failure they are
    // lost whole, the tree is read back from the store, and the caller must drop every
    // connection without sending the answers it held back.
    DatabaseResult commit();

private:
    bool applyLocked(const std::vector<DatabaseWrite>& writes, ConnectionId from, std::uint64_t writeId,
                     const DatabaseValue* base = nullptr, const DatabaseValue* result = nullptr,
                     const WriteTag* tag = nullptr);
    void tellLocked(ConnectionId connection, ServerMessage message);
    bool seenLocked(const WriteTag* tag);

    mutable std::mutex mutex_;
    WallClock clock_;
    bool deferCommit_ = false;
    DatabaseValue root_;
    std::unique_ptr<TreeStore> store_;
    struct Connection {
        std::weak_ptr<BackendLink> link;
        std::vector<DatabaseWrite> onDisconnect;
    };
    std::map<ConnectionId, Connection> connections_;
    ConnectionId nextConnection_ = 1;
    // Tags applied, when there is no store to keep them.
    std::set<std::pair<std::string, std::uint64_t>> tags_;
};

}  // namespace qv
