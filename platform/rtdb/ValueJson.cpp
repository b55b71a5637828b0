#include "platform/rtdb/ValueJson.h"

#include "platform/rtdb/ValueCheck.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <cstdio>

namespace qv {

namespace {

// Stored files may hold the placeholder's map level and records around a value.
constexpr std::size_t kMaxStoredDepth = kMaxPathDepth + 8;

void encodeString(const std::string& text, std::string& out)
{
    out += '"';
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        switch (ch) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

// Builds the value while the text is read, without an intermediate document: arrays become
// maps keyed by index, a later duplicate key wins, and anything nested deeper than the stored
// depth stops the read. A map read that equals the value `expected` named for it, child for child
// in order, is that value: its children are checked as they come and not kept, and the map is
// never built, so that a document repeating a tree held elsewhere costs no second tree. Given a
// most of values, the read stops at the first value past it, before the rest is built.
class ValueBuilder final : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit ValueBuilder(const ExpectedMap* expected = nullptr, std::size_t maxValues = 0)
        : expected_(expected), valuesLeft_(maxValues ? maxValues : SIZE_MAX)
    {
    }

    std::optional<DatabaseValue> result;

    bool null() override { return add(DatabaseValue()); }
    bool boolean(bool value) override { return add(DatabaseValue(value)); }
    bool number_integer(number_integer_t value) override { return add(DatabaseValue(static_cast<std::int64_t>(value))); }
    bool number_unsigned(number_unsigned_t value) override
    {
        if (value > static_cast<std::uint64_t>(INT64_MAX))
            return add(DatabaseValue(static_cast<double>(value)));
        return add(DatabaseValue(static_cast<std::int64_t>(value)));
    }
    bool number_float(number_float_t value, const string_t&) override { return add(DatabaseValue(value)); }
    bool string(string_t& value) override { return add(DatabaseValue(std::move(value))); }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t size) override { return open(false, size); }
    bool start_array(std::size_t size) override { return open(true, size); }
    bool key(string_t& value) override
    {
        levels_.back().key = std::move(value);
        return true;
    }
    bool end_object() override { return close(); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    struct Level {
        bool array = false;
        std::size_t index = 0;
        std::string key;
        std::vector<DatabaseValue::Entry> entries;
        // The map this one is expected to equal (null when none), for it and its children.
        DatabaseValue counterpart;
        bool guided = false;  // this map or one around it has a counterpart
        // Every child read so far equals the counterpart's child at the same place; those
        // children are not in `entries`, and `next` is the counterpart's child to come.
        bool matching = false;
        std::size_t matched = 0;
        DatabaseValue::ChildIterator next;
        DatabaseValue::ChildIterator end;
    };

    std::string childKey(const Level& level) const
    {
        return level.array ? std::to_string(level.index) : level.key;
    }

    // The children matched so far, into `entries`: the map read differs from its counterpart.
    static void diverge(Level& level)
    {
        if (!level.matching)
            return;
        level.matching = false;
        std::vector<DatabaseValue::Entry> read;
        read.reserve(level.matched + 1);
        for (auto child : level.counterpart.children()) {
            if (read.size() == level.matched)
                break;
            read.emplace_back(child.key, child.value);
        }
        level.entries = std::move(read);
    }

    bool add(DatabaseValue value)
    {
        if (levels_.size() > kMaxStoredDepth || !countValue())
            return false;
        if (levels_.empty()) {
            result = std::move(value);
            return true;
        }
        Level& level = levels_.back();
        std::string key = level.array ? std::to_string(level.index++) : std::move(level.key);
        if (level.matching) {
            if (level.next != level.end) {
                auto theirs = *level.next;
                // A map child matched only when it became the counterpart's own node.
                if (theirs.key == key && (value.isMap() ? value.sameNode(theirs.value) : value == theirs.value)) {
                    ++level.next;
                    ++level.matched;
                    return true;
                }
            }
            diverge(level);
        }
        level.entries.emplace_back(std::move(key), std::move(value));
        return true;
    }

    DatabaseValue counterpartOfNext()
    {
        if (levels_.empty() || !levels_.back().guided)
            return askExpected();
        Level& parent = levels_.back();
        if (!parent.counterpart.isMap())
            return {};
        const std::string key = childKey(parent);
        if (parent.matching && parent.next != parent.end && (*parent.next).key == key)
            return (*parent.next).value;
        return parent.counterpart.child(key);
    }

    DatabaseValue askExpected()
    {
        if (!expected_ || !*expected_)
            return {};
        enclosing_.clear();
        for (const Level& level : levels_)
            enclosing_.push_back({&level.entries, level.array ? std::to_string(level.index) : level.key});
        return (*expected_)(enclosing_);
    }

    bool countValue()
    {
        if (valuesLeft_ == 0)
            return false;
        --valuesLeft_;
        return true;
    }

    bool open(bool array, std::size_t size)
    {
        // A map is counted when it opens, so that its children cannot be built past the most.
        if (levels_.size() >= kMaxStoredDepth + 1 || !countValue())
            return false;
        DatabaseValue counterpart = counterpartOfNext();
        if (!counterpart.isMap())
            counterpart = DatabaseValue();
        Level& level = levels_.emplace_back();
        level.array = array;
        level.guided = !counterpart.isNull() || (levels_.size() > 1 && levels_[levels_.size() - 2].guided);
        level.counterpart = std::move(counterpart);
        if (!level.counterpart.isNull()) {
            level.matching = true;
            const auto children = level.counterpart.children();
            level.next = children.begin();
            level.end = children.end();
        } else if (size != static_cast<std::size_t>(-1)) {
            level.entries.reserve(std::min<std::size_t>(size, 1u << 16));
        }
        return true;
    }
    bool close()
    {
        Level& level = levels_.back();
        DatabaseValue value;
        if (level.matching && level.next == level.end) {
            value = std::move(level.counterpart);
        } else {
            diverge(level);
            value = DatabaseValue::map(std::move(level.entries));
        }
        levels_.pop_back();
        ++valuesLeft_;  // counted when it opened
        return add(std::move(value));
    }

    const ExpectedMap* expected_;
    std::size_t valuesLeft_;
    std::vector<Level> levels_;
    std::vector<EnclosingMap> enclosing_;
};

}  // namespace

void encodeValue(const DatabaseValue& value, std::string& out)
{
    switch (value.kind()) {
    case DatabaseValue::Kind::Null:
        out += "null";
        break;
    case DatabaseValue::Kind::Bool:
        out += value.toBool() ? "true" : "false";
        break;
    case DatabaseValue::Kind::Int:
        out += std::to_string(value.toInt());
        break;
    case DatabaseValue::Kind::Double: {
        char buffer[64];
        auto result = std::to_chars(buffer, buffer + sizeof buffer, value.toDouble());
        std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
        out += text;
        if (text.find_first_of(".eE") == std::string_view::npos)
            out += ".0";
        break;
    }
    case DatabaseValue::Kind::String:
        encodeString(*value.stringIfAny(), out);
        break;
    case DatabaseValue::Kind::Map: {
        out += '{';
        bool first = true;
        for (auto entry : value.children()) {
            if (!first)
                out += ',';
            first = false;
            encodeString(entry.key, out);
            out += ':';
            encodeValue(entry.value, out);
        }
        out += '}';
        break;
    }
    }
}

std::string encodeValue(const DatabaseValue& value)
{
    std::string out;
    encodeValue(value, out);
    return out;
}

void encodeWrites(const std::vector<DatabaseWrite>& writes, std::string& out)
{
    out += '[';
    for (std::size_t i = 0; i < writes.size(); ++i) {
        out += i ? ",[" : "[";
        encodeValue(DatabaseValue(writes[i].path.toString()), out);
        out += ',';
        encodeValue(writes[i].value, out);
        out += ']';
    }
    out += ']';
}

std::optional<std::vector<DatabaseWrite>> writesFromValue(const DatabaseValue& group, DatabaseResult* refusal)
{
    // A damaged entry must not turn into a write elsewhere: one without its path would
    // otherwise replace the root.
    std::vector<DatabaseWrite> writes;
    if (group.isNull())
        return writes;
    if (!group.isMap())
        return std::nullopt;
    for (auto entry : group.children()) {
        const std::string* path = entry.value.child("0").stringIfAny();
        if (!path || entry.value.childCount() > 2 || (entry.value.childCount() == 2 && !entry.value.hasChild("1")))
            return std::nullopt;
        DatabaseWrite write{DatabasePath::parse(*path), entry.value.child("1")};
        if (auto error = checkWrite(write.path, write.value)) {
            if (refusal)
                *refusal = std::move(error);
            return std::nullopt;
        }
        writes.push_back(std::move(write));
    }
    return writes;
}

std::optional<DatabaseValue> decodeValue(std::string_view text)
{
    return decodeValue(text, ExpectedMap());
}

std::optional<DatabaseValue> decodeValue(std::string_view text, const ExpectedMap& expected, std::size_t maxValues)
{
    ValueBuilder builder(&expected, maxValues);
    if (!nlohmann::json::sax_parse(text.begin(), text.end(), &builder))
        return std::nullopt;
    return builder.result;
}

}  // namespace qv
