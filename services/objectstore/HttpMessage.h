// A request and a response as the object store's handlers see them, free of any transport: the
// server that mounts the handlers fills a request from the wire and sends the response back.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv::objectstore {

struct HttpRequest {
    std::string method;                          // "GET", "PUT"...
    std::string path;                            // decoded, without the query: "/<key>"
    std::map<std::string, std::string> query;    // decoded query values
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
};

struct HttpResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::optional<std::string> header(std::string_view name) const;
};

// The values of a query ("a=1&b=%2F"), or of the query of an address (read from after its '?';
// an address with '/' and no '?' has none), percent-decoded and with '+' read as a space; a
// later value for the same name wins.
std::map<std::string, std::string> parseQuery(std::string_view urlOrQuery);

// A plain-text answer for a refused request: the status and a sentence saying why.
HttpResponse textResponse(int status, std::string message);

}  // namespace qv::objectstore
