#include "platform/rtdb/DataSnapshot.h"
#include "platform/rtdb/DatabaseValue.h"
#include "platform/rtdb/ValueJson.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace qv {
namespace {

std::vector<std::string> keysOf(const DatabaseValue& value)
{
    std::vector<std::string> keys;
    for (auto entry : value.children())
        keys.push_back(entry.key);
    return keys;
}

TEST(DatabaseKeyTest, IntegerKeysSortFirstNumericallyThenTheRestByBytes)
{
    std::vector<DatabaseValue::Entry> entries;
    for (const char* key : {"b", "10", "2", "-1", "a", "01", "2147483648", "-2147483648", "B", "-0", "2147483647"})
        entries.emplace_back(key, DatabaseValue(1));
    EXPECT_EQ(keysOf(DatabaseValue::map(entries)),
              (std::vector<std::string>{"-2147483648", "-1", "2", "10", "2147483647", "-0", "01", "2147483648", "B",
                                        "a", "b"}));
}

TEST(DatabaseKeyTest, KeyChecks)
{
    struct Case {
        std::string key;
        bool valid;
    };
    const Case cases[] = {
        {"words", true},          {"-Lx9_aZ", true},      {"caf\xc3\xa9", true},       {std::string(768, 'k'), true},
        {"", false},              {std::string(769, 'k'), false}, {"a.b", false},      {"a#b", false},
        {"a$b", false},           {"a[b", false},         {"a]b", false},             {"a/b", false},
        {"tab\there", false},     {std::string("nul\0x", 5), false}, {"del\x7f", false}, {"bad\xc3", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(keyProblem(c.key).empty(), c.valid) << c.key;
}

TEST(DatabaseValueTest, KindsStayDistinctAndSurviveStorage)
{
    auto value = DatabaseValue::object({{"bool", true}, {"int", 1}, {"double", 1.0}, {"string", "1"},
                                        {"big", std::int64_t{1'500'000'000'000}}, {"neg", -2.5}});
    EXPECT_FALSE(DatabaseValue(true) == DatabaseValue(1));
    EXPECT_FALSE(DatabaseValue(1) == DatabaseValue(1.0));
    auto stored = decodeValue(encodeValue(value));
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, value);
    EXPECT_TRUE(stored->child("bool").isBool());
    EXPECT_TRUE(stored->child("int").isInt());
    EXPECT_TRUE(stored->child("double").isDouble());
    EXPECT_EQ(stored->child("big").toInt(), 1'500'000'000'000);
    EXPECT_EQ(*decodeValue(encodeValue(DatabaseValue("quote \" back\\ \n \x01"))), DatabaseValue("quote \" back\\ \n \x01"));
    EXPECT_FALSE(decodeValue("{\"a\":"));
}

TEST(DatabaseValueTest, EmptyNodesDoNotExist)
{
    EXPECT_TRUE(DatabaseValue::object({}).isNull());
    EXPECT_TRUE(DatabaseValue::object({{"a", DatabaseValue()}}).isNull());
    auto tree = DatabaseValue().withValueAt(DatabasePath::parse("a/b/c"), 1).withValueAt(DatabasePath::parse("a/d"), 2);
    auto pruned = tree.withValueAt(DatabasePath::parse("a/b/c"), DatabaseValue());
    EXPECT_FALSE(pruned.at(DatabasePath::parse("a")).hasChild("b"));
    EXPECT_TRUE(pruned.withValueAt(DatabasePath::parse("a/d"), DatabaseValue()).isNull());
    // Removing a child of a leaf leaves the leaf alone.
    EXPECT_EQ(DatabaseValue(5).withChild("x", DatabaseValue()), DatabaseValue(5));
    // Writing below a leaf replaces it by a map.
    EXPECT_EQ(DatabaseValue(5).withValueAt(DatabasePath::parse("x"), 1), DatabaseValue::object({{"x", 1}}));
}

TEST(DatabaseValueTest, ChangesCopyOnlyThePathAndLeaveEarlierValuesAlone)
{
    std::vector<DatabaseValue::Entry> words;
    for (int i = 0; i < 1000; ++i)
        words.emplace_back("w" + std::to_string(i), DatabaseValue::object({{"name", "x"}, {"start", i}}));
    auto before = DatabaseValue::object({{"words", DatabaseValue::map(words)}, {"speakers", "s"}});
    auto after = before.withValueAt(DatabasePath::parse("words/w500/start"), 7);
    EXPECT_EQ(before.at(DatabasePath::parse("words/w500/start")).toInt(), 500);
    EXPECT_EQ(after.at(DatabasePath::parse("words/w500/start")).toInt(), 7);
    EXPECT_TRUE(before.child("speakers").sameNode(after.child("speakers")));
    EXPECT_TRUE(before.at(DatabasePath::parse("words/w499")).sameNode(after.at(DatabasePath::parse("words/w499"))));
    // Writing an equal value changes nothing, down to the nodes.
    EXPECT_TRUE(before.withValueAt(DatabasePath::parse("words/w1"), DatabaseValue::object({{"start", 1}, {"name", "x"}}))
                    .sameNode(before));
}

TEST(DatabaseValueTest, MapsWithTheSameChildrenAreEqualWhateverTheirHistory)
{
    std::vector<DatabaseValue::Entry> entries;
    for (int i = 0; i < 300; ++i)
        entries.emplace_back(std::to_string(i * 7 % 307) + (i % 3 ? "k" : ""), DatabaseValue(i));
    auto built = DatabaseValue::map(entries);
    std::shuffle(entries.begin(), entries.end(), std::mt19937(7));
    DatabaseValue grown;
    for (const auto& [key, value] : entries)
        grown = grown.withChild(key, value).withChild("extra", 1);
    grown = grown.withChild("extra", DatabaseValue());
    EXPECT_EQ(grown, built);
    EXPECT_EQ(keysOf(grown), keysOf(built));
    EXPECT_EQ(grown.childCount(), 300u);
    EXPECT_FALSE(grown.withChild("0", 99) == built);
}

// Maps are kept in one of two forms by their size; a map that grows or shrinks across the
// boundary, one child at a time, must read and compare as the same map built at once.
TEST(DatabaseValueTest, MapsGrowingAndShrinkingAcrossSizesKeepTheirChildren)
{
    for (int size : {1, 2, 31, 32, 33, 34, 64, 200}) {
        SCOPED_TRACE(size);
        std::vector<DatabaseValue::Entry> entries;
        for (int i = 0; i < size; ++i)
            entries.emplace_back(i % 2 ? std::to_string(size - i) : "key" + std::to_string(i), DatabaseValue(i));
        const DatabaseValue built = DatabaseValue::map(entries);
        DatabaseValue grown;
        for (const auto& [key, value] : entries)
            grown = grown.withChild(key, value);
        EXPECT_EQ(grown, built);
        EXPECT_EQ(keysOf(grown), keysOf(built));
        EXPECT_EQ(built.childCount(), std::size_t(size));
        // Integer keys first, by value, then the rest by bytes.
        const auto keys = keysOf(built);
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end(),
                                   [](const std::string& a, const std::string& b) { return compareKeys(a, b) < 0; }));
        for (const auto& [key, value] : entries)
            EXPECT_EQ(built.child(key), value) << key;

        // One more child past the size, then taken away again: back to the same map.
        const DatabaseValue bigger = built.withChild("zz", "extra");
        EXPECT_EQ(bigger.childCount(), std::size_t(size) + 1);
        EXPECT_EQ(bigger.child("zz"), DatabaseValue("extra"));
        EXPECT_EQ(bigger.withChild("zz", DatabaseValue()), built);
        EXPECT_EQ(built.child("zz"), DatabaseValue());

        // Removing every child, in an order unlike the key order, ends in null; every step
        // holds exactly the children left.
        DatabaseValue shrinking = built;
        std::vector<DatabaseValue::Entry> left = entries;
        std::shuffle(left.begin(), left.end(), std::mt19937(size));
        while (!left.empty()) {
            shrinking = shrinking.withChild(left.back().first, DatabaseValue());
            left.pop_back();
            ASSERT_EQ(shrinking, DatabaseValue::map(left));
            ASSERT_EQ(shrinking.childCount(), left.size());
        }
        EXPECT_TRUE(shrinking.isNull());
    }
}

