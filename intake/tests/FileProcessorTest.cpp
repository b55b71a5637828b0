#include "intake/QVFileProcessor.h"

#include "intake/tests/IntakeTestSupport.h"
#include "model/AppDelegate.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/foundation/Uuid.h"
#include "platform/media/UploadEncoder.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/RemoteConnection.h"
#include "platform/ui/ScriptedPresenters.h"
#include "services/hub/TranscriptionWorker.h"
#include "services/hub/UploadRoutes.h"
#include "services/hub/tests/HubTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using intake_test::pendingTestMedia;
using intake_test::waitFor;

// Records what the processor shows, and takes a submitted file off the list as the list does.
class RecordingDisplay : public ProcessingDisplay {
public:
    explicit RecordingDisplay(AppDelegate& ad) : ad_(ad) {}
    void showProcessingStatus(const QVFilePending& file, const QString& status, double) override
    {
        statuses.push_back(file.name + ": " + status);
    }
    void showProcessingProgress(const QVFilePending&, double progress) override { progress_.push_back(progress); }
    void showProcessingFailure(const QVFilePending& file, const QString& reason) override
    {
        failures.push_back(file.name + ": " + reason);
    }
    void removeSubmittedFile(const std::shared_ptr<QVFilePending>& file, std::function<void()> done) override
    {
        std::erase(ad_.filesPending, file);
        done();
    }
    void processingStateChanged() override { ++stateChanges; }

    QStringList statuses;
    QStringList failures;
    std::vector<double> progress_;
    int stateChanges = 0;

private:
    AppDelegate& ad_;
};

// A line to the service on which the answer to the first write of a `files_new` mark is lost
// and reported as a failure, after the service has stored the write.
class LostMarkAnswerConnection final : public qv::DatabaseConnection {
public:
    explicit LostMarkAnswerConnection(std::unique_ptr<qv::DatabaseConnection> line) : line_(std::move(line)) {}

    void open(std::weak_ptr<qv::BackendLink> link) override
    {
        relay_ = std::make_shared<Relay>(std::move(link), lostAnswer_);
        line_->open(relay_);
    }
    void close() override { line_->close(); }
    void listen(const qv::DatabasePath& path) override { line_->listen(path); }
    void unlisten(const qv::DatabasePath& path) override { line_->unlisten(path); }
    void write(const std::vector<qv::DatabaseWrite>& writes, std::uint64_t writeId, const qv::DatabaseValue* base,
               const qv::DatabaseValue* result) override
    {
        if (*lostAnswer_ == 0 && !writes.empty() && writes.front().path.toString().starts_with("files_new/"))
            *lostAnswer_ = writeId;
        line_->write(writes, writeId, base, result);
    }
    void compareAndSet(const qv::DatabasePath& path, const qv::DatabaseValue& expected, const qv::DatabaseValue& value,
                       std::uint64_t writeId) override
    {
        line_->compareAndSet(path, expected, value, writeId);
    }
    void onDisconnect(const qv::DatabaseWrite& write, std::uint64_t writeId) override { line_->onDisconnect(write, writeId); }

private:
    class Relay final : public qv::BackendLink {
    public:
        Relay(std::weak_ptr<qv::BackendLink> link, std::shared_ptr<std::uint64_t> lostAnswer)
            : link_(std::move(link)), lostAnswer_(std::move(lostAnswer))
        {
        }
        void receive(qv::ServerMessage message) override
        {
            if (*lostAnswer_ != 0 && message.answers == *lostAnswer_ && !message.error)
                message.error = qv::DatabaseError{qv::DatabaseErrorCode::StorageFailed, "the answer was lost"};
            if (auto link = link_.lock())
                link->receive(std::move(message));
        }

    private:
        std::weak_ptr<qv::BackendLink> link_;
        std::shared_ptr<std::uint64_t> lostAnswer_;
    };

    std::unique_ptr<qv::DatabaseConnection> line_;
    std::shared_ptr<std::uint64_t> lostAnswer_ = std::make_shared<std::uint64_t>(0);
    std::shared_ptr<Relay> relay_;
};

class FileProcessorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        startService(qv::objectstore::ObjectStore::kDefaultMaxObjectBytes);
    }
    void TearDown() override { stopService(); }

    // With `transcribing`, the service's transcription worker runs too; with `loseMarkAnswer`,
    // the client is told that its first `files_new` mark failed although the service stored it.
    void startService(std::size_t maxObjectBytes, bool transcribing = false, bool loseMarkAnswer = false)
    {
        qv::hub::HubServer::Options options;
        // A service of its own each time, with its own accounts.
        options.dataFolder = (home.path() + "/service" + QString::number(++services)).toStdString();
        options.hashIterations = 1000;
        service = std::make_unique<qv::hub::testing::RunningService>(options);
        service->run([&](qv::hub::HubServer& server) {
            qv::hub::UploadRouteOptions uploads;
            uploads.dataFolder = options.dataFolder;
            uploads.maxObjectBytes = maxObjectBytes;
            store = qv::hub::mountUploadRoutes(server, uploads);
            if (transcribing)
                worker = new qv::hub::TranscriptionWorker(server, store);
        });
        std::string uid;
        const std::string token = service->signUp("mia@example.com", &uid);
        // As the sign-up route does: a new account has its minutes.
        service->serviceWrite("users/" + uid + "/mins_bal", qv::hub::HubServer::kUnlimitedAccountMinutes);
        std::unique_ptr<qv::DatabaseConnection> line =
            std::make_unique<qv::RemoteConnection>(qv::RemoteConnection::Options{service->url(), token});
        if (loseMarkAnswer)
            line = std::make_unique<LostMarkAnswerConnection>(std::move(line));
        client = std::make_unique<qv::DatabaseClient>(std::move(line), queue, qv::DatabaseClient::Options{});
        ad.fbRef = client->root();
        ad.filesMetadataRef = ad.fbRef.child("files");
        ad.currentUser = qv::User{uid, "mia@example.com", true};
        web = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(service->port()));
        hooks.sheetAlerts = &alerts;
        hooks.webApplicationURL = [this](const QString& path) { return web.resolved(QUrl(path)); };
        hooks.accountToken = [token] { return QString::fromStdString(token); };
        hooks.saveLocalData = [this](const QString& uuid, const std::vector<std::shared_ptr<QVMediaFile>>&) {
            savedLocally << uuid;
        };
        processor = std::make_unique<QVFileProcessor>(ad, queue, hooks, home.path() + "/converted");
        processor->setDisplay(&display);
    }

    void stopService()
    {
        processor.reset();
        client.reset();
        if (service && worker)
            service->run([&](qv::hub::HubServer&) { delete worker; });
        worker = nullptr;
        service.reset();
    }

    // Hands the pending list to the processor, as Transcribe does.
    void transcribe()
    {
        ad.filesToProcess = ad.filesPending;
        processor->startProcessing();
    }

    std::string uid() const { return ad.currentUser->uid; }
    QString converted(const QVFilePending& file) const { return home.path() + "/converted/" + file.uuid + ".m4a"; }
    QStringList alertMessages() const
    {
        QStringList messages;
        for (const qv::Alert& alert : alerts.shownAlerts())
            messages << alert.messageText;
        return messages;
    }

    QTemporaryDir home;
    int services = 0;
    qv::QtDispatcher queue;
    std::unique_ptr<qv::hub::testing::RunningService> service;
    std::shared_ptr<qv::objectstore::ObjectStore> store;
    qv::hub::TranscriptionWorker* worker = nullptr;
    std::unique_ptr<qv::DatabaseClient> client;
    AppDelegate ad;
    qv::ScriptedAlertPresenter alerts;
    IntakeHooks hooks;
    QUrl web;
    QStringList savedLocally;
    RecordingDisplay display{ad};
    std::unique_ptr<QVFileProcessor> processor;
};

// The names in `folder`, sorted, without the processors' lock file.
QStringList convertedNames(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    names.removeAll(QString::fromLatin1(QVFileProcessor::kFolderLockName));
    return names;
}
std::string joined(const QStringList& names) { return names.join(", ").toStdString(); }

