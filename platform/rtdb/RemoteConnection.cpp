#include "platform/rtdb/RemoteConnection.h"

#include "platform/foundation/Log.h"
#include "platform/rtdb/WireProtocol.h"

#include <QSslConfiguration>
#include <QSslError>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <QWebSocket>

#include <malloc.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <openssl/crypto.h>
#include <openssl/rand.h>

namespace qv {

namespace {

// Reconnection back-off, in seconds: the first retry, doubling up to the last.
constexpr double kFirstRetry = 0.1;
constexpr double kLastRetry = 5.0;
// A frame larger than this, in characters, gives the memory of its parsing back to the system.
constexpr std::size_t kLargeFrame = 1u << 20;
// Identifiers of listen frames live above those of writes, which the client numbers from 1.
constexpr std::uint64_t kListenIds = std::uint64_t{1} << 62;

std::string sessionName()
{
    unsigned char bytes[16];
    RAND_bytes(bytes, sizeof bytes);
    static const char digits[] = "0123456789abcdef";
    std::string name;
    for (unsigned char byte : bytes) {
        name += digits[byte >> 4];
        name += digits[byte & 15];
    }
    return name;
}

DatabaseErrorCode errorCode(const std::string& code)
{
    if (code == "permission_denied")
        return DatabaseErrorCode::PermissionDenied;
    if (code == "invalid_path")
        return DatabaseErrorCode::InvalidPath;
    if (code == "invalid_value")
        return DatabaseErrorCode::InvalidValue;
    if (code == "storage_failed")
        return DatabaseErrorCode::StorageFailed;
    return DatabaseErrorCode::ProtocolError;
}

}  // namespace

class RemoteConnection::Worker final : public QObject {
public:
    explicit Worker(RemoteConnection::Options options) : options_(std::move(options))
    {
        connect(&pings_, &QTimer::timeout, this, &Worker::checkLiveness);
    }

    void open(std::weak_ptr<BackendLink> link)
    {
        link_ = std::move(link);
        wanted_ = true;
        retry_ = kFirstRetry;
        connectSocket();
    }

    void close()
    {
        wanted_ = false;
        ++generation_;
        pings_.stop();
        if (socket_) {
            socket_->disconnect(this);
            socket_->abort();
            socket_->deleteLater();
            socket_ = nullptr;
        }
        ready_ = false;
    }

    void listen(const DatabasePath& path)
    {
        if (listens_[path]++ == 0 && ready_)
            sendListen(path);
    }

    void unlisten(const DatabasePath& path)
    {
        auto found = listens_.find(path);
        if (found == listens_.end() || --found->second > 0)
            return;
        listens_.erase(found);
        if (ready_)
            send(FrameBuilder("unlisten").text("path", path.toString()).take());
    }

    void renewToken(const std::string& token)
    {
        options_.token = token;
        refused_ = false;
        if (ready_ && socket_)
            socket_->sendTextMessage(QString::fromStdString(
                FrameBuilder("auth").text("token", options_.token).text("client", session_).take()));
    }

    void send(const std::string& frame)
    {
        if (ready_ && socket_)
            socket_->sendTextMessage(QString::fromStdString(frame));
    }

    void sendWrite(std::uint64_t id, FrameBuilder frame)
    {
        outstanding_.insert(id);
        send(frame.id(id).take());
    }

private:
    void connectSocket()
    {
        if (!wanted_ || socket_)
            return;
        socket_ = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
        socket_->setMaxAllowedIncomingMessageSize(kMaxFrameBytes);
        socket_->setMaxAllowedIncomingFrameSize(kMaxFrameBytes);
        if (!options_.trustedCertificates.isEmpty()) {
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.addCaCertificates(options_.trustedCertificates);
            socket_->setSslConfiguration(configuration);
        }
        connect(socket_, &QWebSocket::sslErrors, this, [](const QList<QSslError>& errors) {
            logError("database: the service's certificate is refused: "
                     + (errors.isEmpty() ? std::string("unknown error") : errors.front().errorString().toStdString()));
        });
        connect(socket_, &QWebSocket::connected, this, [this] {
            socket_->sendTextMessage(QString::fromStdString(
                FrameBuilder("auth").text("token", options_.token).text("client", session_).take()));
        });
        connect(socket_, &QWebSocket::textMessageReceived, this, &Worker::received);
        connect(socket_, &QWebSocket::pong, this, [this] { heard_.start(); });
        connect(socket_, &QWebSocket::disconnected, this, &Worker::dropped);
        socket_->open(options_.url);
    }

