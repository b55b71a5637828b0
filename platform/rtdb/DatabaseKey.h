// Keys and paths of the realtime database: the key order children enumerate in, and the checks
// every key and path passes before a write or an observer is accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Longest key, in UTF-8 bytes.
inline constexpr std::size_t kMaxKeyBytes = 768;
// Deepest path, in segments, counting the levels inside a written value.
inline constexpr std::size_t kMaxPathDepth = 32;

// The value of a key that reads as a 32-bit integer ("0", "-7", "42"; no leading zeros, no "+",
// no "-0"); such keys sort before every other key, numerically.
std::optional<std::int32_t> integerKey(std::string_view key);

// The database's key order: integer keys first by value, then the rest by byte comparison.
// Returns <0, 0 or >0.
int compareKeys(std::string_view a, std::string_view b);

// An empty string when `key` may name a child, otherwise why not.
std::string keyProblem(std::string_view key);

// True for well-formed UTF-8.
bool isValidUtf8(std::string_view text);

using PathSegments = std::vector<std::string>;

// A slash-separated location. Empty segments are dropped, so "a//b/" is "a/b" and "" the root.
class DatabasePath {
public:
    DatabasePath() = default;
    explicit DatabasePath(PathSegments segments) : segments_(std::move(segments)) {}
    // Splits without checking; see problem().
    static DatabasePath parse(std::string_view text);

    const PathSegments& segments() const { return segments_; }
    std::size_t depth() const { return segments_.size(); }
    bool isRoot() const { return segments_.empty(); }
    // The last segment; empty for the root.
    std::string key() const { return segments_.empty() ? std::string() : segments_.back(); }
    DatabasePath parent() const;
    DatabasePath child(const DatabasePath& relative) const;
    DatabasePath child(std::string key) const;
    // True when `other` is this path or lies below it.
    bool contains(const DatabasePath& other) const;
    // The part of `inner` below this path; `inner` must lie at or below it.
    DatabasePath relative(const DatabasePath& inner) const;
    // Locations under ".info" belong to each client and are read-only.
    bool isInfo() const { return !segments_.empty() && segments_.front() == ".info"; }
    std::string toString() const;

    // Empty when every segment is a valid key (".info" allowed first when `allowInfo`) and the
    // depth is at most kMaxPathDepth; otherwise why not.
    std::string problem(bool allowInfo) const;

    bool operator==(const DatabasePath&) const = default;
    auto operator<=>(const DatabasePath&) const = default;

private:
    PathSegments segments_;
};

}  // namespace qv
