#include "services/hub/HttpConnection.h"

#include "services/hub/BackgroundPriority.h"
#include "services/hub/WebSocketConnection.h"

#include <QSslSocket>
#include <QUrl>

#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

namespace qv::hub {

namespace {

// Bytes of a streamed body read from the socket and not yet taken by its sink; past this the
// socket is left unread (and the sender slowed by the network) until the sink catches up.
constexpr qint64 kMaxQueuedBytes = qint64{4} << 20;
constexpr qint64 kChunkBytes = qint64{256} << 10;
constexpr std::size_t kSpareChunks = 8;
// How long the bytes of a refused body are read and dropped before the connection closes.
constexpr int kLingerMs = 2000;
// Steps of the yield span at which the body received is noted.
constexpr std::size_t kYieldSpanSteps = 10;

QByteArray statusText(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 413: return "Payload Too Large";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

HttpResponse badRequest()
{
    return HttpResponse::error(400, "bad_request", "The request is not one this service reads.");
}

}  // namespace

QByteArray responseBytes(const HttpResponse& response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + statusText(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";
    return head + response.body;
}

// A streamed body on its way to its sink: chunks are taken in order by one worker task at a
// time, the last task finishing the sink and answering on the service's thread.
struct HttpConnection::Stream {
    std::unique_ptr<HttpBodySink> sink;
    std::mutex mutex;
    std::deque<QByteArray> chunks;
    // Chunks the sink is done with, read into again: a buffer made on the service's thread and
    // freed on a worker's would make each wait for the other's allocator.
    std::vector<QByteArray> spare;
    bool draining = false;
    bool complete = false;  // every byte queued
    std::atomic<qint64> queued = 0;
    std::atomic<bool> paused = false;
};

HttpConnection::HttpConnection(QTcpSocket* socket, const HttpRouter& router, WorkQueue& workers, const Limits& limits,
                               Upgrade upgrade, QObject* parent)
    : QObject(parent), socket_(socket), router_(router), workers_(workers), limits_(limits), upgrade_(std::move(upgrade))
{
    request_.peer = socket->peerAddress().toString();
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &HttpConnection::timedOut);
    bodyDeadline_.setSingleShot(true);
    connect(&bodyDeadline_, &QTimer::timeout, this, [this] {
        if (!answered_)
            timedOut();
    });
    connect(&rateWindow_, &QTimer::timeout, this, &HttpConnection::checkBodyRate);
    connect(&recentStep_, &QTimer::timeout, this, &HttpConnection::noteRecentStep);
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (answered_)
            socket_->skip(socket_->bytesAvailable());
        else if (!headRead_)
            readHead();
        else if (stream_)
            streamBody();
        else
            readBody();
    });
    // Also emitted while the socket is being destroyed: it is not touched from then on.
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        socket_.clear();
        finish();
    });
    timer_.start(static_cast<int>(limits_.headSeconds * 1000));
    if (socket->bytesAvailable())
        readHead();
}

HttpConnection::~HttpConnection() = default;

void HttpConnection::finish()
{
    timer_.stop();
    bodyDeadline_.stop();
    rateWindow_.stop();
    recentStep_.stop();
    if (socket_)
        socket_->disconnect(this);
    deleteLater();
}

void HttpConnection::timedOut()
{
    if (!socket_ || answered_) {
        if (socket_)
            socket_->abort();
        return finish();
    }
    // The client stopped sending: it is most likely gone, and it is not waited for again.
    answer(HttpResponse::error(408, "timeout", "The request did not arrive in time."));
}

qint64 HttpConnection::received() const
{
    return bodyRead_ + socket_->bytesAvailable();
}

bool HttpConnection::tooLittleSince(qint64 since, double seconds) const
{
    const auto least = static_cast<qint64>(seconds * limits_.minWindowBytesPerSecond);
    return received() - since < std::min(least, bodyBytes_ - since);
}

void HttpConnection::checkBodyRate()
{
    if (!socket_ || answered_)
        return rateWindow_.stop();
    // Time the service spent not reading is not the sender's.
    const bool paused = windowPaused_ || (stream_ && stream_->paused);
    const bool tooSlow = !paused && tooLittleSince(windowStart_, limits_.rateWindowSeconds);
    windowStart_ = received();
    // A pause that goes on past the window's end is not the sender's in the next one either.
    windowPaused_ = stream_ && stream_->paused;
    if (tooSlow)
        answer(HttpResponse::error(408, "too_slow", "The request body arrived too slowly."));
}

void HttpConnection::noteRecentStep()
{
    if (!socket_ || answered_)
        return recentStep_.stop();
    recent_.push_back({received(), stepPaused_ || stream_->paused});
    stepPaused_ = stream_->paused;
    if (recent_.size() > kYieldSpanSteps + 1)
        recent_.pop_front();
}