    // Silence for longer than the time-out ends the line as a lost socket would.
    void checkLiveness()
    {
        if (!socket_ || !ready_)
            return;
        if (heard_.elapsed() > static_cast<qint64>(options_.pingTimeout * 1000)) {
            logWarning("database: the service stopped answering; reconnecting");
            socket_->abort();
            if (socket_)
                dropped();
            return;
        }
        socket_->ping();
    }

    void dropped()
    {
        bool was = ready_;
        ready_ = false;
        pings_.stop();
        if (socket_) {
            socket_->disconnect(this);
            socket_->deleteLater();
            socket_ = nullptr;
        }
        if (was)
            tell(ServerMessage::of(ServerMessage::Kind::Disconnected));
        if (!wanted_ || refused_)
            return;
        int generation = generation_;
        QTimer::singleShot(static_cast<int>(retry_ * 1000), this, [this, generation] {
            if (generation == generation_)
                connectSocket();
        });
        retry_ = std::min(retry_ * 2, kLastRetry);
    }

    // Tells the service, every so many writes, below which identifier every write is answered
    // and will not be sent again, so that it may forget those identifiers.
    void answered(std::uint64_t id)
    {
        constexpr std::uint64_t kDoneStep = 256;
        if (!id || id >= kListenIds)
            return;
        outstanding_.erase(id);
        highestAnswered_ = std::max(highestAnswered_, id);
        std::uint64_t done = outstanding_.empty() ? highestAnswered_ + 1 : *outstanding_.begin();
        if (done >= reportedDone_ + kDoneStep) {
            reportedDone_ = done;
            send(FrameBuilder("done").value("below", static_cast<std::int64_t>(done)).take());
        }
    }

    void tell(ServerMessage message)
    {
        if (auto link = link_.lock())
            link->receive(std::move(message));
    }

    void sendListen(const DatabasePath& path)
    {
        std::uint64_t id = nextListen_++;
        listenIds_[id] = path;
        send(FrameBuilder("listen").id(id).text("path", path.toString()).take());
    }

    void apply(const std::vector<DatabaseWrite>& writes, ServerMessage& message)
    {
        for (const auto& write : writes) {
            root_ = root_.withValueAt(write.path, write.value);
            message.changed.push_back(write.path);
        }
        message.root = root_;
    }

    void received(const QString& text)
    {
        handle(text);
        // A frame of megabytes (a transcript) was read in many small pieces that, its maps
        // shared with the service in this process, were let go at once: they would otherwise
        // stay with the allocator as free space for the life of the program.
        if (options_.serviceTree && static_cast<std::size_t>(text.size()) > kLargeFrame)
            malloc_trim(0);
    }

    void handle(const QString& text)
    {
        heard_.start();
        std::string error;
        // A map the service in this process sent and still holds is read as the service's own
        // node: the client and the service share one copy of the values instead of holding two,
        // and the client's copy is not built even for the time of the read. Nodes never change
        // once made, so holding the service's on this thread is as safe as holding a copy.
        auto frame = parseFrame(text, error, options_.serviceTree);
        if (!frame) {
            logError("database: the service sent a frame this client cannot read: " + error);
            socket_->abort();
            return;
        }
        const std::string op = frame->child("op").toString();
        const auto id = static_cast<std::uint64_t>(frame->child("id").toInt());
        if (op == "ready") {
            if (ready_)
                return;  // the answer to a renewed token: the line stays as it is
            ready_ = true;
            pings_.start(static_cast<int>(options_.pingInterval * 1000));
            retry_ = kFirstRetry;
            ServerMessage connected = ServerMessage::of(ServerMessage::Kind::Connected);
            connected.root = root_;
            tell(std::move(connected));
            for (const auto& [path, count] : listens_)
                sendListen(path);
        } else if (op == "value") {
            auto found = listenIds_.find(id);
            if (found == listenIds_.end())
                return;
            ServerMessage message;
            message.listened = found->second;
            listenIds_.erase(found);
            apply({DatabaseWrite{*message.listened, frame->child("value")}}, message);
            tell(std::move(message));
        } else if (op == "change" || op == "ack") {
            if (op == "ack")
                answered(id);
            auto writes = frameWrites(*frame, "writes");
            if (!writes)
                return;
            ServerMessage message;
            message.answers = op == "ack" ? id : 0;
            apply(*writes, message);
            tell(std::move(message));
        } else if (op == "conflict") {
            answered(id);
            ServerMessage message;
            message.root = root_;
            message.answers = id;
            message.conflict = true;
            message.current = frame->child("current");
            tell(std::move(message));
        } else if (op == "error") {
            DatabaseError failure{errorCode(frame->child("code").toString()), frame->child("message").toString()};
            if (!id) {
                logError("database: the service closed the connection: " + failure.message);
                refused_ = frame->child("code").toString() == "unauthenticated";
                return;
            }
            ServerMessage message;
            message.root = root_;
            message.error = failure;
            if (auto found = listenIds_.find(id); found != listenIds_.end()) {
                message.listened = found->second;
                listenIds_.erase(found);
            } else {
                message.answers = id;
                answered(id);
            }
            tell(std::move(message));
        }
    }

