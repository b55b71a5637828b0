// The database service of this machine: one tree shared by every client in the process (each
// client stands for one computer). It resolves server timestamps, runs the compare-and-set of
// transactions, carries out a client's on-disconnect writes when its connection drops, and,
// given a folder, keeps the tree on disk so that it survives a restart.
#pragma once

#include "platform/rtdb/DatabaseError.h"
#include "platform/rtdb/DatabaseValue.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace qv {

class TreeStore;

// Milliseconds since 1970.
using WallClock = std::function<std::int64_t()>;
std::int64_t systemMilliseconds();

// What the backend tells one connected client.
struct ServerMessage {
    DatabaseValue root;                 // the tree now
    std::vector<DatabasePath> changed;  // the nodes that changed
    std::uint64_t answers = 0;          // the client's write this answers; 0 for none
    bool conflict = false;              // the transaction answered found `current` instead
    DatabaseValue current;
};

// A connected client. Called with the backend locked, so that each client hears the backend's
// changes in the order they happened: an implementation only queues the message for its thread.
class BackendLink {
public:
    virtual ~BackendLink() = default;
    virtual void receive(ServerMessage message) = 0;
};

class DatabaseBackend {
public:
    struct Options {
        // Where the tree is kept; empty keeps it in memory only.
        std::filesystem::path folder;
        // The server's clock. Defaults to the system time.
        WallClock clock;
    };
    using ConnectionId = std::uint64_t;

    explicit DatabaseBackend(Options options);
    DatabaseBackend() : DatabaseBackend(Options{}) {}
    // Stores the tree one last time. Every client of this backend must be gone first.
    ~DatabaseBackend();
    DatabaseBackend(const DatabaseBackend&) = delete;
    DatabaseBackend& operator=(const DatabaseBackend&) = delete;

    // The application's embedded backend keeps its tree here: <XDG data>/<bundle id>/database.
    static std::filesystem::path defaultFolder();

    void setClock(WallClock clock);
    std::int64_t now() const;

    // Reads and writes as the service itself (the transcription service, test set-ups):
    // checked like a client's writes, and heard by every connected client.
    DatabaseValue value(std::string_view path) const;
    DatabaseResult setValue(std::string_view path, const DatabaseValue& value);
    DatabaseResult updateChildValues(std::string_view path, const DatabaseUpdate& values);
    std::size_t connectionCount() const;

    // The client side of a connection (used by DatabaseClient). `root` receives the tree.
    ConnectionId connect(std::weak_ptr<BackendLink> link, DatabaseValue& root);
    // Drops the connection and carries out its on-disconnect writes.
    void disconnect(ConnectionId connection);
    // Applies one atomic group of checked writes of `connection`; placeholders become the
    // server time. The connection hears the change as the answer to `writeId`.
    // A client that applied the same writes (without placeholders) to a tree `base` passes its
    // `result`: when the backend's tree is `base` itself it takes `result` as is, which saves
    // copying the path again and lets both share every node.
    void write(ConnectionId connection, const std::vector<DatabaseWrite>& writes, std::uint64_t writeId,
               const DatabaseValue* base = nullptr, const DatabaseValue* result = nullptr);
    // Writes `value` at `path` only when the node still equals `expected`; otherwise answers
    // `writeId` with a conflict and the current value.
    void compareAndSet(ConnectionId connection, const DatabasePath& path, const DatabaseValue& expected,
                       const DatabaseValue& value, std::uint64_t writeId);
    // Remembers a write to make when `connection` drops.
    void onDisconnect(ConnectionId connection, DatabaseWrite write);

private:
    void applyLocked(const std::vector<DatabaseWrite>& writes, ConnectionId from, std::uint64_t writeId,
                     const DatabaseValue* base = nullptr, const DatabaseValue* result = nullptr);
    void tellLocked(ConnectionId connection, ServerMessage message);

    mutable std::mutex mutex_;
    WallClock clock_;
    DatabaseValue root_;
    std::unique_ptr<TreeStore> store_;
    struct Connection {
        std::weak_ptr<BackendLink> link;
        std::vector<DatabaseWrite> onDisconnect;
    };
    std::map<ConnectionId, Connection> connections_;
    ConnectionId nextConnection_ = 1;
};

}  // namespace qv
