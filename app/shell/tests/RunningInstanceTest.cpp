// Starting the program with media files while it already runs, from outside: the files go to the
// running program and the new start ends; a socket left by a program that was killed does not
// stop the next start from running and taking files in turn; a busy program keeps its files and
// its channel.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace qv::shell {
namespace {

constexpr int kDeadlineMs = 30'000;

class RunningInstanceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir().mkpath(runtime()));
        QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A service address nothing answers on: the program starts without signing in.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        service = QStringLiteral("http://127.0.0.1:%1/").arg(probe.serverPort());
    }
    void TearDown() override
    {
        for (const auto& program : programs) {
            program->kill();
            program->waitForFinished();
        }
    }

    QString runtime() const { return home.filePath("run"); }

    // A start of the program on the test's home, with `files` on its command line.
    QProcess& start(const QStringList& files)
    {
        auto program = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", runtime());
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program->setProcessEnvironment(environment);
        program->setProcessChannelMode(QProcess::MergedChannels);
        program->start(QStringLiteral(QV_PROGRAM), QStringList{"--service", service} + files);
        EXPECT_TRUE(program->waitForStarted(kDeadlineMs));
        programs.push_back(std::move(program));
        return *programs.back();
    }

    // Waits until the program has said `text`; everything it said is kept in `said`.
    bool waitForOutput(QProcess& program, const QByteArray& text)
    {
        QElapsedTimer timer;
        timer.start();
        while (!said[&program].contains(text)) {
            if (timer.elapsed() > kDeadlineMs || program.state() == QProcess::NotRunning)
                return false;
            program.waitForReadyRead(100);
            said[&program] += program.readAll();
        }
        return true;
    }

    // The socket the program listens on for later starts, by its file's inode and change time
    // (a socket made again at once may take the inode just freed); empty for none.
    QString channelIdentity() const
    {
        const QStringList found = QDir(runtime()).entryList({"quorvantelle-*"}, QDir::System | QDir::Files);
        struct stat status {};
        if (found.size() != 1 || ::stat(QDir(runtime()).filePath(found.front()).toLocal8Bit().constData(), &status) != 0)
            return {};
        return QStringLiteral("%1@%2.%3")
            .arg(status.st_ino)
            .arg(status.st_ctim.tv_sec)
            .arg(status.st_ctim.tv_nsec, 9, 10, QLatin1Char('0'));
    }

    static bool waitFor(const std::function<bool()>& done)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > kDeadlineMs)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    QTemporaryDir home;
    QString service;
    std::vector<std::unique_ptr<QProcess>> programs;
    std::map<QProcess*, QByteArray> said;
};

TEST_F(RunningInstanceTest, FilesOpenedWhileTheProgramRunsGoToTheRunningOne)
{
    QProcess& first = start({});
    ASSERT_TRUE(waitFor([&] { return !channelIdentity().isEmpty(); }));
    QProcess& second = start({"interview.wav", "b roll.mov"});
    ASSERT_TRUE(second.waitForFinished(kDeadlineMs));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(waitForOutput(first, "instance: 2 file(s) handed over by another start")) << said[&first].toStdString();

    // The running program takes media only: files that include a library are opened by a
    // program of their own, nothing of them handed over and lost.
    QProcess& withLibrary = start({"take.wav", "Edit.fcpxml"});
    EXPECT_TRUE(waitForOutput(withLibrary, "instance: ")) << said[&withLibrary].toStdString();
    EXPECT_EQ(withLibrary.state(), QProcess::Running);
    withLibrary.kill();
    ASSERT_TRUE(withLibrary.waitForFinished(kDeadlineMs));

    // Killed, the first leaves its socket behind; the next start runs all the same and takes the
    // files of the one after it.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(kDeadlineMs));
    const QString stale = channelIdentity();
    ASSERT_FALSE(stale.isEmpty());
    QProcess& third = start({"aside.wav"});
    ASSERT_TRUE(waitFor([&] { return channelIdentity() != stale; }));
    QProcess& fourth = start({"closing.wav"});
    ASSERT_TRUE(fourth.waitForFinished(kDeadlineMs));
    EXPECT_EQ(fourth.exitCode(), 0);
    EXPECT_EQ(third.state(), QProcess::Running);
    EXPECT_TRUE(waitForOutput(third, "instance: 1 file(s) handed over by another start")) << said[&third].toStdString();
}

TEST_F(RunningInstanceTest, ABusyProgramStillTakesTheFilesAndAnotherStartNeverTakesItsChannel)
{
    QProcess& first = start({});
    ASSERT_TRUE(waitFor([&] { return !channelIdentity().isEmpty(); }));
    const QString channel = channelIdentity();

    // A start without files runs a program of its own, but files still go to the first.
    QProcess& second = start({});
    ASSERT_TRUE(waitForOutput(second, "files opened by later starts go to the program that was running first"))
        << said[&second].toStdString();
    EXPECT_EQ(channelIdentity(), channel);

    // The first is too busy to answer for longer than a start waits (stopped here): the start
    // still ends, and no program of its own takes the files as well.
    ASSERT_EQ(::kill(pid_t(first.processId()), SIGSTOP), 0);
    QProcess& third = start({"late take.wav"});
    const bool ended = third.waitForFinished(kDeadlineMs);
    ::kill(pid_t(first.processId()), SIGCONT);
    ASSERT_TRUE(ended) << "the start began a program of its own";
    EXPECT_EQ(third.exitCode(), 0);
    EXPECT_EQ(channelIdentity(), channel);
    EXPECT_TRUE(waitForOutput(first, "instance: 1 file(s) handed over by another start")) << said[&first].toStdString();
    said[&second] += second.readAll();
    EXPECT_FALSE(said[&second].contains("handed over")) << said[&second].toStdString();
}

}  // namespace
}  // namespace qv::shell
