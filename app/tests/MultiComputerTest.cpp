// Several computers of one account against the running service: this test process is one of
// them and qv-shell-probe processes are the others.
#include "TestComputer.h"

#include "model/LocalFileData.h"
#include "model/QVSpeaker.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "model/TranscriptLoader.h"
#include "search/CustomWords.h"
#include "services/hub/tests/HubTestSupport.h"

#include <QProcess>

#include <csignal>

namespace qv::hub::testing {
namespace {

// A probe process whose output is read line by line.
class Probe {
public:
    explicit Probe(const QStringList& arguments)
    {
        process_.setProgram(QV_SHELL_PROBE);
        process_.setArguments(arguments);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        EXPECT_TRUE(process_.waitForStarted(int(kDeadline * 1000)));
    }
    ~Probe()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(int(kDeadline * 1000));
        }
    }
    // Waits for the line `expected`, skipping others; false after the deadline or the end.
    bool waitForLine(const std::string& expected)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < kDeadline * 1000) {
            while (process_.canReadLine())
                if (process_.readLine().trimmed().toStdString() == expected)
                    return true;
            if (!process_.waitForReadyRead(100) && process_.state() == QProcess::NotRunning && !process_.canReadLine())
                return false;
        }
        return false;
    }
    void signal(int number) { ::kill(static_cast<pid_t>(process_.processId()), number); }

private:
    QProcess process_;
};

class MultiComputerTest : public SignedInFixture {
protected:
    void SetUp() override
    {
        SignedInFixture::SetUp();
        service->serviceWrite("files/F1", fileRecord(uid, 30, 1));
        service->serviceWrite("users/" + uid + "/files/F1", true);
    }

    std::unique_ptr<Probe> probe(const QString& systemID, const QStringList& arguments)
    {
        return std::make_unique<Probe>(QStringList{service->url().toString(), QString::fromStdString(token),
                                                   QString::fromStdString(uid), systemID} + arguments);
    }
    Computer& computer(const QString& systemID, std::unique_ptr<DatabaseClient> client = {})
    {
        if (!client)
            client = connectClient(token);
        auto& made = *computers.emplace_back(std::make_unique<Computer>(
            std::move(client), accounts, queue, folder.path() + "/" + systemID, systemID, WallClock{}));
        made.signIn(User{uid, "editor@example.com", true});
        return made;
    }
    std::shared_ptr<QVFile> file(Computer& on) { return fileFromRecord({}, "F1", on.ad.filesMetadataRef.child("F1")); }

    AuthBackend accounts;
    std::vector<std::unique_ptr<Computer>> computers;
};

TEST_F(MultiComputerTest, TheEditRightMovesWhenTheEditorIsKilledOrClosesTheFile)
{
    auto first = probe("SYSA", {"open", "F1"});
    ASSERT_TRUE(first->waitForLine("access edit"));
    Computer& mac = computer("SYSB");
    mac.open(file(mac));
    ASSERT_TRUE(waitFor([&] { return mac.ad.isConnected && mac.ad.currentFileUsersOnlineHandle && mac.ad.isViewingOnly &&
                                      service->value("files/F1/users_online/" + uid).childCount() == 2; }));
    ASSERT_TRUE(waitFor([&] { return service->value("users_online/" + uid).childCount() == 2; }));
    auto third = probe("SYSC", {"open", "F1"});
    ASSERT_TRUE(third->waitForLine("access view"));

    first->signal(SIGKILL);
    EXPECT_TRUE(waitFor([&] { return !mac.ad.isViewingOnly; }));
    EXPECT_TRUE(waitFor([&] { return service->value("users_online/" + uid).childCount() == 2; }));

    mac.shell.presence.currentFileUserOnlineRemove();
    mac.ad.currentFile = nullptr;
    EXPECT_TRUE(third->waitForLine("access edit"));
    third->signal(SIGTERM);
    EXPECT_TRUE(third->waitForLine("closed"));
    EXPECT_TRUE(waitFor([&] { return service->value("files/F1/users_online").isNull(); }));
}

// The words of the open transcript as this computer holds them, in order.
std::string shownWords(const AppDelegate& ad)
{
    std::string text;
    for (const auto& word : ad.words)
        text += (text.empty() ? "" : " ") + word->name().toStdString();
    return text;
}

DatabaseValue storedWord(const char* name, std::int64_t start)
{
    return DatabaseValue::object({{"name", name}, {"start", start}, {"end", start + 150}});
}

