#include "HubTestSupport.h"

#include "platform/rtdb/WireProtocol.h"
#include "services/hub/WebSocketConnection.h"

#include <QTcpSocket>

#include <optional>

namespace qv::hub::testing {
namespace {

using enum WebSocketConnection::Opcode;

// One frame as a client puts it on the wire: `final` and `masked` as given, `extraBits` or'd into
// the first byte, and the length stated in as many bytes as the payload needs, unless `stated`.
QByteArray frame(int opcode, const QByteArray& payload, bool final = true, bool masked = true, int extraBits = 0,
                 std::optional<quint64> stated = {})
{
    QByteArray bytes;
    bytes += char((final ? 0x80 : 0) | extraBits | opcode);
    const quint64 length = stated.value_or(quint64(payload.size()));
    const char maskBit = masked ? char(0x80) : char(0);
    if (length < 126) {
        bytes += char(maskBit | char(length));
    } else if (length < 65536) {
        bytes += char(maskBit | 126);
        bytes += char(length >> 8);
        bytes += char(length & 0xff);
    } else {
        bytes += char(maskBit | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes += char((length >> shift) & 0xff);
    }
    if (!masked)
        return bytes + payload;
    const char mask[4] = {char(0x5a), char(0xc3), char(0x17), char(0x9e)};
    bytes.append(mask, 4);
    for (qsizetype i = 0; i < payload.size(); ++i)
        bytes += char(payload[i] ^ mask[i % 4]);
    return bytes;
}

QByteArray text(const std::string& utf8) { return frame(Text, QByteArray::fromStdString(utf8)); }

// A WebSocket client that writes its frames by hand, to send what the client library never
// would, in pieces of any size; it reads the service's frames the same way.
class HandWrittenClient {
public:
    struct Frame {
        int opcode = -1;  // -1: the connection ended first
        QByteArray payload;
    };

    explicit HandWrittenClient(quint16 port)
    {
        socket_.connectToHost("127.0.0.1", port);
        EXPECT_TRUE(socket_.waitForConnected(int(kDeadline * 1000)));
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket_.write("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
        while (!buffer_.contains("\r\n\r\n") && socket_.waitForReadyRead(int(kDeadline * 1000)))
            buffer_ += socket_.readAll();
        const qsizetype end = buffer_.indexOf("\r\n\r\n");
        EXPECT_TRUE(buffer_.startsWith("HTTP/1.1 101"));
        EXPECT_TRUE(buffer_.left(end).contains("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo="));
        buffer_.remove(0, end + 4);
    }

    // Sends `bytes` in pieces of the sizes given in turn, each one pushed out before the next.
    void send(const QByteArray& bytes, const std::vector<int>& pieces = {})
    {
        for (qsizetype at = 0, piece = 0; at < bytes.size(); ++piece) {
            const qsizetype size = pieces.empty() ? bytes.size() : pieces[std::size_t(piece) % pieces.size()];
            socket_.write(bytes.mid(at, size));
            at += size;
            while (socket_.bytesToWrite() > 0 && socket_.waitForBytesWritten(int(kDeadline * 1000))) {
            }
        }
    }

    Frame next()
    {
        for (;;) {
            if (auto whole = take())
                return *whole;
            if (!socket_.waitForReadyRead(int(kDeadline * 1000)))
                return {};
            buffer_ += socket_.readAll();
        }
    }

    // The next frame that is not a ping the service sent on its own.
    Frame nextAnswer()
    {
        Frame answer = next();
        while (answer.opcode == Ping)
            answer = next();
        return answer;
    }

    DatabaseValue nextMessage()
    {
        Frame answer = nextAnswer();
        std::string error;
        auto parsed = answer.opcode == Text ? parseFrame(answer.payload.toStdString(), error) : std::nullopt;
        return parsed.value_or(DatabaseValue());
    }

    bool ends()
    {
        while (socket_.state() == QAbstractSocket::ConnectedState && socket_.waitForReadyRead(int(kDeadline * 1000)))
            socket_.readAll();
        return socket_.state() != QAbstractSocket::ConnectedState;
    }

private:
    std::optional<Frame> take()
    {
        if (buffer_.size() < 2)
            return std::nullopt;
        quint64 length = quint8(buffer_[1]) & 0x7f;
        qsizetype head = 2;
        if (length == 126) {
            if (buffer_.size() < 4)
                return std::nullopt;
            length = quint64(quint8(buffer_[2])) << 8 | quint8(buffer_[3]);
            head = 4;
        } else if (length == 127) {
            if (buffer_.size() < 10)
                return std::nullopt;
            length = 0;
            for (int i = 2; i < 10; ++i)
                length = length << 8 | quint8(buffer_[i]);
            head = 10;
        }
        if (quint64(buffer_.size() - head) < length)
            return std::nullopt;
        Frame whole{buffer_[0] & 0x0f, buffer_.mid(head, qsizetype(length))};
        buffer_.remove(0, head + qsizetype(length));
        return whole;
    }

    QTcpSocket socket_;
    QByteArray buffer_;
};

using WebSocketFraming = SignedInFixture;

TEST_F(WebSocketFraming, AFrameThatBreaksTheRulesClosesTheConnectionAndNothingFromItIsActedOn)
{
    const std::string mine = "users/" + uid + "/x";
    const QByteArray write = QByteArray::fromStdString(
        FrameBuilder("write").id(1).writes("writes", {{DatabasePath::parse(mine), 1}}).take());
    const QByteArray ping = QByteArray::fromStdString(FrameBuilder("ping").id(2).take());
    struct Case {
        const char* name;
        QByteArray bytes;
        quint16 code;
    };
    const std::vector<Case> cases{
        {"a text frame not masked", frame(Text, write, true, false), 1002},
        {"a ping request not masked", frame(Text, ping, true, false), 1002},
        {"a control frame not masked", frame(Ping, "hello", true, false), 1002},
        {"a reserved bit set", frame(Text, write, true, true, 0x40), 1002},
        {"a continuation of no message", frame(Continuation, write), 1002},
        {"a new message inside a fragmented one", frame(Text, write.left(5), false) + text("{}"), 1002},
        {"a ping in fragments", frame(Ping, "a", false), 1002},
        {"a ping over 125 bytes", frame(Ping, QByteArray(126, 'p')), 1002},
        {"an unknown frame type", frame(0x3, write), 1002},
        {"a length past every limit", frame(Text, write, true, true, 0, quint64(1) << 62), 1009},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HandWrittenClient client(service->port());
        client.send(text(FrameBuilder("auth").text("token", token).text("client", "hand").take()));
        ASSERT_EQ(client.nextMessage().child("op").toString(), "ready");
        // A masked request follows in the same packet: nothing after the broken frame is read.
        client.send(c.bytes + text(FrameBuilder("ping").id(3).take()));
        auto answer = client.nextAnswer();
        ASSERT_EQ(answer.opcode, Close);
        ASSERT_GE(answer.payload.size(), 2);
        EXPECT_EQ(quint16(quint8(answer.payload[0]) << 8 | quint8(answer.payload[1])), c.code);
        EXPECT_TRUE(client.ends());
    }
    EXPECT_TRUE(service->value("users/" + uid + "/x").isNull());
}

TEST_F(WebSocketFraming, MaskedFramesOfEveryLengthAndShapeAreReadHoweverTheyArrive)
{
    const std::string mine = "users/" + uid + "/";
    auto write = [&](int id, const std::string& key, const std::string& value) {
        return FrameBuilder("write").id(std::uint64_t(id)).writes("writes", {{DatabasePath::parse(mine + key), value}}).take();
    };
    const std::string medium(300, 'm');
    const std::string large(70'000, 'l');
    const QByteArray pieced = QByteArray::fromStdString(write(4, "pieced", "in three"));
    // Lengths of 7, 16 and 64 bits; a message in three fragments with a ping between them; a
    // request that answers with a frame.
    const QByteArray bytes = text(write(1, "small", "s")) + text(write(2, "medium", medium)) + text(write(3, "large", large))
        + frame(Text, pieced.left(10), false) + frame(Continuation, pieced.mid(10, 10), false)
        + frame(Ping, "between") + frame(Continuation, pieced.mid(20)) + text(FrameBuilder("ping").id(5).take());
    struct Case {
        const char* name;
        std::vector<int> pieces;
    };
    const std::vector<Case> cases{
        {"all in one packet", {}},
        {"a byte at a time at first, then in odd pieces", {1, 1, 1, 2, 3, 5, 7, 11, 13, 997, 4093}},
        {"heads split across packets", {9, 1, 13, 2, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HandWrittenClient client(service->port());
        client.send(text(FrameBuilder("auth").text("token", token).text("client", c.name).take()));
        ASSERT_EQ(client.nextMessage().child("op").toString(), "ready");
        if (c.pieces.size() > 5) {
            // Only the first frames a byte at a time: the rest would take thousands of packets.
            const qsizetype slow = 64;
            client.send(bytes.left(slow), {1});
            client.send(bytes.mid(slow), c.pieces);
        } else {
            client.send(bytes, c.pieces);
        }
        // The control frame is answered as it is read, the writes after their commit.
        std::vector<std::int64_t> acks;
        QByteArray pong;
        std::string request;
        for (int frames = 0; frames < 6; ++frames) {
            auto answer = client.nextAnswer();
            if (answer.opcode == Pong) {
                pong = answer.payload;
                continue;
            }
            std::string error;
            auto message = parseFrame(answer.payload.toStdString(), error).value_or(DatabaseValue());
            if (message.child("op").toString() == "ack")
                acks.push_back(message.child("id").toInt());
            else
                request = message.child("op").toString();
        }
        EXPECT_EQ(acks, (std::vector<std::int64_t>{1, 2, 3, 4}));
        EXPECT_EQ(pong, "between");
        EXPECT_EQ(request, "pong");
        EXPECT_EQ(service->value(mine + "medium"), DatabaseValue(medium));
        EXPECT_EQ(service->value(mine + "large"), DatabaseValue(large));
        EXPECT_EQ(service->value(mine + "pieced"), DatabaseValue("in three"));
    }
}

}  // namespace
}  // namespace qv::hub::testing
