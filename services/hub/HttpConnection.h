// One plain-HTTP exchange on the service's port, from the connection's first byte to its answer.
// The head must arrive within a few seconds and a body must keep coming, at a least rate over the
// whole body and in every window of a short time, or the connection is closed; a WebSocket
// handshake is handed on. A body that a route streams goes to its sink on a worker thread, read
// from the socket no faster than the sink keeps up, and is given up when its sink asks and its
// sender has been slow of late; any other body is small and read whole. A route that runs off
// the service's thread runs on the workers. Lives on the service's thread and deletes itself when
// the exchange ends.
#pragma once

#include "platform/foundation/WorkQueue.h"
#include "services/hub/HttpRouter.h"

#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
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
        // In every window of this many seconds from the end of the head, a body must bring at
        // least this rate (or all that is still due): a sender that trickles loses its
        // connection, and its upload's place, at the end of the first window it falls short in,
        // however large the size it announced. A quarter of the client's own 64 kbit/s audio: a
        // link slower than that could not upload its recordings anyway.
        double rateWindowSeconds = 30;
        double minWindowBytesPerSecond = 2 * 1024;
        // When its sink asks (another upload waits for a place), a streamed body that brought
        // less than that rate over about the last this many seconds gives up: it is answered 408
        // and its sink released. Judged only once it has run that long, and not over time in
        // which the service itself stopped reading.
        double yieldSpanSeconds = 10;
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
    // At the end of each rate window: closes a connection whose body came too slowly in it.
    void checkBodyRate();
    // Each tenth of the yield span: notes how much of the body has come.
    void noteRecentStep();
    // Answers 408 and releases the sink when the body came too slowly over the yield span.
    bool yieldIfSlow();
    // The body's bytes received so far, read or waiting in the socket.
    qint64 received() const;
    // Whether fewer bytes than the least rate over `seconds` came since `since` bytes.
    bool tooLittleSince(qint64 since, double seconds) const;
    // Frees the sink of a stream now, unless a worker is still passing it bytes.
    void releaseSink();
    void finish();

    QPointer<QTcpSocket> socket_;
    const HttpRouter& router_;
    WorkQueue& workers_;
    Limits limits_;
    Upgrade upgrade_;
    QTimer timer_;
    QTimer bodyDeadline_;
    QTimer rateWindow_;
    QTimer recentStep_;
    HttpRequest request_;
    qint64 bodyBytes_ = 0;
    qint64 bodyRead_ = 0;
    qint64 windowStart_ = 0;     // bytes of the body received when the current window began
    bool windowPaused_ = false;  // reading stopped for the sink during the current window
    // Over the steps of the yield span, oldest first: the body received at each step's end, and
    // whether reading stopped for the sink during the step.
    struct Step {
        qint64 received = 0;
        bool paused = false;
    };
    std::deque<Step> recent_;
    bool stepPaused_ = false;  // reading stopped for the sink during the current step
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
