// A rational media time (value over timescale, with flags and an epoch) and a range of them.
// Fractions are never reduced: 1500/1000 s stays 1500/1000 s, because stored time strings are
// written from the value and timescale as they stand.
#pragma once

#include <compare>
#include <cstdint>

namespace qv {

enum class RoundingMethod {
    HalfAwayFromZero,  // the default when a result has to be rounded
    TowardZero,
};

struct MediaTime {
    enum Flag : std::uint32_t {
        Valid = 1,
        HasBeenRounded = 2,
        PositiveInfinity = 4,
        NegativeInfinity = 8,
        Indefinite = 16,
    };

    // Largest timescale a sum of two times of different timescales is given.
    static constexpr std::int32_t kMaxTimescale = 1'000'000'000;

    std::int64_t value = 0;
    std::int32_t timescale = 0;
    std::uint32_t flags = 0;
    std::int64_t epoch = 0;

    constexpr MediaTime() = default;
    constexpr MediaTime(std::int64_t value, std::int32_t timescale)
        : value(value), timescale(timescale), flags(timescale > 0 ? Valid : 0u)
    {
    }

    static constexpr MediaTime zero() { return MediaTime(0, 1); }
    static constexpr MediaTime invalid() { return MediaTime(); }
    static MediaTime positiveInfinity();
    static MediaTime negativeInfinity();
    static MediaTime indefinite();

    // The valid flag, and a positive timescale unless the time is infinite or indefinite. Bytes
    // stored by other programs can carry the flag with timescale 0; such a time has no unit, and
    // counting it invalid keeps every division by the timescale safe.
    bool isValid() const
    {
        return (flags & Valid) != 0
            && (timescale > 0 || (flags & (PositiveInfinity | NegativeInfinity | Indefinite)) != 0);
    }
    bool isPositiveInfinity() const { return isValid() && (flags & PositiveInfinity) != 0; }
    bool isNegativeInfinity() const { return isValid() && (flags & NegativeInfinity) != 0; }
    bool isIndefinite() const { return isValid() && (flags & Indefinite) != 0; }
    // Valid and neither infinite nor indefinite.
    bool isNumeric() const;

    // Value over timescale as a double: NaN when invalid or indefinite, +/- infinity for the
    // infinities.
    double seconds() const;

    // The same instant in another timescale. Non-numeric times come back unchanged; a value
    // that does not fit in 64 bits becomes the infinity of its sign.
    MediaTime convertScale(std::int32_t newTimescale,
                           RoundingMethod method = RoundingMethod::HalfAwayFromZero) const;

    // -1, 0 or 1. Negative infinity < numeric times (by epoch, then instant) < positive
    // infinity < indefinite < invalid; 1500/1000 and 3/2 compare equal.
    static int compare(const MediaTime& a, const MediaTime& b);
};

// Sum and difference: equal timescales are kept; different ones give their least common
// multiple, or kMaxTimescale (rounding half away from zero) when that is larger. A value that
// overflows halves the timescale until it fits. Invalid in gives invalid out.
MediaTime operator+(const MediaTime& a, const MediaTime& b);
MediaTime operator-(const MediaTime& a, const MediaTime& b);
MediaTime operator-(const MediaTime& a);

inline bool operator==(const MediaTime& a, const MediaTime& b) { return MediaTime::compare(a, b) == 0; }
inline std::weak_ordering operator<=>(const MediaTime& a, const MediaTime& b)
{
    int c = MediaTime::compare(a, b);
    return c < 0 ? std::weak_ordering::less
                 : (c > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent);
}

// Both parts identical, not merely the same instant (1500/1000 is not identical to 3/2).
bool isIdentical(const MediaTime& a, const MediaTime& b);

// A start and a duration.
struct MediaTimeRange {
    MediaTime start;
    MediaTime duration;

    static MediaTimeRange fromStartEnd(const MediaTime& start, const MediaTime& end)
    {
        return {start, end - start};
    }
    bool isValid() const;
    MediaTime end() const { return start + duration; }
    bool containsTime(const MediaTime& time) const;
    bool containsTimeRange(const MediaTimeRange& other) const;
};

}  // namespace qv
