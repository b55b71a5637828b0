#include "sdk/telemetry/Internals/Util/ZEKeyedArchive.h"

#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEFormat.h"

#include <algorithm>
#include <array>
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
// What the text of a whole archive is given to start with.
constexpr std::size_t kArchiveRoom = 4096;

struct ClassLists {
    std::map<std::string, ZEArchiveClass, std::less<>> allowed;
    std::map<std::string, ZEArchiveClass, std::less<>> migration;
    // Every name a node may carry, old names mapped, to its allowed class, laid out for the
    // lookup every node makes: open addressing over a power-of-two table at most half full, found
    // by a hash of a few bytes, so that a lookup costs neither a division nor a walk through
    // scattered nodes. The names are the keys of the two lists above.
    struct Slot {
        std::string_view name;
        const ZEArchiveClass* archiveClass = nullptr;
    };
    // Empty but searchable before anything is indexed.
    std::vector<Slot> slots = std::vector<Slot>(16);

    static std::size_t slotHash(std::string_view name)
    {
        if (name.empty()) {
            return 0;
        }
        const auto byte = [&name](std::size_t at) { return static_cast<std::uint64_t>(static_cast<unsigned char>(name[at])); };
        const std::uint64_t key = name.size() | byte(name.size() - 1) << 8 | byte(name.size() / 2) << 16 | byte(name.size() / 3) << 24;
        return static_cast<std::size_t>((key * 0x9e3779b97f4a7c15) >> 32);
    }

    const ZEArchiveClass* find(std::string_view name) const
    {
        const std::size_t mask = slots.size() - 1;
        for (std::size_t at = slotHash(name) & mask;; at = (at + 1) & mask) {
            const Slot& slot = slots[at];
            if (slot.archiveClass == nullptr || slot.name == name) {
                return slot.archiveClass;
            }
        }
    }

    void index()
    {
        std::map<std::string_view, const ZEArchiveClass*> readable;
        for (const auto& [name, archiveClass] : allowed) {
            readable.emplace(name, &archiveClass);
        }
        // An old name reads as the class it maps to, and as nothing when that is not allowed.
        for (const auto& [name, archiveClass] : migration) {
            const auto current = allowed.find(archiveClass.name);
            if (current != allowed.end()) {
                readable[name] = &current->second;
            } else {
                readable.erase(name);
            }
        }
        slots.assign(std::bit_ceil(std::max<std::size_t>(16, readable.size() * 2)), {});
        const std::size_t mask = slots.size() - 1;
        for (const auto& [name, archiveClass] : readable) {
            std::size_t at = slotHash(name) & mask;
            while (slots[at].archiveClass != nullptr) {
                at = (at + 1) & mask;
            }
            slots[at] = {name, archiveClass};
        }
    }
};

// Classes are only ever added: each addition publishes a new copy of the lists, and a reading
// takes the copy current when it begins, so looking up a node's class needs no lock.
struct ClassRegistry {
    std::mutex mutex;
    std::shared_ptr<const ClassLists> current = std::make_shared<const ClassLists>();
};

ClassRegistry& classRegistry()
{
    static ClassRegistry* registry = new ClassRegistry;
    return *registry;
}

std::shared_ptr<const ClassLists> currentClassLists()
{
    std::lock_guard lock(classRegistry().mutex);
    return classRegistry().current;
}

// Publishes the lists as `change` leaves a copy of the current ones.
void changeClassLists(const std::function<void(ClassLists&)>& change)
{
    ClassRegistry& registry = classRegistry();
    std::lock_guard lock(registry.mutex);
    auto lists = std::make_shared<ClassLists>(*registry.current);
    change(*lists);
    lists->index();
    registry.current = std::move(lists);
}

std::string doubleBits(double value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(value)));
    return text;
}

// The class a `$class` member's value names; empty when it names none.
std::string_view classNamed(const ZEArchiveTree& tree, ZEArchiveTree::Index name)
{
    return name != ZEArchiveTree::kNone && tree.kind(name) == ZEArchiveTree::Kind::String ? tree.text(name) : std::string_view();
}

// The class a node names; empty when it names none.
std::string_view className(const ZEArchiveTree& tree, ZEArchiveTree::Index node)
{
    return classNamed(tree, tree.member(node, "$class"));
}

} // namespace

