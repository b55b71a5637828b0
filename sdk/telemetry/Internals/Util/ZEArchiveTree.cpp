#include "sdk/telemetry/Internals/Util/ZEArchiveTree.h"

#include "sdk/telemetry/Internals/Util/ZEUtility.h"

#include <array>
#include <bit>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace ze {

namespace {

bool isWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The bytes that end the plain run of a string's text: a quote, a backslash, control characters
// and the bytes of characters beyond ASCII.
constexpr std::array<bool, 256> kStringStops = [] {
    std::array<bool, 256> stops{};
    for (std::size_t c = 0; c < stops.size(); ++c) {
        stops[c] = c < 0x20 || c == '"' || c == '\\' || c >= 0x80;
    }
    return stops;
}();

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Writes a code point (no surrogate, at most U+10FFFF) as UTF-8; answers the end of what it wrote.
char* putUtf8(char* out, std::uint32_t codePoint)
{
    const auto put = [&out](std::uint32_t byte) { *out++ = static_cast<char>(byte); };
    if (codePoint < 0x80) {
        put(codePoint);
    } else if (codePoint < 0x800) {
        put(0xc0 | codePoint >> 6);
        put(0x80 | (codePoint & 0x3f));
    } else if (codePoint < 0x10000) {
        put(0xe0 | codePoint >> 12);
        put(0x80 | (codePoint >> 6 & 0x3f));
        put(0x80 | (codePoint & 0x3f));
    } else {
        put(0xf0 | codePoint >> 18);
        put(0x80 | (codePoint >> 12 & 0x3f));
        put(0x80 | (codePoint >> 6 & 0x3f));
        put(0x80 | (codePoint & 0x3f));
    }
    return out;
}

// A decimal number as the C library reads it in the "C" locale, whatever the process's locale is
// (a decimal comma would cut "1.5" short).
double toDouble(const char* begin, const char* end)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    const std::string token(begin, end);
    return strtod_l(token.c_str(), nullptr, cLocale);
}

} // namespace

// Reads the tree's text front to back with a stack of the containers still open, so that deep
// nesting costs memory, not the call stack. Escaped strings are rewritten in place: what an
// escape stands for is never longer than the escape.
class ZEArchiveTree::Parser {
public:
    explicit Parser(ZEArchiveTree& tree)
        : tree_(tree)
        , begin_(tree.text_.data())
        , p_(begin_)
        , end_(begin_ + tree.text_.size())
    {
    }

    bool run()
    {
        if (p_ != end_ && static_cast<unsigned char>(*p_) == 0xef) {
            if (end_ - p_ < 3 || static_cast<unsigned char>(p_[1]) != 0xbb || static_cast<unsigned char>(p_[2]) != 0xbf) {
                return false;
            }
            p_ += 3;
        }
        Step step = Step::NeedValue;
        for (;;) {
            skipWhitespace();
            if (step == Step::NeedValue) {
                step = value();
                if (step == Step::Fail) {
                    return false;
                }
                continue;
            }
            if (open_.empty()) {
                // The document parser also ends its input at a NUL byte.
                return p_ == end_ || *p_ == '\0';
            }
            if (p_ == end_) {
                return false;
            }
            const bool inObject = tree_.nodes_[open_.back()].kind == Kind::Object;
            if (*p_ == ',') {
                ++p_;
                if (inObject) {
                    skipWhitespace();
                    if (!key()) {
                        return false;
                    }
                }
                step = Step::NeedValue;
            } else if (*p_ == (inObject ? '}' : ']')) {
                ++p_;
                close();
            } else {
                return false;
            }
        }
    }

private:
    // What reading a value left: a complete value, or an open container that wants its first one.
    enum class Step { Fail, Complete, NeedValue };

    void skipWhitespace()
    {
        while (p_ != end_ && isWhitespace(*p_)) {
            ++p_;
        }
    }

    Node& add(Kind kind)
    {
        const auto index = static_cast<Index>(tree_.nodes_.size());
        Node& node = tree_.nodes_.emplace_back();
        node.kind = kind;
        node.end = index + 1;
        return node;
    }

    Step open(Kind kind, char closing)
    {
        add(kind).value.count = 0;
        open_.push_back(static_cast<Index>(tree_.nodes_.size() - 1));
        ++p_;
        skipWhitespace();
        if (p_ != end_ && *p_ == closing) {
            ++p_;
            close();
            return Step::Complete;
        }
        if (kind == Kind::Object && !key()) {
            return Step::Fail;
        }
        return Step::NeedValue;
    }

    void close()
    {
        tree_.nodes_[open_.back()].end = static_cast<Index>(tree_.nodes_.size());
        open_.pop_back();
    }

    Step value()
    {
        if (p_ == end_) {
            return Step::Fail;
        }
        if (!open_.empty() && tree_.nodes_[open_.back()].kind == Kind::Array) {
            ++tree_.nodes_[open_.back()].value.count;
        }
        bool read = false;
        switch (*p_) {
        case '{': return open(Kind::Object, '}');
        case '[': return open(Kind::Array, ']');
        case '"': read = string(); break;
        case 't': read = literal("true", Kind::True); break;
        case 'f': read = literal("false", Kind::False); break;
        case 'n': read = literal("null", Kind::Null); break;
        default: read = number(); break;
        }
        return read ? Step::Complete : Step::Fail;
    }

