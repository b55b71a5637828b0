#include "intake/Preflight.h"

#include "model/QVFilePending.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::shared_ptr<QVFilePending>> filesOf(std::initializer_list<std::int64_t> durations)
{
    std::vector<std::shared_ptr<QVFilePending>> files;
    for (std::int64_t duration : durations) {
        files.push_back(std::make_shared<QVFilePending>());
        files.back()->duration = duration;
    }
    return files;
}

TEST(PreflightTest, MinutesAreWholeSecondsRoundedUpToWholeMinutes)
{
    const struct {
        std::int64_t ms;
        std::int64_t minutes;
    } cases[] = {
        {0, 0},         {999, 0},        {1000, 1},       {59'999, 1},      {60'000, 1},
        {60'999, 1},    {61'000, 2},     {3'600'000, 60}, {3'600'999, 60},  {3'601'000, 61},
        // Past 2^24 seconds single precision holds only even numbers of seconds: one second
        // over a whole minute is lost there.
        {16'777'261'000, 279'621},
    };
    for (const auto& c : cases)
        EXPECT_EQ(minutesForDuration(c.ms), c.minutes) << c.ms;
    EXPECT_EQ(totalMinutes(filesOf({59'999, 60'000, 61'000, 999})), 4);
}

TEST(PreflightTest, ABalanceThatCoversTheTotalIsAskedAboutElseRefused)
{
    // Exactly the balance is accepted, with nothing left.
    qv::Alert ask = preflightAlert(1, 10, 10, false, false);
    EXPECT_EQ(ask.messageText, "Transcribe 1 file?");
    EXPECT_EQ(ask.informativeText, "Total duration is 10m so your remaining time will be 0m");
    EXPECT_EQ(ask.buttons, QStringList({"Transcribe", "Cancel"}));
    EXPECT_EQ(ask.style, qv::AlertStyle::Informational);

    qv::Alert refuse = preflightAlert(3, 11, 10, false, false);
    EXPECT_TRUE(preflightRefuses(11, 10));
    EXPECT_EQ(refuse.messageText,
              "Sorry, there isn’t enough available time on your account to transcribe these 3 files.");
    EXPECT_EQ(refuse.informativeText, "Total duration is 11m but you only have 10m available.");
    EXPECT_TRUE(refuse.buttons.isEmpty());
    EXPECT_EQ(refuse.style, qv::AlertStyle::Critical);
    EXPECT_EQ(preflightAlert(1, 11, 10, false, false).messageText,
              "Sorry, there isn’t enough available time on your account to transcribe this file.");

    // Files under a second cost nothing, but a balance below zero takes nothing at all.
    EXPECT_TRUE(preflightRefuses(0, -1));
    EXPECT_FALSE(preflightRefuses(0, 0));
    EXPECT_EQ(preflightAlert(2, 70, 200, false, false).informativeText,
              "Total duration is 1h 10m so your remaining time will be 2h 10m");
    // An account whose minutes do not run out is told so, not shown a figure of a century.
    EXPECT_EQ(preflightAlert(1, 1, 52'560'000, true, false).informativeText,
              "Total duration is 1m so your remaining time will be unlimited");
}

TEST(PreflightTest, ALibraryDropAddsTheNoteAboutSendingClipsBack)
{
    EXPECT_EQ(preflightAlert(2, 2, 10, false, true).messageText, "Transcribe 2 files?");
    EXPECT_TRUE(preflightAlert(2, 2, 10, false, true).informativeText.endsWith("You should choose to replace clips when prompted."));
    EXPECT_TRUE(preflightAlert(1, 1, 10, false, true)
                    .informativeText.endsWith("You should choose to replace the clip when prompted."));
    EXPECT_FALSE(preflightAlert(1, 1, 10, false, false).informativeText.contains("Final Cut Pro X"));
}

}  // namespace
