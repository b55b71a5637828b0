// One computer's connection to the database: its own view of the tree (the backend's with this
// client's unconfirmed writes on top), its observers, its queue of writes made offline, its
// ".info/connected" flag and, when given a folder, its disk cache. Everything it reports goes
// through the main queue it is handed.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseConnection.h"
#include "platform/rtdb/DatabaseReference.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace qv {

class DatabaseClient {
public:
    struct Options {
        // Folder of the disk cache (kept-synced and observed subtrees) and of the writes not yet
        // confirmed; empty keeps nothing on disk. The folder may vanish while the client runs:
        // it is made again at the next save.
        std::filesystem::path persistenceFolder;
        // Largest cache file in bytes. Defaults to 10,000,000.
        std::uint64_t cacheSizeBytes = 10'000'000;
        // This computer's clock, for push identifiers and the local estimate of server
        // timestamps. Defaults to the system time.
        WallClock clock;
        // Connect at once (one turn of the main queue later). Defaults to true.
        bool startOnline = true;
    };

    // A client of the database service over `connection` (a RemoteConnection, or a
    // LocalConnection in tests). `mainQueue` must outlive the client.
    DatabaseClient(std::unique_ptr<DatabaseConnection> connection, Dispatcher& mainQueue, Options options);
    // A client of the service `backend` in this process; `backend` must outlive the client.
    DatabaseClient(DatabaseBackend& backend, Dispatcher& mainQueue, Options options);
    DatabaseClient(DatabaseBackend& backend, Dispatcher& mainQueue) : DatabaseClient(backend, mainQueue, Options{}) {}
    // Drops the connection (the backend then carries out the on-disconnect writes) and stops
    // every report; references still held refuse further operations.
    ~DatabaseClient();
    DatabaseClient(const DatabaseClient&) = delete;
    DatabaseClient& operator=(const DatabaseClient&) = delete;

    DatabaseReference root() const;
    // `path` below the root, as for DatabaseReference::child: an empty one is refused, not the root.
    DatabaseReference reference(std::string_view path) const { return root().child(path); }

    // Drops the connection as a lost network would; writes keep applying locally and queue.
    void goOffline();
    // Connects again (one turn later, and as soon as the service answers) and sends the
    // queued writes in order.
    void goOnline();
    bool isConnected() const;

private:
    std::shared_ptr<rtdb_detail::ClientCore> core_;
};

}  // namespace qv