    // A member's key and the colon after it.
    bool key()
    {
        if (p_ == end_ || *p_ != '"') {
            return false;
        }
        ++tree_.nodes_[open_.back()].value.count;
        if (!string()) {
            return false;
        }
        skipWhitespace();
        if (p_ == end_ || *p_ != ':') {
            return false;
        }
        ++p_;
        return true;
    }

    bool literal(std::string_view word, Kind kind)
    {
        if (static_cast<std::size_t>(end_ - p_) < word.size() || std::memcmp(p_, word.data(), word.size()) != 0) {
            return false;
        }
        p_ += word.size();
        add(kind);
        return true;
    }

    bool number()
    {
        const char* const start = p_;
        const bool negative = *p_ == '-';
        if (negative) {
            ++p_;
        }
        if (p_ == end_ || !isDigit(*p_)) {
            return false;
        }
        if (*p_ == '0') {
            ++p_;
        } else {
            skipDigits();
        }
        const char* const digitsEnd = p_;
        bool integral = true;
        if (p_ != end_ && *p_ == '.') {
            ++p_;
            if (p_ == end_ || !isDigit(*p_)) {
                return false;
            }
            skipDigits();
            integral = false;
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) {
                ++p_;
            }
            if (p_ == end_ || !isDigit(*p_)) {
                return false;
            }
            skipDigits();
            integral = false;
        }
        if (integral) {
            // Integers keep their sign's type while they fit; beyond it they are read as doubles.
            std::uint64_t magnitude = 0;
            bool fits = true;
            for (const char* digit = start + (negative ? 1 : 0); fits && digit != digitsEnd; ++digit) {
                const auto value = static_cast<std::uint64_t>(*digit - '0');
                fits = magnitude <= (std::numeric_limits<std::uint64_t>::max() - value) / 10;
                magnitude = magnitude * 10 + value;
            }
            if (fits && !negative) {
                add(Kind::Unsigned).value.unsignedValue = magnitude;
                return true;
            }
            if (fits && magnitude <= std::uint64_t(1) << 63) {
                add(Kind::Signed).value.signedValue = static_cast<std::int64_t>(0 - magnitude);
                return true;
            }
        }
        const double value = toDouble(start, p_);
        if (!std::isfinite(value)) {
            return false;
        }
        add(Kind::Double).value.doubleValue = value;
        return true;
    }

    void skipDigits()
    {
        while (p_ != end_ && isDigit(*p_)) {
            ++p_;
        }
    }

    bool hex4(std::uint32_t& codeUnit)
    {
        if (end_ - p_ < 4) {
            return false;
        }
        codeUnit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigit(*p_++);
            if (digit < 0) {
                return false;
            }
            codeUnit = codeUnit << 4 | static_cast<std::uint32_t>(digit);
        }
        return true;
    }

    // After `\u`: one code point, a surrogate pair written as two escapes.
    bool unicodeEscape(std::uint32_t& codePoint)
    {
        if (!hex4(codePoint)) {
            return false;
        }
        if (codePoint >= 0xdc00 && codePoint <= 0xdfff) {
            return false;
        }
        if (codePoint < 0xd800 || codePoint > 0xdbff) {
            return true;
        }
        std::uint32_t low = 0;
        if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') {
            return false;
        }
        p_ += 2;
        if (!hex4(low) || low < 0xdc00 || low > 0xdfff) {
            return false;
        }
        codePoint = 0x10000 + ((codePoint - 0xd800) << 10) + (low - 0xdc00);
        return true;
    }

    // The first quote, backslash, control character or byte above ASCII from `p` on, or the end
    // of the text. Eight bytes are tested at a time: a borrow in the tests below only marks bytes
    // above a byte truly found, so on a little-endian machine the lowest mark is the first stop.
    char* plainTextEnd(char* p) const
    {
        constexpr std::uint64_t ones = 0x0101010101010101;
        constexpr std::uint64_t highBits = 0x8080808080808080;
        const auto hasZeroByte = [](std::uint64_t word) { return (word - ones) & ~word & highBits; };
        while (end_ - p >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, 8);
            const std::uint64_t stops = hasZeroByte(word ^ (ones * '"')) | hasZeroByte(word ^ (ones * '\\'))
                | ((word - ones * 0x20) & ~word & highBits) | (word & highBits);
            if (stops != 0) {
                if constexpr (std::endian::native == std::endian::little) {
                    return p + std::countr_zero(stops) / 8;
                }
                break;
            }
            p += 8;
        }
        while (p != end_ && !kStringStops[static_cast<unsigned char>(*p)]) {
            ++p;
        }
        return p;
    }

    bool string()
    {
        char* const start = p_ + 1;
        p_ = plainTextEnd(start);
        if (p_ != end_ && *p_ == '"') {
            // Plain ASCII with nothing to resolve, as most strings are.
            addString(start, p_);
            ++p_;
            return true;
        }
        bool high = false; // a byte above ASCII stood in the text itself
        char* out = p_;
        for (;;) {
            if (p_ == end_) {
                return false;
            }
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                break;
            }
            if (c < 0x20) {
                return false;
            }
            if (c != '\\') {
                high = high || c >= 0x80;
                *out++ = *p_++;
                continue;
            }
            if (end_ - p_ < 2) {
                return false;
            }
            const char escape = p_[1];
            p_ += 2;
            switch (escape) {
            case '"':
            case '\\':
            case '/': *out++ = escape; break;
            case 'b': *out++ = '\b'; break;
            case 'f': *out++ = '\f'; break;
            case 'n': *out++ = '\n'; break;
            case 'r': *out++ = '\r'; break;
            case 't': *out++ = '\t'; break;
            case 'u': {
                std::uint32_t codePoint = 0;
                if (!unicodeEscape(codePoint)) {
                    return false;
                }
                out = putUtf8(out, codePoint);
                break;
            }
            default: return false;
            }
        }
        // What an escape stands for is well-formed UTF-8 that starts a character, so it cannot
        // complete a sequence the text left open: checking the result checks the text's own bytes.
        const std::string_view decoded(start, static_cast<std::size_t>(out - start));
        if (high && !ZEUtility::isValidUTF8(decoded)) {
            return false;
        }
        addString(start, out);
        ++p_;
        return true;
    }

    void addString(const char* start, const char* end)
    {
        Node& node = add(Kind::String);
        node.value.text.offset = static_cast<std::uint32_t>(start - begin_);
        node.value.text.length = static_cast<std::uint32_t>(end - start);
    }

    ZEArchiveTree& tree_;
    char* const begin_;
    char* p_;
    char* const end_;
    std::vector<Index> open_;
};

