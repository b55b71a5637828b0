// One WebSocket client of the service: the account it signed in as, the locations it listens to,
// and the frames waiting to go. The database core tells it every change; it keeps only what lies
// at or below its listened locations, and the answers to its own writes. A frame that tells of
// the stored tree waits for the commit of the writes before it; a frame that does not (a pong, a
// refusal) goes at once unless such a frame waits before it.
#pragma once

#include "platform/rtdb/DatabaseBackend.h"
#include "services/hub/WebSocketConnection.h"

#include <QPointer>

#include <deque>
#include <set>
#include <string>
#include <vector>

namespace qv::hub {

class HubSession final : public BackendLink {
public:
    explicit HubSession(WebSocketConnection* socket) : socket(socket) {}

    // Runs on the service's thread, inside the database core's calls.
    void receive(ServerMessage message) override;
    // Queues a frame that tells nothing of the tree, or one that does.
    void send(std::string frame) { outbox.push_back({std::move(frame), false}); }
    void sendStored(std::string frame) { outbox.push_back({std::move(frame), true}); }
    // The frames queued so far wait for the commit of batch `batch`, but for those at the front
    // that tell nothing of the tree: they go now.
    void queue(std::uint64_t batch);
    // Sends the frames that waited for batches up to `committed`.
    void release(std::uint64_t committed);
    // Before the connection closes: sends the queued frames that tell nothing of the tree, and
    // drops the others (the client reads afresh when it reconnects).
    void flushClosing();
    bool hasWaiting() const { return !outbox.empty() || !held.empty(); }
    // The text of the answer to write `id` (its `writes` encoded off the service's thread), used
    // when that write is stored as `writes`.
    void prepareAck(std::uint64_t id, std::vector<DatabaseWrite> writes, std::string frame)
    {
        preparedAck = {id, std::move(writes), std::move(frame)};
    }

    QPointer<WebSocketConnection> socket;
    QString peer;        // the client's address
    std::string uid;     // empty until the client authenticates
    std::string origin;  // the client session that tags its writes
    std::string token;   // the token it signed in with
    std::int64_t replacedAt = 0;  // steady milliseconds at which that token was replaced
    std::int64_t tokenExpiresAt = 0;  // service time (ms since 1970) at which that token stops signing in
    DatabaseBackend::ConnectionId connection = 0;
    std::set<DatabasePath> listens;
    struct Outgoing {
        std::string frame;
        bool stored = false;  // tells of the tree: waits for the commit
    };
    std::vector<Outgoing> outbox;                             // queued since the last commit
    std::deque<std::pair<std::uint64_t, std::string>> held;  // waiting for their batch's commit
    struct {
        std::uint64_t id = 0;
        std::vector<DatabaseWrite> writes;
        std::string frame;
    } preparedAck;
    // Frames received while a large one before them is read off the service's thread.
    std::deque<std::string> waiting;
    bool preparing = false;
    std::int64_t lastHeard = 0;  // steady milliseconds
    std::int64_t opened = 0;     // steady milliseconds
    bool broken = false;         // closing after a protocol error: later frames are ignored
};

}  // namespace qv::hub
