// The plain HTTP requests the service answers on its port (sign-in, the web endpoints, and what
// other stand-ins mount), routed by method and path. To add an endpoint:
//     server.router().add("GET", "/check-existing-user", [](const HttpRequest& request) { ... });
// A handler runs on the service's thread and returns the whole response.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrlQuery>

#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace qv::hub {

struct HttpRequest {
    QByteArray method;                        // "GET", "POST", "PUT"...
    QString path;                             // decoded, without the query
    QUrlQuery query;
    std::map<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
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

class HttpRouter {
public:
    // Bodies larger than this are refused before they are read (16 MiB, a database frame).
    static constexpr qint64 kDefaultMaxBodyBytes = qint64{16} << 20;

    // Replaces any earlier handler of the same method and path.
    void add(const QByteArray& method, const QString& path, HttpHandler handler);
    // A handler for every path below `prefix` ("/objects/" serves "/objects/<key>"), taking
    // bodies of up to `maxBodyBytes`. An exact path added with add() wins over a prefix.
    void addPrefix(const QByteArray& method, const QString& prefix, HttpHandler handler,
                   qint64 maxBodyBytes = kDefaultMaxBodyBytes);
    // 404 for an unknown path, 405 for a known path with another method.
    HttpResponse handle(const HttpRequest& request) const;
    // The largest body the handler of this request takes.
    qint64 maxBodyBytes(const QByteArray& method, const QString& path) const;

private:
    struct PrefixRoute {
        QByteArray method;
        QString prefix;
        HttpHandler handler;
        qint64 maxBodyBytes;
    };
    const PrefixRoute* prefixRoute(const QByteArray& method, const QString& path) const;

    std::map<std::pair<QByteArray, QString>, HttpHandler> routes_;
    std::vector<PrefixRoute> prefixes_;
};

}  // namespace qv::hub
