#include "ZavEdurov/ZavEdurov/Internals/Util/ZEKeyedArchive.h"

#include "ZavEdurov/ZavEdurov/Internals/Util/ZEUtility.h"
#include "ZavEdurov/ZavEdurov/Internals/Util/Platform/ZEFormat.h"

#include <bit>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <utility>

namespace ze {

namespace {

constexpr const char* kArchiverName = "ZEKeyedArchive";
constexpr int kArchiveVersion = 1;
// Nesting deeper than this is refused rather than followed.
constexpr int kMaxDepth = 64;

// Classes are only ever added, and a map keeps its entries in place: a class found stays valid
// after the lock is let go.
struct ClassLists {
    std::mutex mutex;
    std::map<std::string, ZEArchiveClass, std::less<>> allowed;
    std::map<std::string, ZEArchiveClass, std::less<>> migration;
};

ClassLists& classLists()
{
    static ClassLists* lists = new ClassLists;
    return *lists;
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
    for (const auto& archiveClass : classes) {
        classLists().allowed.emplace(archiveClass.name, archiveClass);
    }
}

void ZEKeyedArchive::addMigrationClasses(const std::map<std::string, ZEArchiveClass>& classes)
{
    std::lock_guard lock(classLists().mutex);
    for (const auto& [name, archiveClass] : classes) {
        classLists().migration[name] = archiveClass;
    }
}

const ZEArchiveClass& ZEKeyedArchive::allowedClass(const ZEJson& node)
{
    const std::string& name = className(node);
    if (name.empty()) {
        throw ZEArchiveError("an archived value names no class");
    }
    std::lock_guard lock(classLists().mutex);
    const auto& lists = classLists();
    const auto mapped = lists.migration.find(name);
    const std::string& resolved = mapped != lists.migration.end() ? mapped->second.name : name;
    if (const auto allowed = lists.allowed.find(resolved); allowed != lists.allowed.end()) {
        return allowed->second;
    }
    throw ZEArchiveError(ZEFormat("value of class '%@' is not allowed (not on the list of allowed classes)", name));
}

// ---- writing

namespace {

// Appends `text` as a JSON string: quotes, backslashes and control characters escaped (control
// characters without a short form as \u00xx), everything else as it stands. Text that is not
// UTF-8 cannot be written as JSON: that is an archiving failure.
void appendQuoted(std::string& out, std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    if (!ZEUtility::isValidUTF8(text)) {
        throw ZEArchiveError("a string to archive is not valid UTF-8");
    }
    out += '"';
    std::size_t plain = 0; // start of the run not yet copied
    const auto flush = [&](std::size_t upTo) { out.append(text.data() + plain, upTo - plain); };
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        flush(i);
        out += '\\';
        switch (c) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '\b': out += 'b'; break;
        case '\f': out += 'f'; break;
        case '\n': out += 'n'; break;
        case '\r': out += 'r'; break;
        case '\t': out += 't'; break;
        default:
            out += "u00";
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
        plain = ++i;
    }
    flush(text.size());
    out += '"';
}

void appendInteger(std::string& out, std::int64_t value)
{
    char digits[24];
    const auto written = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, written.ptr);
}

// {"$class":"<className>","$value":
void openValueNode(std::string& out, std::string_view className)
{
    out += R"({"$class":")";
    out += className;
    out += R"(","$value":)";
}

} // namespace

void ZEKeyedArchive::writeObjectNode(std::string& out, const ZEArchivable& object)
{
    out += R"({"$class":)";
    appendQuoted(out, object.archiveClassName());
    out += R"(,"$fields":{)";
    ZEKeyedArchiver coder(out);
    object.encodeWithCoder(coder);
    out += '}';
    if (!coder.unkeyed_.empty()) {
        out += R"(,"$unkeyed":[)";
        out += coder.unkeyed_;
        out += ']';
    }
    out += '}';
}

void ZEKeyedArchive::writeJsonNode(std::string& out, const ZEJson& value)
{
    switch (value.type()) {
    case ZEJson::value_t::null:
        out += R"({"$class":"NSNull"})";
        return;
    case ZEJson::value_t::string:
        openValueNode(out, "NSString");
        appendQuoted(out, value.get_ref<const std::string&>());
        out += '}';
        return;
    case ZEJson::value_t::boolean:
    case ZEJson::value_t::number_integer:
    case ZEJson::value_t::number_unsigned:
    case ZEJson::value_t::number_float:
        openValueNode(out, "NSNumber");
        out += value.dump();
        out += '}';
        return;
    case ZEJson::value_t::array: {
        out += R"({"$class":"NSArray","$items":[)";
        bool first = true;
        for (const auto& item : value) {
            if (!std::exchange(first, false)) {
                out += ',';
            }
            writeJsonNode(out, item);
        }
        out += "]}";
        return;
    }
    case ZEJson::value_t::object: {
        out += R"({"$class":"NSDictionary","$entries":{)";
        bool first = true;
        for (const auto& [key, item] : value.items()) {
            if (!std::exchange(first, false)) {
                out += ',';
            }
            appendQuoted(out, key);
            out += ':';
            writeJsonNode(out, item);
        }
        out += "}}";
        return;
    }
    default:
        throw ZEArchiveError("a value of this kind cannot be archived");
    }
}

ZEKeyedArchiver::ZEKeyedArchiver()
    : out_(own_)
{
    own_ += '{';
}

ZEKeyedArchiver::ZEKeyedArchiver(std::string& out)
    : out_(out)
{
}

