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

HttpResponse HttpRouter::handle(const HttpRequest& request) const
{
    auto found = routes_.find({request.method, request.path});
    if (found != routes_.end())
        return found->second(request);
    for (const auto& [key, handler] : routes_)
        if (key.second == request.path)
            return HttpResponse::error(405, "method_not_allowed", "This path does not take " + QString(request.method) + ".");
    return HttpResponse::error(404, "not_found", "Nothing is served at " + request.path + ".");
}

}  // namespace qv::hub
