// A JSON text read into one flat array of nodes, for reading archives back quickly: a container
// is followed by its contents, strings stay in the tree's own copy of the text (escapes resolved
// in place), and nothing is allocated per node. It accepts exactly the texts the JSON document
// parser accepts and types numbers as it does.
#pragma once

#include "sdk/telemetry/Internals/Util/Platform/ZETypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ze {

class ZEArchiveTree {
public:
    using Index = std::uint32_t;
    static constexpr Index kNone = ~Index(0);
    enum class Kind : std::uint8_t { Null, False, True, Unsigned, Signed, Double, String, Array, Object };

    // Reads `text` as the tree's document, whose root is node 0; false when it is not JSON.
    bool parse(std::string_view text);

    Kind kind(Index node) const { return nodes_[node].kind; }
    std::string_view text(Index node) const
    {
        return {text_.data() + nodes_[node].value.text.offset, nodes_[node].value.text.length};
    }
    // The number of an array's items or of an object's members.
    std::uint32_t size(Index node) const { return nodes_[node].value.count; }
    // A container's first item or first member's key.
    static Index first(Index container) { return container + 1; }
    // The node after `node` and everything in it: the next item, or after a member's key its value.
    Index next(Index node) const { return nodes_[node].end; }
    // The value of the last member of an object named `name`; kNone for none or for no object.
    Index member(Index node, std::string_view name) const { return members<1>(node, {name})[0]; }
    // The values of the members `names` of an object, found in one pass, the last of a repeated
    // key winning: kNone for a name absent or for no object.
    template <std::size_t N>
    std::array<Index, N> members(Index node, const std::array<std::string_view, N>& names) const
    {
        std::array<Index, N> values;
        values.fill(kNone);
        if (kind(node) != Kind::Object) {
            return values;
        }
        Index key = first(node);
        for (std::uint32_t left = size(node); left > 0; --left, key = next(next(key))) {
            for (std::size_t i = 0; i < N; ++i) {
                if (text(key) == names[i]) {
                    values[i] = next(key);
                    break;
                }
            }
        }
        return values;
    }
    // What a reader that asks for an object's members one after another keeps between lookups.
    struct MemberCursor {
        bool uniqueKeys = false; // no key repeats: a lookup may stop at the first match
        std::uint64_t keyBits = 0; // one bit for each key, by `keyBit`
        Index next = kNone; // the key after the member last found
    };
    // Prepares lookups in an object. Keys are checked for repeats only in objects of few members,
    // where the check costs less than the lookups it saves.
    MemberCursor cursor(Index object) const;
    // As `member`, for a reader that asks mostly in the order the members were written: in an
    // object without repeated keys the search starts after the member last found and wraps
    // around, and a name whose bit no key set is not looked for at all.
    Index member(Index object, std::string_view name, MemberCursor& cursor) const;
    // A string, number, boolean or null as the document parser would hold it.
    ZEJson scalar(Index node) const;
    double doubleValue(Index node) const { return nodes_[node].value.doubleValue; }
    bool isInteger(Index node) const { return kind(node) == Kind::Unsigned || kind(node) == Kind::Signed; }
    // An integer as a signed 64-bit value (an unsigned one above the range wraps, as a cast would).
    std::int64_t integer(Index node) const
    {
        return kind(node) == Kind::Unsigned ? static_cast<std::int64_t>(nodes_[node].value.unsignedValue)
                                            : nodes_[node].value.signedValue;
    }

private:
    struct Node {
        Kind kind;
        Index end; // the index after this node's contents
        union {
            std::uint64_t unsignedValue;
            std::int64_t signedValue;
            double doubleValue;
            std::uint32_t count;
            struct {
                std::uint32_t offset;
                std::uint32_t length;
            } text;
        } value;
    };
    class Parser;

    bool keyIs(Index key, std::string_view name) const;
    static std::uint64_t keyBit(std::string_view key);

    std::string text_;
    std::vector<Node> nodes_;
};

} // namespace ze
