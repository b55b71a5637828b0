#include "MediaTime.h"

#include <cmath>
#include <limits>
#include <numeric>

namespace qv {

namespace {

using Wide = __int128;

constexpr Wide kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr Wide kInt64Min = std::numeric_limits<std::int64_t>::min();

MediaTime special(std::uint32_t flag)
{
    MediaTime time(0, 1);
    time.flags |= flag;
    return time;
}

// numerator / denominator (denominator > 0) rounded as asked; `inexact` tells whether rounding
// changed anything.
Wide divideRounded(Wide numerator, Wide denominator, RoundingMethod method, bool& inexact)
{
    Wide quotient = numerator / denominator;
    Wide remainder = numerator % denominator;
    inexact = remainder != 0;
    if (inexact && method == RoundingMethod::HalfAwayFromZero) {
        Wide twice = remainder < 0 ? -remainder * 2 : remainder * 2;
        if (twice >= denominator)
            quotient += numerator < 0 ? -1 : 1;
    }
    return quotient;
}

bool fitsInt64(Wide v) { return v >= kInt64Min && v <= kInt64Max; }

// The exact rational numerator/denominator expressed in `timescale`, halving the timescale
// while the value overflows; the infinity of the sign when even timescale 1 overflows.
MediaTime fromRational(Wide numerator, Wide denominator, std::int32_t timescale, std::int64_t epoch)
{
    for (;;) {
        bool inexact = false;
        Wide value = divideRounded(numerator * timescale, denominator,
                                   RoundingMethod::HalfAwayFromZero, inexact);
        if (fitsInt64(value)) {
            MediaTime result(static_cast<std::int64_t>(value), timescale);
            result.epoch = epoch;
            if (inexact)
                result.flags |= MediaTime::HasBeenRounded;
            return result;
        }
        if (timescale == 1)
            return numerator < 0 ? MediaTime::negativeInfinity() : MediaTime::positiveInfinity();
        timescale /= 2;
    }
}

// 0 negative infinity, 1 numeric, 2 positive infinity, 3 indefinite, 4 invalid.
int rank(const MediaTime& t)
{
    if (!t.isValid())
        return 4;
    if (t.flags & MediaTime::Indefinite)
        return 3;
    if (t.flags & MediaTime::PositiveInfinity)
        return 2;
    if (t.flags & MediaTime::NegativeInfinity)
        return 0;
    return 1;
}

}  // namespace

MediaTime MediaTime::positiveInfinity() { return special(PositiveInfinity); }
MediaTime MediaTime::negativeInfinity() { return special(NegativeInfinity); }
MediaTime MediaTime::indefinite() { return special(Indefinite); }

bool MediaTime::isNumeric() const
{
    return isValid() && (flags & (PositiveInfinity | NegativeInfinity | Indefinite)) == 0;
}

double MediaTime::seconds() const
{
    switch (rank(*this)) {
    case 0: return -std::numeric_limits<double>::infinity();
    case 1: return static_cast<double>(value) / timescale;
    case 2: return std::numeric_limits<double>::infinity();
    default: return std::numeric_limits<double>::quiet_NaN();
    }
}

MediaTime MediaTime::convertScale(std::int32_t newTimescale, RoundingMethod method) const
{
    if (!isNumeric())
        return *this;
    if (newTimescale <= 0)
        return invalid();
    if (newTimescale == timescale)
        return *this;
    bool inexact = false;
    Wide converted = divideRounded(static_cast<Wide>(value) * newTimescale, timescale, method, inexact);
    if (!fitsInt64(converted))
        return converted < 0 ? negativeInfinity() : positiveInfinity();
    MediaTime result(static_cast<std::int64_t>(converted), newTimescale);
    result.epoch = epoch;
    result.flags |= (flags & HasBeenRounded) | (inexact ? HasBeenRounded : 0u);
    return result;
}

int MediaTime::compare(const MediaTime& a, const MediaTime& b)
{
    int ra = rank(a), rb = rank(b);
    if (ra != rb)
        return ra < rb ? -1 : 1;
    if (ra != 1)
        return 0;
    if (a.epoch != b.epoch)
        return a.epoch < b.epoch ? -1 : 1;
    Wide left = static_cast<Wide>(a.value) * b.timescale;
    Wide right = static_cast<Wide>(b.value) * a.timescale;
    return left < right ? -1 : (left > right ? 1 : 0);
}

MediaTime operator+(const MediaTime& a, const MediaTime& b)
{
    int ra = rank(a), rb = rank(b);
    if (ra == 4 || rb == 4)
        return MediaTime::invalid();
    if (ra == 3 || rb == 3)
        return MediaTime::indefinite();
    if ((ra == 0 && rb == 2) || (ra == 2 && rb == 0))
        return MediaTime::invalid();
    if (ra != 1)
        return a;
    if (rb != 1)
        return b;
    if (a.epoch != b.epoch)
        return MediaTime::invalid();

    std::int32_t timescale = a.timescale;
    if (a.timescale != b.timescale) {
        std::int64_t lcm = std::lcm(static_cast<std::int64_t>(a.timescale), static_cast<std::int64_t>(b.timescale));
        timescale = lcm > MediaTime::kMaxTimescale ? MediaTime::kMaxTimescale : static_cast<std::int32_t>(lcm);
    }
    Wide numerator = static_cast<Wide>(a.value) * b.timescale + static_cast<Wide>(b.value) * a.timescale;
    Wide denominator = static_cast<Wide>(a.timescale) * b.timescale;
    MediaTime sum = fromRational(numerator, denominator, timescale, a.epoch);
    sum.flags |= (a.flags | b.flags) & MediaTime::HasBeenRounded;
    return sum;
}

MediaTime operator-(const MediaTime& a)
{
    switch (rank(a)) {
    case 0: return MediaTime::positiveInfinity();
    case 2: return MediaTime::negativeInfinity();
    case 1: break;
    default: return a;
    }
    if (a.value == std::numeric_limits<std::int64_t>::min())
        return MediaTime::positiveInfinity();
    MediaTime negated = a;
    negated.value = -a.value;
    return negated;
}

MediaTime operator-(const MediaTime& a, const MediaTime& b) { return a + (-b); }

bool isIdentical(const MediaTime& a, const MediaTime& b)
{
    return a.value == b.value && a.timescale == b.timescale && a.flags == b.flags && a.epoch == b.epoch;
}

bool MediaTimeRange::isValid() const
{
    return start.isValid() && duration.isValid() && duration.epoch == 0 && duration.value >= 0;
}

bool MediaTimeRange::containsTime(const MediaTime& time) const
{
    return isValid() && start <= time && time < end();
}

bool MediaTimeRange::containsTimeRange(const MediaTimeRange& other) const
{
    return isValid() && other.isValid() && start <= other.start && other.end() <= end();
}

}  // namespace qv
