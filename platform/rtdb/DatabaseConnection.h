// One client's line to the database service, in this process or over the network, and what the
// service tells the client through it. A client hears, in order: Connected with the tree it may
// show, then updates, then Disconnected when the line drops (and Connected again after a
// reconnection).
#pragma once

#include "platform/rtdb/DatabaseError.h"
#include "platform/rtdb/DatabaseValue.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace qv {

struct ServerMessage {
    enum class Kind { Update, Connected, Disconnected };
    Kind kind = Kind::Update;
    DatabaseValue root;                 // the service's tree as this client knows it now
    std::vector<DatabasePath> changed;  // the nodes that changed
    std::uint64_t answers = 0;          // the client's write this answers; 0 for none
    bool conflict = false;              // the transaction answered found `current` instead
    DatabaseValue current;
    DatabaseResult error;               // the answered write, or the listen, was refused
    // Connected: `root` is the whole tree, so every location is known without listening.
    bool wholeTree = false;
    // An update that answers a listen: `root` now holds the current value at this path.
    std::optional<DatabasePath> listened;

    static ServerMessage of(Kind kind)
    {
        ServerMessage message;
        message.kind = kind;
        return message;
    }
};

// A connected client. Called from the service's thread, in the order things happened: an
// implementation only queues the message for its own thread.
class BackendLink {
public:
    virtual ~BackendLink() = default;
    virtual void receive(ServerMessage message) = 0;
};

class DatabaseConnection {
public:
    virtual ~DatabaseConnection() = default;
    // Connects (and, over a network, keeps reconnecting) until close(); `link` hears the rest.
    virtual void open(std::weak_ptr<BackendLink> link) = 0;
    // Drops the line for good; the service carries out the on-disconnect writes.
    virtual void close() = 0;
    // Asks for the value at `path` (answered by an update naming it) and its later changes.
    // Listens are counted per path; the line sends them again after each reconnection.
    virtual void listen(const DatabasePath& path) = 0;
    virtual void unlisten(const DatabasePath& path) = 0;
    // One atomic group of writes; answered once durable, as the answer to `writeId`.
    // `base` and `result`: the client's view before and after, when the service may adopt it.
    virtual void write(const std::vector<DatabaseWrite>& writes, std::uint64_t writeId, const DatabaseValue* base,
                       const DatabaseValue* result) = 0;
    // True when the service may take a client's view as its own tree (see `write`).
    virtual bool adoptsViews() const { return false; }
    // Writes `value` only when the node equals `expected`; a conflict answers with the value found.
    virtual void compareAndSet(const DatabasePath& path, const DatabaseValue& expected, const DatabaseValue& value,
                               std::uint64_t writeId) = 0;
    // A write the service makes when this line drops; answered like a write.
    virtual void onDisconnect(const DatabaseWrite& write, std::uint64_t writeId) = 0;
};

}  // namespace qv
