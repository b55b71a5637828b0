#include "platform/rtdb/ValueJson.h"

#include "platform/rtdb/ValueCheck.h"

#include <nlohmann/json.hpp>

#include <charconv>
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

std::optional<DatabaseValue> fromJson(const nlohmann::json& json, std::size_t depth)
{
    if (depth > kMaxStoredDepth)
        return std::nullopt;
    switch (json.type()) {
    case nlohmann::json::value_t::null:
        return DatabaseValue();
    case nlohmann::json::value_t::boolean:
        return DatabaseValue(json.get<bool>());
    case nlohmann::json::value_t::number_integer:
        return DatabaseValue(json.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
        auto value = json.get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(INT64_MAX))
            return DatabaseValue(static_cast<double>(value));
        return DatabaseValue(static_cast<std::int64_t>(value));
    }
    case nlohmann::json::value_t::number_float:
        return DatabaseValue(json.get<double>());
    case nlohmann::json::value_t::string:
        return DatabaseValue(json.get<std::string>());
    case nlohmann::json::value_t::object:
    case nlohmann::json::value_t::array: {
        std::vector<DatabaseValue::Entry> entries;
        entries.reserve(json.size());
        std::size_t index = 0;
        for (auto it = json.begin(); it != json.end(); ++it, ++index) {
            auto child = fromJson(*it, depth + 1);
            if (!child)
                return std::nullopt;
            std::string key = json.is_object() ? it.key() : std::to_string(index);
            entries.emplace_back(std::move(key), std::move(*child));
        }
        return DatabaseValue::map(std::move(entries));
    }
    default:
        return std::nullopt;
    }
}

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

std::optional<std::vector<DatabaseWrite>> writesFromValue(const DatabaseValue& group)
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
        if (checkWrite(write.path, write.value))
            return std::nullopt;
        writes.push_back(std::move(write));
    }
    return writes;
}

std::optional<DatabaseValue> decodeValue(std::string_view text)
{
    nlohmann::json json = nlohmann::json::parse(text.begin(), text.end(), nullptr, false);
    if (json.is_discarded())
        return std::nullopt;
    return fromJson(json, 0);
}

}  // namespace qv