TEST_F(MultiComputerTest, AnOpenTranscriptFollowsWhatAnotherComputerChangesAndAReopeningReadsTheService)
{
    service->serviceWrite("transcripts/F1", DatabaseValue::object({
        {"words", DatabaseValue::object({{"W1", storedWord("the", 0)}, {"W2", storedWord("will", 200)},
                                         {"W3", storedWord("turns", 400)}})},
        {"speakers", DatabaseValue::object({{"S1", DatabaseValue::object({{"name", "Speaker 1"}, {"color", "blue"}})}})},
        {"speaker_ranges", DatabaseValue::object({{"R1", DatabaseValue::object({{"start", 0}, {"speaker", "S1"}})}})},
    }));
    Computer& mac = computer("SYSB");
    LocalFileData localFileData(mac.ad, mac.preferences);
    TranscriptLoader loader(mac.ad, localFileData, mac.preferences, &queue);
    const auto opened = file(mac);
    loader.loadFile(opened);
    ASSERT_TRUE(waitFor([&] { return opened->hasLoadedTranscript; }));
    EXPECT_EQ(shownWords(mac.ad), "the will turns");

    // Another computer corrects a word, adds one, deletes one, renames the speaker and adds a
    // speaker with a range: all of it shows here without reopening.
    auto other = probe("SYSA", {"write", "F1", "words/W2/name", "wheel", "words/W4/name", "again", "words/W4/start", "600",
                                "words/W4/end", "700", "words/W1/deleted", "true", "speakers/S1/name", "Ann",
                                "speakers/S2/name", "Bo", "speakers/S2/color", "red", "speaker_ranges/R2/start", "400",
                                "speaker_ranges/R2/speaker", "S2"});
    ASSERT_TRUE(other->waitForLine("written"));
    ASSERT_TRUE(waitFor([&] { return shownWords(mac.ad) == "wheel turns again" && mac.ad.speakerRanges.size() == 2; }))
        << shownWords(mac.ad);
    ASSERT_EQ(mac.ad.wordsDeleted.size(), 1u);
    EXPECT_EQ(mac.ad.wordsDeleted.first()->name(), "the");
    ASSERT_EQ(mac.ad.speakers.size(), 2u);
    EXPECT_EQ(mac.ad.speakerRanges.first()->speaker->name, "Ann");
    EXPECT_EQ(mac.ad.speakerRanges.last()->speaker->name, "Bo");
    EXPECT_EQ(mac.ad.speakerRanges.last()->start, 400);
    EXPECT_EQ(mac.ad.speakerRanges.last()->speaker->rangeCount, 1);

    // A reopening reads what the service holds, and follows it from there.
    other = probe("SYSA", {"write", "F1", "words/W3/name", "turned"});
    ASSERT_TRUE(other->waitForLine("written"));
    const auto reopened = file(mac);
    loader.loadFile(reopened);
    ASSERT_TRUE(waitFor([&] { return reopened->hasLoadedTranscript; }));
    EXPECT_EQ(shownWords(mac.ad), "wheel turned again");
    other = probe("SYSA", {"write", "F1", "words/W4/name", "again."});
    ASSERT_TRUE(other->waitForLine("written"));
    EXPECT_TRUE(waitFor([&] { return shownWords(mac.ad) == "wheel turned again."; })) << shownWords(mac.ad);
}

TEST_F(MultiComputerTest, CountersFromTwoComputersAddUp)
{
    auto other = probe("SYSA", {"count", "F1", "20"});
    Computer& mac = computer("SYSB");
    auto exported = file(mac);
    for (int i = 0; i < 20; ++i)
        mac.shell.fileStatus.incrementExportCountForType(ExportTypeSubRip, exported);
    ASSERT_TRUE(other->waitForLine("counting"));
    EXPECT_TRUE(waitFor([&] {
        return service->value("stats/export_count/subrip") == DatabaseValue(40) &&
               service->value("files/F1/export_count/subrip") == DatabaseValue(40);
    })) << service->value("stats/export_count/subrip").toInt() << " " << service->value("files/F1/export_count/subrip").toInt();
}

