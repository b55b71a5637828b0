#include "sdk/bench/telemetry/KillRounds.h"

#include "sdk/analytics/Model/ZEAnalyticsLogs.h"
#include "sdk/analytics/ZEAnalytics.h"
#include "sdk/analytics/ZEAnalyticsCategory.h"
#include "sdk/telemetry/Internals/Storage/ZELogDBStorage.h"
#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"
#include "sdk/telemetry/Internals/Util/ZELogger.h"
#include "sdk/telemetry/Internals/Util/Platform/ZEPlatform.h"
#include "sdk/telemetry/ZEZavEdurov.h"
#include "services/ingestion/IngestionSink.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace bench {

namespace {

constexpr int kTrackingThreads = 4;

// Writes one line whole: lines this short reach the pipe in one piece, whichever thread writes.
void writeLine(const std::string& line)
{
    if (::write(STDOUT_FILENO, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        std::_Exit(1);
    }
}

class FailureRecorder final : public ze::ZEAnalyticsDelegate {
public:
    void didFailSendingEventLog(const std::shared_ptr<ze::ZEEventLog>& event, const std::optional<ze::ZEError>&) override
    {
        std::lock_guard lock(mutex_);
        failed_.insert(event->name.value_or(""));
    }
    bool failed(const std::string& name)
    {
        std::lock_guard lock(mutex_);
        return failed_.count(name) > 0;
    }

private:
    std::mutex mutex_;
    std::set<std::string> failed_;
};

std::set<std::string> eventNamesInSink(const qv::services::IngestionSink& sink)
{
    std::set<std::string> names;
    for (const auto& request : sink.requests()) {
        const auto body = ze::ZEJson::parse(request.body, nullptr, false);
        if (!body.is_object() || !body.contains("logs")) {
            continue;
        }
        for (const auto& log : body["logs"]) {
            if (log.value("type", "") == "event") {
                names.insert(log.value("name", ""));
            }
        }
    }
    return names;
}

// The names of the events stored under `home`, read as the next launch would read them.
std::set<std::string> eventNamesInStore(const std::filesystem::path& home)
{
    ze::ZEPlatform::setHomeOverride(home / "data", home / "config");
    std::set<std::string> names;
    ze::ZELogDBStorage storage;
    for (const char* group : {"Analytics", "Analytics_critical"}) {
        storage.loadLogsWithGroupId(group, UINT64_MAX, {}, [&names](const ze::ZELogArray& logs, const auto&) {
            for (const auto& log : logs) {
                if (const auto event = std::dynamic_pointer_cast<ze::ZEEventLog>(log)) {
                    names.insert(event->name.value_or(""));
                }
            }
        });
    }
    return names;
}

} // namespace

void trackUntilKilled(const std::filesystem::path& home, const std::string& sinkUrl, const std::string& round)
{
    using namespace ze;
    ZEPlatform::setHomeOverride(home / "data", home / "config");
    ZEPlatform::setSettings(std::make_shared<ZEJsonFileSettings>(home / "config" / "settings.json"));
    ZELogger::setCurrentLogLevel(ZELogLevelWarning);
    ZEArchiverUtil::addAllowedZavEdurovModuleClasses();
    ZEAnalyticsCategory::addAllowedAnalyitcsModuleClasses();
    ZEZavEdurov::setLogUrl(sinkUrl);
    ZEZavEdurov::start("0b5c7a3e-4f21-4d8e-9a6b-2c1d3e4f5a6b", {ZEAnalytics::sharedInstance()});
    auto failures = std::make_shared<FailureRecorder>();
    ZEAnalytics::setDelegate(failures);
    const auto track = [&](int first) {
        for (long index = first;; index += kTrackingThreads) {
            const std::string name = "r" + round + "-" + std::to_string(index);
            ZEAnalytics::trackEvent(name, ZEStringMap{{"index", std::to_string(index)}, {"language", "en-US"}});
            writeLine((failures->failed(name) ? "F " : "A ") + name + "\n");
        }
    };
    std::vector<std::thread> others;
    for (int t = 1; t < kTrackingThreads; ++t) {
        others.emplace_back(track, t);
    }
    track(0);
    std::_Exit(0);
}

KillRoundsResult runKillRounds(const std::string& program, const std::filesystem::path& home, int rounds)
{
    KillRoundsResult result;
    qv::services::IngestionSink sink;
    if (!sink.start()) {
        std::fprintf(stderr, "kill rounds: the sink could not start\n");
        return result;
    }
    for (int round = 0; round < rounds; ++round) {
        const auto childHome = home / ("kill-round-" + std::to_string(round));
        int out[2];
        if (::pipe(out) != 0) {
            break;
        }
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            const std::string roundText = std::to_string(round);
            ::execl(program.c_str(), program.c_str(), "--kill-child", childHome.c_str(), sink.baseUrl().c_str(),
                roundText.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        // Killed at a different point of its work each round.
        const long killAfter = 2000 + (round * 7919) % 3000;
        FILE* lines = ::fdopen(out[0], "r");
        std::set<std::string> acknowledged;
        char mark = 0;
        char name[64];
        long seen = 0;
        bool killed = false;
        while (std::fscanf(lines, " %c %63s", &mark, name) == 2) {
            if (mark == 'A') {
                acknowledged.insert(name);
            } else {
                ++result.reportedFailed;
            }
            if (++seen >= killAfter && !killed) {
                ::kill(child, SIGKILL);
                killed = true;
            }
        }
        std::fclose(lines);
        int status = 0;
        ::waitpid(child, &status, 0);
        const auto sent = eventNamesInSink(sink);
        const auto stored = eventNamesInStore(childHome);
        for (const auto& event : acknowledged) {
            if (sent.count(event) == 0 && stored.count(event) == 0) {
                ++result.lost;
            }
        }
        result.acknowledged += static_cast<long>(acknowledged.size());
        ++result.rounds;
    }
    ze::ZEPlatform::setHomeOverride(home / "data", home / "config");
    return result;
}

} // namespace bench
