// The plain HTTP requests the service answers on its port (sign-in, the web endpoints, and what
// other stand-ins mount), routed by method and path. To add an endpoint:
//     server.router().add("GET", "/check-existing-user", [](const HttpRequest& request) { ... });
// A handler returns the whole response; it runs on the service's thread, or on a worker thread
// when added with Runs::OffThread (for slow work: password hashing). A streaming route takes its
// body as it arrives, for uploads too large to hold in memory.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

namespace qv::hub {

struct HttpRequest {
    QByteArray method;                        // "GET", "POST", "PUT"...
    QString path;                             // decoded, without the query
    QUrlQuery query;
    std::map<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
    QString peer;                             // the client's address
};

struct HttpResponse {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    std::map<QByteArray, QByteArray> headers;  // extra headers

    static HttpResponse json(int status, QByteArray body) { return {status, "application/json", std::move(body), {}}; }
    // {"error":{"code":..., "message":...}}
    static HttpResponse error(int status, const QString& code, const QString& message);
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// Takes one request's body as it arrives, on a worker thread, in order.
class HttpBodySink {
public:
    virtual ~HttpBodySink() = default;
    virtual void append(QByteArrayView bytes) = 0;
    // After the last byte: the response.
    virtual HttpResponse finish() = 0;
    // Called once by the connection that feeds this sink, before any byte. `yieldIfSlow`, to be
    // called on the service's thread only, gives the body up when its sender has of late brought
    // less than the connection's least rate (answered 408, this sink released once no worker uses
    // it) and answers whether it did.
    virtual void attach(std::function<bool()> /*yieldIfSlow*/) {}
};
// Decides from the head alone (its body not read; `bodyBytes` the announced size): a response
// sent at once, or the sink that takes the body. Runs on the service's thread.
using HttpStreamHandler =
    std::function<std::variant<HttpResponse, std::unique_ptr<HttpBodySink>>(const HttpRequest& head, qint64 bodyBytes)>;

class HttpRouter {
public:
    // Bodies larger than this are refused before they are read (16 MiB, a database frame).
    static constexpr qint64 kDefaultMaxBodyBytes = qint64{16} << 20;

    enum class Runs { OnServiceThread, OffThread };

    // Replaces any earlier handler of the same method and path.
    void add(const QByteArray& method, const QString& path, HttpHandler handler, Runs runs = Runs::OnServiceThread);
    // A streaming handler for every path below `prefix` ("/objects/" serves "/objects/<key>"),
    // taking bodies of up to `maxBodyBytes`. An exact path added with add() wins over a prefix.
    void addStreamingPrefix(const QByteArray& method, const QString& prefix, HttpStreamHandler handler,
                            qint64 maxBodyBytes);
    // 404 for an unknown path, 405 for a known path with another method.
    HttpResponse handle(const HttpRequest& request) const;
    // The handler of this request as a task that may run on any thread, when the route runs off
    // the service's thread; empty otherwise.
    std::function<HttpResponse()> offThreadTask(const HttpRequest& request) const;
    // The streaming handler of this request's method and path, or nullptr.
    const HttpStreamHandler* streamHandler(const QByteArray& method, const QString& path) const;
    // The largest body the handler of this request takes.
    qint64 maxBodyBytes(const QByteArray& method, const QString& path) const;

private:
    struct StreamRoute {
        QByteArray method;
        QString prefix;
        HttpStreamHandler handler;
        qint64 maxBodyBytes;
    };
    const StreamRoute* streamRoute(const QByteArray& method, const QString& path) const;

    std::map<std::pair<QByteArray, QString>, HttpHandler> routes_;
    std::map<std::pair<QByteArray, QString>, Runs> runs_;
    std::vector<StreamRoute> streams_;
};

}  // namespace qv::hub
