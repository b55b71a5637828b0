// Events lost when the process that tracked them is killed: in each round a child process tracks
// events from 4 threads with the SDK pointed at a live ingestion sink, writing the name of every
// event whose trackEvent returned without the event being reported failed; it is killed once it
// wrote some thousands. An event counts as lost when it neither reached the sink nor is in the
// child's store afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace bench {

struct KillRoundsResult {
    int rounds = 0;
    long acknowledged = 0;
    long lost = 0;
    long reportedFailed = 0;
};

// Runs `rounds` rounds, each starting `program` as `program --kill-child <home> <sink url> <round>`.
KillRoundsResult runKillRounds(const std::string& program, const std::filesystem::path& home, int rounds);

// The child's side; never returns.
[[noreturn]] void trackUntilKilled(const std::filesystem::path& home, const std::string& sinkUrl, const std::string& round);

} // namespace bench