// ---- class lists

void ZEKeyedArchive::addAllowedClasses(const std::vector<ZEArchiveClass>& classes)
{
    changeClassLists([&classes](ClassLists& lists) {
        for (const auto& archiveClass : classes) {
            lists.allowed.emplace(archiveClass.name, archiveClass);
        }
    });
}

void ZEKeyedArchive::addMigrationClasses(const std::map<std::string, ZEArchiveClass>& classes)
{
    changeClassLists([&classes](ClassLists& lists) {
        for (const auto& [name, archiveClass] : classes) {
            lists.migration[name] = archiveClass;
        }
    });
}

// ---- writing

namespace {

// Bytes a JSON string holds as they stand: printable ASCII other than the quote and backslash.
constexpr std::array<bool, 256> kPlainBytes = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c) {
        plain[static_cast<std::size_t>(c)] = c != '"' && c != '\\';
    }
    return plain;
}();

// Appends `text` as a JSON string: quotes, backslashes and control characters escaped (control
// characters without a short form as \u00xx), everything else as it stands. Text that is not
// UTF-8 cannot be written as JSON: that is an archiving failure. Most text is ASCII, so the UTF-8
// check runs only from the first byte above it, once, over the rest of the text.
void appendQuoted(std::string& out, std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    bool checked = false; // the rest of the text is known to be UTF-8
    std::size_t plain = 0; // start of the run not yet copied
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (kPlainBytes[c]) {
            continue;
        }
        if (c >= 0x80) {
            if (!checked && !ZEUtility::isValidUTF8(text.substr(i))) {
                throw ZEArchiveError("a string to archive is not valid UTF-8");
            }
            checked = true;
            continue;
        }
        out.append(text.data() + plain, i - plain);
        char escape[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xF]};
        std::size_t length = 2;
        switch (c) {
        case '"': escape[1] = '"'; break;
        case '\\': escape[1] = '\\'; break;
        case '\b': escape[1] = 'b'; break;
        case '\f': escape[1] = 'f'; break;
        case '\n': escape[1] = 'n'; break;
        case '\r': escape[1] = 'r'; break;
        case '\t': escape[1] = 't'; break;
        default: length = sizeof escape;
        }
        out.append(escape, length);
        plain = i + 1;
    }
    out.append(text.data() + plain, text.size() - plain);
    out += '"';
}

template <class Integer>
void appendInteger(std::string& out, Integer value)
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

void writeStringNode(std::string& out, std::string_view text)
{
    openValueNode(out, "NSString");
    appendQuoted(out, text);
    out += '}';
}

// An array node whose items `writeItem` writes.
template <class Items, class WriteItem>
void writeArrayNode(std::string& out, const Items& items, WriteItem writeItem)
{
    out += R"({"$class":"NSArray","$items":[)";
    bool first = true;
    for (const auto& item : items) {
        if (!std::exchange(first, false)) {
            out += ',';
        }
        writeItem(item);
    }
    out += "]}";
}

// A dictionary node of the (key, value) pairs `entries`, whose values `writeValue` writes.
template <class Entries, class WriteValue>
void writeDictionaryNode(std::string& out, const Entries& entries, WriteValue writeValue)
{
    out += R"({"$class":"NSDictionary","$entries":{)";
    bool first = true;
    for (const auto& [key, value] : entries) {
        if (!std::exchange(first, false)) {
            out += ',';
        }
        appendQuoted(out, key);
        out += ':';
        writeValue(value);
    }
    out += "}}";
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
        writeStringNode(out, value.get_ref<const std::string&>());
        return;
    case ZEJson::value_t::boolean:
        openValueNode(out, "NSNumber");
        out += value.get<bool>() ? "true}" : "false}";
        return;
    case ZEJson::value_t::number_integer:
        openValueNode(out, "NSNumber");
        appendInteger(out, value.get<std::int64_t>());
        out += '}';
        return;
    case ZEJson::value_t::number_unsigned:
        openValueNode(out, "NSNumber");
        appendInteger(out, value.get<std::uint64_t>());
        out += '}';
        return;
    case ZEJson::value_t::number_float:
        openValueNode(out, "NSNumber");
        out += value.dump();
        out += '}';
        return;
    case ZEJson::value_t::array:
        writeArrayNode(out, value, [&out](const ZEJson& item) { writeJsonNode(out, item); });
        return;
    case ZEJson::value_t::object:
        writeDictionaryNode(out, value.items(), [&out](const ZEJson& item) { writeJsonNode(out, item); });
        return;
    default:
        throw ZEArchiveError("a value of this kind cannot be archived");
    }
}

