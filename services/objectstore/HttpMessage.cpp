#include "HttpMessage.h"

#include <algorithm>
#include <cctype>

namespace qv::objectstore {

namespace {

bool sameName(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::string> findHeader(const std::vector<std::pair<std::string, std::string>>& headers,
                                      std::string_view name)
{
    for (const auto& [key, value] : headers)
        if (sameName(key, name))
            return value;
    return std::nullopt;
}

}  // namespace

std::optional<std::string> HttpRequest::header(std::string_view name) const
{
    return findHeader(headers, name);
}

std::optional<std::string> HttpResponse::header(std::string_view name) const
{
    return findHeader(headers, name);
}

HttpResponse textResponse(int status, std::string message)
{
    return {status, {{"Content-Type", "text/plain; charset=utf-8"}}, std::move(message) + "\n"};
}

}  // namespace qv::objectstore
