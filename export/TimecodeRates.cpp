#include "export/TimecodeRates.h"

namespace qv {

const std::vector<TimecodeRate>& avidDSTimecodeRates() {
    static const std::vector<TimecodeRate> rates = {
        {"23.976", 1001, 24000, false}, {"24", 1, 24, false},           {"25", 1, 25, false},
        {"29.97DF", 1001, 30000, true}, {"29.97NDF", 1001, 30000, false}, {"30", 1, 30, false},
        {"47.952", 1001, 48000, false}, {"48", 1, 48, false},           {"50", 1, 50, false},
        {"59.94DF", 1001, 60000, true}, {"59.94NDF", 1001, 60000, false}, {"60", 1, 60, false},
    };
    return rates;
}

const std::vector<TimecodeRate>& timedTextTimecodeRates() {
    static const std::vector<TimecodeRate> rates = [] {
        std::vector<TimecodeRate> list;
        for (const auto& rate : avidDSTimecodeRates()) {
            if (rate.title != QLatin1String("47.952") && rate.title != QLatin1String("48")) list.push_back(rate);
        }
        return list;
    }();
    return rates;
}

std::optional<TimecodeRate> timecodeRateTitled(const std::vector<TimecodeRate>& rates, const QString& title) {
    for (const auto& rate : rates) {
        if (rate.title == title) return rate;
    }
    return std::nullopt;
}

}  // namespace qv
