// The SDK's keyed archive: objects write their fields under keys, and reading back admits only
// the classes on a process-wide allowed list (old class names may map to current classes).
// An archive is UTF-8 JSON text; every object and value in it is tagged with its class:
//   {"$archiver":"ZEKeyedArchive","$version":1,"$top":{"root":<node>}}
//   object node {"$class":"ZEDevice","$fields":{key: node or primitive},"$unkeyed":[node]}
//   value nodes NSString, NSNumber, NSNull, NSDate (nanoseconds since 1970), NSUUID, NSArray,
//   NSMutableArray, NSDictionary; primitives {"$bool":b}, {"$int64":n}, {"$double":"<bits hex>"}.
#pragma once

#include "sdk/telemetry/Internals/Util/ZEArchiveTree.h"
#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEUuid.h"

#include <functional>
#include <map>
#include <memory>
#include <memory_resource>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ze {

class ZEKeyedArchiver;
class ZEKeyedUnarchiver;

// An object that can be written into a keyed archive. Each concrete class also offers
// `static constexpr const char* kClassName` and `void initWithCoder(ZEKeyedUnarchiver&)`.
class ZEArchivable {
public:
    virtual ~ZEArchivable() = default;
    virtual std::string archiveClassName() const = 0;
    virtual void encodeWithCoder(ZEKeyedArchiver& coder) const = 0;
};

// A class that reading may admit: its archived name and, for object classes, how to make one.
struct ZEArchiveClass {
    std::string name;
    std::function<std::shared_ptr<ZEArchivable>(ZEKeyedUnarchiver&)> make;

    template <class T>
    static ZEArchiveClass of()
    {
        return {T::kClassName, [](ZEKeyedUnarchiver& coder) -> std::shared_ptr<ZEArchivable> {
                    auto object = std::make_shared<T>();
                    object->initWithCoder(coder);
                    return object;
                }};
    }
    // A plain value class (NSString, NSNumber, NSNull, NSDate, NSUUID, NSArray, NSMutableArray, NSDictionary).
    static ZEArchiveClass value(std::string name) { return {std::move(name), {}}; }
};

// Raised inside reading and writing; ZEUtility turns it into a logged failure.
class ZEArchiveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the archive text as it goes, with no document built in between: the text is what the
// whole document would be dumped as, compact, fields in the order first written (a field written
// again keeps its place and takes the new value).
class ZEKeyedArchiver {
public:
    ZEKeyedArchiver();
    ZEKeyedArchiver(const ZEKeyedArchiver&) = delete;
    ZEKeyedArchiver& operator=(const ZEKeyedArchiver&) = delete;

    void encodeObject(const std::string& key, const std::shared_ptr<const ZEArchivable>& object);
    void encodeString(const std::string& key, const std::optional<std::string>& value);
    void encodeDate(const std::string& key, const std::optional<ZEDate>& value);
    void encodeUuid(const std::string& key, const std::optional<ZEUuid>& value);
    void encodeNumber(const std::string& key, const std::optional<std::int64_t>& value);
    void encodeBool(const std::string& key, bool value);
    void encodeInt64(const std::string& key, std::int64_t value);
    void encodeDouble(const std::string& key, double value);
    void encodeStringArray(const std::string& key, const std::optional<std::vector<std::string>>& value);
    void encodeStringDictionary(const std::string& key, const std::optional<std::map<std::string, std::string>>& value);
    // A JSON value written as property-list objects (strings, numbers, null, arrays, dictionaries).
    void encodeJson(const std::string& key, const std::optional<ZEJson>& value);
    void encodeObjects(const std::string& key, const std::vector<std::shared_ptr<const ZEArchivable>>& objects);
    template <class T>
    void encodeObjectArray(const std::string& key, const std::vector<std::shared_ptr<T>>& objects)
    {
        encodeObjects(key, std::vector<std::shared_ptr<const ZEArchivable>>(objects.begin(), objects.end()));
    }
    // Appends an unkeyed value (read back in order by `decodeUnkeyedJson`).
    void encodeUnkeyedJson(const ZEJson& value);

    // The archive text of a whole archive whose top level this archiver wrote.
    ZEData finish() const;

private:
    friend class ZEKeyedArchive;
    // Where a field's key and value stand in the text.
    struct Field {
        std::size_t start = 0; // its separator, if any, or its key
        std::size_t key = 0;
        std::size_t value = 0;
        std::size_t end = 0;
    };
    // An archiver of an object's fields, written to `out` after the object's opening brace.
    explicit ZEKeyedArchiver(std::string& out);
    // Writes the separator and the key; the caller then writes the value and calls `endField`.
    void beginField(const std::string& key);
    void endField();

