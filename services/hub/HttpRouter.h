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
    // Replaces any earlier handler of the same method and path.
    void add(const QByteArray& method, const QString& path, HttpHandler handler);
    // 404 for an unknown path, 405 for a known path with another method.
    HttpResponse handle(const HttpRequest& request) const;

private:
    std::map<std::pair<QByteArray, QString>, HttpHandler> routes_;
};

}  // namespace qv::hub