ZEKeyedArchiver::ZEKeyedArchiver()
    : out_(own_)
{
    fields_.reserve(kFieldRoom);
    // An event's archive runs to a few kilobytes: grown from nothing it would be copied many times.
    own_.reserve(kArchiveRoom);
    own_ += '{';
}

ZEKeyedArchiver::ZEKeyedArchiver(std::string& out)
    : out_(out)
{
    fields_.reserve(kFieldRoom);
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
        writeStringNode(out_, *value);
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
        beginField(key);
        writeArrayNode(out_, *value, [this](const std::string& item) { writeStringNode(out_, item); });
        endField();
    }
}

void ZEKeyedArchiver::encodeStringDictionary(const std::string& key,
    const std::optional<std::map<std::string, std::string>>& value)
{
    if (value) {
        beginField(key);
        writeDictionaryNode(out_, *value, [this](const std::string& item) { writeStringNode(out_, item); });
        endField();
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
    writeArrayNode(out_, objects, [this](const std::shared_ptr<const ZEArchivable>& object) {
        if (object) {
            ZEKeyedArchive::writeObjectNode(out_, *object);
        } else {
            out_ += R"({"$class":"NSNull"})";
        }
    });
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

struct ZEKeyedUnarchiver::Document {
    ZEArchiveTree tree;
    std::shared_ptr<const ClassLists> classes;
};

namespace {

using Kind = ZEArchiveTree::Kind;
constexpr ZEArchiveTree::Index kNone = ZEArchiveTree::kNone;

bool isArrayClass(std::string_view name)
{
    return name == "NSArray" || name == "NSMutableArray";
}

} // namespace

const ZEArchiveClass& ZEKeyedArchive::allowedClass(const ZEKeyedUnarchiver::Document& document, ZEArchiveTree::Index node)
{
    return allowedClass(document, className(document.tree, node));
}

const ZEArchiveClass& ZEKeyedArchive::allowedClass(const ZEKeyedUnarchiver::Document& document, std::string_view name)
{
    if (name.empty()) {
        throw ZEArchiveError("an archived value names no class");
    }
    if (const ZEArchiveClass* archiveClass = document.classes->find(name)) {
        return *archiveClass;
    }
    throw ZEArchiveError(ZEFormat("value of class '%@' is not allowed (not on the list of allowed classes)", name));
}

std::shared_ptr<ZEArchivable> ZEKeyedArchive::decodeObjectNode(const ZEKeyedUnarchiver::Document& document,
    ZEArchiveTree::Index node, int depth)
{
    const auto [name, fields, unkeyed] = document.tree.members<3>(node, {"$class", "$fields", "$unkeyed"});
    const ZEArchiveClass& archiveClass = allowedClass(document, classNamed(document.tree, name));
    if (!archiveClass.make) {
        return nullptr;
    }
    ZEKeyedUnarchiver coder(document, node, fields, unkeyed, depth + 1);
    return archiveClass.make(coder);
}

ZEJson ZEKeyedArchive::decodeJsonNode(const ZEKeyedUnarchiver::Document& document, ZEArchiveTree::Index node, int depth)
{
    if (depth > kMaxDepth) {
        throw ZEArchiveError("the archive nests too deeply");
    }
    const ZEArchiveTree& tree = document.tree;
    const std::string_view name = className(tree, node);
    const ZEArchiveClass& archiveClass = allowedClass(document, name);
    if (archiveClass.make) {
        throw ZEArchiveError(ZEFormat("an object of class '%@' stands where a value was expected", name));
    }
    const auto value = tree.member(node, "$value");
    // A missing value reads as null, which neither a string nor a number accepts.
    const Kind kind = value != kNone ? tree.kind(value) : Kind::Null;
    if (name == "NSNull") {
        return nullptr;
    }
    if (name == "NSString" && kind == Kind::String) {
        return tree.scalar(value);
    }
    if (name == "NSNumber"
        && (kind == Kind::False || kind == Kind::True || kind == Kind::Unsigned || kind == Kind::Signed || kind == Kind::Double)) {
        return tree.scalar(value);
    }
    if (isArrayClass(name)) {
        const auto items = tree.member(node, "$items");
        if (items != kNone && tree.kind(items) == Kind::Array) {
            ZEJson out = ZEJson::array();
            auto item = ZEArchiveTree::first(items);
            for (auto left = tree.size(items); left > 0; --left, item = tree.next(item)) {
                out.push_back(decodeJsonNode(document, item, depth + 1));
            }
            return out;
        }
    }
    if (name == "NSDictionary") {
        const auto entries = tree.member(node, "$entries");
        if (entries != kNone && tree.kind(entries) == Kind::Object) {
            // A key written twice keeps its first place and takes its last value.
            ZEJson out = ZEJson::object();
            auto key = ZEArchiveTree::first(entries);
            for (auto left = tree.size(entries); left > 0; --left, key = tree.next(tree.next(key))) {
                std::string text(tree.text(key));
                if (!out.contains(text)) {
                    const auto last = tree.member(entries, text);
                    out[std::move(text)] = decodeJsonNode(document, last, depth + 1);
                }
            }
            return out;
        }
    }
    throw ZEArchiveError(ZEFormat("a value of class '%@' cannot stand in a property list", name));
}

ZEKeyedUnarchiver::ZEKeyedUnarchiver(const ZEData& archive)
{
    auto document = std::make_shared<Document>();
    ZEArchiveTree& tree = document->tree;
    if (!tree.parse(std::string_view(reinterpret_cast<const char*>(archive.data()), archive.size()))
        || tree.kind(0) != Kind::Object) {
        throw ZEArchiveError("the data is not a keyed archive");
    }
    const auto archiver = tree.member(0, "$archiver");
    const auto version = tree.member(0, "$version");
    const auto top = tree.member(0, "$top");
    const bool knownArchiver = archiver != kNone && tree.kind(archiver) == Kind::String && tree.text(archiver) == kArchiverName;
    // A version is compared as a number: 1.0 is 1.
    const bool knownVersion = version != kNone
        && (tree.isInteger(version) ? tree.integer(version) == kArchiveVersion
                                    : tree.kind(version) == Kind::Double && tree.doubleValue(version) == kArchiveVersion);
    if (!knownArchiver || !knownVersion || top == kNone || tree.kind(top) != Kind::Object) {
        throw ZEArchiveError("the data is not a keyed archive of a known version");
    }
    document->classes = currentClassLists();
    fields_ = top;
    own_ = std::move(document);
    document_ = own_.get();
}

ZEKeyedUnarchiver::ZEKeyedUnarchiver(const Document& document, Index node, Index fields, Index unkeyed, int depth)
    : document_(&document)
    , fields_(fields)
    , depth_(depth)
{
    if (depth > kMaxDepth) {
        throw ZEArchiveError("the archive nests too deeply");
    }
    const ZEArchiveTree& tree = document.tree;
    if (fields_ == kNone || tree.kind(fields_) != Kind::Object) {
        throw ZEArchiveError(ZEFormat("the object of class '%@' has no fields", className(tree, node)));
    }
    fieldCursor_ = tree.cursor(fields_);
    if (unkeyed != kNone) {
        if (tree.kind(unkeyed) != Kind::Array) {
            throw ZEArchiveError("unkeyed values are not a list");
        }
        nextUnkeyed_ = ZEArchiveTree::first(unkeyed);
        unkeyedLeft_ = tree.size(unkeyed);
    }
}

ZEKeyedUnarchiver::Index ZEKeyedUnarchiver::field(const std::string& key)
{
    return document_->tree.member(fields_, key, fieldCursor_);
}

std::shared_ptr<ZEArchivable> ZEKeyedUnarchiver::decodeAnyObject(const std::string& key)
{
    const auto node = field(key);
    return node != kNone ? ZEKeyedArchive::decodeObjectNode(*document_, node, depth_) : nullptr;
}

ZEKeyedUnarchiver::Index ZEKeyedUnarchiver::valueOf(const std::string& key, std::string_view className)
{
    const auto node = field(key);
    if (node == kNone) {
        return kNone;
    }
    const auto [name, value] = document_->tree.members<2>(node, {"$class", "$value"});
    return ZEKeyedArchive::allowedClass(*document_, classNamed(document_->tree, name)).name == className ? value : kNone;
}

ZEKeyedUnarchiver::Index ZEKeyedUnarchiver::primitive(const std::string& key, std::string_view name)
{
    const auto node = field(key);
    return node != kNone ? document_->tree.member(node, name) : kNone;
}

std::optional<std::string> ZEKeyedUnarchiver::decodeString(const std::string& key)
{
    const auto value = valueOf(key, "NSString");
    const ZEArchiveTree& tree = document_->tree;
    return value != kNone && tree.kind(value) == Kind::String ? std::optional(std::string(tree.text(value))) : std::nullopt;
}

std::optional<ZEDate> ZEKeyedUnarchiver::decodeDate(const std::string& key)
{
    const auto value = valueOf(key, "NSDate");
    const ZEArchiveTree& tree = document_->tree;
    if (value == kNone || !tree.isInteger(value)) {
        return std::nullopt;
    }
    return ZEDate(std::chrono::duration_cast<ZEDate::duration>(std::chrono::nanoseconds(tree.integer(value))));
}

std::optional<ZEUuid> ZEKeyedUnarchiver::decodeUuid(const std::string& key)
{
    const auto value = valueOf(key, "NSUUID");
    const ZEArchiveTree& tree = document_->tree;
    return value != kNone && tree.kind(value) == Kind::String ? ZEUuid::fromString(tree.text(value)) : std::nullopt;
}

std::optional<std::int64_t> ZEKeyedUnarchiver::decodeNumber(const std::string& key)
{
    const auto value = valueOf(key, "NSNumber");
    const ZEArchiveTree& tree = document_->tree;
    return value != kNone && tree.isInteger(value) ? std::optional(tree.integer(value)) : std::nullopt;
}

bool ZEKeyedUnarchiver::decodeBool(const std::string& key)
{
    const auto value = primitive(key, "$bool");
    return value != kNone && document_->tree.kind(value) == Kind::True;
}

std::int64_t ZEKeyedUnarchiver::decodeInt64(const std::string& key)
{
    const auto value = primitive(key, "$int64");
    const ZEArchiveTree& tree = document_->tree;
    return value != kNone && tree.isInteger(value) ? tree.integer(value) : 0;
}

double ZEKeyedUnarchiver::decodeDouble(const std::string& key)
{
    const auto value = primitive(key, "$double");
    const ZEArchiveTree& tree = document_->tree;
    if (value == kNone || tree.kind(value) != Kind::String || tree.text(value).size() != 16) {
        return 0;
    }
    std::uint64_t bits = 0;
    for (char c : tree.text(value)) {
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
    const auto node = field(key);
    if (node == kNone) {
        return std::nullopt;
    }
    return ZEKeyedArchive::decodeJsonNode(*document_, node, depth_ + 1);
}

std::optional<std::vector<std::shared_ptr<ZEArchivable>>> ZEKeyedUnarchiver::decodeObjects(const std::string& key)
{
    const auto node = field(key);
    if (node == kNone) {
        return std::nullopt;
    }
    const ZEArchiveTree& tree = document_->tree;
    const std::string& name = ZEKeyedArchive::allowedClass(*document_, node).name;
    const auto items = tree.member(node, "$items");
    if (!isArrayClass(name) || items == kNone || tree.kind(items) != Kind::Array) {
        return std::nullopt;
    }
    std::vector<std::shared_ptr<ZEArchivable>> out;
    out.reserve(tree.size(items));
    auto item = ZEArchiveTree::first(items);
    for (auto left = tree.size(items); left > 0; --left, item = tree.next(item)) {
        out.push_back(ZEKeyedArchive::decodeObjectNode(*document_, item, depth_ + 1));
    }
    return out;
}

std::optional<ZEJson> ZEKeyedUnarchiver::decodeUnkeyedJson()
{
    if (unkeyedLeft_ == 0) {
        return std::nullopt;
    }
    const auto node = nextUnkeyed_;
    nextUnkeyed_ = document_->tree.next(node);
    --unkeyedLeft_;
    return ZEKeyedArchive::decodeJsonNode(*document_, node, depth_ + 1);
}

} // namespace ze
