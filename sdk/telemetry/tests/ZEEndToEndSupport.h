// What the end-to-end tests share: a service with a unit of its own, and logs that carry an index
// so that the sink's requests can be checked log by log.
#pragma once

#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Service/ZEServiceAbstract.h"

#include <nlohmann/json.hpp>

#include <set>

namespace ze::test {

class EndToEndService final : public ZEServiceAbstract {
public:
    std::string serviceName() const override { return "EndToEnd"; }
    std::string logTag() const override { return "EndToEnd"; }
    bool isAppSecretRequired() const override { return false; }
    std::optional<ZEChannelUnitConfiguration> channelUnitConfiguration() const override
    {
        return ZEChannelUnitConfiguration::defaultConfiguration("EndToEnd");
    }
};

// A log whose second service name is its index, padded to about `padding` bytes of JSON.
inline std::shared_ptr<ZEAbstractLog> indexedLog(int index, std::size_t padding = 0)
{
    auto log = std::make_shared<ZEStartServiceLog>();
    log->services = std::vector<std::string>{"indexed", std::to_string(index), std::string(padding, 'p')};
    return log;
}

// The indexes of every indexed log in a request body {"logs":[...]}.
inline std::set<int> indexesIn(const std::string& body)
{
    std::set<int> found;
    const auto json = nlohmann::json::parse(body, nullptr, false);
    if (!json.is_object() || !json.contains("logs")) {
        return found;
    }
    for (const auto& log : json["logs"]) {
        if (log.value("type", "") == "startService" && log.contains("services") && log["services"].size() > 1
            && log["services"][0] == "indexed") {
            found.insert(std::stoi(log["services"][1].get<std::string>()));
        }
    }
    return found;
}

} // namespace ze::test
