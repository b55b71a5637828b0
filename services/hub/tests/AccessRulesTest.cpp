#include "services/hub/AccessRules.h"

#include <gtest/gtest.h>

namespace qv::hub {
namespace {

const std::string kMe = "Me000000000000000000000000000";
const std::string kOther = "Other0000000000000000000000000";

DatabaseValue tree()
{
    return DatabaseValue::object({
        {"files", DatabaseValue::object({{"MINE", DatabaseValue::object({{"owner", kMe}, {"name", "a"}})},
                                         {"THEIRS", DatabaseValue::object({{"owner", kOther}, {"name", "b"}})},
                                         {"NOOWNER", DatabaseValue::object({{"name", "c"}})}})},
        {"stats", DatabaseValue::object({{"export_count", DatabaseValue::object({{"srt", 4}})}})},
        {"status", "normal"},
        {"users", DatabaseValue::object({{kMe, DatabaseValue::object({{"first_name", "Ada"}, {"mins_bal", 60}})}})},
    });
}

struct Case {
    const char* row;
    std::string path;
    DatabaseValue value;
    bool readable;
    bool writable;
};

// One line per row of the table, each with the cases that row must refuse.
const std::vector<Case>& cases()
{
    static const std::vector<Case> all{
        {"users/$uid", "users/" + kMe + "/first_name", "Ada", true, true},
        {"users/$uid", "users/" + kOther + "/first_name", "Ada", false, false},
        {"users/$uid", "users", DatabaseValue::object({{kMe, "x"}}), false, false},
        // Only the service changes the minutes, whether written alone or with the whole account.
        {"users/$uid/mins_bal", "users/" + kMe + "/mins_bal", 9999, true, false},
        {"users/$uid/mins_bal", "users/" + kMe + "/mins_bal", nullptr, true, false},
        {"users/$uid", "users/" + kMe, DatabaseValue::object({{"first_name", "Ada"}, {"mins_bal", 9999}}), true, false},
        {"users/$uid", "users/" + kMe, DatabaseValue::object({{"first_name", "Ada"}}), true, false},
        {"users/$uid", "users/" + kMe, DatabaseValue::object({{"first_name", "Bo"}, {"mins_bal", 60}}), true, true},
        // Nor does an account mark itself as one that cannot run out.
        {"users/$uid/mins_unlimited", "users/" + kMe + "/mins_unlimited", true, true, false},
        {"users/$uid", "users/" + kMe, DatabaseValue::object({{"first_name", "Ada"}, {"mins_bal", 60}, {"mins_unlimited", true}}),
         true, false},
        {"users_online/$uid", "users_online/" + kMe + "/-Nabc", "Mac App", true, true},
        {"users_online/$uid", "users_online/" + kOther + "/-Nabc", "Mac App", false, false},
        {"debug_character_editing/$uid", "debug_character_editing/" + kMe + "/-Nabc", "trace", true, true},
        {"debug_character_editing/$uid", "debug_character_editing/" + kOther + "/-Nabc", "trace", false, false},
        {"files/$file", "files/MINE/name", "renamed", true, true},
        {"files/$file", "files/THEIRS/name", "renamed", false, false},
        {"files/$file", "files/NOOWNER/name", "renamed", false, false},
        {"files/$file", "files/NEW", DatabaseValue::object({{"owner", kMe}, {"status", 10}}), false, true},
        {"files/$file", "files/NEW", DatabaseValue::object({{"owner", kOther}, {"status", 10}}), false, false},
        {"files/$file", "files/MINE/owner", kOther, true, false},
        {"files/$file", "files/MINE", nullptr, true, true},
        {"transcripts/$file", "transcripts/MINE/words/w1/name", "hello", true, true},
        {"transcripts/$file", "transcripts/THEIRS/words/w1/name", "hello", false, false},
        {"transcripts/$file", "transcripts/NEW", DatabaseValue::object({{"words", "x"}}), false, false},
        {"files_new/$file", "files_new/MINE", true, true, true},
        {"files_new/$file", "files_new/THEIRS", true, false, false},
        {"stats/os_version/$any/$uid", "stats/os_version/6_1_0/" + kMe + "/SYS", "record", true, true},
        {"stats/os_version/$any/$uid", "stats/os_version/6_1_0/" + kOther + "/SYS", "record", false, false},
        {"caption_sentences_users/$uid", "stats/export_count/caption_sentences_users/" + kMe, 1, true, true},
        {"caption_sentences_users/$uid", "stats/export_count/caption_sentences_users/" + kOther, 1, false, false},
        {"caption_sentences_users/$uid", "stats/export_count/caption_sentences_users/" + kMe, 3, true, false},
        // The list of every account's count is nobody's, present or absent.
        {"caption_sentences_users", "stats/export_count/caption_sentences_users", 1, false, false},
        {"caption_sentences_users", "stats/export_count/caption_sentences_users", DatabaseValue::object({{kMe, 1}}),
         false, false},
        {"stats/export_count/$any", "stats/export_count/srt", 5, true, true},
        {"stats/export_count/$any", "stats/export_count/srt", 7, true, false},
        {"stats/export_count/$any", "stats/export_count/srt", "5", true, false},
        {"stats/export_count/$any", "stats/export_count/new_type", 1, true, true},
        {"stats/export_count/$any", "stats/export_count/srt/deeper", 1, false, false},
        {"status", "status", "unavailable", true, false},
        {"mac_unverified_account_message", "mac_unverified_account_message", "text", true, false},
        {"(no row)", "", DatabaseValue::object({{"a", 1}}), false, false},
        {"(no row)", "stats", DatabaseValue::object({{"a", 1}}), false, false},
        {"(no row)", "somewhere/else", 1, false, false},
    };
    return all;
}

TEST(AccessRules, EachRowGrantsItsOwnAndRefusesTheRest)
{
    for (const auto& c : cases()) {
        SCOPED_TRACE(std::string(c.row) + " at \"" + c.path + "\"");
        DatabasePath path = DatabasePath::parse(c.path);
        EXPECT_EQ(readProblem(kMe, path, tree()).empty(), c.readable);
        EXPECT_EQ(writeProblem(kMe, {{path, c.value}}, tree()).empty(), c.writable);
    }
}

TEST(AccessRules, AGroupIsRefusedWholeWhenOneWriteIsRefused)
{
    std::vector<DatabaseWrite> group{{DatabasePath::parse("users/" + kMe + "/x"), 1},
                                     {DatabasePath::parse("users/" + kOther + "/x"), 1}};
    EXPECT_FALSE(writeProblem(kMe, group, tree()).empty());
}

TEST(AccessRules, ANewFilesTranscriptMayBeWrittenWithItsRecord)
{
    std::vector<DatabaseWrite> group{{DatabasePath::parse("files/NEW"), DatabaseValue::object({{"owner", kMe}})},
                                     {DatabasePath::parse("transcripts/NEW/words/w1"), DatabaseValue::object({{"name", "hi"}})}};
    EXPECT_EQ(writeProblem(kMe, group, tree()), "");
}

TEST(AccessRules, NobodyWithoutASignInReachesAnything)
{
    EXPECT_FALSE(readProblem("", DatabasePath::parse("status"), tree()).empty());
    EXPECT_FALSE(writeProblem("", {{DatabasePath::parse("users//x"), 1}}, tree()).empty());
}

}  // namespace
}  // namespace qv::hub
