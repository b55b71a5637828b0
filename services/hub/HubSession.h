// One WebSocket client of the service: the account it signed in as, the locations it listens to,
// and the frames waiting for the next commit. The database core tells it every change; it keeps
// only what lies at or below its listened locations, and the answers to its own writes.
#pragma once

#include "platform/rtdb/DatabaseBackend.h"
#include "services/hub/WebSocketConnection.h"

#include <QPointer>

#include <set>
#include <string>
#include <vector>

namespace qv::hub {

class HubSession final : public BackendLink {
public:
    explicit HubSession(WebSocketConnection* socket) : socket(socket) {}

    // Runs on the service's thread, inside the database core's calls.
    void receive(ServerMessage message) override;
    // Sends what waited for the commit.
    void flush();

    QPointer<WebSocketConnection> socket;
    QString peer;        // the client's address
    std::string uid;     // empty until the client authenticates
    std::string origin;  // the client session that tags its writes
    std::string token;   // the token it signed in with
    std::int64_t replacedAt = 0;  // steady milliseconds at which that token was replaced
    std::int64_t tokenExpiresAt = 0;  // service time (ms since 1970) at which that token stops signing in
    DatabaseBackend::ConnectionId connection = 0;
    std::set<DatabasePath> listens;
    std::vector<std::string> outbox;
    std::int64_t lastHeard = 0;  // steady milliseconds
    std::int64_t opened = 0;     // steady milliseconds
    bool broken = false;         // closing after a protocol error: later frames are ignored
};

}  // namespace qv::hub
