#include "platform/rtdb/WireProtocol.h"

#include "platform/rtdb/ValueJson.h"

#include <gtest/gtest.h>

#include <random>

namespace qv {
namespace {

// Frames arrive from the socket as QStrings: every character, those outside the basic plane
// included, comes through the conversion as the UTF-8 text would, and a broken frame is refused.
TEST(WireProtocol, AFrameReadFromItsQStringIsTheSameAsFromItsText)
{
    for (const char* name : {"plain", "caf\u00e9 na\u00efve", "\u65e5\u672c\u8a9e", "\U0001F600 smile", ""}) {
        const std::string text = FrameBuilder("value").id(3).text("path", "files/F1/name").value("value", name).take();
        std::string error;
        auto fromText = parseFrame(text, error);
        auto fromQString = parseFrame(QString::fromStdString(text), error);
        ASSERT_TRUE(fromText && fromQString) << name << ": " << error;
        EXPECT_EQ(*fromQString, *fromText) << name;
        EXPECT_EQ(fromQString->child("value"), DatabaseValue(name));
    }
    std::string error;
    EXPECT_FALSE(parseFrame(QStringLiteral("{\"op\":\"value\",\"value\":"), error));
    EXPECT_FALSE(error.empty());
}

TEST(WireProtocol, AFrameComesBackAsItWasBuilt)
{
    std::vector<DatabaseWrite> writes{{DatabasePath::parse("users/U1/name"), "Ada \"the\" first\n"},
                                      {DatabasePath::parse("files/F1/ratio"), 0.5},
                                      {DatabasePath::parse("files/F1/deleted"), nullptr},
                                      {DatabasePath::parse("files/F1/count"), std::int64_t{1} << 53},
                                      {DatabasePath::parse("files/F1/flag"), true}};
    std::string text = FrameBuilder("write").id(7).writes("writes", writes).take();
    std::string error;
    auto frame = parseFrame(text, error);
    ASSERT_TRUE(frame) << error;
    EXPECT_EQ(frame->child("op"), DatabaseValue("write"));
    EXPECT_EQ(frame->child("id"), DatabaseValue(7));
    auto back = frameWrites(*frame, "writes");
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), writes.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ((*back)[i].path, writes[i].path);
        EXPECT_EQ((*back)[i].value, writes[i].value);
    }
}

TEST(WireProtocol, FramesThatAreNotFramesAreRefusedWithAReason)
{
    for (std::string text : {std::string(), std::string("{"), std::string("[]"), std::string("{\"op\":1}"),
                             std::string("\"op\""), std::string("{\"id\":1}"), std::string(kMaxFrameBytes + 1, ' ')}) {
        std::string error;
        EXPECT_FALSE(parseFrame(text, error)) << text.substr(0, 20);
        EXPECT_FALSE(error.empty());
    }
}

// A transcript-like tree: a large map of small maps, beside a small one.
DatabaseValue heldTree()
{
    DatabaseValue words;
    for (int i = 0; i < 100; ++i)
        words = words.withChild("w" + std::to_string(1000 + i),
                                DatabaseValue::object({{"name", "word " + std::to_string(i)}, {"start", i * 0.5}, {"order", i}}));
    return DatabaseValue::object({{"words", words}, {"name", "Interview"}, {"speakers", DatabaseValue::object({{"s1", "Ada"}})}});
}

