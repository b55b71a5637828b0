// Values bound to the parameters of a prepared SQLite statement, in parameter order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ze {

class ZEStorageBindableType {
public:
    virtual ~ZEStorageBindableType() = default;
    // Binds at the 1-based `index`; answers SQLite's result code.
    virtual int bindWithStatement(sqlite3_stmt* statement, int index) const = 0;
};

// Text copied by SQLite at bind time; nothing binds NULL.
class ZEStorageTextType final : public ZEStorageBindableType {
public:
    explicit ZEStorageTextType(std::optional<std::string> value)
        : value(std::move(value))
    {
    }
    int bindWithStatement(sqlite3_stmt* statement, int index) const override;
    std::optional<std::string> value;
};

// A signed 64-bit integer; nothing binds 0.
class ZEStorageNumberType final : public ZEStorageBindableType {
public:
    explicit ZEStorageNumberType(std::optional<std::int64_t> value)
        : value(value)
    {
    }
    int bindWithStatement(sqlite3_stmt* statement, int index) const override;
    std::optional<std::int64_t> value;
};

class ZEStorageBindableArray {
public:
    void addString(std::optional<std::string> value);
    void addNumber(std::optional<std::int64_t> value);
    // Binds every value in order; 0, or the first failing code after an Error log.
    int bindAllValuesWithStatement(sqlite3_stmt* statement, sqlite3* db) const;

    std::vector<std::shared_ptr<ZEStorageBindableType>> array;
};

} // namespace ze
