// What a read or an observer delivers: the key of a location and its value at that moment.
// Snapshots share the database's immutable nodes, so keeping or copying one is cheap. The typed
// readings never fail: a missing child or one of another kind gives the default.
#pragma once

#include "platform/rtdb/DatabaseValue.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class DataSnapshot {
public:
    DataSnapshot() = default;
    DataSnapshot(std::string key, DatabaseValue value) : key_(std::move(key)), value_(std::move(value)) {}

    // The last segment of the location; empty for the root.
    const std::string& key() const { return key_; }
    const DatabaseValue& value() const { return value_; }
    bool exists() const { return !value_.isNull(); }

    // In a value observer's report after the first: the keys of the only children that may
    // differ from the observer's previous report, so that a large map need not be compared
    // whole. Absent when any part of the value may have changed.
    const std::optional<std::vector<std::string>>& changedChildren() const { return changedChildren_; }
    void setChangedChildren(std::vector<std::string> keys) { changedChildren_ = std::move(keys); }

    // `path` is a key or a slash path below this location.
    bool hasChild(std::string_view path) const
    {
        const DatabaseValue* found = value_.find(path);
        return found && !found->isNull();
    }
    DataSnapshot child(std::string_view path) const;
    std::size_t childrenCount() const { return value_.childCount(); }

    class Iterator {
    public:
        using value_type = DataSnapshot;
        using difference_type = std::ptrdiff_t;
        Iterator() = default;
        explicit Iterator(DatabaseValue::ChildIterator at) : at_(std::move(at)) {}
        DataSnapshot operator*() const
        {
            auto entry = *at_;
            return DataSnapshot(entry.key, entry.value);
        }
        Iterator& operator++()
        {
            ++at_;
            return *this;
        }
        Iterator operator++(int)
        {
            auto copy = *this;
            ++at_;
            return copy;
        }
        bool operator==(const Iterator& other) const { return at_ == other.at_; }

    private:
        DatabaseValue::ChildIterator at_;
    };
    struct Children {
        Iterator first;
        Iterator last;
        Iterator begin() const { return first; }
        Iterator end() const { return last; }
    };
    // The children in the database's key order.
    Children children() const;

    // This location's value read as a number, boolean or string (see DatabaseValue::toInt...).
    std::int64_t intValue(std::int64_t fallback = 0) const { return value_.toInt(fallback); }
    double doubleValue(double fallback = 0) const { return value_.toDouble(fallback); }
    bool boolValue(bool fallback = false) const { return value_.toBool(fallback); }
    std::string stringValue(std::string fallback = {}) const { return value_.toString(std::move(fallback)); }

    // A child's value read the same way: snapshot.childInt("start"), childString("name")...
    std::int64_t childInt(std::string_view path, std::int64_t fallback = 0) const
    {
        const DatabaseValue* found = value_.find(path);
        return found ? found->toInt(fallback) : fallback;
    }
    double childDouble(std::string_view path, double fallback = 0) const
    {
        const DatabaseValue* found = value_.find(path);
        return found ? found->toDouble(fallback) : fallback;
    }
    bool childBool(std::string_view path, bool fallback = false) const
    {
        const DatabaseValue* found = value_.find(path);
        return found ? found->toBool(fallback) : fallback;
    }
    std::string childString(std::string_view path, std::string fallback = {}) const
    {
        const DatabaseValue* found = value_.find(path);
        return found ? found->toString(std::move(fallback)) : fallback;
    }

private:
    std::string key_;
    DatabaseValue value_;
    std::optional<std::vector<std::string>> changedChildren_;
};

}  // namespace qv