TEST(FileProcessorStart, RemovesWhatAKilledProgramLeftAndNoPendingFileOwns)
{
    QTemporaryDir home;
    const QString folder = home.path() + "/Temporary Audio Files";
    QDir().mkpath(folder);
    const QString killed = qv::createUUID();
    const QString awaited = qv::createUUID();
    const QString owned = qv::createUUID();
    const QString writing = qv::createUUID();
    auto at = [&](const QString& name) { return (folder + "/" + name).toStdString(); };

    // A program killed while it converted, in a process of its own: its partial file stays.
    qv::Asset source = qv::test::inspected(qv::test::testMedia("tone.wav"));
    qv::AudioMix mix;
    mix.inputParameters.push_back({source.tracksWithMediaType(qv::MediaType::Audio)[0].trackID, {0.5f, 0.5f}, 1.0f, 1.0f});
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        qv::UploadEncoder(source, mix, at(killed + ".m4a")).run([](double) { ::kill(::getpid(), SIGKILL); });
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    ASSERT_EQ(convertedNames(folder).size(), 1);
    ASSERT_TRUE(convertedNames(folder)[0].startsWith(killed + ".m4a.tmp-")) << convertedNames(folder)[0].toStdString();

    // One killed while its upload address was awaited; one a pending file owns; one being written
    // right now; and a file of another name.
    QFile(folder + "/" + awaited + ".m4a").open(QIODevice::WriteOnly);
    QFile(folder + "/" + owned + ".m4a").open(QIODevice::WriteOnly);
    QFile(folder + "/notes.txt").open(QIODevice::WriteOnly);
    qv::TemporaryFile live = qv::createTemporaryBeside(at(writing + ".m4a"));
    ASSERT_GE(live.fd, 0) << live.error;

    AppDelegate ad;
    auto pending = std::make_shared<QVFilePending>();
    pending->uuid = owned;
    ad.filesPending.push_back(pending);
    qv::ManualDispatcher main;
    IntakeHooks hooks;
    const QStringList kept{owned + ".m4a", QString::fromStdString(live.path.filename().string()), "notes.txt"};
    {
        // Another program uses the folder: it may be about to upload a complete file of its own.
        QVFileProcessor running(ad, main, hooks, folder);
        QFile(folder + "/" + awaited + ".m4a").open(QIODevice::WriteOnly);
        QVFileProcessor starting(ad, main, hooks, folder);
        QStringList withAwaited = kept;
        withAwaited << awaited + ".m4a";
        withAwaited.sort();
        EXPECT_EQ(joined(convertedNames(folder)), joined(withAwaited));
    }
    QVFileProcessor alone(ad, main, hooks, folder);
    QStringList sorted = kept;
    sorted.sort();
    EXPECT_EQ(joined(convertedNames(folder)), joined(sorted));
    ::close(live.fd);
}

TEST_F(FileProcessorTest, EachFileIsConvertedUploadedAndRecordedInTurn)
{
    auto tone = pendingTestMedia("tone.wav");
    auto mp3 = pendingTestMedia("sine10.mp3");
    ad.filesPending = {tone, mp3};
    transcribe();
    EXPECT_TRUE(processor->isProcessing());
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    EXPECT_TRUE(alerts.shownAlerts().empty()) << alertMessages().join("; ").toStdString();
    EXPECT_TRUE(ad.filesPending.empty());
    EXPECT_EQ(display.statuses, QStringList({tone->name + ": Converting", tone->name + ": Uploading",
                                             mp3->name + ": Converting", mp3->name + ": Uploading"}));
    // The conversion fills the bar's first part, the upload the rest, never going back within a file.
    ASSERT_FALSE(display.progress_.empty());
    EXPECT_LE(*std::max_element(display.progress_.begin(), display.progress_.end()), 1.0);
    EXPECT_DOUBLE_EQ(display.progress_.back(), 1.0);

    for (const auto& file : {tone, mp3}) {
        const std::string uuid = file->uuid.toStdString();
        ASSERT_TRUE(waitFor([&] { return !service->value("files_new/" + uuid).isNull(); }));
        const qv::DatabaseValue record = service->value("files/" + uuid);
        EXPECT_EQ(record.child("owner").toString(), uid());
        EXPECT_EQ(record.child("status").toInt(), 10);
        EXPECT_EQ(record.child("name").toString(), file->name.toStdString());
        EXPECT_EQ(record.child("url").toString(), web.toString().toStdString() + "objects/" + uuid + ".m4a");
        EXPECT_TRUE(std::filesystem::exists(store->objectPath(uuid + ".m4a")));
        EXPECT_FALSE(QFileInfo::exists(converted(*file)));
        EXPECT_TRUE(ad.filesAwaitingCreation.contains(file->uuid));
    }
    EXPECT_EQ(savedLocally, QStringList({tone->uuid, mp3->uuid}));
    // The MP3 is cut 50 ms short of its end; the upload holds about the rest.
    const qv::Asset uploaded = qv::test::inspected(store->objectPath(mp3->uuid.toStdString() + ".m4a").string());
    EXPECT_NEAR(uploaded.duration().seconds(), 9.95, 0.05);
}