// Values are shared between versions of a tree and between threads: a copy kept elsewhere
// outlives every change made after it.
TEST(DatabaseValueTest, EarlierVersionsSurviveEveryLaterChange)
{
    std::vector<DatabaseValue::Entry> words;
    for (int i = 0; i < 100; ++i)
        words.emplace_back("w" + std::to_string(i), DatabaseValue::object({{"name", "word " + std::to_string(i)}}));
    DatabaseValue tree = DatabaseValue::object({{"words", DatabaseValue::map(words)}});
    std::vector<DatabaseValue> versions{tree};
    for (int i = 0; i < 100; ++i) {
        tree = tree.withValueAt(DatabasePath::parse("words/w" + std::to_string(i) + "/name"), DatabaseValue());
        versions.push_back(tree);
    }
    EXPECT_TRUE(tree.isNull());
    for (int v = 0; v < 100; ++v) {
        const DatabaseValue& version = versions[std::size_t(v)];
        EXPECT_EQ(version.child("words").childCount(), std::size_t(100 - v));
        EXPECT_EQ(version.at(DatabasePath::parse("words/w99/name")).toString(), "word 99");
    }
}

TEST(DatabaseValueTest, ServerTimestampsResolveEverywhere)
{
    auto value = DatabaseValue::object({{"created", DatabaseValue::serverTimestamp()},
                                        {"inner", DatabaseValue::object({{"at", DatabaseValue::serverTimestamp()}})},
                                        {"name", "n"}});
    EXPECT_TRUE(value.containsServerTimestamp());
    auto resolved = value.resolvingServerTimestamps(1234);
    EXPECT_EQ(resolved, DatabaseValue::object({{"created", 1234}, {"inner", DatabaseValue::object({{"at", 1234}})},
                                               {"name", "n"}}));
    EXPECT_FALSE(resolved.containsServerTimestamp());
}