TEST_F(MultiComputerTest, TheFilesListFollowsAdditionsRemovalsDeletionsAndRestores)
{
    Computer& mac = computer("SYSA");
    Computer& other = computer("SYSB");
    auto listed = [&](Computer& on, const QString& uuid) {
        return std::any_of(on.ad.files.begin(), on.ad.files.end(), [&](const auto& f) { return f->uuid == uuid; });
    };
    // The list applies reports a moment after the last one, on the fake clock.
    auto settles = [&](const std::function<bool()>& done) {
        return waitFor([&] {
            queue.advance(kUserFilesDebounceSeconds);
            return done();
        });
    };
    ASSERT_TRUE(settles([&] { return listed(mac, "F1") && listed(other, "F1"); }));

    service->serviceWrite("files/F2", fileRecord(uid, 20, 2));
    service->serviceWrite("users/" + uid + "/files/F2", true);
    ASSERT_TRUE(settles([&] { return listed(mac, "F2") && listed(other, "F2"); }));
    EXPECT_EQ(mac.ad.files.front()->uuid, "F2");

    auto first = mac.ad.files.back();
    mac.shell.fileStatus.deleteFile(first);
    ASSERT_TRUE(waitFor([&] { return service->value("files/F1/deleted").isInt(); }));
    mac.shell.fileStatus.restoreFile(first);
    ASSERT_TRUE(waitFor([&] { return service->value("files/F1/deleted").isNull(); }));
    EXPECT_EQ(service->value("files/F1/status"), DatabaseValue(30));

    service->serviceWrite("users/" + uid + "/files/F2", nullptr);
    EXPECT_TRUE(settles([&] { return !listed(mac, "F2") && !listed(other, "F2"); }));
    EXPECT_TRUE(listed(mac, "F1") && listed(other, "F1"));
}

// The file's custom words as a computer's panel shows them.
QStringList shownFileWords(const AppDelegate& ad)
{
    return search::shownCustomWords(ad, true, false);
}

// Words deleted on one computer leave the service and the other computer's panel, and do not
// come back when that computer opens the file again.
TEST_F(MultiComputerTest, CustomWordsDeletedOnOneComputerGoEverywhere)
{
    const QStringList words{"Avalon", "Brindle", "Cobalt", "Dunmore", "Elkhart"};
    for (int i = 0; i < words.size(); ++i)
        service->serviceWrite("files/F1/custom_words/K" + std::to_string(i), words[i].toStdString());
    Computer& a = computer("SYSA");
    Computer& b = computer("SYSB");
    const auto onA = file(a);
    const auto onB = file(b);
    a.open(onA);
    b.open(onB);
    a.ad.currentMode = b.ad.currentMode = 2;
    ASSERT_TRUE(waitFor([&] { return shownFileWords(a.ad).size() == 5 && shownFileWords(b.ad).size() == 5; }));

    search::removeCustomWord(onA->customWords, onA->customWordsRef, "Brindle");
    ASSERT_TRUE(waitFor([&] { return service->value("files/F1/custom_words").childCount() == 4; }));
    EXPECT_TRUE(waitFor([&] { return shownFileWords(b.ad) == QStringList({"Avalon", "Cobalt", "Dunmore", "Elkhart"}); }))
        << shownFileWords(b.ad).join(' ').toStdString();
    search::removeCustomWord(onA->customWords, onA->customWordsRef, "Dunmore");
    ASSERT_TRUE(waitFor([&] { return service->value("files/F1/custom_words").childCount() == 3; }));
    EXPECT_TRUE(waitFor([&] { return shownFileWords(b.ad) == QStringList({"Avalon", "Cobalt", "Elkhart"}); }))
        << shownFileWords(b.ad).join(' ').toStdString();

    // B goes to another file and back while A deletes one more.
    b.ad.currentFile = nullptr;
    onB->customWordsRef.removeAllObservers();
    search::removeCustomWord(onA->customWords, onA->customWordsRef, "Avalon");
    ASSERT_TRUE(waitFor([&] { return service->value("files/F1/custom_words").childCount() == 2; }));
    b.open(onB);
    EXPECT_TRUE(waitFor([&] { return shownFileWords(b.ad) == QStringList({"Cobalt", "Elkhart"}); }))
        << shownFileWords(b.ad).join(' ').toStdString();
    EXPECT_EQ(shownFileWords(a.ad), QStringList({"Cobalt", "Elkhart"}));
}