// A document read against a map it may equal is always read as it is; where it equals the map
// child for child, it is that map's very node, and so is each part of it that equals the map's
// part at the same place.
TEST(WireProtocol, ADocumentReadAgainstAnEqualMapTakesItsNodes)
{
    const DatabaseValue held = heldTree();
    const std::string same = encodeValue(held);
    const struct {
        const char* what;
        std::string text;
        bool whole;                     // read as the held map itself
        std::vector<std::string> kept;  // held children read as the held nodes
    } cases[] = {
        {"equal", same, true, {"words", "speakers"}},
        {"a word's name changed", encodeValue(held.withValueAt(DatabasePath::parse("words/w1050/name"), "other")), false,
         {"speakers"}},
        {"a word more", encodeValue(held.withValueAt(DatabasePath::parse("words/w9999/name"), "new")), false, {"speakers"}},
        {"a word less", encodeValue(held.withValueAt(DatabasePath::parse("words/w1000"), nullptr)), false, {"speakers"}},
        {"the last word less", encodeValue(held.withValueAt(DatabasePath::parse("words/w1099"), nullptr)), false,
         {"speakers"}},
        {"a leaf of another kind", encodeValue(held.withChild("name", 7)), false, {"words", "speakers"}},
        {"keys in another order", R"({"speakers":{"s1":"Ada"},"name":"Interview","words":)" + encodeValue(held.child("words")) + "}",
         false, {"words", "speakers"}},
        {"a key repeated", same.substr(0, same.size() - 1) + R"(,"name":"Interview"})", false, {"words", "speakers"}},
        {"a key repeated with a new value", same.substr(0, same.size() - 1) + R"(,"name":"Talk"})", false,
         {"words", "speakers"}},
        {"a null child", same.substr(0, same.size() - 1) + R"(,"zz":null})", false, {"words", "speakers"}},
        {"a map where a string was", R"({"name":{"a":1}})", false, {}},
        {"empty", "{}", false, {}},
        {"a list", R"([{"s1":"Ada"}])", false, {}},
        {"not a map", R"("Interview")", false, {}},
    };
    for (const auto& c : cases) {
        int asked = 0;
        auto read = decodeValue(c.text, [&](const std::vector<EnclosingMap>& enclosing) {
            ++asked;
            return enclosing.empty() ? held : DatabaseValue();
        });
        ASSERT_TRUE(read) << c.what;
        EXPECT_EQ(*read, *decodeValue(c.text)) << c.what;
        EXPECT_EQ(read->sameNode(held), c.whole) << c.what;
        for (const std::string& key : c.kept)
            EXPECT_TRUE(read->child(key).sameNode(held.child(key))) << c.what << ": " << key;
        if (!c.whole && read->hasChild("words") && read->child("words") != held.child("words")) {
            EXPECT_TRUE(read->child("words").child("w1020").sameNode(held.child("words").child("w1020"))) << c.what;
        }
        // Maps inside one that was given a counterpart take theirs from it, without asking.
        EXPECT_LE(asked, 1) << c.what;
    }
}

// Given the tree of the service that sent it, a frame carrying a map at a path (a listened value,
// or the value of a write) is read as the tree's node there when it equals it; the tree is read
// once a frame, and not at all for a frame that carries no such map.
TEST(WireProtocol, AFrameFromAServiceInTheProcessSharesItsTree)
{
    const DatabaseValue tree = DatabaseValue().withValueAt(DatabasePath::parse("files/F1"), heldTree());
    int reads = 0;
    const TreeReader reader = [&] {
        ++reads;
        return tree;
    };
    const DatabaseValue file = tree.at(DatabasePath::parse("files/F1"));
    const DatabaseValue words = file.child("words");
    std::string error;

    auto value = parseFrame(QString::fromStdString(FrameBuilder("value").id(3).text("path", "files/F1").value("value", file).take()),
                            error, reader);
    ASSERT_TRUE(value) << error;
    EXPECT_TRUE(value->child("value").sameNode(file));
    EXPECT_EQ(reads, 1);

    const std::vector<DatabaseWrite> writes{{DatabasePath::parse("files/F1/words"), words},
                                            {DatabasePath::parse("files/F1/name"), "Renamed"},
                                            {DatabasePath::parse("files/F1/speakers"), DatabaseValue::object({{"s1", "Bo"}})},
                                            {DatabasePath::parse("files/F2"), file}};
    reads = 0;
    auto change = parseFrame(FrameBuilder("change").writes("writes", writes).take(), error, reader);
    ASSERT_TRUE(change) << error;
    auto back = frameWrites(*change, "writes");
    ASSERT_TRUE(back && back->size() == writes.size());
    EXPECT_TRUE((*back)[0].value.sameNode(words));
    EXPECT_EQ((*back)[1].value, DatabaseValue("Renamed"));
    EXPECT_EQ((*back)[2].value, writes[2].value);
    EXPECT_FALSE((*back)[2].value.sameNode(file.child("speakers")));
    // Nothing is held at files/F2: the value is read as it came.
    EXPECT_EQ((*back)[3].value, file);
    EXPECT_FALSE((*back)[3].value.sameNode(file));
    EXPECT_EQ(reads, 1);

    reads = 0;
    for (const std::string& text : {FrameBuilder("ack").id(4).take(),
                                    FrameBuilder("change").writes("writes", {{DatabasePath::parse("files/F1/name"), "X"}}).take(),
                                    FrameBuilder("value").id(5).text("path", "files/F1/name").value("value", "Interview").take()})
        EXPECT_TRUE(parseFrame(text, error, reader)) << text;
    EXPECT_EQ(reads, 0);
}