TEST(DataSnapshotTest, TypedReadingsGiveDefaultsForMissingOrWrongKinds)
{
    DataSnapshot word("w1", DatabaseValue::object({{"name", "Hello"}, {"start", 1500}, {"end", 1700.9},
                                                  {"favorite", true}, {"deleted", 0}, {"status", "1"},
                                                  {"timecode", DatabaseValue::object({{"start", 3600}})}}));
    EXPECT_EQ(word.childString("name"), "Hello");
    EXPECT_EQ(word.childInt("start"), 1500);
    EXPECT_EQ(word.childInt("end"), 1700);
    EXPECT_EQ(word.childInt("favorite"), 1);  // true counts as 1, as "favorite == 1" expects
    EXPECT_FALSE(word.childBool("deleted", true));
    EXPECT_EQ(word.childInt("status", -1), -1);  // a string is not a number
    EXPECT_EQ(word.childString("start", "none"), "none");
    EXPECT_EQ(word.childInt("missing", 42), 42);
    EXPECT_FALSE(word.childBool("missing"));
    EXPECT_EQ(word.childInt("timecode", 5), 5);
    EXPECT_EQ(word.childInt("timecode/start"), 3600);
    EXPECT_TRUE(word.hasChild("timecode/start"));
    EXPECT_FALSE(word.hasChild("timecode/end"));
    EXPECT_EQ(word.child("timecode/start").key(), "start");
    std::vector<std::string> keys;
    for (const DataSnapshot& child : word.children())
        keys.push_back(child.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"deleted", "end", "favorite", "name", "start", "status", "timecode"}));
}

}  // namespace
}  // namespace qv
