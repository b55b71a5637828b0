#include "Preferences.h"

#include "Log.h"
#include "TextCompare.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSaveFile>

#include <nlohmann/json.hpp>

#include <cmath>
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

std::optional<PreferenceValue> decode(const Json& json, int depth);

std::optional<PreferenceDictionary> decodeMembers(const Json& json, int depth)
{
    if (!json.is_object() || depth > kMaxDepth)
        return std::nullopt;
    PreferenceDictionary members;
    for (const auto& [key, item] : json.items()) {
        auto value = decode(item, depth + 1);
        if (!value)
            return std::nullopt;
        members.emplace(QString::fromStdString(key), std::move(*value));
    }
    return members;
}

std::optional<PreferenceValue> decode(const Json& json, int depth)
{
    if (!json.is_object() || json.size() != 1 || depth > kMaxDepth)
        return std::nullopt;
    auto member = json.begin();
    const std::string& tag = member.key();
    const Json& body = member.value();
    if (tag == "bool" && body.is_boolean())
        return PreferenceValue(body.get<bool>());
    if (tag == "integer" && body.is_number_integer()) {
        if (body.is_number_unsigned()
            && body.get<std::uint64_t>() > std::uint64_t(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return PreferenceValue(body.get<std::int64_t>());
    }
    if (tag == "double") {
        if (auto number = decodeDouble(body))
            return PreferenceValue(*number);
        return std::nullopt;
    }
    if (tag == "string" && body.is_string())
        return PreferenceValue(QString::fromStdString(body.get<std::string>()));
    if (tag == "bytes" && body.is_string()) {
        auto bytes = QByteArray::fromBase64Encoding(QByteArray::fromStdString(body.get<std::string>()),
                                                    QByteArray::AbortOnBase64DecodingErrors);
        if (!bytes)
            return std::nullopt;
        return PreferenceValue(*bytes);
    }
    if (tag == "date") {
        if (auto seconds = decodeDouble(body))
            return PreferenceValue(PreferenceDate{*seconds});
        return std::nullopt;
    }
    if (tag == "array" && body.is_array()) {
        PreferenceArray items;
        for (const auto& item : body) {
            auto value = decode(item, depth + 1);
            if (!value)
                return std::nullopt;
            items.push_back(std::move(*value));
        }
        return PreferenceValue(std::move(items));
    }
    if (tag == "dictionary") {
        if (auto members = decodeMembers(body, depth + 1))
            return PreferenceValue(std::move(*members));
    }
    return std::nullopt;
}

template <class T>
std::optional<T> valueOfType(const PreferenceValue& value)
{
    if (auto typed = value.get<T>())
        return *typed;
    return std::nullopt;
}

std::optional<PreferenceDictionary> parseFile(const QByteArray& bytes)
{
    Json json = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded())
        return std::nullopt;
    return decodeMembers(json, 0);
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
    if (!file.open(QIODevice::ReadOnly)) {
        logWarning("Preferences: cannot read " + utf8(filePath()) + ": "
                   + utf8(file.errorString()));
        return;
    }
    auto parsed = parseFile(file.readAll());
    file.close();
    if (parsed) {
        values_ = std::move(*parsed);
        return;
    }
    QString aside = filePath() + ".corrupt";
    QFile::remove(aside);
    bool moved = QFile::rename(filePath(), aside);
    logWarning("Preferences: " + utf8(filePath()) + " cannot be parsed; "
               + (moved ? "moved to " + utf8(aside) : std::string("could not move it aside"))
               + "; the defaults serve");
}

void Preferences::save() const
{
    Json json = Json::object();
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
    save();
}

void Preferences::removeObject(const QString& key)
{
    if (values_.erase(key))
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