bool HttpConnection::yieldIfSlow()
{
    // Judged over the whole steps since the oldest noted, a span at least as long as the yield
    // span, only once the body has run that long and only when the service read all along.
    if (!socket_ || answered_ || recent_.size() <= kYieldSpanSteps || stepPaused_ || stream_->paused
        || std::any_of(recent_.begin() + 1, recent_.end(), [](const Step& step) { return step.paused; })
        || !tooLittleSince(recent_.front().received, limits_.yieldSpanSeconds))
        return false;
    answer(HttpResponse::error(408, "too_slow", "The request body arrived too slowly while another upload waited."));
    return true;
}

void HttpConnection::releaseSink()
{
    if (!stream_)
        return;
    std::unique_ptr<HttpBodySink> sink;
    std::lock_guard lock(stream_->mutex);
    if (!stream_->draining)
        sink = std::move(stream_->sink);
}

void HttpConnection::readHead()
{
    QByteArray available = socket_->peek(limits_.maxHeadBytes + 1);
    qsizetype end = available.indexOf("\r\n\r\n");
    if (end < 0) {
        if (available.size() > limits_.maxHeadBytes)
            refuseUnread(HttpResponse::error(431, "head_too_large", "The request head is too large."));
        return;
    }
    QList<QByteArray> lines = available.left(end).split('\n');
    QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    int lengths = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        QByteArray name = lines[i].left(colon).trimmed().toLower();
        lengths += name == "content-length";
        request_.headers[name] = lines[i].mid(colon + 1).trimmed();
    }
    if (request_.headers["upgrade"].toLower() == "websocket") {
        request_.method = requestLine.value(0);
        if (requestLine.size() != 3 || !WebSocketConnection::isHandshake(request_))
            return refuseUnread(badRequest());
        socket_->skip(end + 4);
        timer_.stop();
        if (auto refusal = upgrade_(socket_, request_))
            return refuseUnread(*refusal);
        socket_->disconnect(this);
        deleteLater();
        return;
    }
    bool sized = true;
    bodyBytes_ = lengths ? request_.headers["content-length"].toLongLong(&sized) : 0;
    // Two lengths leave the body's end in doubt: no guess is safe.
    if (requestLine.size() != 3 || !sized || bodyBytes_ < 0 || lengths > 1)
        return refuseUnread(badRequest());
    request_.method = requestLine[0];
    QUrl url(QString::fromUtf8(requestLine[1]));
    request_.path = url.path();
    request_.query = QUrlQuery(url.query());
    qint64 limit = router_.maxBodyBytes(request_.method, request_.path);
    if (bodyBytes_ > limit)
        return refuseUnread(HttpResponse::error(413, "too_large", "The request body is larger than "
                                                                      + QString::number(limit >> 20) + " MiB."));
    socket_->skip(end + 4);
    headRead_ = true;
    timer_.start(static_cast<int>(limits_.bodyIdleSeconds * 1000));
    const double bodySeconds = limits_.bodyGraceSeconds + static_cast<double>(bodyBytes_) / limits_.minBodyBytesPerSecond;
    bodyDeadline_.start(static_cast<int>(std::min(bodySeconds * 1000, double(std::numeric_limits<int>::max()))));
    if (bodyBytes_ > 0)
        rateWindow_.start(static_cast<int>(limits_.rateWindowSeconds * 1000));
    if (const HttpStreamHandler* handler = router_.streamHandler(request_.method, request_.path)) {
        auto begun = (*handler)(request_, bodyBytes_);
        if (auto* refusal = std::get_if<HttpResponse>(&begun))
            return refuseUnread(*refusal);
        stream_ = std::make_shared<Stream>();
        stream_->sink = std::move(std::get<std::unique_ptr<HttpBodySink>>(begun));
        stream_->sink->attach([self = QPointer<HttpConnection>(this)] { return self && self->yieldIfSlow(); });
        recent_.push_back({});
        recentStep_.start(static_cast<int>(limits_.yieldSpanSeconds * 1000 / kYieldSpanSteps));
        socket_->setReadBufferSize(kChunkBytes * 4);
        return streamBody();
    }
    readBody();
}

void HttpConnection::readBody()
{
    if (socket_->bytesAvailable() > 0)
        timer_.start(static_cast<int>(limits_.bodyIdleSeconds * 1000));
    if (socket_->bytesAvailable() < bodyBytes_)
        return;
    request_.body = socket_->read(bodyBytes_);
    timer_.stop();
    answered_ = true;
    if (auto task = router_.offThreadTask(request_)) {
        QPointer<HttpConnection> self(this);
        QObject* home = parent();
        workers_.run([task = std::move(task), self, home] {
            lowerThreadPriority();
            auto response = std::make_shared<HttpResponse>(task());
            QMetaObject::invokeMethod(home, [self, response] {
                if (self)
                    self->answer(*response);
            });
        });
        return;
    }
    answer(router_.handle(request_));
}

