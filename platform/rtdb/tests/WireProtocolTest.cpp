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

// Random bytes, and valid frames with bytes changed, cut, repeated or spliced: the parser must
// answer every one with a frame or an error, and a frame's writes must be a list or nothing.
TEST(WireProtocol, RandomAndMutatedFramesNeverBreakTheParser)
{
    std::mt19937 random(20261209);
    const std::vector<std::string> seeds{
        FrameBuilder("write").id(1).writes("writes", {{DatabasePath::parse("a/b"), DatabaseValue::object({{"c", 1.5}})}}).take(),
        FrameBuilder("cas").id(2).text("path", "stats/x").value("expected", 3).value("value", 4).take(),
        FrameBuilder("listen").id(3).text("path", "files/F1").take(),
        FrameBuilder("auth").text("token", "abc").text("client", "s").take(),
        R"({"op":"write","id":1,"writes":[["a",{"b":[1,2,{"c":null}]}],["d",{".sv":"timestamp"}]]})",
    };
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
