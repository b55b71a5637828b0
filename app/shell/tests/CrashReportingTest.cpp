// The program's crash reporting, from outside: `quorvantelle` runs against an ingestion sink of
// the test's own, dies of a segmentation fault, and its next launch delivers the crash log.
#include "services/hub/tests/HubTestSupport.h"
#include "services/ingestion/IngestionSink.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <signal.h>

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

namespace qv::shell {
namespace {

using namespace std::chrono_literals;

// Seconds a launch may take to reach the awaited state.
constexpr int kLaunchDeadlineSeconds = 30;

bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > kLaunchDeadlineSeconds * 1000)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// Whether the process has a handler of its own for `signal` (the caught-signals mask of its
// status file).
bool catchesSignal(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

class CrashReportingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(sink.start());
        hub::HubServer::Options options;
        options.dataFolder = (home.path() + "/service").toStdString();
        options.hashIterations = 1000;
        service = std::make_unique<hub::testing::RunningService>(options);
    }

    void TearDown() override
    {
        for (QProcess* launch : launches) {
            launch->kill();
            launch->waitForFinished();
            delete launch;
        }
        service.reset();
        sink.stop();
    }

    // Starts the program on the test's home, its service and its sink; its output is kept from
    // the test's own.
    QProcess& launch()
    {
        auto* program = new QProcess;
        launches.push_back(program);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
        environment.insert("XDG_DATA_HOME", home.path() + "/data");
        environment.insert("XDG_CACHE_HOME", home.path() + "/cache");
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program->setProcessEnvironment(environment);
        program->setProcessChannelMode(QProcess::MergedChannels);
        program->setStandardOutputFile(home.path() + QStringLiteral("/launch-%1.log").arg(launches.size()));
        program->start(QStringLiteral(QV_PROGRAM), {"--service", service->url().toString(), "--telemetry",
                                                    QString::fromStdString(sink.baseUrl() + "/")});
        EXPECT_TRUE(program->waitForStarted());
        return *program;
    }

    // Every log of `type` the sink took so far, in the order they arrived.
    std::vector<nlohmann::json> logsOfType(const std::string& type) const
    {
        std::vector<nlohmann::json> found;
        for (const auto& request : sink.requests()) {
            const auto body = nlohmann::json::parse(request.body, nullptr, false);
            if (body.is_object() && body.contains("logs"))
                for (const auto& log : body["logs"])
                    if (log.value("type", "") == type)
                        found.push_back(log);
        }
        return found;
    }

    std::optional<nlohmann::json> crashLog() const
    {
        const auto crashes = logsOfType("appleError");
        return crashes.empty() ? std::nullopt : std::optional(crashes.front());
    }

    QTemporaryDir home;
    qv::services::IngestionSink sink;
    std::unique_ptr<hub::testing::RunningService> service;
    std::vector<QProcess*> launches;
};

// The program is given the sink's address with a trailing slash, as a user may type it: its logs
// still go to the sink's one route (any other is answered 404).
TEST_F(CrashReportingTest, aSegmentationFaultOfTheProgramReachesTheSinkFromItsNextLaunch)
{
    QProcess& crashing = launch();
    // The crash signals are armed together at start-up, the trap signal last.
    ASSERT_TRUE(waitUntil([&] { return catchesSignal(crashing.processId(), SIGTRAP); }))
        << "the program never armed its crash handlers";
    // The launch's session has reached the sink before the crash.
    ASSERT_TRUE(waitUntil([&] { return !logsOfType("startSession").empty(); })) << "the launch sent no session";
    const nlohmann::json crashedSession = logsOfType("startSession").front();
    ::kill(static_cast<pid_t>(crashing.processId()), SIGSEGV);
    ASSERT_TRUE(crashing.waitForFinished(kLaunchDeadlineSeconds * 1000));

    launch();
    ASSERT_TRUE(waitUntil([&] { return crashLog().has_value(); })) << "no crash log reached the sink";
    const nlohmann::json log = *crashLog();
    EXPECT_EQ(log.value("osExceptionType", ""), "SIGSEGV");
    EXPECT_TRUE(log.value("fatal", false));
    EXPECT_EQ(log.value("processName", ""), "quorvantelle");
    // The crash log names the application, not its process, with the version and build the
    // program was built as.
    const auto device = log.value("device", nlohmann::json::object());
    EXPECT_EQ(device.value("appNamespace", ""), "com.harrowfenlake.quorvantelle");
    EXPECT_EQ(device.value("appVersion", ""), QV_VERSION);
    EXPECT_EQ(device.value("appBuild", ""), QV_BUILD);
    // It carries the session of the launch that crashed, and describes the system as the
    // launch's other logs do.
    ASSERT_TRUE(crashedSession.contains("sid"));
    EXPECT_EQ(log.value("sid", nlohmann::json()), crashedSession["sid"]);
    const auto sessionDevice = crashedSession.value("device", nlohmann::json::object());
    EXPECT_EQ(device.value("osVersion", ""), sessionDevice.value("osVersion", "-"));
    EXPECT_EQ(device.value("osBuild", ""), sessionDevice.value("osBuild", "-"));
    for (const auto& request : sink.requests())
        EXPECT_EQ(request.path, "/logs");
}

}  // namespace
}  // namespace qv::shell
