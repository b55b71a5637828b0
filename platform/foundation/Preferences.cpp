#include "Preferences.h"

#include "FileUtilities.h"
#include "Log.h"
#include "TextCompare.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace qv {
namespace {

using Json = nlohmann::json;

// On disk every value is an object with one member that names its type:
// {"bool": true}, {"integer": 3}, {"double": 0.5}, {"string": "…"}, {"bytes": "<base64>"},
// {"date": <seconds since 1970>}, {"array": […]}, {"dictionary": {…}}.
// Doubles that JSON cannot hold are written as the strings "nan", "inf" and "-inf".
constexpr int kMaxDepth = 200;  // deeper nesting is treated as a damaged file

std::string utf8(const QString& text)
{
    return text.toStdString();
}

Json encodeDouble(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    return value;
}

std::optional<double> decodeDouble(const Json& json)
{
    if (json.is_number())
        return json.get<double>();
    if (json == "nan")
        return std::numeric_limits<double>::quiet_NaN();
    if (json == "inf")
        return std::numeric_limits<double>::infinity();
    if (json == "-inf")
        return -std::numeric_limits<double>::infinity();
    return std::nullopt;
}

Json encode(const PreferenceValue& value)
{
    switch (value.type()) {
    case PreferenceType::Absent:
        break;
    case PreferenceType::Bool:
        return {{"bool", *value.get<bool>()}};
    case PreferenceType::Integer:
        return {{"integer", *value.get<std::int64_t>()}};
    case PreferenceType::Double:
        return {{"double", encodeDouble(*value.get<double>())}};
    case PreferenceType::String:
        return {{"string", utf8(*value.get<QString>())}};
    case PreferenceType::Bytes:
        return {{"bytes", value.get<QByteArray>()->toBase64().toStdString()}};
    case PreferenceType::Date:
        return {{"date", encodeDouble(value.get<PreferenceDate>()->secondsSince1970)}};
    case PreferenceType::Array: {
        Json items = Json::array();
        for (const auto& item : *value.get<PreferenceArray>())
            items.push_back(encode(item));
        return {{"array", std::move(items)}};
    }
    case PreferenceType::Dictionary: {
        Json members = Json::object();
        for (const auto& [key, item] : *value.get<PreferenceDictionary>())
            members[utf8(key)] = encode(item);
        return {{"dictionary", std::move(members)}};
    }
    }
    return nullptr;
}

const char* const kTags[] = {"bool", "integer", "double", "string", "bytes", "date", "array", "dictionary"};

// Why a value could not be decoded: a type a later version may have written, or damage.
enum class Problem { None, UnknownType, Damaged };

std::optional<PreferenceValue> decode(const Json& json, int depth, Problem& problem);

std::optional<PreferenceDictionary> decodeMembers(const Json& json, int depth, Problem& problem)
{
    if (!json.is_object() || depth > kMaxDepth) {
        problem = Problem::Damaged;
        return std::nullopt;
    }
    PreferenceDictionary members;
    for (const auto& [key, item] : json.items()) {
        auto value = decode(item, depth + 1, problem);
        if (!value)
            return std::nullopt;
        members.emplace(QString::fromStdString(key), std::move(*value));
    }
    return members;
}

std::optional<PreferenceValue> decode(const Json& json, int depth, Problem& problem)
{
    problem = Problem::Damaged;
    if (!json.is_object() || json.size() != 1 || depth > kMaxDepth)
        return std::nullopt;
    auto member = json.begin();
    const std::string& tag = member.key();
    const Json& body = member.value();
    if (std::find(std::begin(kTags), std::end(kTags), tag) == std::end(kTags)) {
        problem = Problem::UnknownType;
        return std::nullopt;
    }
    problem = Problem::None;
    if (tag == "bool" && body.is_boolean())
        return PreferenceValue(body.get<bool>());
    if (tag == "integer" && body.is_number_integer()
        && !(body.is_number_unsigned()
             && body.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max())))
        return PreferenceValue(body.get<std::int64_t>());
    if (tag == "double") {
        if (auto number = decodeDouble(body))
            return PreferenceValue(*number);
    }
    if (tag == "string" && body.is_string())
        return PreferenceValue(QString::fromStdString(body.get<std::string>()));
    if (tag == "bytes" && body.is_string()) {
        auto bytes = QByteArray::fromBase64Encoding(QByteArray::fromStdString(body.get<std::string>()),
                                                    QByteArray::AbortOnBase64DecodingErrors);
        if (bytes)
            return PreferenceValue(*bytes);
    }
    if (tag == "date") {
        if (auto seconds = decodeDouble(body))
            return PreferenceValue(PreferenceDate{*seconds});
    }
    if (tag == "array" && body.is_array()) {
        PreferenceArray items;
        for (const auto& item : body) {
            auto value = decode(item, depth + 1, problem);
            if (!value)
                return std::nullopt;
            items.push_back(std::move(*value));
        }
        return PreferenceValue(std::move(items));
    }
    if (tag == "dictionary") {
        if (auto members = decodeMembers(body, depth + 1, problem))
            return PreferenceValue(std::move(*members));
        return std::nullopt;
    }
    problem = Problem::Damaged;
    return std::nullopt;
}

