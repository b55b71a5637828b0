#include "services/hub/HttpRouter.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace qv::hub {

HttpResponse HttpResponse::error(int status, const QString& code, const QString& message)
{
    QJsonObject detail{{"code", code}, {"message", message}};
    return json(status, QJsonDocument(QJsonObject{{"error", detail}}).toJson(QJsonDocument::Compact));
}

void HttpRouter::add(const QByteArray& method, const QString& path, HttpHandler handler, Runs runs)
{
    routes_[{method, path}] = std::move(handler);
    runs_[{method, path}] = runs;
}

void HttpRouter::addStreamingPrefix(const QByteArray& method, const QString& prefix, HttpStreamHandler handler,
                                    qint64 maxBodyBytes)
{
    streams_.push_back({method, prefix, std::move(handler), maxBodyBytes});
}

const HttpRouter::StreamRoute* HttpRouter::streamRoute(const QByteArray& method, const QString& path) const
{
    if (routes_.count({method, path}))
        return nullptr;
    for (const auto& route : streams_)
        if (route.method == method && path.startsWith(route.prefix))
            return &route;
    return nullptr;
}

const HttpStreamHandler* HttpRouter::streamHandler(const QByteArray& method, const QString& path) const
{
    const StreamRoute* route = streamRoute(method, path);
    return route ? &route->handler : nullptr;
}

std::function<HttpResponse()> HttpRouter::offThreadTask(const HttpRequest& request) const
{
    auto runs = runs_.find({request.method, request.path});
    if (runs == runs_.end() || runs->second != Runs::OffThread)
        return {};
    return [handler = routes_.at({request.method, request.path}), request] { return handler(request); };
}

qint64 HttpRouter::maxBodyBytes(const QByteArray& method, const QString& path) const
{
    const StreamRoute* route = streamRoute(method, path);
    return route ? route->maxBodyBytes : kDefaultMaxBodyBytes;
}

HttpResponse HttpRouter::handle(const HttpRequest& request) const
{
    auto found = routes_.find({request.method, request.path});
    if (found != routes_.end())
        return found->second(request);
    auto notAllowed = [&] {
        return HttpResponse::error(405, "method_not_allowed", "This path does not take " + QString(request.method) + ".");
    };
    for (const auto& [key, handler] : routes_)
        if (key.second == request.path)
            return notAllowed();
    for (const auto& route : streams_)
        if (request.path.startsWith(route.prefix))
            return notAllowed();
    return HttpResponse::error(404, "not_found", "Nothing is served at " + request.path + ".");
}

}  // namespace qv::hub
