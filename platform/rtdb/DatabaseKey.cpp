#include "platform/rtdb/DatabaseKey.h"

#include <algorithm>
#include <charconv>

namespace qv {

std::optional<std::int32_t> integerKey(std::string_view key)
{
    if (key.empty() || key.size() > 11 || (key[0] != '-' && (key[0] < '0' || key[0] > '9')))
        return std::nullopt;
    std::size_t start = key[0] == '-' ? 1 : 0;
    if (start == key.size())
        return std::nullopt;
    if (key[start] == '0' && (key.size() > start + 1 || start == 1))
        return std::nullopt;
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), value);
    if (error != std::errc() || end != key.data() + key.size())
        return std::nullopt;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

int compareKeys(std::string_view a, std::string_view b)
{
    auto ia = integerKey(a);
    auto ib = integerKey(b);
    if (ia && ib)
        return *ia < *ib ? -1 : (*ia > *ib ? 1 : 0);
    if (ia)
        return -1;
    if (ib)
        return 1;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t length;
        std::uint32_t codePoint;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
            codePoint = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            codePoint = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            codePoint = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint < kSmallest[length] || codePoint > 0x10FFFF
            || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string keyProblem(std::string_view key)
{
    if (key.empty())
        return "a key may not be empty";
    if (key.size() > kMaxKeyBytes)
        return "the key \"" + std::string(key.substr(0, 32)) + "...\" is longer than 768 bytes";
    if (!isValidUtf8(key))
        return "a key is not valid UTF-8";
    for (char ch : key) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            return "a key may not contain control characters";
        if (ch == '.' || ch == '#' || ch == '$' || ch == '[' || ch == ']' || ch == '/')
            return "the key \"" + std::string(key) + "\" contains one of . # $ [ ] /";
    }
    return {};
}

DatabasePath DatabasePath::parse(std::string_view text)
{
    PathSegments segments;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t slash = text.find('/', start);
        if (slash == std::string_view::npos)
            slash = text.size();
        if (slash > start)
            segments.emplace_back(text.substr(start, slash - start));
        start = slash + 1;
    }
    return DatabasePath(std::move(segments));
}

DatabasePath DatabasePath::parent() const
{
    if (segments_.empty())
        return {};
    return DatabasePath(PathSegments(segments_.begin(), segments_.end() - 1));
}

DatabasePath DatabasePath::child(const DatabasePath& relative) const
{
    PathSegments joined = segments_;
    joined.insert(joined.end(), relative.segments_.begin(), relative.segments_.end());
    return DatabasePath(std::move(joined));
}

DatabasePath DatabasePath::child(std::string key) const
{
    PathSegments joined = segments_;
    joined.push_back(std::move(key));
    return DatabasePath(std::move(joined));
}

bool DatabasePath::contains(const DatabasePath& other) const
{
    return other.segments_.size() >= segments_.size()
        && std::equal(segments_.begin(), segments_.end(), other.segments_.begin());
}

DatabasePath DatabasePath::relative(const DatabasePath& inner) const
{
    return DatabasePath(PathSegments(inner.segments_.begin() + static_cast<std::ptrdiff_t>(segments_.size()),
                                     inner.segments_.end()));
}

std::string DatabasePath::toString() const
{
    std::string text;
    for (const auto& segment : segments_) {
        if (!text.empty())
            text += '/';
        text += segment;
    }
    return text;
}

std::string DatabasePath::problem(bool allowInfo) const
{
    if (segments_.size() > kMaxPathDepth)
        return "the path \"" + toString().substr(0, 64) + "\" is deeper than 32 levels";
    for (std::size_t i = 0; i < segments_.size(); ++i) {
        if (i == 0 && allowInfo && segments_[0] == ".info")
            continue;
        std::string problem = keyProblem(segments_[i]);
        if (!problem.empty())
            return problem;
    }
    return {};
}

}  // namespace qv