    std::string own_;
    std::string& out_;
    // Room for the fields of any usual object, so that writing one allocates nothing for them;
    // an object with more spills over to the heap.
    static constexpr std::size_t kFieldRoom = 32;
    alignas(Field) std::byte fieldRoom_[kFieldRoom * sizeof(Field)];
    std::pmr::monotonic_buffer_resource fieldMemory_{fieldRoom_, sizeof fieldRoom_};
    std::pmr::vector<Field> fields_{&fieldMemory_};
    std::string unkeyed_; // the unkeyed nodes, comma-separated
};

class ZEKeyedUnarchiver {
public:
    // Reads an archive produced by `ZEKeyedArchiver::finish`; throws ZEArchiveError when it is none.
    explicit ZEKeyedUnarchiver(const ZEData& archive);

    template <class T>
    std::shared_ptr<T> decodeObject(const std::string& key)
    {
        return std::dynamic_pointer_cast<T>(decodeAnyObject(key));
    }
    std::shared_ptr<ZEArchivable> decodeAnyObject(const std::string& key);
    std::optional<std::string> decodeString(const std::string& key);
    std::optional<ZEDate> decodeDate(const std::string& key);
    std::optional<ZEUuid> decodeUuid(const std::string& key);
    std::optional<std::int64_t> decodeNumber(const std::string& key);
    bool decodeBool(const std::string& key);
    std::int64_t decodeInt64(const std::string& key);
    double decodeDouble(const std::string& key);
    std::optional<std::vector<std::string>> decodeStringArray(const std::string& key);
    std::optional<std::map<std::string, std::string>> decodeStringDictionary(const std::string& key);
    std::optional<ZEJson> decodeJson(const std::string& key);
    // Every element must be a T; nothing when the key is absent or an element is not.
    template <class T>
    std::optional<std::vector<std::shared_ptr<T>>> decodeObjectArray(const std::string& key)
    {
        auto objects = decodeObjects(key);
        if (!objects) {
            return std::nullopt;
        }
        std::vector<std::shared_ptr<T>> typed;
        for (const auto& object : *objects) {
            auto cast = std::dynamic_pointer_cast<T>(object);
            if (!cast) {
                return std::nullopt;
            }
            typed.push_back(std::move(cast));
        }
        return typed;
    }
    std::optional<std::vector<std::shared_ptr<ZEArchivable>>> decodeObjects(const std::string& key);
    std::optional<ZEJson> decodeUnkeyedJson();

private:
    using Index = ZEArchiveTree::Index;
    // The archive read into a tree, and the class lists as they stood when reading began.
    struct Document;
    // The unarchiver of the object `node`, whose `$fields` and `$unkeyed` members are given.
    ZEKeyedUnarchiver(const Document& document, Index node, Index fields, Index unkeyed, int depth);
    Index field(const std::string& key);
    // The `$value` of the field `key` when it is a value of class `className`; kNone otherwise.
    Index valueOf(const std::string& key, std::string_view className);
    // The member `name` of the primitive field `key`; kNone when there is none.
    Index primitive(const std::string& key, std::string_view name);

    std::shared_ptr<const Document> own_; // set in the unarchiver of the whole archive
    const Document* document_ = nullptr;
    Index fields_ = ZEArchiveTree::kNone;
    ZEArchiveTree::MemberCursor fieldCursor_;
    Index nextUnkeyed_ = ZEArchiveTree::kNone;
    std::uint32_t unkeyedLeft_ = 0;
    int depth_ = 0;

    friend class ZEKeyedArchive;
};

// The process-wide class lists and the node codec shared by archiver and unarchiver.
class ZEKeyedArchive {
public:
    static void addAllowedClasses(const std::vector<ZEArchiveClass>& classes);
    static void addMigrationClasses(const std::map<std::string, ZEArchiveClass>& classes);

private:
    friend class ZEKeyedArchiver;
    friend class ZEKeyedUnarchiver;
    static void writeObjectNode(std::string& out, const ZEArchivable& object);
    static void writeJsonNode(std::string& out, const ZEJson& value);
    // The class a node names, after mapping old names, if it is allowed; throws otherwise.
    static const ZEArchiveClass& allowedClass(const ZEKeyedUnarchiver::Document& document, ZEArchiveTree::Index node);
    static const ZEArchiveClass& allowedClass(const ZEKeyedUnarchiver::Document& document, std::string_view name);
    static std::shared_ptr<ZEArchivable> decodeObjectNode(const ZEKeyedUnarchiver::Document& document,
        ZEArchiveTree::Index node, int depth);
    static ZEJson decodeJsonNode(const ZEKeyedUnarchiver::Document& document, ZEArchiveTree::Index node, int depth);
};

} // namespace ze
