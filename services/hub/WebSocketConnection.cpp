#include "services/hub/WebSocketConnection.h"

#include "services/hub/HttpConnection.h"

#include <QCryptographicHash>

#include <cstring>

namespace qv::hub {

namespace {

// How long a client has to answer the service's close frame before the connection is cut.
constexpr int kCloseWaitMs = 2000;
// Bytes the socket takes from the network ahead of those read; a paused connection holds no more.
constexpr qint64 kReadAheadBytes = 1 << 20;

QByteArray header(const HttpRequest& request, const char* name)
{
    auto found = request.headers.find(name);
    return found == request.headers.end() ? QByteArray() : found->second;
}

}  // namespace

bool WebSocketConnection::isHandshake(const HttpRequest& request)
{
    const QByteArray key = header(request, "sec-websocket-key").trimmed();
    return request.method == "GET" && header(request, "upgrade").trimmed().toLower() == "websocket"
        && header(request, "connection").toLower().contains("upgrade")
        && header(request, "sec-websocket-version").trimmed() == "13"
        && QByteArray::fromBase64Encoding(key, QByteArray::AbortOnBase64DecodingErrors).decoded.size() == 16;
}

WebSocketConnection::WebSocketConnection(QTcpSocket* socket, const HttpRequest& request, qint64 maxMessageBytes,
                                         Handlers handlers, QObject* parent)
    : QObject(parent), socket_(socket), maxMessageBytes_(maxMessageBytes), handlers_(std::move(handlers))
{
    const QByteArray accept = QCryptographicHash::hash(header(request, "sec-websocket-key").trimmed()
                                                           + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                                       QCryptographicHash::Sha1).toBase64();
    socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Accept: " + accept + "\r\n\r\n");
    closeWait_.setSingleShot(true);
    connect(&closeWait_, &QTimer::timeout, this, &WebSocketConnection::abort);
    socket->setReadBufferSize(kReadAheadBytes);
    connect(socket, &QTcpSocket::readyRead, this, &WebSocketConnection::readFrames);
    connect(socket, &QTcpSocket::disconnected, this, &WebSocketConnection::end);
    // Frames may have come with the handshake.
    QMetaObject::invokeMethod(this, &WebSocketConnection::readFrames, Qt::QueuedConnection);
}

void WebSocketConnection::readFrames()
{
    if (!socket_)
        return;
    if (failed_) {
        socket_->skip(socket_->bytesAvailable());
        return;
    }
    if (paused_)
        return;
    received_ += socket_->readAll();
    const auto* bytes = reinterpret_cast<const uchar*>(received_.constData());
    qsizetype at = 0;
    while (socket_ && !failed_ && !ended_ && !paused_) {
        if (at < received_.size() && handlers_.mayRead && !handlers_.mayRead(this)) {
            // A timer, not a posted call: it comes after what the service scheduled this turn.
            if (!std::exchange(continuing_, true))
                QTimer::singleShot(0, this, [this] {
                    continuing_ = false;
                    readFrames();
                });
            break;
        }
        const qsizetype taken = readFrame(bytes + at, received_.size() - at);
        if (taken <= 0)
            break;
        at += taken;
    }
    if (failed_)
        received_.clear();
    else
        received_.remove(0, at);
}

void WebSocketConnection::resume()
{
    if (!std::exchange(paused_, false))
        return;
    QMetaObject::invokeMethod(this, &WebSocketConnection::readFrames, Qt::QueuedConnection);
}

qsizetype WebSocketConnection::readFrame(const uchar* bytes, qsizetype available)
{
    if (available < 2)
        return 0;
    const bool final = bytes[0] & 0x80;
    const int opcode = bytes[0] & 0x0f;
    const bool control = opcode & 0x08;
    quint64 length = bytes[1] & 0x7f;
    // Checked on the first two bytes, before the rest of the frame is waited for.
    if (!(bytes[1] & 0x80))
        return fail(ProtocolError, "a client's frames must be masked"), -1;
    if (bytes[0] & 0x70)
        return fail(ProtocolError, "no extension was agreed"), -1;
    if (control ? opcode > Pong : opcode > Binary)
        return fail(ProtocolError, "unknown frame type"), -1;
    if (control && (!final || length > 125))
        return fail(ProtocolError, "a control frame must be whole and at most 125 bytes"), -1;
    if (!control && (opcode == 0) != (messageOpcode_ != 0))
        return fail(ProtocolError, opcode == 0 ? "a continuation of no message" : "a message inside another"), -1;
    qsizetype head = 2;
    if (length == 126) {
        if (available < 4)
            return 0;
        length = quint64(bytes[2]) << 8 | bytes[3];
        head = 4;
    } else if (length == 127) {
        if (available < 10)
            return 0;
        length = 0;
        for (int i = 2; i < 10; ++i)
            length = length << 8 | bytes[i];
        head = 10;
    }
    if (!control && length > quint64(maxMessageBytes_ - message_.size()))
        return fail(TooBig, "the message is over " + std::to_string(maxMessageBytes_ >> 20) + " MiB"), -1;
    head += 4;
    if (available < head || quint64(available - head) < length)
        return 0;

    const uchar* mask = bytes + head - 4;
    QByteArray payload(static_cast<qsizetype>(length), Qt::Uninitialized);
    char* out = payload.data();
    // Eight bytes at a time: a frame of megabytes is unmasked on the service's thread.
    quint64 wide;
    std::memcpy(&wide, mask, 4);
    std::memcpy(reinterpret_cast<char*>(&wide) + 4, mask, 4);
    qsizetype i = 0;
    for (; i + 8 <= payload.size(); i += 8) {
        quint64 word;
        std::memcpy(&word, bytes + head + i, 8);
        word ^= wide;
        std::memcpy(out + i, &word, 8);
    }
    for (; i < payload.size(); ++i)
        out[i] = static_cast<char>(bytes[head + i] ^ mask[i & 3]);
    const qsizetype taken = head + payload.size();

    switch (opcode) {
    case Ping:
        if (!closing_)
            sendFrame(Pong, std::string_view(payload.constData(), payload.size()));
        return taken;
    case Pong:
        if (handlers_.pong)
            handlers_.pong(this);
        return taken;
    case Close:
        if (payload.size() == 1)
            return fail(ProtocolError, "a close frame's code is two bytes"), -1;
        // Answered with its own code; the service's own close, already sent, is its answer.
        if (!closing_) {
            closing_ = true;
            sendFrame(Close, std::string_view(payload.constData(), std::min<qsizetype>(payload.size(), 2)));
        }
        failed_ = true;  // nothing after a close frame is read
        socket_->disconnectFromHost();
        return taken;
    default:
        break;
    }
    if (opcode != 0)
        messageOpcode_ = opcode;
    if (!final) {
        message_ += payload;
        return taken;
    }
    if (!message_.isEmpty())
        payload = std::exchange(message_, QByteArray()) + payload;
    const int kind = std::exchange(messageOpcode_, 0);
    if (closing_)
        return taken;
    if (kind == Text && handlers_.text)
        handlers_.text(this, std::string_view(payload.constData(), payload.size()));
    else if (kind == Binary && handlers_.binary)
        handlers_.binary(this);
    return taken;
}

void WebSocketConnection::sendFrame(int opcode, std::string_view payload)
{
    if (!socket_)
        return;
    const auto size = static_cast<quint64>(payload.size());
    char head[10];
    int headSize = 2;
    head[0] = static_cast<char>(0x80 | opcode);
    if (size < 126) {
        head[1] = static_cast<char>(size);
    } else if (size < 65536) {
        head[1] = 126;
        head[2] = static_cast<char>(size >> 8);
        head[3] = static_cast<char>(size);
        headSize = 4;
    } else {
        head[1] = 127;
        for (int i = 0; i < 8; ++i)
            head[2 + i] = static_cast<char>(size >> (56 - 8 * i));
        headSize = 10;
    }
    socket_->write(head, headSize);
    socket_->write(payload.data(), static_cast<qint64>(payload.size()));
}

void WebSocketConnection::sendText(std::string_view utf8)
{
    if (!closing_)
        sendFrame(Text, utf8);
}

void WebSocketConnection::ping()
{
    if (!closing_)
        sendFrame(Ping, {});
}

void WebSocketConnection::close(CloseCode code, std::string_view reason)
{
    if (closing_ || !socket_)
        return;
    closing_ = true;
    // A reason fits in a control frame, cut where a character begins.
    std::size_t size = std::min<std::size_t>(reason.size(), 123);
    while (size > 0 && size < reason.size() && (static_cast<uchar>(reason[size]) & 0xC0) == 0x80)
        --size;
    std::string payload{static_cast<char>(code >> 8), static_cast<char>(code & 0xff)};
    payload += reason.substr(0, size);
    sendFrame(Close, payload);
    closeWait_.start(kCloseWaitMs);
}

void WebSocketConnection::fail(CloseCode code, std::string_view reason)
{
    failed_ = true;
    if (closing_) {
        abort();
        return;
    }
    // What the client still sends is dropped unread, its frames no longer to be told apart; it
    // is told of the end at once rather than left to answer a close frame no one reads.
    close(code, reason);
    endSendingOnceWritten(socket_, this);
}

void WebSocketConnection::abort()
{
    if (socket_)
        socket_->abort();
    end();
}

void WebSocketConnection::end()
{
    if (std::exchange(ended_, true))
        return;
    closeWait_.stop();
    if (handlers_.ended)
        handlers_.ended(this);
}

}  // namespace qv::hub