template <class T>
std::optional<T> valueOfType(const PreferenceValue& value)
{
    if (auto typed = value.get<T>())
        return *typed;
    return std::nullopt;
}

// The file's values, and each value that holds a type this version does not know as the JSON
// text it had; nothing when the file is damaged.
struct ParsedFile {
    PreferenceDictionary values;
    std::map<QString, std::string> unknown;
};

std::optional<ParsedFile> parseFile(const QByteArray& bytes)
{
    Json json = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return std::nullopt;
    ParsedFile parsed;
    for (const auto& [key, item] : json.items()) {
        Problem problem = Problem::None;
        auto value = decode(item, 1, problem);
        if (value)
            parsed.values.emplace(QString::fromStdString(key), std::move(*value));
        else if (problem == Problem::UnknownType)
            parsed.unknown.emplace(QString::fromStdString(key), item.dump());
        else
            return std::nullopt;
    }
    return parsed;
}

}  // namespace

Preferences::Preferences(QString folder) : folder_(std::move(folder))
{
    load();
}

QString Preferences::defaultFolder()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + "/.config";
    return config + "/Quorvantelle";
}

QString Preferences::filePath() const
{
    return folder_ + "/preferences.json";
}

void Preferences::load()
{
    QFile file(filePath());
    if (!file.exists())
        return;
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        // What the file holds is unknown, so nothing may replace it.
        readOnly_ = true;
        logWarning("Preferences: cannot read " + utf8(filePath()) + ": " + utf8(file.errorString())
                   + "; the defaults serve, and changes are not saved so that the file is left as it is");
        return;
    }
    file.close();
    if (auto parsed = parseFile(bytes)) {
        values_ = std::move(parsed->values);
        unknown_ = std::move(parsed->unknown);
        for (const auto& [key, json] : unknown_)
            logWarning("Preferences: the value of " + utf8(key) + " in " + utf8(filePath())
                       + " is of a type this version does not know; it is kept in the file but not used");
        return;
    }
    std::string error;
    auto aside = moveAside(filePath().toStdString(), ".corrupt", error);
    logWarning("Preferences: " + utf8(filePath()) + " cannot be parsed; "
               + (aside ? "moved to " + aside->string() : "could not move it aside: " + error)
               + "; the defaults serve");
}

void Preferences::save() const
{
    if (readOnly_) {
        logWarning("Preferences: not saved, since " + utf8(filePath()) + " could not be read");
        return;
    }
    Json json = Json::object();
    for (const auto& [key, text] : unknown_)
        json[utf8(key)] = Json::parse(text);
    for (const auto& [key, value] : values_)
        json[utf8(key)] = encode(value);
    std::string text = json.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";

    // Written to a temporary file and renamed over the old one, so that a crash leaves either
    // the old file or the new one, never half of one.
    QSaveFile file(filePath());
    if (!QDir().mkpath(folder_) || !file.open(QIODevice::WriteOnly)
        || file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit())
        logWarning("Preferences: cannot write " + utf8(filePath()) + ": "
                   + utf8(file.errorString()));
}

