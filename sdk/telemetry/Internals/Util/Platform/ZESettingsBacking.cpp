#include "sdk/telemetry/Internals/Util/Platform/ZESettingsBacking.h"

#include "sdk/telemetry/Internals/Util/Platform/ZECrypto.h"

#include "sdk/telemetry/Internals/Util/Platform/ZEFileIO.h"

#include <sys/stat.h>

namespace ze {

namespace {

constexpr const char* kDateTag = "$date";
constexpr const char* kDataTag = "$data";

ZEJson toJson(const ZESettingValue& value)
{
    return std::visit(
        [](const auto& v) -> ZEJson {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, ZEDate>) {
                return ZEJson{{kDateTag, std::chrono::duration_cast<std::chrono::microseconds>(v.time_since_epoch()).count()}};
            } else if constexpr (std::is_same_v<T, ZEData>) {
                return ZEJson{{kDataTag, crypto::base64Encode(v)}};
            } else {
                return ZEJson(v);
            }
        },
        value);
}

std::optional<ZESettingValue> fromJson(const ZEJson& json)
{
    switch (json.type()) {
    case ZEJson::value_t::boolean:
        return json.get<bool>();
    case ZEJson::value_t::number_integer:
    case ZEJson::value_t::number_unsigned:
        return json.get<std::int64_t>();
    case ZEJson::value_t::number_float:
        return json.get<double>();
    case ZEJson::value_t::string:
        return json.get<std::string>();
    case ZEJson::value_t::object:
        if (json.size() == 1 && json.contains(kDateTag) && json[kDateTag].is_number_integer()) {
            return ZEDate(std::chrono::duration_cast<ZEDate::duration>(std::chrono::microseconds(json[kDateTag].get<std::int64_t>())));
        }
        if (json.size() == 1 && json.contains(kDataTag) && json[kDataTag].is_string()) {
            if (auto bytes = crypto::base64Decode(json[kDataTag].get<std::string>())) {
                return *bytes;
            }
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace

ZEJsonFileSettings::ZEJsonFileSettings(std::filesystem::path file)
    : file_(std::move(file))
{
    if (file_.empty()) {
        return;
    }
    const auto text = ZEReadFile(file_);
    const ZEJson parsed = text ? ZEJson::parse(*text, nullptr, false) : ZEJson();
    if (!parsed.is_object()) {
        return;
    }
    for (const auto& [key, json] : parsed.items()) {
        if (auto value = fromJson(json)) {
            values_.emplace(key, std::move(*value));
        }
    }
}

std::optional<ZESettingValue> ZEJsonFileSettings::objectForKey(const std::string& key) const
{
    std::lock_guard lock(mutex_);
    const auto found = values_.find(key);
    if (found == values_.end()) {
        return std::nullopt;
    }
    return found->second;
}

void ZEJsonFileSettings::setObject(const std::string& key, ZESettingValue value)
{
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
    save();
}

void ZEJsonFileSettings::removeObject(const std::string& key)
{
    std::lock_guard lock(mutex_);
    if (values_.erase(key) > 0) {
        save();
    }
}

std::map<std::string, ZESettingValue> ZEJsonFileSettings::dictionaryRepresentation() const
{
    std::lock_guard lock(mutex_);
    return values_;
}

void ZEJsonFileSettings::save() const
{
    if (file_.empty()) {
        return;
    }
    ZEJson json = ZEJson::object();
    for (const auto& [key, value] : values_) {
        json[key] = toJson(value);
    }
    ZEWriteFileAtomically(file_, json.dump(2, ' ', false, ZEJson::error_handler_t::replace), S_IRUSR | S_IWUSR);
}

} // namespace ze