// Random bytes, and valid frames with bytes changed, cut, repeated or spliced: the parser must
// answer every one with a frame or an error, and a frame's writes must be a list or nothing.
// Read against a tree holding the seeds' values, every frame reads the same as without it.
TEST(WireProtocol, RandomAndMutatedFramesNeverBreakTheParser)
{
    std::mt19937 random(20261209);
    const std::vector<std::string> seeds{
        FrameBuilder("write").id(1).writes("writes", {{DatabasePath::parse("a/b"), DatabaseValue::object({{"c", 1.5}})}}).take(),
        FrameBuilder("cas").id(2).text("path", "stats/x").value("expected", 3).value("value", 4).take(),
        FrameBuilder("listen").id(3).text("path", "files/F1").take(),
        FrameBuilder("auth").text("token", "abc").text("client", "s").take(),
        R"({"op":"write","id":1,"writes":[["a",{"b":[1,2,{"c":null}]}],["d",{".sv":"timestamp"}]]})",
        FrameBuilder("value").id(4).text("path", "a").value("value", DatabaseValue::object({{"b", 1}, {"c", "d"}})).take(),
    };
    const DatabaseValue tree = *decodeValue(R"({"a":{"b":{"0":1,"1":2},"c":"d"},"stats":{"x":3},"d":{".sv":"timestamp"}})");
    const TreeReader reader = [&tree] { return tree; };
    const char alphabet[] = "{}[]\",:0123456789.eE+-truefalsn\\u/ op";
    int parsed = 0;
    for (int i = 0; i < 8'000; ++i) {
        std::string text = seeds[random() % seeds.size()];
        switch (random() % 5) {
        case 0:
            text.resize(random() % 64);
            for (char& ch : text)
                ch = static_cast<char>(random() % 256);
            break;
        case 1:
            for (int n = 0, count = 1 + int(random() % 4); n < count && !text.empty(); ++n)
                text[random() % text.size()] = alphabet[random() % (sizeof alphabet - 1)];
            break;
        case 2:
            text.resize(random() % (text.size() + 1));
            break;
        case 3:
            text.insert(random() % (text.size() + 1), seeds[random() % seeds.size()]);
            break;
        default:
            text = std::string(random() % 80, "[{"[random() % 2]) + text;
        }
        std::string error;
        auto frame = parseFrame(text, error);
        if (!frame) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        ++parsed;
        EXPECT_TRUE(frame->child("op").isString());
        auto againstTree = parseFrame(text, error, reader);
        ASSERT_TRUE(againstTree) << text;
        EXPECT_EQ(*againstTree, *frame) << text;
        // Whatever writes a frame yields are ones the database would accept.
        if (auto writes = frameWrites(*frame, "writes")) {
            for (const auto& write : *writes) {
                EXPECT_TRUE(write.path.problem(false).empty()) << text;
            }
        }
    }
    EXPECT_GT(parsed, 50);
}

}  // namespace
}  // namespace qv