TEST_F(FileProcessorTest, AFileThatCannotBeConvertedStaysListedAndTheRunGoesOn)
{
    const QString copy = home.filePath("vanishing.wav");
    ASSERT_TRUE(QFile::copy(QString::fromStdString(qv::test::testMedia("tone.wav")), copy));
    auto vanishing = intake_test::pendingFileAt(copy);
    auto tone = pendingTestMedia("tone.wav");
    ad.filesPending = {vanishing, tone};
    ASSERT_TRUE(QFile::remove(copy));
    transcribe();
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(display.failures.size(), 1);
    EXPECT_TRUE(display.failures.front().startsWith("vanishing: ")) << display.failures.front().toStdString();
    // The file that went is the one that was uploaded, not the first row.
    ASSERT_EQ(ad.filesPending.size(), 1u);
    EXPECT_EQ(ad.filesPending.front(), vanishing);
    EXPECT_TRUE(service->value("files/" + vanishing->uuid.toStdString()).isNull());
    EXPECT_TRUE(waitFor([&] { return !service->value("files_new/" + tone->uuid.toStdString()).isNull(); }));
    EXPECT_FALSE(QFileInfo::exists(converted(*vanishing)));
}

TEST_F(FileProcessorTest, WithoutAnUploadAddressTheRunEndsWithTheAlert)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    web = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort()));
    closed.close();
    auto tone = pendingTestMedia("tone.wav");
    auto mp3 = pendingTestMedia("sine10.mp3");
    ad.filesPending = {tone, mp3};
    transcribe();
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    EXPECT_EQ(alertMessages(), QStringList({"File could not be uploaded"}));
    EXPECT_EQ(ad.filesPending.size(), 2u);
    EXPECT_TRUE(ad.filesToProcess.empty());
    EXPECT_FALSE(QFileInfo::exists(converted(*tone)));
    EXPECT_TRUE(service->value("files/" + tone->uuid.toStdString()).isNull());
}

TEST_F(FileProcessorTest, ABodyTheStoreRefusesEndsTheRunAndRecordsNothing)
{
    stopService();
    startService(1000);
    auto tone = pendingTestMedia("tone.wav");
    ad.filesPending = {tone};
    transcribe();
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    ASSERT_EQ(alertMessages(), QStringList({"File could not be uploaded"}));
    EXPECT_TRUE(alerts.shownAlerts().front().informativeText.contains("larger than the store accepts"));
    EXPECT_EQ(ad.filesPending.size(), 1u);
    EXPECT_TRUE(service->value("files/" + tone->uuid.toStdString()).isNull());
    EXPECT_FALSE(std::filesystem::exists(store->objectPath(tone->uuid.toStdString() + ".m4a")));
}