void ZEKeyedArchiver::beginField(const std::string& key)
{
    Field field;
    field.start = out_.size();
    if (!fields_.empty()) {
        out_ += ',';
    }
    field.key = out_.size();
    appendQuoted(out_, key);
    out_ += ':';
    field.value = out_.size();
    fields_.push_back(field);
}

void ZEKeyedArchiver::endField()
{
    Field& field = fields_.back();
    field.end = out_.size();
    const std::string_view text(out_);
    const std::string_view key = text.substr(field.key, field.value - field.key);
    for (std::size_t i = 0; i + 1 < fields_.size(); ++i) {
        Field& earlier = fields_[i];
        if (text.substr(earlier.key, earlier.value - earlier.key) != key) {
            continue;
        }
        // A key written again: the new value takes the earlier one's place.
        const std::string value(text.substr(field.value, field.end - field.value));
        out_.resize(field.start);
        fields_.pop_back();
        const std::ptrdiff_t shift
            = static_cast<std::ptrdiff_t>(value.size()) - static_cast<std::ptrdiff_t>(earlier.end - earlier.value);
        out_.replace(earlier.value, earlier.end - earlier.value, value);
        earlier.end = earlier.value + value.size();
        for (std::size_t k = i + 1; k < fields_.size(); ++k) {
            fields_[k].start += shift;
            fields_[k].key += shift;
            fields_[k].value += shift;
            fields_[k].end += shift;
        }
        return;
    }
}

void ZEKeyedArchiver::encodeObject(const std::string& key, const std::shared_ptr<const ZEArchivable>& object)
{
    if (object) {
        beginField(key);
        ZEKeyedArchive::writeObjectNode(out_, *object);
        endField();
    }
}

void ZEKeyedArchiver::encodeString(const std::string& key, const std::optional<std::string>& value)
{
    if (value) {
        beginField(key);
        openValueNode(out_, "NSString");
        appendQuoted(out_, *value);
        out_ += '}';
        endField();
    }
}

void ZEKeyedArchiver::encodeDate(const std::string& key, const std::optional<ZEDate>& value)
{
    if (value) {
        beginField(key);
        openValueNode(out_, "NSDate");
        appendInteger(out_, std::chrono::duration_cast<std::chrono::nanoseconds>(value->time_since_epoch()).count());
        out_ += '}';
        endField();
    }
}

void ZEKeyedArchiver::encodeUuid(const std::string& key, const std::optional<ZEUuid>& value)
{
    if (value) {
        beginField(key);
        openValueNode(out_, "NSUUID");
        appendQuoted(out_, value->UUIDString());
        out_ += '}';
        endField();
    }
}

void ZEKeyedArchiver::encodeNumber(const std::string& key, const std::optional<std::int64_t>& value)
{
    if (value) {
        beginField(key);
        openValueNode(out_, "NSNumber");
        appendInteger(out_, *value);
        out_ += '}';
        endField();
    }
}

void ZEKeyedArchiver::encodeBool(const std::string& key, bool value)
{
    beginField(key);
    out_ += value ? R"({"$bool":true})" : R"({"$bool":false})";
    endField();
}

void ZEKeyedArchiver::encodeInt64(const std::string& key, std::int64_t value)
{
    beginField(key);
    out_ += R"({"$int64":)";
    appendInteger(out_, value);
    out_ += '}';
    endField();
}

void ZEKeyedArchiver::encodeDouble(const std::string& key, double value)
{
    beginField(key);
    out_ += R"({"$double":")";
    out_ += doubleBits(value);
    out_ += "\"}";
    endField();
}

void ZEKeyedArchiver::encodeStringArray(const std::string& key, const std::optional<std::vector<std::string>>& value)
{
    if (value) {
        encodeJson(key, ZEJson(*value));
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
        encodeJson(key, object);
    }
}

void ZEKeyedArchiver::encodeJson(const std::string& key, const std::optional<ZEJson>& value)
{
    if (value) {
        beginField(key);
        ZEKeyedArchive::writeJsonNode(out_, *value);
        endField();
    }
}

void ZEKeyedArchiver::encodeObjects(const std::string& key, const std::vector<std::shared_ptr<const ZEArchivable>>& objects)
{
    beginField(key);
    out_ += R"({"$class":"NSArray","$items":[)";
    bool first = true;
    for (const auto& object : objects) {
        if (!std::exchange(first, false)) {
            out_ += ',';
        }
        if (object) {
            ZEKeyedArchive::writeObjectNode(out_, *object);
        } else {
            out_ += R"({"$class":"NSNull"})";
        }
    }
    out_ += "]}";
    endField();
}

void ZEKeyedArchiver::encodeUnkeyedJson(const ZEJson& value)
{
    if (!unkeyed_.empty()) {
        unkeyed_ += ',';
    }
    ZEKeyedArchive::writeJsonNode(unkeyed_, value);
}

ZEData ZEKeyedArchiver::finish() const
{
    static const std::string head
        = std::string(R"({"$archiver":")") + kArchiverName + R"(","$version":)" + std::to_string(kArchiveVersion) + R"(,"$top":)";
    ZEData data;
    data.reserve(head.size() + own_.size() + 2);
    data.insert(data.end(), head.begin(), head.end());
    data.insert(data.end(), own_.begin(), own_.end());
    data.push_back('}');
    data.push_back('}');
    return data;
}

// ---- reading

std::shared_ptr<ZEArchivable> ZEKeyedArchive::decodeObjectNode(const ZEJson& node, int depth)
{
    const ZEArchiveClass& archiveClass = allowedClass(node);
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
    const ZEArchiveClass& archiveClass = allowedClass(node);
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
