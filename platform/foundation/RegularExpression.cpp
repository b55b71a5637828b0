#include "RegularExpression.h"

#include "Log.h"

#include <unicode/uregex.h>

#include <limits>
#include <string>
#include <tuple>

namespace qv {
namespace {

const UChar* units(const QString& text)
{
    return reinterpret_cast<const UChar*>(text.utf16());
}

bool fitsIcu(const QString& text)
{
    return text.size() <= std::numeric_limits<std::int32_t>::max();
}

}  // namespace

class RegularExpression::Matcher {
public:
    // Clones `compiled` and points it at `text`, which must outlive the matcher.
    Matcher(const URegularExpression* compiled, const QString& text)
    {
        UErrorCode status = U_ZERO_ERROR;
        regex_ = uregex_clone(compiled, &status);
        if (U_SUCCESS(status))
            uregex_setText(regex_, units(text), static_cast<std::int32_t>(text.size()), &status);
        if (U_FAILURE(status)) {
            logWarning(std::string("RegularExpression: cannot match: ") + u_errorName(status));
            uregex_close(regex_);
            regex_ = nullptr;
        }
    }
    ~Matcher() { uregex_close(regex_); }
    Matcher(const Matcher&) = delete;
    Matcher& operator=(const Matcher&) = delete;

    URegularExpression* get() const { return regex_; }

    bool findNext()
    {
        UErrorCode status = U_ZERO_ERROR;
        return regex_ && uregex_findNext(regex_, &status) && U_SUCCESS(status);
    }

    RegularExpressionMatch current() const
    {
        RegularExpressionMatch match;
        UErrorCode status = U_ZERO_ERROR;
        std::int32_t groups = uregex_groupCount(regex_, &status);
        for (std::int32_t group = 0; U_SUCCESS(status) && group <= groups; ++group) {
            std::int32_t start = uregex_start(regex_, group, &status);
            std::int32_t end = uregex_end(regex_, group, &status);
            match.ranges.push_back(start < 0 ? TextRange{} : TextRange{start, end - start});
        }
        return match;
    }

private:
    URegularExpression* regex_ = nullptr;
};

RegularExpression::RegularExpression(const QString& pattern, Option option)
{
    std::uint32_t flags = option == Option::CaseInsensitive ? UREGEX_CASE_INSENSITIVE : 0;
    UParseError where{};
    UErrorCode status = U_ZERO_ERROR;
    if (pattern.isEmpty() || !fitsIcu(pattern))
        status = U_ILLEGAL_ARGUMENT_ERROR;
    else
        compiled_ = uregex_open(units(pattern), static_cast<std::int32_t>(pattern.size()), flags,
                                &where, &status);
    if (U_FAILURE(status)) {
        uregex_close(compiled_);
        compiled_ = nullptr;
        logWarning("RegularExpression: pattern \"" + pattern.toStdString()
                   + "\" does not compile: " + u_errorName(status) + " at offset "
                   + std::to_string(where.offset));
    }
}

RegularExpression::~RegularExpression()
{
    uregex_close(compiled_);
}

bool RegularExpression::matchesWhole(const QString& text) const
{
    if (!compiled_ || !fitsIcu(text))
        return false;
    Matcher matcher(compiled_, text);
    UErrorCode status = U_ZERO_ERROR;
    return matcher.get() && uregex_matches(matcher.get(), 0, &status) && U_SUCCESS(status);
}

std::optional<RegularExpressionMatch> RegularExpression::firstMatch(const QString& text) const
{
    if (!compiled_ || !fitsIcu(text))
        return std::nullopt;
    Matcher matcher(compiled_, text);
    if (!matcher.findNext())
        return std::nullopt;
    return matcher.current();
}

std::vector<RegularExpressionMatch> RegularExpression::allMatches(const QString& text) const
{
    std::vector<RegularExpressionMatch> matches;
    if (!compiled_ || !fitsIcu(text))
        return matches;
    Matcher matcher(compiled_, text);
    while (matcher.findNext())
        matches.push_back(matcher.current());
    return matches;
}

QString RegularExpression::replaceAll(const QString& text, const QString& replacement) const
{
    if (!compiled_ || !fitsIcu(text) || !fitsIcu(replacement))
        return text;
    Matcher matcher(compiled_, text);
    if (!matcher.get())
        return text;
    auto replace = [&](QString& out) {
        UErrorCode status = U_ZERO_ERROR;
        std::int32_t length = uregex_replaceAll(
            matcher.get(), units(replacement), static_cast<std::int32_t>(replacement.size()),
            out.isEmpty() ? nullptr : reinterpret_cast<UChar*>(out.data()), static_cast<std::int32_t>(out.size()), &status);
        return std::pair{length, status};
    };
    // Measure first, then write into a buffer of the measured size.
    QString measure;
    auto [length, status] = replace(measure);
    if (status != U_BUFFER_OVERFLOW_ERROR && U_FAILURE(status)) {
        logWarning(std::string("RegularExpression: replacement failed: ") + u_errorName(status));
        return text;
    }
    QString out(length, Qt::Uninitialized);
    std::tie(length, status) = replace(out);
    if (U_FAILURE(status)) {
        logWarning(std::string("RegularExpression: replacement failed: ") + u_errorName(status));
        return text;
    }
    out.truncate(length);
    return out;
}

}  // namespace qv
