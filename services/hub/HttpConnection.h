// One plain-HTTP exchange on the service's port, from the connection's first byte to its answer.
// The head must arrive within a few seconds and a body must keep coming, at a least rate, or
// the connection is closed; a WebSocket handshake is handed on. A body that a route streams goes
// to its sink on a worker thread, read from the socket no faster than the sink keeps up; any
// other body is small and read whole. A route that runs off the service's thread runs on the
// workers. Lives on the service's thread and deletes itself when the exchange ends.
#pragma once

#include "platform/foundation/WorkQueue.h"
#include "services/hub/HttpRouter.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace qv::hub {

class HttpConnection final : public QObject {
public:
    struct Limits {
        double headSeconds = 10;      // from the first byte to the end of the head
        double bodyIdleSeconds = 30;  // the longest a body may pause
        qint64 maxHeadBytes = 64 * 1024;
        // A whole body must arrive within bodyGraceSeconds plus its announced size at this rate:
        // a sender that trickles bytes cannot hold a connection, or an upload's place, for long.
        double bodyGraceSeconds = 30;
        double minBodyBytesPerSecond = 16 * 1024;
    };
    // Hands on a socket whose request is a WebSocket handshake, the head taken from it; or, to
    // turn it down, gives the answer to send instead (the socket then stays with this exchange).
    using Upgrade = std::function<std::optional<HttpResponse>(QTcpSocket*, const HttpRequest&)>;

    // `socket` stays owned by its parent; `router` and `workers` must outlive this object, which
    // becomes a child of `parent`.
    HttpConnection(QTcpSocket* socket, const HttpRouter& router, WorkQueue& workers, const Limits& limits,
                   Upgrade upgrade, QObject* parent);
    ~HttpConnection() override;

    // Answers `response` before anything the client sent is read: what it still sends is read
    // and dropped for a moment, so that closing does not reset the connection before it has
    // read the answer.
    void refuseUnread(const HttpResponse& response);

private:
    struct Stream;

    void readHead();
    void readBody();
    void streamBody();
    void answer(const HttpResponse& response);
    void timedOut();
    void finish();

    QPointer<QTcpSocket> socket_;
    const HttpRouter& router_;
    WorkQueue& workers_;
    Limits limits_;
    Upgrade upgrade_;
    QTimer timer_;
    QTimer bodyDeadline_;
    HttpRequest request_;
    qint64 bodyBytes_ = 0;
    qint64 bodyRead_ = 0;
    bool headRead_ = false;
    bool answered_ = false;
    std::shared_ptr<Stream> stream_;
};

// The bytes of `response`, head and body, closing the connection after it.
QByteArray responseBytes(const HttpResponse& response);

// Once what waits to be sent on `socket` is out, ends this side's sending (not over TLS), so that
// the client sees the end while what it still sends is read and dropped: closing outright with
// its bytes unread would reset the connection and could lose what was sent last. The watch ends
// with `context`.
void endSendingOnceWritten(QTcpSocket* socket, QObject* context);

}  // namespace qv::hub
