#include "sdk/telemetry/Internals/Model/ZELogContainer.h"

namespace ze {

std::optional<std::string> ZELogContainer::serializeLogWithPrettyPrinting(bool prettyPrint) const
{
    ZEJson array = ZEJson::array();
    for (const auto& log : logs) {
        if (!log) {
            continue;
        }
        ZEJson json = log->serializeToDictionary();
        if (!json.is_null()) {
            array.push_back(std::move(json));
        }
    }
    const ZEJson container{{"logs", std::move(array)}};
    try {
        return container.dump(prettyPrint ? 2 : -1);
    } catch (const nlohmann::json::exception& error) {
        ZELogError(kZELogTag, "Couldn't serialize log container to json: %@", std::string(error.what()));
        return std::nullopt;
    }
}

bool ZELogContainer::isValid() const
{
    if (logs.empty()) {
        ZELogVerbose(kZELogTag, "%@: there are no logs in container.", std::string("ZELogContainer"));
        return false;
    }
    for (const auto& log : logs) {
        if (!log || !log->isValid()) {
            return false;
        }
    }
    return true;
}

} // namespace ze