void HttpConnection::streamBody()
{
    // A body given up is not read on: its sink may be gone.
    if (answered_)
        return;
    std::shared_ptr<Stream> stream = stream_;
    bool schedule = false;
    while (bodyRead_ < bodyBytes_ && socket_->bytesAvailable() > 0) {
        if (stream->queued >= kMaxQueuedBytes) {
            // The sink resumes the reading once it has caught up; meanwhile silence is not the
            // client's. Looked at again after pausing, in case the sink caught up meanwhile.
            stream->paused = true;
            if (stream->queued >= kMaxQueuedBytes / 2 || !stream->paused.exchange(false)) {
                timer_.stop();
                windowPaused_ = true;
                stepPaused_ = true;
                break;
            }
        }
        const qint64 wanted = std::min({kChunkBytes, bodyBytes_ - bodyRead_, socket_->bytesAvailable()});
        QByteArray chunk;
        {
            std::lock_guard lock(stream->mutex);
            if (!stream->spare.empty()) {
                chunk = std::move(stream->spare.back());
                stream->spare.pop_back();
            }
        }
        if (chunk.capacity() >= wanted)
            chunk.resize(wanted);
        else
            chunk = QByteArray(wanted, Qt::Uninitialized);
        chunk.resize(std::max<qint64>(socket_->read(chunk.data(), wanted), 0));
        bodyRead_ += chunk.size();
        stream->queued += chunk.size();
        timer_.start(static_cast<int>(limits_.bodyIdleSeconds * 1000));
        std::lock_guard lock(stream->mutex);
        stream->chunks.push_back(std::move(chunk));
        stream->complete = bodyRead_ == bodyBytes_;
        schedule = schedule || !std::exchange(stream->draining, true);
    }
    if (bodyRead_ == bodyBytes_) {
        timer_.stop();
        answered_ = true;
    }
    if (!schedule)
        return;
    QPointer<HttpConnection> self(this);
    QObject* home = parent();
    workers_.run([stream, self, home] {
        lowerThreadPriority();
        QByteArray chunk;
        for (;;) {
            bool last = false;
            {
                std::lock_guard lock(stream->mutex);
                if (!chunk.isNull() && stream->spare.size() < kSpareChunks)
                    stream->spare.push_back(std::move(chunk));
                chunk = QByteArray();
                if (stream->chunks.empty()) {
                    stream->draining = false;
                    return;
                }
                chunk = std::move(stream->chunks.front());
                stream->chunks.pop_front();
                last = stream->chunks.empty() && stream->complete;
            }
            stream->sink->append(chunk);
            stream->queued -= chunk.size();
            if (last) {
                auto response = std::make_shared<HttpResponse>(stream->sink->finish());
                QMetaObject::invokeMethod(home, [self, response] {
                    if (self)
                        self->answer(*response);
                });
            } else if (stream->queued < kMaxQueuedBytes / 2 && stream->paused.exchange(false)) {
                QMetaObject::invokeMethod(home, [self] {
                    if (self && self->socket_)
                        self->streamBody();
                });
            }
        }
    });
}

void HttpConnection::answer(const HttpResponse& response)
{
    answered_ = true;
    timer_.stop();
    rateWindow_.stop();
    recentStep_.stop();
    // An upload given up frees its place for the next at once.
    releaseSink();
    if (!socket_)
        return finish();
    socket_->write(responseBytes(response));
    socket_->disconnectFromHost();
    // A client that does not read its answer does not hold the connection for ever.
    timer_.start(static_cast<int>(limits_.bodyIdleSeconds * 1000));
}

void HttpConnection::refuseUnread(const HttpResponse& response)
{
    answered_ = true;
    rateWindow_.stop();
    recentStep_.stop();
    if (!socket_)
        return finish();
    socket_->write(responseBytes(response));
    socket_->skip(socket_->bytesAvailable());
    timer_.start(kLingerMs);
    endSendingOnceWritten(socket_, this);
}

void endSendingOnceWritten(QTcpSocket* socket, QObject* context)
{
    // Over TLS the session's own close must do instead.
    if (qobject_cast<QSslSocket*>(socket))
        return;
    auto shutDown = [socket = QPointer<QTcpSocket>(socket)] {
        if (socket && socket->bytesToWrite() == 0 && socket->socketDescriptor() >= 0)
            ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
    };
    QObject::connect(socket, &QTcpSocket::bytesWritten, context, shutDown);
    socket->flush();
    shutDown();
}

}  // namespace qv::hub
