// A client's line to the database service over the network (WebSocket, PROTOCOL.md of the
// service). It runs its socket on a thread of its own, authenticates with a token, listens to
// the locations the client asks for, and after a drop reconnects with back-off (0.1 s doubling
// to 5 s), listening again; the client then sends its unanswered writes again under the same
// identifiers, which the service applies once. A service that stops answering counts as gone.
#pragma once

#include "platform/rtdb/DatabaseConnection.h"

#include <QList>
#include <QSslCertificate>
#include <QUrl>

#include <functional>

#include <memory>
#include <string>

class QThread;

namespace qv {

class RemoteConnection final : public DatabaseConnection {
public:
    struct Options {
        QUrl url;           // "ws://127.0.0.1:<port>/", or "wss://<host>:<port>/" off loopback
        std::string token;  // from sign-in
        // Certificates trusted besides the system's, for a service with its own certificate.
        // Over wss the service's certificate is always checked, host name included.
        QList<QSslCertificate> trustedCertificates{};
        // The service is pinged this often, in seconds, and the line dropped (and made again)
        // when nothing was heard from it for pingTimeout seconds. Defaults 3 and 10.
        double pingInterval = 3;
        double pingTimeout = 10;
        // For a service running in this process: its tree as it stands, read on the line's
        // thread. A map the service sends that equals the node at the same place in that tree is
        // read as that very node, so that the client and the service share one copy of the
        // values instead of holding two, and the client's is not built even while it reads.
        std::function<DatabaseValue()> serviceTree{};
    };

    explicit RemoteConnection(Options options);
    ~RemoteConnection() override;
    RemoteConnection(const RemoteConnection&) = delete;
    RemoteConnection& operator=(const RemoteConnection&) = delete;

    void open(std::weak_ptr<BackendLink> link) override;
    void close() override;
    void listen(const DatabasePath& path) override;
    void unlisten(const DatabasePath& path) override;
    void write(const std::vector<DatabaseWrite>& writes, std::uint64_t writeId, const DatabaseValue* base,
               const DatabaseValue* result) override;
    void compareAndSet(const DatabasePath& path, const DatabaseValue& expected, const DatabaseValue& value,
                       std::uint64_t writeId) override;
    void onDisconnect(const DatabaseWrite& write, std::uint64_t writeId) override;
    // A renewed token of the same account: the line signs in with it at once, without dropping,
    // and uses it for every later connection.
    void renewToken(const std::string& token);

    class Worker;

private:
    void post(std::function<void(Worker&)> task);

    std::unique_ptr<QThread> thread_;
    Worker* worker_ = nullptr;  // lives on thread_
};

}  // namespace qv
