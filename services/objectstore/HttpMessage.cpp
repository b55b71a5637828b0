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

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A '%' not followed by two hexadecimal digits stays as it is.
std::string percentDecoded(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

}  // namespace

std::map<std::string, std::string> parseQuery(std::string_view urlOrQuery)
{
    if (const auto question = urlOrQuery.find('?'); question != std::string_view::npos)
        urlOrQuery.remove_prefix(question + 1);
    else if (urlOrQuery.find('/') != std::string_view::npos)
        return {};  // an address without a query
    std::map<std::string, std::string> query;
    while (!urlOrQuery.empty()) {
        const auto amp = urlOrQuery.find('&');
        const std::string_view pair = urlOrQuery.substr(0, amp);
        if (!pair.empty()) {
            const auto eq = pair.find('=');
            query[percentDecoded(pair.substr(0, eq))] =
                eq == std::string_view::npos ? std::string() : percentDecoded(pair.substr(eq + 1));
        }
        urlOrQuery = amp == std::string_view::npos ? std::string_view() : urlOrQuery.substr(amp + 1);
    }
    return query;
}

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
