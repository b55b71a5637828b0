// A value of the realtime database: null, boolean, 64-bit integer, double, string, or a map of
// children. Values are immutable and share their nodes, so copying one, taking a snapshot of a
// big tree or changing one child of it costs no deep copy: a change copies only the path to it.
// A map never is empty and never holds null children: an empty map is null, which removes the node.
// A value is 16 bytes: booleans and numbers live inside it, strings and maps in shared nodes. A
// small map keeps its children side by side in one block; a large one in a balanced tree of
// nodes, so that changing one child of it copies only a few nodes.
#pragma once

#include "platform/rtdb/DatabaseKey.h"

#include <concepts>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv {

namespace rtdb_detail {
struct MapNode;
struct FlatEntry;
}  // namespace rtdb_detail

class DatabaseValue {
public:
    enum class Kind { Null, Bool, Int, Double, String, Map };
    using Entry = std::pair<std::string, DatabaseValue>;

    DatabaseValue() = default;
    DatabaseValue(std::nullptr_t) {}
    DatabaseValue(bool value) : tag_(Tag::Bool) { data_.boolean = value; }
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    DatabaseValue(T value) : tag_(Tag::Int)
    {
        data_.integer = static_cast<std::int64_t>(value);
    }
    DatabaseValue(double value) : tag_(Tag::Double) { data_.number = value; }
    DatabaseValue(std::string value);
    DatabaseValue(std::string_view value) : DatabaseValue(std::string(value)) {}
    DatabaseValue(const char* value) : DatabaseValue(std::string(value)) {}

    DatabaseValue(const DatabaseValue& other) : tag_(other.tag_), data_(other.data_)
    {
        if (holdsNode())
            retain();
    }
    DatabaseValue(DatabaseValue&& other) noexcept : tag_(other.tag_), data_(other.data_) { other.tag_ = Tag::Null; }
    DatabaseValue& operator=(const DatabaseValue& other)
    {
        DatabaseValue copy(other);
        swap(copy);
        return *this;
    }
    DatabaseValue& operator=(DatabaseValue&& other) noexcept
    {
        DatabaseValue taken(std::move(other));
        swap(taken);
        return *this;
    }
    ~DatabaseValue()
    {
        if (holdsNode())
            release();
    }
    void swap(DatabaseValue& other) noexcept
    {
        std::swap(tag_, other.tag_);
        std::swap(data_, other.data_);
    }

    // A map of `entries`; a later entry for the same key wins, null entries are dropped, and
    // no entries left gives null.
    static DatabaseValue map(std::vector<Entry> entries);
    static DatabaseValue object(std::initializer_list<Entry> entries)
    {
        return map(std::vector<Entry>(entries));
    }
    // The placeholder the backend replaces by its time in milliseconds since 1970.
    static DatabaseValue serverTimestamp();
    bool isServerTimestamp() const;
    // True when this value holds a server-timestamp placeholder anywhere.
    bool containsServerTimestamp() const;
    // This value with every placeholder replaced by `milliseconds`.
    DatabaseValue resolvingServerTimestamps(std::int64_t milliseconds) const;

    Kind kind() const;
    bool isNull() const { return tag_ == Tag::Null; }
    bool isBool() const { return kind() == Kind::Bool; }
    bool isInt() const { return kind() == Kind::Int; }
    bool isDouble() const { return kind() == Kind::Double; }
    bool isNumber() const { return isInt() || isDouble(); }
    bool isString() const { return kind() == Kind::String; }
    bool isMap() const { return kind() == Kind::Map; }

    // Readings with a fallback. Numbers and booleans convert among each other the way the
    // platform's number objects did (true reads as 1, any non-zero number as true, a double is
    // truncated); a string, a map or null gives `fallback`.
    std::int64_t toInt(std::int64_t fallback = 0) const;
    double toDouble(double fallback = 0) const;
    bool toBool(bool fallback = false) const;
    // Only a string reads as a string.
    std::string toString(std::string fallback = {}) const;
    // The string held, or nullptr.
    const std::string* stringIfAny() const;

    // Children in key order; a value that is not a map has none.
    std::size_t childCount() const;
    bool hasChild(std::string_view key) const;
    DatabaseValue child(std::string_view key) const;
    DatabaseValue at(const DatabasePath& path) const;
    // The node at a key or slash path below this value, or nullptr; valid while this value lives.
    const DatabaseValue* find(std::string_view path) const;
    // This value with the child `key` replaced; null removes it.
    DatabaseValue withChild(std::string_view key, const DatabaseValue& value) const;
    // This value with the node at `path` replaced. Returns this very value (same nodes) when
    // the node already holds an equal value.
    DatabaseValue withValueAt(const DatabasePath& path, const DatabaseValue& value) const;

    struct ChildRef {
        const std::string& key;
        const DatabaseValue& value;
    };
    class ChildIterator {
    public:
        using value_type = ChildRef;
        using difference_type = std::ptrdiff_t;
        ChildIterator() = default;
        ChildRef operator*() const;
        ChildIterator& operator++();
        ChildIterator operator++(int)
        {
            auto copy = *this;
            ++*this;
            return copy;
        }
        bool operator==(const ChildIterator& other) const
        {
            return entry_ == other.entry_ && stack_ == other.stack_;
        }

    private:
        friend class DatabaseValue;
        void descendLeft(const rtdb_detail::MapNode* node);
        // A small map's children: the current one and the end; null once past the last.
        const rtdb_detail::FlatEntry* entry_ = nullptr;
        const rtdb_detail::FlatEntry* entryEnd_ = nullptr;
        // A large map's: the path to the current node.
        std::vector<const rtdb_detail::MapNode*> stack_;
    };
    struct ChildRange {
        ChildIterator first;
        ChildIterator last;
        ChildIterator begin() const { return first; }
        ChildIterator end() const { return last; }
    };
    // The range walks this value's own nodes: a temporary's would be gone before the loop runs.
    ChildRange children() const&;
    ChildRange children() const&& = delete;

    // Deep equality; kinds must match (1 and 1.0 differ, true and 1 differ).
    bool operator==(const DatabaseValue& other) const;
    // True when both hold the very same node (or the same boolean or number, which need none).
    bool sameNode(const DatabaseValue& other) const;

    // Nesting depth: 0 for a leaf, 1 for a map of leaves...
    std::size_t depth() const;

private:
    // Null, a value held inline, or one of the three kinds of shared node.
    enum class Tag : std::uint8_t { Null, Bool, Int, Double, String, SmallMap, LargeMap };
    bool holdsNode() const { return tag_ >= Tag::String; }
    void retain() const;
    void release();
    friend class DatabaseValueAccess;

    Tag tag_ = Tag::Null;
    union Data {
        bool boolean;
        std::int64_t integer;
        double number;
        const void* node;
    } data_{.integer = 0};
};

// The children of a multi-key update, by key or slash path below the updated location.
using DatabaseUpdate = std::vector<DatabaseValue::Entry>;

// One replacement of the node at `path`; a null value removes it.
struct DatabaseWrite {
    DatabasePath path;
    DatabaseValue value;
};

}  // namespace qv