    RemoteConnection::Options options_;
    std::string session_ = sessionName();
    std::weak_ptr<BackendLink> link_;
    QWebSocket* socket_ = nullptr;
    bool wanted_ = false;
    bool ready_ = false;
    bool refused_ = false;
    int generation_ = 0;
    double retry_ = kFirstRetry;
    DatabaseValue root_;
    std::map<DatabasePath, int> listens_;
    std::map<std::uint64_t, DatabasePath> listenIds_;
    std::uint64_t nextListen_ = kListenIds;
    // Writes sent and not yet answered.
    std::set<std::uint64_t> outstanding_;
    QTimer pings_{this};
    QElapsedTimer heard_;
    std::uint64_t highestAnswered_ = 0;
    std::uint64_t reportedDone_ = 0;
};

RemoteConnection::RemoteConnection(Options options) : thread_(std::make_unique<QThread>())
{
    thread_->setObjectName("database connection");
    worker_ = new Worker(std::move(options));
    worker_->moveToThread(thread_.get());
    thread_->start();
}

RemoteConnection::~RemoteConnection()
{
    QMetaObject::invokeMethod(
        worker_, [worker = worker_] {
            worker->close();
            delete worker;
            // The socket's TLS set-up gave this thread random-number state of its own; free it
            // now, while the thread still runs, rather than leave it to the thread's exit.
            OPENSSL_thread_stop();
        },
        Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
}

void RemoteConnection::post(std::function<void(Worker&)> task)
{
    QMetaObject::invokeMethod(worker_, [worker = worker_, task = std::move(task)] { task(*worker); }, Qt::QueuedConnection);
}

void RemoteConnection::open(std::weak_ptr<BackendLink> link)
{
    post([link = std::move(link)](Worker& worker) { worker.open(link); });
}

void RemoteConnection::close()
{
    post([](Worker& worker) { worker.close(); });
}

void RemoteConnection::listen(const DatabasePath& path)
{
    post([path](Worker& worker) { worker.listen(path); });
}

void RemoteConnection::unlisten(const DatabasePath& path)
{
    post([path](Worker& worker) { worker.unlisten(path); });
}

void RemoteConnection::write(const std::vector<DatabaseWrite>& writes, std::uint64_t writeId, const DatabaseValue*,
                             const DatabaseValue*)
{
    FrameBuilder frame("write");
    frame.writes("writes", writes);
    post([writeId, frame = std::move(frame)](Worker& worker) mutable { worker.sendWrite(writeId, std::move(frame)); });
}

void RemoteConnection::compareAndSet(const DatabasePath& path, const DatabaseValue& expected, const DatabaseValue& value,
                                     std::uint64_t writeId)
{
    FrameBuilder frame("cas");
    frame.text("path", path.toString()).value("expected", expected).value("value", value);
    post([writeId, frame = std::move(frame)](Worker& worker) mutable { worker.sendWrite(writeId, std::move(frame)); });
}

void RemoteConnection::renewToken(const std::string& token)
{
    post([token](Worker& worker) { worker.renewToken(token); });
}

void RemoteConnection::onDisconnect(const DatabaseWrite& write, std::uint64_t writeId)
{
    std::string frame = FrameBuilder("ondisconnect").id(writeId).writes("writes", {write}).take();
    post([frame = std::move(frame)](Worker& worker) { worker.send(frame); });
}

}  // namespace qv
