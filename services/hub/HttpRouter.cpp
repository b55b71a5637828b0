#include "services/hub/HttpRouter.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace qv::hub {

HttpResponse HttpResponse::error(int status, const QString& code, const QString& message)
{
    QJsonObject detail{{"code", code}, {"message", message}};
    return json(status, QJsonDocument(QJsonObject{{"error", detail}}).toJson(QJsonDocument::Compact));
}

void HttpRouter::add(const QByteArray& method, const QString& path, HttpHandler handler)
{
    routes_[{method, path}] = std::move(handler);
}

void HttpRouter::addPrefix(const QByteArray& method, const QString& prefix, HttpHandler handler, qint64 maxBodyBytes)
{
    prefixes_.push_back({method, prefix, std::move(handler), maxBodyBytes});
}

const HttpRouter::PrefixRoute* HttpRouter::prefixRoute(const QByteArray& method, const QString& path) const
{
    if (routes_.count({method, path}))
        return nullptr;
    for (const auto& route : prefixes_)
        if (route.method == method && path.startsWith(route.prefix))
            return &route;
    return nullptr;
}

qint64 HttpRouter::maxBodyBytes(const QByteArray& method, const QString& path) const
{
    const PrefixRoute* route = prefixRoute(method, path);
    return route ? route->maxBodyBytes : kDefaultMaxBodyBytes;
}

HttpResponse HttpRouter::handle(const HttpRequest& request) const
{
    auto found = routes_.find({request.method, request.path});
    if (found != routes_.end())
        return found->second(request);
    if (const PrefixRoute* route = prefixRoute(request.method, request.path))
        return route->handler(request);
    auto notAllowed = [&] {
        return HttpResponse::error(405, "method_not_allowed", "This path does not take " + QString(request.method) + ".");
    };
    for (const auto& [key, handler] : routes_)
        if (key.second == request.path)
            return notAllowed();
    for (const auto& route : prefixes_)
        if (request.path.startsWith(route.prefix))
            return notAllowed();
    return HttpResponse::error(404, "not_found", "Nothing is served at " + request.path + ".");
}

}  // namespace qv::hub
