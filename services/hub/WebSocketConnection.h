// The service's side of one WebSocket: answers the upgrade, reads the client's frames and writes
// its own. The service reads frames itself so that it holds clients to the rules a server must
// check: every client frame masked, control frames short and whole, fragments in order, messages
// within a size. A client that breaks them is closed with 1002 (1009 for size) before anything it
// sent after is read. Lives on the service's thread.
#pragma once

#include "services/hub/HttpRouter.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <string_view>

namespace qv::hub {

class WebSocketConnection final : public QObject {
public:
    // Each is told which connection it is called for.
    struct Handlers {
        std::function<void(WebSocketConnection*, std::string_view utf8)> text;  // a whole text message
        std::function<void(WebSocketConnection*)> binary;                       // a whole binary message
        std::function<void(WebSocketConnection*)> pong;
        std::function<void(WebSocketConnection*)> ended;  // the connection is gone; called once
        // Asked before each frame is read: false leaves the rest for a later turn of the event
        // loop, so that the service can share its turns among its clients. None: always.
        std::function<bool(WebSocketConnection*)> mayRead;
    };
    enum CloseCode : quint16 { GoingAway = 1001, ProtocolError = 1002, PolicyViolated = 1008, TooBig = 1009 };
    enum Opcode : int { Continuation = 0x0, Text = 0x1, Binary = 0x2, Close = 0x8, Ping = 0x9, Pong = 0xA };

    // Whether `request` is a WebSocket handshake this service answers.
    static bool isHandshake(const HttpRequest& request);

    // Answers the handshake `request`, whose head has been taken from `socket`, and reads the
    // frames that follow. `socket` stays owned by its parent; this object becomes a child of
    // `parent`.
    WebSocketConnection(QTcpSocket* socket, const HttpRequest& request, qint64 maxMessageBytes, Handlers handlers,
                        QObject* parent);

    void sendText(std::string_view utf8);
    void ping();
    // Sends a close frame; the connection ends when the client answers it or after a moment.
    // Nothing the client sends from then on is passed on.
    void close(CloseCode code, std::string_view reason);
    // Ends the connection at once.
    void abort();
    qint64 bytesToWrite() const { return socket_ ? socket_->bytesToWrite() : 0; }
    // Stops handing over messages until resumed, while one is handled elsewhere; what the client
    // sends meanwhile waits in the network, and the client with it.
    void pause() { paused_ = true; }
    void resume();

private:
    // Hands over the messages received while `mayRead` allows, then lets the service's other
    // work run before the rest.
    void readFrames();
    // Reads the frame at the start of `bytes`: the bytes it took, 0 when it has not all arrived,
    // or -1 when it broke the rules and the connection is closing.
    qsizetype readFrame(const uchar* bytes, qsizetype available);
    void sendFrame(int opcode, std::string_view payload);
    void fail(CloseCode code, std::string_view reason);
    void end();

    QPointer<QTcpSocket> socket_;
    qint64 maxMessageBytes_;
    Handlers handlers_;
    QByteArray received_;  // bytes of frames not yet whole
    QByteArray message_;   // the fragments of a message so far
    int messageOpcode_ = 0;  // of the message in fragments; 0 when none
    bool closing_ = false;  // the service's close frame is sent
    bool failed_ = false;   // nothing more the client sends is read
    bool ended_ = false;
    bool paused_ = false;
    bool continuing_ = false;  // a later readFrames() is queued
    QTimer closeWait_;
};

}  // namespace qv::hub