TEST_F(FileProcessorTest, AStopDropsWhatIsUnderWayWithoutAnAlertOrARecord)
{
    // A service that takes the request for an upload address and never answers it.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    const QUrl service_ = web;
    web = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort()));
    auto tone = pendingTestMedia("tone.wav");
    ad.filesPending = {tone};
    transcribe();
    ASSERT_TRUE(waitFor([&] { return silent.hasPendingConnections(); }));
    processor->stopProcessing();
    EXPECT_FALSE(processor->isProcessing());
    // Whatever was under way comes back and is ignored.
    waitFor([] { return false; }, 1.0);
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_EQ(ad.filesPending.size(), 1u);
    EXPECT_TRUE(service->value("files/" + tone->uuid.toStdString()).isNull());
    EXPECT_FALSE(QFileInfo::exists(converted(*tone)));

    // Transcribe again works, and the file is submitted once.
    web = service_;
    transcribe();
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    EXPECT_TRUE(ad.filesPending.empty());
    EXPECT_TRUE(waitFor([&] { return !service->value("files_new/" + tone->uuid.toStdString()).isNull(); }));
}

TEST_F(FileProcessorTest, ARecordThatCannotBeWrittenKeepsTheFileAndSaysSo)
{
    // A record the account may not write: it names someone else as its owner.
    ad.currentUser->uid = "SOMEONEELSE00000000000000000";
    auto tone = pendingTestMedia("tone.wav");
    ad.filesPending = {tone};
    transcribe();
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts().front().messageText, QStringLiteral("“%1” could not be submitted").arg(tone->name));
    EXPECT_EQ(ad.filesPending.size(), 1u);
    EXPECT_TRUE(service->value("files_new/" + tone->uuid.toStdString()).isNull());
}

TEST_F(FileProcessorTest, AskingToStopLetsTheRunGoOnUnlessTheUserSaysStop)
{
    auto tone = pendingTestMedia("tone.wav");
    ad.filesPending = {tone};
    transcribe();
    alerts.script(qv::kAlertFirstButtonReturn + 1);
    processor->stopProcessingWithAlert();
    EXPECT_EQ(alerts.shownAlerts().back().messageText, "Do you really want to stop processing of remaining files?");
    EXPECT_TRUE(processor->isProcessing());
    alerts.script(qv::kAlertFirstButtonReturn);
    processor->stopProcessingWithAlert();
    EXPECT_FALSE(processor->isProcessing());
    EXPECT_EQ(ad.filesPending.size(), 1u);
}

TEST_F(FileProcessorTest, AMarkStoredButReportedFailedIsPaidForOnceWhenTranscribedAgain)
{
    stopService();
    startService(qv::objectstore::ObjectStore::kDefaultMaxObjectBytes, true, true);
    const std::string balance = "users/" + uid() + "/mins_bal";
    const std::int64_t before = 10;
    service->serviceWrite(balance, before);
    auto tone = pendingTestMedia("tone.wav");
    const std::string uuid = tone->uuid.toStdString();
    ad.filesPending = {tone};
    transcribe();
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    // Told that the mark failed, the file stays listed and says so; the service has it all the same.
    ASSERT_EQ(alertMessages(), QStringList({QStringLiteral("“%1” could not be submitted").arg(tone->name)}));
    ASSERT_EQ(ad.filesPending.size(), 1u);
    ASSERT_TRUE(waitFor([&] { return service->value("files/" + uuid + "/status").toInt() == 30; }, 120));
    const std::int64_t charged = before - service->value(balance).toInt();
    EXPECT_EQ(charged, 1);
    const std::int64_t firstCompletion = service->value("files/" + uuid + "/completed").toInt();

    // Transcribe again: the same bytes go to the same object, the file is delivered again, and
    // its minutes are not taken twice.
    transcribe();
    ASSERT_TRUE(waitFor([&] { return !processor->isProcessing(); }));
    EXPECT_EQ(alerts.shownAlerts().size(), 1u) << alertMessages().join("; ").toStdString();
    EXPECT_TRUE(ad.filesPending.empty());
    ASSERT_TRUE(waitFor([&] {
        return service->value("files/" + uuid + "/completed").toInt() != firstCompletion
            && service->value("files_new/" + uuid).isNull();
    }, 120));
    EXPECT_EQ(service->value("files/" + uuid + "/status").toInt(), 30);
    EXPECT_EQ(service->value(balance).toInt(), before - charged);
}

}  // namespace
