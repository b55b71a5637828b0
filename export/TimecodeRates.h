#pragma once
// The timecode rates a user can choose for caption exports of media without a timecode rate.
// Titles are what the rate pop-ups show and what the preferences store.
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace qv {

struct TimecodeRate {
    QString title;
    int64_t frameDurationValue;       // one frame is value / timescale seconds
    int32_t frameDurationTimescale;
    bool dropFrame;
};

// The first pop-up item: no rate chosen.
inline const QString kTimecodeRateNotSet = QStringLiteral("Not Set");

// Rates of iTunes Timed Text (no 47.952 or 48).
const std::vector<TimecodeRate>& timedTextTimecodeRates();
// Rates of Avid DS.
const std::vector<TimecodeRate>& avidDSTimecodeRates();

// Rate with that title in the list.
std::optional<TimecodeRate> timecodeRateTitled(const std::vector<TimecodeRate>& rates, const QString& title);

}  // namespace qv