void Preferences::registerDefaults(const PreferenceDictionary& defaults)
{
    for (const auto& [key, value] : defaults)
        defaults_.insert_or_assign(key, value);
}

PreferenceValue Preferences::objectForKey(const QString& key) const
{
    if (auto it = values_.find(key); it != values_.end())
        return it->second;
    if (auto it = defaults_.find(key); it != defaults_.end())
        return it->second;
    return {};
}

void Preferences::setObject(const QString& key, PreferenceValue value)
{
    if (value.isAbsent()) {
        removeObject(key);
        return;
    }
    auto it = values_.find(key);
    if (it != values_.end() && it->second == value)
        return;
    values_.insert_or_assign(key, std::move(value));
    unknown_.erase(key);
    save();
}

void Preferences::removeObject(const QString& key)
{
    bool removed = values_.erase(key) > 0;
    if (unknown_.erase(key) > 0 || removed)
        save();
}

bool Preferences::boolForKey(const QString& key) const
{
    PreferenceValue value = objectForKey(key);
    if (auto b = value.get<bool>())
        return *b;
    if (auto i = value.get<std::int64_t>())
        return *i != 0;
    if (auto d = value.get<double>())
        return *d != 0;
    if (auto s = value.get<QString>()) {
        QString word = s->trimmed();
        if (word.compare("yes", Qt::CaseInsensitive) == 0
            || word.compare("true", Qt::CaseInsensitive) == 0)
            return true;
        return integerValue(*s) != 0;
    }
    return false;
}

std::int64_t Preferences::integerForKey(const QString& key) const
{
    PreferenceValue value = objectForKey(key);
    if (auto i = value.get<std::int64_t>())
        return *i;
    if (auto b = value.get<bool>())
        return *b ? 1 : 0;
    if (auto d = value.get<double>()) {
        if (std::isnan(*d))
            return 0;
        // 2^63 is exactly representable; anything at or beyond it clamps.
        if (*d >= 9223372036854775808.0)
            return std::numeric_limits<std::int64_t>::max();
        if (*d <= -9223372036854775808.0)
            return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(*d);
    }
    if (auto s = value.get<QString>())
        return integerValue(*s);
    return 0;
}

double Preferences::doubleForKey(const QString& key) const
{
    PreferenceValue value = objectForKey(key);
    if (auto d = value.get<double>())
        return *d;
    if (auto i = value.get<std::int64_t>())
        return static_cast<double>(*i);
    if (auto b = value.get<bool>())
        return *b ? 1 : 0;
    if (auto s = value.get<QString>())
        return QLocale::c().toDouble(s->trimmed());
    return 0;
}

std::optional<QString> Preferences::stringForKey(const QString& key) const
{
    PreferenceValue value = objectForKey(key);
    if (auto s = value.get<QString>())
        return *s;
    if (auto i = value.get<std::int64_t>())
        return QString::number(*i);
    if (auto d = value.get<double>())
        return QString::number(*d, 'g', QLocale::FloatingPointShortest);
    if (auto b = value.get<bool>())
        return QString(*b ? "1" : "0");
    return std::nullopt;
}

std::optional<QByteArray> Preferences::dataForKey(const QString& key) const
{
    return valueOfType<QByteArray>(objectForKey(key));
}

std::optional<PreferenceArray> Preferences::arrayForKey(const QString& key) const
{
    return valueOfType<PreferenceArray>(objectForKey(key));
}

std::optional<PreferenceDictionary> Preferences::dictionaryForKey(const QString& key) const
{
    return valueOfType<PreferenceDictionary>(objectForKey(key));
}

}  // namespace qv
