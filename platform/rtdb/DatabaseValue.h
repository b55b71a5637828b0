// A value of the realtime database: null, boolean, 64-bit integer, double, string, or a map of
// children. Values are immutable and share their nodes, so copying one, taking a snapshot of a
// big tree or changing one child of it costs no deep copy: a change copies only the path to it.
// A map never is empty and never holds null children: an empty map is null, which removes the node.
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
struct ValueNode;
struct MapNode;
}  // namespace rtdb_detail

class DatabaseValue {
public:
    enum class Kind { Null, Bool, Int, Double, String, Map };
    using Entry = std::pair<std::string, DatabaseValue>;

    DatabaseValue() = default;
    DatabaseValue(std::nullptr_t) {}
    DatabaseValue(bool value);
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    DatabaseValue(T value) : DatabaseValue(makeInt(static_cast<std::int64_t>(value)))
    {
    }
    DatabaseValue(double value);
    DatabaseValue(std::string value);
    DatabaseValue(std::string_view value) : DatabaseValue(std::string(value)) {}
    DatabaseValue(const char* value) : DatabaseValue(std::string(value)) {}

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
    bool isNull() const { return node_ == nullptr; }
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
        bool operator==(const ChildIterator& other) const { return stack_ == other.stack_; }

    private:
        friend class DatabaseValue;
        void descendLeft(const rtdb_detail::MapNode* node);
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
    // True when both hold the very same node.
    bool sameNode(const DatabaseValue& other) const { return node_ == other.node_; }

    // Nesting depth: 0 for a leaf, 1 for a map of leaves...
    std::size_t depth() const;

private:
    explicit DatabaseValue(std::shared_ptr<const rtdb_detail::ValueNode> node) : node_(std::move(node)) {}
    static DatabaseValue makeInt(std::int64_t value);
    friend class DatabaseValueAccess;

    std::shared_ptr<const rtdb_detail::ValueNode> node_;
};

// The children of a multi-key update, by key or slash path below the updated location.
using DatabaseUpdate = std::vector<DatabaseValue::Entry>;

// One replacement of the node at `path`; a null value removes it.
struct DatabaseWrite {
    DatabasePath path;
    DatabaseValue value;
};

}  // namespace qv