// Computers whose database keeps its disk cache, as it does in a home folder of the usual kind:
// B, started again while A deleted words, shows its cached words until the service answers and
// then only those left; its panel never empties meanwhile, and it follows A's next deletion.
TEST_F(MultiComputerTest, ACachedComputerStartedAgainFollowsTheWordsDeletedMeanwhile)
{
    const QStringList words{"Avalon", "Brindle", "Cobalt", "Dunmore", "Elkhart"};
    for (int i = 0; i < words.size(); ++i)
        service->serviceWrite("files/F1/custom_words/K" + std::to_string(i), words[i].toStdString());
    auto cachedClient = [&](const QString& systemID) {
        DatabaseClient::Options options;
        options.persistenceFolder = (folder.path() + "/" + systemID + "/cache").toStdString();
        return std::make_unique<DatabaseClient>(
            std::make_unique<RemoteConnection>(RemoteConnection::Options{service->url(), token}), queue, options);
    };
    Computer& a = computer("SYSA", cachedClient("SYSA"));
    computer("SYSB", cachedClient("SYSB"));
    const auto onA = file(a);
    a.open(onA);
    computers.back()->open(file(*computers.back()));
    a.ad.currentMode = 2;
    ASSERT_TRUE(waitFor([&] { return shownFileWords(a.ad).size() == 5 && shownFileWords(computers.back()->ad).size() == 5; }));
    computers.pop_back();

    search::removeCustomWord(onA->customWords, onA->customWordsRef, "Brindle");
    search::removeCustomWord(onA->customWords, onA->customWordsRef, "Dunmore");
    ASSERT_TRUE(waitFor([&] { return service->value("files/F1/custom_words").childCount() == 3; }));

    Computer& b = computer("SYSB", cachedClient("SYSB"));
    b.ad.currentMode = 2;
    std::vector<QStringList> shownOnB;
    b.services.customWordsRefreshed = [&] { shownOnB.push_back(shownFileWords(b.ad)); };
    const auto onB = file(b);
    b.open(onB);
    const QStringList left{"Avalon", "Cobalt", "Elkhart"};
    ASSERT_TRUE(waitFor([&] { return shownFileWords(b.ad) == left; })) << shownFileWords(b.ad).join(' ').toStdString();
    // Once all the words left are shown, none of them goes, even for a moment.
    const auto holdsLeft = [&](const QStringList& shown) {
        return std::all_of(left.begin(), left.end(), [&](const QString& word) { return shown.contains(word); });
    };
    const auto first = std::find_if(shownOnB.begin(), shownOnB.end(), holdsLeft);
    for (auto shown = first; shown != shownOnB.end(); ++shown)
        EXPECT_TRUE(holdsLeft(*shown)) << shown->join(' ').toStdString();

    search::removeCustomWord(onA->customWords, onA->customWordsRef, "Avalon");
    EXPECT_TRUE(waitFor([&] { return shownFileWords(b.ad) == QStringList({"Cobalt", "Elkhart"}); }))
        << shownFileWords(b.ad).join(' ').toStdString();
    EXPECT_EQ(service->value("files/F1/custom_words").childCount(), 2u);
}

TEST_F(MultiComputerTest, LogOutLeavesNoAccountDataBehind)
{
    Computer& mac = computer("SYSA");
    mac.open(file(mac));
    mac.preferences.setObject("QVUserEmail", QStringLiteral("editor@example.com"));
    mac.preferences.setObject("QVUserID", QString::fromStdString(uid));
    mac.preferences.setObject("QVUserName", QStringLiteral("Editor"));
    ASSERT_TRUE(QDir().mkpath(mac.shell.logOut.firebaseCachePath()));
    ASSERT_TRUE(waitFor([&] {
        return !service->value("users_online/" + uid).isNull() && !service->value("files/F1/users_online").isNull();
    }));

    mac.shell.logOut.logOut();
    mac.shell.observers.authStateChanged(std::nullopt);
    EXPECT_TRUE(waitFor([&] {
        return service->value("users_online/" + uid).isNull() && service->value("files/F1/users_online").isNull();
    }));
    EXPECT_FALSE(QFileInfo::exists(mac.shell.logOut.firebaseCachePath()));
    for (const char* key : {"QVUserEmail", "QVUserID", "QVUserName"})
        EXPECT_TRUE(mac.preferences.objectForKey(key).isAbsent()) << key;
    EXPECT_TRUE(mac.ad.files.empty());
    EXPECT_FALSE(mac.ad.currentUser);
}

TEST_F(MultiComputerTest, AServiceUnreachableAtStartIsJoinedWhenItComes)
{
    const quint16 port = service->port();
    stopService();
    auto connection = std::make_unique<RemoteConnection>(
        RemoteConnection::Options{QUrl("ws://127.0.0.1:" + QString::number(port) + "/"), token});
    Computer& mac = computer("SYSA", std::make_unique<DatabaseClient>(std::move(connection), queue, DatabaseClient::Options{}));
    queue.drain();
    EXPECT_FALSE(mac.ad.isConnected);
    EXPECT_TRUE(mac.ad.isViewingOnly);

    startService(port);
    EXPECT_TRUE(waitFor([&] { return mac.ad.isConnected && !mac.ad.isViewingOnly && mac.ad.files.size() == 1; }));
    EXPECT_TRUE(waitFor([&] { return service->value("users_online/" + uid).childCount() == 1; }));
}

}  // namespace
}  // namespace qv::hub::testing
