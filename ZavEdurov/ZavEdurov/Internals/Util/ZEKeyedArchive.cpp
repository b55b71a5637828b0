#include "ZavEdurov/ZavEdurov/Internals/Util/ZEKeyedArchive.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZEFormat.h"

#include <bit>
#include <cstdio>
#include <mutex>

namespace ze {

namespace {

constexpr const char* kArchiverName = "ZEKeyedArchive";
constexpr int kArchiveVersion = 1;
// Nesting deeper than this is refused rather than followed.
constexpr int kMaxDepth = 64;

struct ClassLists {
    std::mutex mutex;
    std::vector<ZEArchiveClass> allowed;
    std::map<std::string, ZEArchiveClass> migration;
};

ClassLists& classLists()
{
    static ClassLists* lists = new ClassLists;
    return *lists;
}

ZEJson valueNode(const char* className, ZEJson value)
{
    return ZEJson{{"$class", className}, {"$value", std::move(value)}};
}

std::string doubleBits(double value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
    return text;
}

const std::string& className(const ZEJson& node)
{
    static const std::string none;
    if (!node.is_object()) {
        return none;
    }
    const auto found = node.find("$class");
    return found != node.end() && found->is_string() ? found->get_ref<const std::string&>() : none;
}

const ZEJson* member(const ZEJson& node, const char* name)
{
    const auto found = node.find(name);
    return found == node.end() ? nullptr : &*found;
}

} // namespace

// ---- class lists

void ZEKeyedArchive::addAllowedClasses(const std::vector<ZEArchiveClass>& classes)
{
    std::lock_guard lock(classLists().mutex);
    classLists().allowed.insert(classLists().allowed.end(), classes.begin(), classes.end());
}

void ZEKeyedArchive::addMigrationClasses(const std::map<std::string, ZEArchiveClass>& classes)
{
    std::lock_guard lock(classLists().mutex);
    for (const auto& [name, archiveClass] : classes) {
        classLists().migration[name] = archiveClass;
    }
}

ZEArchiveClass ZEKeyedArchive::allowedClass(const ZEJson& node)
{
    const std::string& name = className(node);
    if (name.empty()) {
        throw ZEArchiveError("an archived value names no class");
    }
    std::lock_guard lock(classLists().mutex);
    std::string resolved = name;
    if (const auto mapped = classLists().migration.find(name); mapped != classLists().migration.end()) {
        resolved = mapped->second.name;
    }
    for (const auto& allowed : classLists().allowed) {
        if (allowed.name == resolved) {
            return allowed;
        }
    }
    throw ZEArchiveError(ZEFormat("value of class '%@' is not allowed (not on the list of allowed classes)", name));
}

// ---- writing

ZEJson ZEKeyedArchive::encodeObjectNode(const ZEArchivable& object)
{
    ZEKeyedArchiver coder;
    object.encodeWithCoder(coder);
    ZEJson node{{"$class", object.archiveClassName()}, {"$fields", std::move(coder.fields_)}};
    if (!coder.unkeyed_.empty()) {
        node["$unkeyed"] = std::move(coder.unkeyed_);
    }
    return node;
}

ZEJson ZEKeyedArchive::encodeJsonNode(const ZEJson& value)
{
    switch (value.type()) {
    case ZEJson::value_t::null:
        return ZEJson{{"$class", "NSNull"}};
    case ZEJson::value_t::string:
        return valueNode("NSString", value);
    case ZEJson::value_t::boolean:
    case ZEJson::value_t::number_integer:
    case ZEJson::value_t::number_unsigned:
    case ZEJson::value_t::number_float:
        return valueNode("NSNumber", value);
    case ZEJson::value_t::array: {
        ZEJson items = ZEJson::array();
        for (const auto& item : value) {
            items.push_back(encodeJsonNode(item));
        }
        return ZEJson{{"$class", "NSArray"}, {"$items", std::move(items)}};
    }
    case ZEJson::value_t::object: {
        ZEJson entries = ZEJson::object();
        for (const auto& [key, item] : value.items()) {
            entries[key] = encodeJsonNode(item);
        }
        return ZEJson{{"$class", "NSDictionary"}, {"$entries", std::move(entries)}};
    }
    default:
        throw ZEArchiveError("a value of this kind cannot be archived");
    }
}

void ZEKeyedArchiver::encodeObject(const std::string& key, const std::shared_ptr<const ZEArchivable>& object)
{
    if (object) {
        fields_[key] = ZEKeyedArchive::encodeObjectNode(*object);
    }
}

void ZEKeyedArchiver::encodeString(const std::string& key, const std::optional<std::string>& value)
{
    if (value) {
        fields_[key] = valueNode("NSString", *value);
    }
}

void ZEKeyedArchiver::encodeDate(const std::string& key, const std::optional<ZEDate>& value)
{
    if (value) {
        fields_[key] = valueNode("NSDate",
            std::chrono::duration_cast<std::chrono::nanoseconds>(value->time_since_epoch()).count());
    }
}

void ZEKeyedArchiver::encodeUuid(const std::string& key, const std::optional<ZEUuid>& value)
{
    if (value) {
        fields_[key] = valueNode("NSUUID", value->UUIDString());
    }
}

void ZEKeyedArchiver::encodeNumber(const std::string& key, const std::optional<std::int64_t>& value)
{
    if (value) {
        fields_[key] = valueNode("NSNumber", *value);
    }
}

void ZEKeyedArchiver::encodeBool(const std::string& key, bool value)
{
    fields_[key] = ZEJson{{"$bool", value}};
}

void ZEKeyedArchiver::encodeInt64(const std::string& key, std::int64_t value)
{
    fields_[key] = ZEJson{{"$int64", value}};
}

void ZEKeyedArchiver::encodeDouble(const std::string& key, double value)
{
    fields_[key] = ZEJson{{"$double", doubleBits(value)}};
}

void ZEKeyedArchiver::encodeStringArray(const std::string& key, const std::optional<std::vector<std::string>>& value)
{
    if (value) {
        fields_[key] = ZEKeyedArchive::encodeJsonNode(ZEJson(*value));
    }
}

void ZEKeyedArchiver::encodeStringDictionary(const std::string& key,
    const std::optional<std::map<std::string, std::string>>& value)
{
    if (value) {
        ZEJson object = ZEJson::object();
        for (const auto& [k, v] : *value) {
            object[k] = v;
        }
        fields_[key] = ZEKeyedArchive::encodeJsonNode(object);
    }
}

void ZEKeyedArchiver::encodeJson(const std::string& key, const std::optional<ZEJson>& value)
{
    if (value) {
        fields_[key] = ZEKeyedArchive::encodeJsonNode(*value);
    }
}

void ZEKeyedArchiver::encodeObjects(const std::string& key, const std::vector<std::shared_ptr<const ZEArchivable>>& objects)
{
    ZEJson items = ZEJson::array();
    for (const auto& object : objects) {
        items.push_back(object ? ZEKeyedArchive::encodeObjectNode(*object) : ZEJson{{"$class", "NSNull"}});
    }
    fields_[key] = ZEJson{{"$class", "NSArray"}, {"$items", std::move(items)}};
}

void ZEKeyedArchiver::encodeUnkeyedJson(const ZEJson& value)
{
    unkeyed_.push_back(ZEKeyedArchive::encodeJsonNode(value));
}

ZEData ZEKeyedArchiver::finish() const
{
    // The envelope is written around the fields' text rather than built as a document, which
    // would copy every node once more; the bytes are those of the whole document dumped at once.
    // `head` is the envelope without its closing brace.
    static const std::string head = [] {
        std::string text = ZEJson{{"$archiver", kArchiverName}, {"$version", kArchiveVersion}}.dump();
        text.pop_back();
        return text;
    }();
    // Strings that are not UTF-8 cannot be written as JSON text: that is an archiving failure.
    try {
        const std::string fields = fields_.dump();
        ZEData data;
        data.reserve(head.size() + fields.size() + 8);
        data.insert(data.end(), head.begin(), head.end());
        static constexpr std::string_view top = ",\"$top\":";
        data.insert(data.end(), top.begin(), top.end());
        data.insert(data.end(), fields.begin(), fields.end());
        data.push_back('}');
        return data;
    } catch (const nlohmann::json::exception& error) {
        throw ZEArchiveError(error.what());
    }
}

// ---- reading

std::shared_ptr<ZEArchivable> ZEKeyedArchive::decodeObjectNode(const ZEJson& node, int depth)
{
    const ZEArchiveClass archiveClass = allowedClass(node);
    if (!archiveClass.make) {
        return nullptr;
    }
    ZEKeyedUnarchiver coder(&node, depth + 1);
    return archiveClass.make(coder);
}

ZEJson ZEKeyedArchive::decodeJsonNode(const ZEJson& node, int depth)
{
    if (depth > kMaxDepth) {
        throw ZEArchiveError("the archive nests too deeply");
    }
    const ZEArchiveClass archiveClass = allowedClass(node);
    const std::string& name = className(node);
    if (archiveClass.make) {
        throw ZEArchiveError(ZEFormat("an object of class '%@' stands where a value was expected", name));
    }
    const ZEJson* value = member(node, "$value");
    if (name == "NSNull") {
        return nullptr;
    }
    if (name == "NSString" && value && value->is_string()) {
        return *value;
    }
    if (name == "NSNumber" && value && (value->is_number() || value->is_boolean())) {
        return *value;
    }
    if (name == "NSArray" || name == "NSMutableArray") {
        const ZEJson* items = member(node, "$items");
        if (items && items->is_array()) {
            ZEJson out = ZEJson::array();
            for (const auto& item : *items) {
                out.push_back(decodeJsonNode(item, depth + 1));
            }
            return out;
        }
    }
    if (name == "NSDictionary") {
        const ZEJson* entries = member(node, "$entries");
        if (entries && entries->is_object()) {
            ZEJson out = ZEJson::object();
            for (const auto& [key, item] : entries->items()) {
                out[key] = decodeJsonNode(item, depth + 1);
            }
            return out;
        }
    }
    throw ZEArchiveError(ZEFormat("a value of class '%@' cannot stand in a property list", name));
}

ZEKeyedUnarchiver::ZEKeyedUnarchiver(const ZEData& archive)
{
    document_ = ZEJson::parse(archive.begin(), archive.end(), nullptr, false);
    if (!document_.is_object()) {
        throw ZEArchiveError("the data is not a keyed archive");
    }
    const ZEJson* archiver = member(document_, "$archiver");
    const ZEJson* version = member(document_, "$version");
    const ZEJson* top = member(document_, "$top");
    if (!archiver || *archiver != kArchiverName || !version || *version != kArchiveVersion || !top || !top->is_object()) {
        throw ZEArchiveError("the data is not a keyed archive of a known version");
    }
    fields_ = top;
}

ZEKeyedUnarchiver::ZEKeyedUnarchiver(const ZEJson* node, int depth)
    : depth_(depth)
{
    if (depth > kMaxDepth) {
        throw ZEArchiveError("the archive nests too deeply");
    }
    fields_ = member(*node, "$fields");
    if (!fields_ || !fields_->is_object()) {
        throw ZEArchiveError(ZEFormat("the object of class '%@' has no fields", className(*node)));
    }
    unkeyed_ = member(*node, "$unkeyed");
    if (unkeyed_ && !unkeyed_->is_array()) {
        throw ZEArchiveError("unkeyed values are not a list");
    }
}

const ZEJson* ZEKeyedUnarchiver::field(const std::string& key) const
{
    return member(*fields_, key.c_str());
}

std::shared_ptr<ZEArchivable> ZEKeyedUnarchiver::decodeAnyObject(const std::string& key)
{
    const ZEJson* node = field(key);
    return node ? ZEKeyedArchive::decodeObjectNode(*node, depth_) : nullptr;
}

std::optional<std::string> ZEKeyedUnarchiver::decodeString(const std::string& key)
{
    const ZEJson* node = field(key);
    if (!node || ZEKeyedArchive::allowedClass(*node).name != "NSString") {
        return std::nullopt;
    }
    const ZEJson* value = member(*node, "$value");
    return value && value->is_string() ? std::optional(value->get<std::string>()) : std::nullopt;
}

std::optional<ZEDate> ZEKeyedUnarchiver::decodeDate(const std::string& key)
{
    const ZEJson* node = field(key);
    if (!node || ZEKeyedArchive::allowedClass(*node).name != "NSDate") {
        return std::nullopt;
    }
    const ZEJson* value = member(*node, "$value");
    if (!value || !value->is_number_integer()) {
        return std::nullopt;
    }
    return ZEDate(std::chrono::duration_cast<ZEDate::duration>(std::chrono::nanoseconds(value->get<std::int64_t>())));
}

std::optional<ZEUuid> ZEKeyedUnarchiver::decodeUuid(const std::string& key)
{
    const ZEJson* node = field(key);
    if (!node || ZEKeyedArchive::allowedClass(*node).name != "NSUUID") {
        return std::nullopt;
    }
    const ZEJson* value = member(*node, "$value");
    return value && value->is_string() ? ZEUuid::fromString(value->get<std::string>()) : std::nullopt;
}

std::optional<std::int64_t> ZEKeyedUnarchiver::decodeNumber(const std::string& key)
{
    const ZEJson* node = field(key);
    if (!node || ZEKeyedArchive::allowedClass(*node).name != "NSNumber") {
        return std::nullopt;
    }
    const ZEJson* value = member(*node, "$value");
    return value && value->is_number_integer() ? std::optional(value->get<std::int64_t>()) : std::nullopt;
}

bool ZEKeyedUnarchiver::decodeBool(const std::string& key)
{
    const ZEJson* node = field(key);
    const ZEJson* value = node && node->is_object() ? member(*node, "$bool") : nullptr;
    return value && value->is_boolean() && value->get<bool>();
}

std::int64_t ZEKeyedUnarchiver::decodeInt64(const std::string& key)
{
    const ZEJson* node = field(key);
    const ZEJson* value = node && node->is_object() ? member(*node, "$int64") : nullptr;
    return value && value->is_number_integer() ? value->get<std::int64_t>() : 0;
}

double ZEKeyedUnarchiver::decodeDouble(const std::string& key)
{
    const ZEJson* node = field(key);
    const ZEJson* value = node && node->is_object() ? member(*node, "$double") : nullptr;
    if (!value || !value->is_string() || value->get_ref<const std::string&>().size() != 16) {
        return 0;
    }
    const std::string& text = value->get_ref<const std::string&>();
    std::uint64_t bits = 0;
    for (char c : text) {
        const int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
        if (digit < 0) {
            return 0;
        }
        bits = bits << 4 | static_cast<std::uint64_t>(digit);
    }
    return std::bit_cast<double>(bits);
}

std::optional<std::vector<std::string>> ZEKeyedUnarchiver::decodeStringArray(const std::string& key)
{
    const auto json = decodeJson(key);
    if (!json || !json->is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> out;
    for (const auto& item : *json) {
        if (!item.is_string()) {
            return std::nullopt;
        }
        out.push_back(item.get<std::string>());
    }
    return out;
}

std::optional<std::map<std::string, std::string>> ZEKeyedUnarchiver::decodeStringDictionary(const std::string& key)
{
    const auto json = decodeJson(key);
    if (!json || !json->is_object()) {
        return std::nullopt;
    }
    std::map<std::string, std::string> out;
    for (const auto& [k, item] : json->items()) {
        if (!item.is_string()) {
            return std::nullopt;
        }
        out[k] = item.get<std::string>();
    }
    return out;
}

std::optional<ZEJson> ZEKeyedUnarchiver::decodeJson(const std::string& key)
{
    const ZEJson* node = field(key);
    if (!node) {
        return std::nullopt;
    }
    return ZEKeyedArchive::decodeJsonNode(*node, depth_ + 1);
}

std::optional<std::vector<std::shared_ptr<ZEArchivable>>> ZEKeyedUnarchiver::decodeObjects(const std::string& key)
{
    const ZEJson* node = field(key);
    if (!node) {
        return std::nullopt;
    }
    const std::string& name = ZEKeyedArchive::allowedClass(*node).name;
    const ZEJson* items = member(*node, "$items");
    if ((name != "NSArray" && name != "NSMutableArray") || !items || !items->is_array()) {
        return std::nullopt;
    }
    std::vector<std::shared_ptr<ZEArchivable>> out;
    for (const auto& item : *items) {
        out.push_back(ZEKeyedArchive::decodeObjectNode(item, depth_ + 1));
    }
    return out;
}

std::optional<ZEJson> ZEKeyedUnarchiver::decodeUnkeyedJson()
{
    if (!unkeyed_ || nextUnkeyed_ >= unkeyed_->size()) {
        return std::nullopt;
    }
    return ZEKeyedArchive::decodeJsonNode((*unkeyed_)[nextUnkeyed_++], depth_ + 1);
}

} // namespace ze
