// What the program benches share: an account whose files hold transcripts as the transcription
// worker writes them, the program launched against the service it starts for itself, and
// waiting on the real event loop.
#pragma once

#include "app/shell/ApplicationShell.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qv::bench {

inline constexpr const char* kEmail = "bench@example.com";
inline constexpr const char* kPassword = "Bench-secret-42";

// A file of the account: `words` words 400 ms apart in `ranges` speaker ranges of three
// speakers in turn, no paragraph mark.
struct TranscriptFile {
    std::string uuid;
    int words = 0;
    int ranges = 1;
    std::string name;
};

// Runs the event loop until `done`; false once `deadlineMs` have passed.
bool waitFor(const std::function<bool()>& done, int deadlineMs = 120'000);

// Runs what is queued on the main queue now, and what that queues in turn.
void settle(Dispatcher& queue);

// The program with its own service, whose data is in `folder`, or against the service at `url`.
struct Launch {
    Launch(QtDispatcher& queue, const QString& folder, const QString& url = {});
    Preferences preferences;
    shell::ApplicationShell shell;
};

// Finishes the launch; true once the service answers.
bool start(Launch& launch);

// Signs up in a program of its own in `folder` and writes `files` with their transcripts.
bool writeAccount(QtDispatcher& queue, const QString& folder, const std::vector<TranscriptFile>& files);

// Signs in and waits for the account's files.
bool signIn(shell::ApplicationShell& shell);

// Opens `file` from the files list of `filesInAccount` files; true once its words are shown.
bool open(shell::ApplicationShell& shell, const TranscriptFile& file, std::size_t filesInAccount);

// A figure of /proc/<pid>/status in MB ("VmHWM:", "VmRSS:"); 0 is this process. -1 if unread.
double statusMegabytes(const char* field, long long pid = 0);

}  // namespace qv::bench
