// The service and its clients as separate processes: the service program killed with SIGKILL
// and started again, clients killed with SIGKILL, and many clients at once.
#include "HubTestSupport.h"

#include <QProcess>

#include <csignal>
#include <set>

namespace qv::hub::testing {
namespace {

// A child process whose standard output is read line by line.
class Child {
public:
    Child(const QString& program, const QStringList& arguments)
    {
        process_.setProgram(program);
        process_.setArguments(arguments);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        EXPECT_TRUE(process_.waitForStarted(int(kDeadline * 1000)));
    }
    ~Child()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(int(kDeadline * 1000));
        }
    }
    // The next line that starts with `prefix`; empty after the deadline or when the child ends.
    std::string waitForLine(const std::string& prefix)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < kDeadline * 1000) {
            while (process_.canReadLine()) {
                std::string line = process_.readLine().trimmed().toStdString();
                lines.push_back(line);
                if (line.rfind(prefix, 0) == 0)
                    return line;
            }
            if (!process_.waitForReadyRead(200) && process_.state() == QProcess::NotRunning && !process_.canReadLine())
                return {};
        }
        return {};
    }
    void signal(int number) { ::kill(static_cast<pid_t>(process_.processId()), number); }
    void waitForEnd() { process_.waitForFinished(int(kDeadline * 1000)); }

    std::vector<std::string> lines;

private:
    QProcess process_;
};

class MultiProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureApplication();
        ASSERT_TRUE(folder.isValid());
        startService();
        std::string answer = http(port, "POST", "/auth/sign-up", R"({"email":"team@example.com","password":"shared secret"})");
        ASSERT_EQ(answer.substr(0, 4), "200 ") << answer;
        token = field(answer, "token");
        uid = field(answer, "uid");
    }
    static std::string field(const std::string& json, const std::string& name)
    {
        auto start = json.find("\"" + name + "\":\"");
        if (start == std::string::npos)
            return {};
        start += name.size() + 4;
        return json.substr(start, json.find('"', start) - start);
    }
    void startService()
    {
        service = std::make_unique<Child>(QV_HUB_PROGRAM, QStringList{"--port", QString::number(port), "--data", folder.path()});
        std::string line = service->waitForLine("listening on ");
        ASSERT_FALSE(line.empty()) << "the service did not start";
        port = static_cast<quint16>(std::stoi(line.substr(line.rfind(':') + 1)));
    }
    QString url() const { return "ws://127.0.0.1:" + QString::number(port) + "/"; }
    std::unique_ptr<Child> probe(const QStringList& arguments)
    {
        return std::make_unique<Child>(QV_HUB_PROBE, QStringList{arguments[0], url(), QString::fromStdString(token),
                                                                  QString::fromStdString(uid)} + arguments.mid(1));
    }
    std::unique_ptr<DatabaseClient> connectClient(ManualDispatcher& queue)
    {
        auto connection = std::make_unique<RemoteConnection>(RemoteConnection::Options{QUrl(url()), token});
        return std::make_unique<DatabaseClient>(std::move(connection), queue, DatabaseClient::Options{});
    }

    QTemporaryDir folder;
    quint16 port = 0;
    std::unique_ptr<Child> service;
    std::string token;
    std::string uid;
};

TEST_F(MultiProcess, TwoAndTwentyComputersSeeEveryWriteInOrderAndLoseNoIncrement)
{
    int total = 0;
    for (int peers : {2, 20}) {
        SCOPED_TRACE(std::to_string(peers) + " computers");
        std::vector<std::unique_ptr<Child>> computers;
        for (int i = 0; i < peers; ++i)
            computers.push_back(probe({"peer", QString::number(total + i), QString::number(total + peers), "15", "3"}));
        for (auto& computer : computers)
            EXPECT_EQ(computer->waitForLine(""), "ok");
        total += peers;
    }
    ManualDispatcher queue;
    auto client = connectClient(queue);
    std::optional<DatabaseValue> counted;
    client->reference("stats/export_count/peers").observeSingleEvent([&](const DataSnapshot& s) { counted = s.value(); });
    ASSERT_TRUE(queue.runUntil([&] { return counted.has_value(); }, kDeadline));
    EXPECT_EQ(*counted, DatabaseValue(3 * total));
}

TEST_F(MultiProcess, PresenceGoesWithinTenSecondsOfAComputerKilled)
{
    ManualDispatcher queue;
    auto watcher = connectClient(queue);
    DatabaseValue online;
    watcher->reference("users_online/" + uid).observe(DatabaseEvent::Value, [&](const DataSnapshot& s) { online = s.value(); });
    auto computer = probe({"presence"});
    ASSERT_EQ(computer->waitForLine("present"), "present");
    ASSERT_TRUE(queue.runUntil([&] { return online.childCount() == 1; }, kDeadline));
    QElapsedTimer timer;
    timer.start();
    computer->signal(SIGKILL);
    ASSERT_TRUE(queue.runUntil([&] { return online.isNull(); }, kDeadline));
    EXPECT_LT(timer.elapsed(), 10'000);
}

TEST_F(MultiProcess, EveryAcknowledgedWriteSurvivesTwentyKillsOfTheServiceOnce)
{
    auto writer = probe({"stream"});
    std::set<int> acked;
    for (int kill = 0; kill < 20; ++kill) {
        // Once the writer is connected to this service, let a few writes through, then kill
        // the service in the middle of the stream.
        ASSERT_EQ(writer->waitForLine("connected"), "connected") << "kill " << kill;
        for (int seen = 0; seen < 3;) {
            std::string line = writer->waitForLine("acked ");
            ASSERT_FALSE(line.empty()) << "the writer stopped after kill " << kill;
            acked.insert(std::stoi(line.substr(6)));
            ++seen;
        }
        service->signal(SIGKILL);
        service->waitForEnd();
        startService();
    }
    writer->signal(SIGTERM);
    std::string done = writer->waitForLine("done ");
    ASSERT_FALSE(done.empty());
    for (const auto& line : writer->lines)
        if (line.rfind("acked ", 0) == 0)
            acked.insert(std::stoi(line.substr(6)));
    int committed = std::stoi(done.substr(5));

    ManualDispatcher queue;
    auto client = connectClient(queue);
    std::optional<DatabaseValue> mine;
    client->reference("users/" + uid).observeSingleEvent([&](const DataSnapshot& s) { mine = s.value(); });
    ASSERT_TRUE(queue.runUntil([&] { return mine.has_value(); }, kDeadline));
    for (int i : acked)
        EXPECT_EQ(mine->child("stream").child(std::to_string(i)), DatabaseValue(i)) << "write " << i;
    // Every transaction committed counted once: none lost, none applied twice.
    EXPECT_EQ(mine->child("count"), DatabaseValue(committed));
    EXPECT_GE(committed, 60);
}

}  // namespace
}  // namespace qv::hub::testing