bool ZEArchiveTree::parse(std::string_view text)
{
    nodes_.clear();
    text_.clear();
    if (text.size() >= kNone) {
        return false;
    }
    text_.assign(text);
    nodes_.reserve(text.size() / 8 + 1);
    if (Parser(*this).run()) {
        return true;
    }
    nodes_.clear();
    return false;
}

bool ZEArchiveTree::keyIs(Index key, std::string_view name) const
{
    // Keys here mostly share their first character and often their length: the last one tells
    // most of them apart before a full comparison, which for keys this short costs less in line
    // than as a call.
    const std::string_view candidate = text(key);
    if (candidate.size() != name.size() || (!name.empty() && candidate.back() != name.back())) {
        return false;
    }
    for (std::size_t i = 0; i + 1 < name.size(); ++i) {
        if (candidate[i] != name[i]) {
            return false;
        }
    }
    return true;
}

std::uint64_t ZEArchiveTree::keyBit(std::string_view key)
{
    const auto last = key.empty() ? 0u : static_cast<unsigned char>(key.back());
    return std::uint64_t(1) << ((key.size() * 7 + last) & 63);
}

ZEArchiveTree::MemberCursor ZEArchiveTree::cursor(Index object) const
{
    constexpr std::uint32_t checkedMembers = 32;
    MemberCursor cursor;
    if (kind(object) != Kind::Object || size(object) > checkedMembers) {
        return cursor;
    }
    // Only keys whose bits meet are compared in full.
    for (Index key = first(object); key < next(object); key = next(next(key))) {
        const std::string_view name = text(key);
        const std::uint64_t bit = keyBit(name);
        if ((cursor.keyBits & bit) != 0) {
            for (Index earlier = first(object); earlier != key; earlier = next(next(earlier))) {
                if (keyIs(earlier, name)) {
                    return {};
                }
            }
        }
        cursor.keyBits |= bit;
    }
    cursor.uniqueKeys = true;
    return cursor;
}

ZEArchiveTree::Index ZEArchiveTree::member(Index object, std::string_view name, MemberCursor& cursor) const
{
    if (!cursor.uniqueKeys) {
        return member(object, name);
    }
    if ((cursor.keyBits & keyBit(name)) == 0) {
        return kNone;
    }
    const Index start = cursor.next > object && cursor.next < next(object) ? cursor.next : first(object);
    const auto search = [&](Index from, Index to) {
        for (Index key = from; key < to; key = next(next(key))) {
            if (keyIs(key, name)) {
                cursor.next = next(next(key));
                return next(key);
            }
        }
        return kNone;
    };
    const Index found = search(start, next(object));
    return found != kNone ? found : search(first(object), start);
}

ZEJson ZEArchiveTree::scalar(Index node) const
{
    const Node& n = nodes_[node];
    switch (n.kind) {
    case Kind::False: return false;
    case Kind::True: return true;
    case Kind::Unsigned: return n.value.unsignedValue;
    case Kind::Signed: return n.value.signedValue;
    case Kind::Double: return n.value.doubleValue;
    case Kind::String: return std::string(text(node));
    default: return nullptr;
    }
}

} // namespace ze
