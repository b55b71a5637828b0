#include "HubTestSupport.h"
#include "SpokenMedia.h"

#include "services/hub/JobQueue.h"
#include "services/hub/TranscriptionWorker.h"
#include "services/hub/UploadRoutes.h"
#include "services/objectstore/UploadSigner.h"
#include "services/transcriber/TranscriptRecord.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/Md5.h"
#include "platform/media/Asset.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QUrl>

#include <filesystem>
#include <thread>

namespace qv::hub::testing {
namespace {

namespace fs = std::filesystem;
using transcriber::test::kMaxWordErrorRate;
using transcriber::test::plainWords;
using transcriber::test::spokenUpload;
using transcriber::test::openingSentences;

// Seconds a transcription may take before the test fails: the work takes a few seconds, but a
// machine busy with the other tests' transcriptions can stretch it many times over.
constexpr double kTranscriptionDeadline = 120;

// An upload limit small enough to pass in a test.
constexpr std::size_t kTestMaxObjectBytes = std::size_t{4} << 20;

struct HttpAnswer {
    int status = 0;
    std::map<QByteArray, QByteArray> headers;  // names in lower case
    QByteArray body;
};

// A blocking HTTP exchange from `source` (an address of the loopback network) that keeps the
// answer's headers. `declaredLength` overrides the Content-Length sent, for a body that is
// announced but never sent; `token` goes as the bearer of the request.
struct Exchange {
    QByteArray body;
    std::optional<qint64> declaredLength;
    std::string token;
    const char* source = "127.0.0.1";
};
HttpAnswer exchange(quint16 port, const QByteArray& method, const QByteArray& target, const Exchange& how)
{
    QTcpSocket socket;
    socket.bind(QHostAddress(how.source));
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(int(kDeadline * 1000)))
        return {};
    const QByteArray bearer = how.token.empty() ? QByteArray() : "Authorization: Bearer " + QByteArray::fromStdString(how.token) + "\r\n";
    QByteArray request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port)
        + "\r\nContent-Type: audio/mp4\r\n" + bearer + "Content-Length: "
        + QByteArray::number(how.declaredLength.value_or(how.body.size())) + "\r\n\r\n" + how.body;
    socket.write(request);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(int(kDeadline * 1000)))
        answer += socket.readAll();
    answer += socket.readAll();
    HttpAnswer parsed;
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    const QList<QByteArray> lines = answer.left(headEnd).split('\n');
    parsed.status = lines.value(0).mid(9, 3).toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            parsed.headers[lines[i].left(colon).trimmed().toLower()] = lines[i].mid(colon + 1).trimmed();
    }
    parsed.body = answer.mid(headEnd + 4);
    return parsed;
}
HttpAnswer exchange(quint16 port, const QByteArray& method, const QByteArray& target, const QByteArray& body = {})
{
    return exchange(port, method, target, Exchange{body, {}, {}, "127.0.0.1"});
}

QByteArray uploadRequest(const std::string& uuid)
{
    return QByteArray::fromStdString("/make-upload-request?file_name=" + uuid + ".m4a");
}

// The path and query of an absolute address, as a request target.
QByteArray targetOf(const QString& address)
{
    return QUrl(address).toString(QUrl::RemoveScheme | QUrl::RemoveAuthority).toUtf8();
}

class UploadAndTranscription : public SignedInFixture {
protected:
    void SetUp() override
    {
        SignedInFixture::SetUp();
        // As the sign-up route does: a new account has its minutes.
        service->serviceWrite("users/" + uid + "/mins_bal", HubServer::kUnlimitedAccountMinutes);
        mountService();
    }
    void TearDown() override
    {
        stopWorker();
        SignedInFixture::TearDown();
    }

    // The routes and the worker, on the service's thread, as the service program mounts them.
    void mountService(TranscriptionWorker::Options options = {})
    {
        options.maxThreads = 2;
        service->run([&](HubServer& server) {
            UploadRouteOptions routes;
            routes.dataFolder = folder.path().toStdString();
            routes.maxObjectBytes = kTestMaxObjectBytes;
            store = mountUploadRoutes(server, routes);
            worker = new TranscriptionWorker(server, store, options);
        });
    }
    void stopWorker()
    {
        if (service && worker)
            service->run([&](HubServer&) { delete worker; });
        worker = nullptr;
    }
    void restartService(TranscriptionWorker::Options options = {})
    {
        stopWorker();
        stopService();
        startService();
        mountService(std::move(options));
    }

    // The client's upload: the address from make-upload-request, then the PUT, verified by its
    // Etag against the file's MD5. Answers the PUT's status.
    int upload(const std::string& uuid, const QByteArray& bytes)
    {
        const HttpAnswer answer = exchange(service->port(), "GET", uploadRequest(uuid), Exchange{{}, {}, token, "127.0.0.1"});
        EXPECT_EQ(answer.status, 200) << answer.body.toStdString();
        const QString address = QJsonDocument::fromJson(answer.body).object().value("signed_request").toString();
        EXPECT_TRUE(address.startsWith("http://127.0.0.1:" + QString::number(service->port()) + "/objects/")) << address.toStdString();
        const HttpAnswer put = exchange(service->port(), "PUT", targetOf(address), bytes);
        if (put.status == 200) {
            const QByteArray etag = put.headers.count("etag") ? put.headers.at("etag") : QByteArray();
            EXPECT_GE(etag.size(), 33);
            EXPECT_EQ(etag.mid(1, 32), md5Hex(bytes).toUtf8());
        }
        return put.status;
    }

    // The client's record and its mark for the service, written as the signed-in account;
    // `beforeMark` runs between the two.
    void submit(DatabaseClient& client, const std::string& uuid, const DatabaseValue& duration = 0,
                const std::function<void()>& beforeMark = {})
    {
        std::optional<DatabaseResult> written;
        client.reference("files/" + uuid).updateChildValues(
            {{"owner", uid}, {"name", "Harbor"}, {"status", 10}, {"duration", duration},
             {"created", DatabaseValue::serverTimestamp()}},
            [&](const DatabaseResult& error) { written = error; });
        ASSERT_TRUE(waitFor([&] { return written.has_value(); }));
        ASSERT_FALSE(*written) << written->value().message;
        if (beforeMark)
            beforeMark();
        written.reset();
        client.reference("files_new/" + uuid).setValue(true, [&](const DatabaseResult& error) { written = error; });
        ASSERT_TRUE(waitFor([&] { return written.has_value(); }));
        ASSERT_FALSE(*written) << written->value().message;
    }

    // Waits, as the account's client, until the file's status is final, and answers its record;
    // the status is committed together with the transcript and the removal of the file's mark.
    DatabaseValue finishedRecord(DatabaseClient& client, const std::string& uuid)
    {
        std::int64_t status = 0;
        auto reference = client.reference("files/" + uuid + "/status");
        auto handle = reference.observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) {
            status = snapshot.value().toInt();
        });
        EXPECT_TRUE(queue.runUntil([&] {
            return status == transcriber::kFileStatusTranscribed || status == transcriber::kFileStatusFailed;
        }, kTranscriptionDeadline)) << "still " << status;
        reference.removeObserver(handle);
        EXPECT_TRUE(service->value("files_new/" + uuid).isNull());
        return service->value("files/" + uuid);
    }

    // The words of the file's transcript as stored, each followed by a space.
    std::string transcriptText(const std::string& uuid)
    {
        std::string heard;
        for (const DatabaseValue words = service->value("transcripts/" + uuid + "/words"); const auto& word : words.children())
            heard += word.value.child("name").toString() + " ";
        return heard;
    }

    std::shared_ptr<objectstore::ObjectStore> store;
    TranscriptionWorker* worker = nullptr;
};

constexpr const char* kUuid = "0123456789ABCDEF0123456789ABCDEF";

// The first sentence of the known text.
const std::string kFirstSentence = openingSentences().substr(0, openingSentences().find('.') + 1);

// A sentence of speech, for the tests that need an upload but not a measure of recognition.
QByteArray shortSpeech()
{
    return QByteArray::fromStdString(readFile(spokenUpload(kFirstSentence)).value());
}

// The text spoken end to end: the opening sentences, or under the address sanitizer, which slows
// the recognizer several times over, their first sentence; either keeps the test to seconds. The
// recognizer's rate on the whole text is measured by the transcriber's own tests, against the
// same bar.
const std::string& endToEndText()
{
#ifdef __SANITIZE_ADDRESS__
    return kFirstSentence;
#else
    return openingSentences();
#endif
}

TEST_F(UploadAndTranscription, SpeechUploadedAsTheClientDoesBecomesATimedTranscript)
{
    auto client = connectClient(token);
    const QByteArray speech = QByteArray::fromStdString(readFile(spokenUpload(endToEndText())).value());
    ASSERT_EQ(upload(kUuid, speech), 200);
    submit(*client, kUuid);

    const DatabaseValue record = finishedRecord(*client, kUuid);
    EXPECT_EQ(service->value("status").toString(), transcriber::kServiceStatusNormal);
    ASSERT_EQ(record.child("status").toInt(), transcriber::kFileStatusTranscribed) << record.child("failure_reason").toString();
    EXPECT_TRUE(record.child("completed").isInt());
    EXPECT_EQ(record.child("owner").toString(), uid);
    const auto media = Asset::inspect(store->objectPath(std::string(kUuid) + ".m4a").string());
    ASSERT_TRUE(media);
    const std::int64_t duration = record.child("duration").toInt();
    EXPECT_NEAR(static_cast<double>(duration), media->duration().seconds() * 1000, 1);

    // The account reads its transcript through its own connection, as the client loads it.
    std::optional<DatabaseValue> transcript;
    client->reference(std::string("transcripts/") + kUuid).observeSingleEvent([&](const DataSnapshot& snapshot) {
        transcript = snapshot.value();
    });
    ASSERT_TRUE(waitFor([&] { return transcript.has_value(); }));
    EXPECT_EQ(transcript->child("speakers").childCount(), 1u);
    std::int64_t previousStart = 0;
    std::string heard;
    for (const DatabaseValue words = transcript->child("words"); const auto& word : words.children()) {
        const std::int64_t start = word.value.child("start").toInt();
        const std::int64_t end = word.value.child("end").toInt();
        EXPECT_LE(previousStart, start) << word.key;
        EXPECT_LT(start, end) << word.key;
        EXPECT_LE(end, duration) << word.key;
        previousStart = start;
        heard += word.value.child("name").toString() + " ";
    }
    const double wer = transcriber::test::wordErrorRate(plainWords(endToEndText()), plainWords(heard));
    std::cout << "word error rate " << wer << ": " << heard << "\n";
    EXPECT_LT(wer, kMaxWordErrorRate) << heard;
}

TEST_F(UploadAndTranscription, TheFilesAndTheAccountsCustomWordsAreWordsTheTranscriptMayHold)
{
    auto client = connectClient(token);
    const QByteArray speech = QByteArray::fromStdString(
        readFile(spokenUpload("Later Lumenbridge came along. Later Tavisham came along.")).value());
    ASSERT_EQ(upload(kUuid, speech), 200);
    // The words as the panel writes them, one per push child, under the file and the account,
    // before the file is handed to the service.
    submit(*client, kUuid, 0, [&] {
        std::optional<DatabaseResult> fileWord;
        std::optional<DatabaseResult> accountWord;
        client->reference(std::string("files/") + kUuid + "/custom_words").childByAutoId().setValue(
            "Lumenbridge", [&](const DatabaseResult& error) { fileWord = error; });
        client->reference("users/" + uid + "/custom_words").childByAutoId().setValue(
            "Tavisham", [&](const DatabaseResult& error) { accountWord = error; });
        ASSERT_TRUE(waitFor([&] { return fileWord.has_value() && accountWord.has_value(); }));
        EXPECT_FALSE(*fileWord);
        EXPECT_FALSE(*accountWord);
    });

    const DatabaseValue record = finishedRecord(*client, kUuid);
    ASSERT_EQ(record.child("status").toInt(), transcriber::kFileStatusTranscribed) << record.child("failure_reason").toString();
    const std::string heard = transcriptText(kUuid);
    EXPECT_NE(heard.find("Lumenbridge"), std::string::npos) << heard;
    EXPECT_NE(heard.find("Tavisham"), std::string::npos) << heard;
}

TEST_F(UploadAndTranscription, ALongCustomWordListIsCappedAndTakenInOneGo)
{
    // A small cap keeps the test quick; the service's own cap is the same code with a larger
    // number (the bench times a job at that cap).
    constexpr int kCap = 40;
    service->run([&](HubServer&) { worker->setMaxCustomWords(kCap); });
    auto client = connectClient(token);
    const QByteArray speech = QByteArray::fromStdString(
        readFile(spokenUpload("Later Lumenbridge came along. Later Tavisham came along.")).value());
    ASSERT_EQ(upload(kUuid, speech), 200);
    // The file's list: the name said, a word no one says, then made-up words past the cap; the
    // account's word comes after them and is not taken.
    std::vector<DatabaseValue::Entry> fileWords{{"a0000", "Lumenbridge"}, {"a0001", std::string(5000, 'q')}};
    for (int i = 0; i < 3 * kCap; ++i)
        fileWords.emplace_back("b" + std::to_string(10000 + i),
                               "quendar" + std::string{char('a' + i / 676 % 26), char('a' + i / 26 % 26), char('a' + i % 26)});
    service->serviceWrite("users/" + uid + "/custom_words", DatabaseValue::object({{"a", "Tavisham"}}));
    submit(*client, kUuid, 0, [&] {
        service->serviceWrite(std::string("files/") + kUuid + "/custom_words", DatabaseValue::map(std::move(fileWords)));
    });

    const DatabaseValue record = finishedRecord(*client, kUuid);
    ASSERT_EQ(record.child("status").toInt(), transcriber::kFileStatusTranscribed) << record.child("failure_reason").toString();
    const std::string heard = transcriptText(kUuid);
    EXPECT_NE(heard.find("Lumenbridge"), std::string::npos) << heard;
    EXPECT_EQ(heard.find("Tavisham"), std::string::npos) << heard;
}

TEST_F(UploadAndTranscription, BadUploadsEndFailedWithAReasonAndNoTranscript)
{
    const QByteArray speech = shortSpeech();
    struct Case {
        const char* name;
        std::string uuid;
        std::optional<QByteArray> bytes;  // nothing: never uploaded
    };
    const Case cases[] = {
        {"not audio", "A0000000000000000000000000000001", QByteArray(5000, 'x')},
        {"cut short", "A0000000000000000000000000000002", speech.left(speech.size() / 3)},
        {"never uploaded", "A0000000000000000000000000000003", std::nullopt},
    };
    auto client = connectClient(token);
    for (const Case& c : cases) {
        if (c.bytes) {
            ASSERT_EQ(upload(c.uuid, *c.bytes), 200) << c.name;
        }
        submit(*client, c.uuid);
    }
    for (const Case& c : cases) {
        const DatabaseValue record = finishedRecord(*client, c.uuid);
        EXPECT_EQ(record.child("status").toInt(), transcriber::kFileStatusFailed) << c.name;
        EXPECT_FALSE(record.child("failure_reason").toString().empty()) << c.name;
        EXPECT_TRUE(record.child("completed").isNull()) << c.name;
        EXPECT_TRUE(service->value("transcripts/" + c.uuid).isNull()) << c.name;
    }
}

TEST_F(UploadAndTranscription, ADeliveredFileIsListedAndPaidForOnceAFailedOneCostsNothing)
{
    service->serviceWrite("users/" + uid + "/mins_bal", 10);
    auto client = connectClient(token);
    const std::string delivered = "B0000000000000000000000000000001";
    const std::string failed = "B0000000000000000000000000000002";
    ASSERT_EQ(upload(delivered, shortSpeech()), 200);
    // Priced by the media, a few seconds: one minute, whatever the record says.
    submit(*client, delivered, 61'000);
    submit(*client, failed, 61'000);
    EXPECT_EQ(finishedRecord(*client, delivered).child("status").toInt(), transcriber::kFileStatusTranscribed);
    EXPECT_EQ(finishedRecord(*client, failed).child("status").toInt(), transcriber::kFileStatusFailed);
    EXPECT_EQ(service->value("users/" + uid + "/mins_bal").toInt(), 9);
    EXPECT_TRUE(service->value("users/" + uid + "/files/" + delivered).toBool());
    EXPECT_TRUE(service->value("users/" + uid + "/files/" + failed).toBool());

    // Submitted again, as a client does that was told its mark had not been written: the file is
    // delivered again but not paid for again, its transcript (maybe corrected by now) is kept,
    // and the account cannot undo the charge's note.
    const std::int64_t firstCompletion = service->value("files/" + delivered + "/completed").toInt();
    // The owner corrects a word meanwhile.
    const DatabaseValue words = service->value("transcripts/" + delivered + "/words");
    std::string firstWord;
    for (const auto& word : words.children()) {
        firstWord = word.key;
        break;
    }
    ASSERT_FALSE(firstWord.empty());
    service->serviceWrite("transcripts/" + delivered + "/words/" + firstWord + "/name", "Harbour");
    const DatabaseValue transcript = service->value("transcripts/" + delivered);
    submit(*client, delivered, 61'000);
    ASSERT_TRUE(waitFor([&] {
        return service->value("files/" + delivered + "/completed").toInt() != firstCompletion
            && service->value("files_new/" + delivered).isNull();
    }));
    EXPECT_EQ(service->value("files/" + delivered + "/status").toInt(), transcriber::kFileStatusTranscribed);
    EXPECT_EQ(service->value("users/" + uid + "/mins_bal").toInt(), 9);
    EXPECT_EQ(service->value("transcripts/" + delivered), transcript);
    std::optional<DatabaseResult> removed;
    client->reference("charges/" + delivered).removeValue([&](const DatabaseResult& error) { removed = error; });
    ASSERT_TRUE(waitFor([&] { return removed.has_value(); }));
    EXPECT_TRUE(*removed);
}

TEST_F(UploadAndTranscription, AFileIsChargedByItsMediaWhateverDurationItsRecordStates)
{
    service->serviceWrite("users/" + uid + "/mins_bal", 600);
    auto client = connectClient(token);
    const QByteArray speech = shortSpeech();
    struct Case {
        const char* name;
        DatabaseValue duration;
    };
    const Case cases[] = {
        {"missing", DatabaseValue()}, {"zero", 0},           {"one millisecond", 1},       {"negative", -6'000'000},
        {"fractional", 1.5},          {"text", "abc"},       {"huge", 1.5e12},
    };
    std::vector<std::string> uuids;
    for (const Case& c : cases) {
        uuids.push_back("C00000000000000000000000000000" + std::to_string(10 + uuids.size()));
        ASSERT_EQ(upload(uuids.back(), speech), 200) << c.name;
        submit(*client, uuids.back(), c.duration);
    }
    // A sentence of a few seconds: one minute each.
    for (std::size_t i = 0; i < uuids.size(); ++i) {
        const DatabaseValue record = finishedRecord(*client, uuids[i]);
        EXPECT_EQ(record.child("status").toInt(), transcriber::kFileStatusTranscribed) << cases[i].name;
        EXPECT_GT(record.child("duration").toInt(), 1000) << cases[i].name;
        EXPECT_EQ(service->value("charges/" + uuids[i]).toInt(), 1) << cases[i].name;
    }
    EXPECT_EQ(service->value("users/" + uid + "/mins_bal").toInt(), 600 - std::int64_t(std::size(cases)));
}

TEST_F(UploadAndTranscription, AFileItsAccountCannotPayForFailsWithAReasonAndCostsNothing)
{
    auto client = connectClient(token);
    ASSERT_EQ(upload(kUuid, shortSpeech()), 200);
    struct Case {
        const char* name;
        std::int64_t balance;
        std::int64_t status;
        std::int64_t balanceAfter;
    };
    const Case cases[] = {
        {"nothing left", 0, transcriber::kFileStatusFailed, 0},
        {"overdrawn", -5, transcriber::kFileStatusFailed, -5},
        {"just enough", 1, transcriber::kFileStatusTranscribed, 0},
    };
    for (const Case& c : cases) {
        service->serviceWrite("users/" + uid + "/mins_bal", c.balance);
        submit(*client, kUuid, 0);
        const DatabaseValue record = finishedRecord(*client, kUuid);
        EXPECT_EQ(record.child("status").toInt(), c.status) << c.name;
        EXPECT_EQ(service->value("users/" + uid + "/mins_bal").toInt(), c.balanceAfter) << c.name;
        if (c.status == transcriber::kFileStatusFailed) {
            EXPECT_EQ(record.child("failure_reason").toString(),
                      "This file needs 1 minute of transcription and the account has 0 minutes left.") << c.name;
            EXPECT_TRUE(service->value(std::string("transcripts/") + kUuid).isNull()) << c.name;
            EXPECT_TRUE(service->value(std::string("charges/") + kUuid).isNull()) << c.name;
        }
    }
}

TEST_F(UploadAndTranscription, TranscriptionPastItsTimeLimitFailsWithNothingHalfWritten)
{
    TranscriptionWorker::Options options;
    options.timeLimit = std::chrono::milliseconds(0);
    stopWorker();
    mountService(options);
    auto client = connectClient(token);
    ASSERT_EQ(upload(kUuid, shortSpeech()), 200);
    submit(*client, kUuid);
    const DatabaseValue record = finishedRecord(*client, kUuid);
    EXPECT_EQ(record.child("status").toInt(), transcriber::kFileStatusFailed);
    EXPECT_FALSE(record.child("failure_reason").toString().empty());
    EXPECT_TRUE(service->value(std::string("transcripts/") + kUuid).isNull());
}

TEST_F(UploadAndTranscription, RefusedPutsStoreNothing)
{
    const std::string key = std::string(kUuid) + ".m4a";
    const std::string secret = readFile(fs::path(folder.path().toStdString()) / "upload-secret").value();
    const objectstore::UploadSigner signer(secret);
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    const QByteArray genuine = QByteArray::fromStdString(signer.signedPutUrl("", key, now + 600));
    QByteArray forged = genuine;
    forged[forged.size() - 1] = forged.endsWith('0') ? '1' : '0';
    struct Case {
        const char* name;
        QByteArray target;
        QByteArray body;
        std::optional<qint64> declaredLength;
        int status;
    };
    const Case cases[] = {
        {"expired", "/objects" + QByteArray::fromStdString(signer.signedPutUrl("", key, now - 1)), "audio", {}, 403},
        {"forged", "/objects" + forged, "audio", {}, 403},
        {"another key's address", "/objects/" + QByteArray(kUuid).replace('0', '1') + ".m4a?"
                                      + genuine.mid(genuine.indexOf('?') + 1), "audio", {}, 403},
        {"empty", "/objects" + genuine, {}, {}, 400},
        {"over the limit, refused unread", "/objects" + genuine, {}, qint64(kTestMaxObjectBytes) + 1, 413},
        {"forged, refused unread", "/objects" + forged, {}, qint64(kTestMaxObjectBytes), 403},
        {"expired, refused unread", "/objects" + QByteArray::fromStdString(signer.signedPutUrl("", key, now - 1)), {},
         qint64(kTestMaxObjectBytes), 403},
    };
    for (const Case& c : cases) {
        const HttpAnswer answer = exchange(service->port(), "PUT", c.target, Exchange{c.body, c.declaredLength, {}, "127.0.0.1"});
        EXPECT_EQ(answer.status, c.status) << c.name << ": " << answer.body.toStdString();
    }
    EXPECT_FALSE(fs::exists(store->objectPath(key)));
    EXPECT_EQ(exchange(service->port(), "GET", "/make-upload-request?file_name=../secret.m4a", Exchange{{}, {}, token, "127.0.0.1"}).status, 400);
    EXPECT_EQ(exchange(service->port(), "GET", "/objects/" + QByteArray(kUuid) + ".m4a").status, 405);
}

TEST_F(UploadAndTranscription, OnlySoManyUploadsRunAtOnceAndFewFromOneAddress)
{
    const std::string secret = readFile(fs::path(folder.path().toStdString()) / "upload-secret").value();
    const objectstore::UploadSigner signer(secret);
    const std::int64_t expires = QDateTime::currentSecsSinceEpoch() + 600;
    auto begin = [&](int n, const char* source) {
        const std::string key = "UPLOAD" + std::to_string(n) + ".m4a";
        auto socket = std::make_unique<QTcpSocket>();
        socket->bind(QHostAddress(source));
        socket->connectToHost("127.0.0.1", service->port());
        EXPECT_TRUE(socket->waitForConnected(int(kDeadline * 1000)));
        socket->write("PUT /objects" + QByteArray::fromStdString(signer.signedPutUrl("", key, expires))
                      + " HTTP/1.1\r\nContent-Length: 1000\r\n\r\nhalf");
        socket->waitForBytesWritten(int(kDeadline * 1000));
        return socket;
    };
    auto refusal = [&](QTcpSocket& socket) {
        QByteArray answer;
        while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(int(kDeadline * 1000)))
            answer += socket.readAll();
        return answer.mid(9, 3);
    };
    // Each upload has been taken up once the service answers a request that came after it.
    auto settle = [&] { EXPECT_EQ(exchange(service->port(), "GET", "/make-upload-request?file_name=x").status, 401); };
    std::vector<std::unique_ptr<QTcpSocket>> running;
    running.push_back(begin(0, "127.0.0.1"));
    running.push_back(begin(1, "127.0.0.1"));
    settle();
    // A third from the same address waits, while another address still gets a place.
    auto sameAddress = begin(2, "127.0.0.1");
    EXPECT_EQ(refusal(*sameAddress), "503");
    running.push_back(begin(3, "127.0.0.2"));
    running.push_back(begin(4, "127.0.0.3"));
    settle();
    ASSERT_EQ(running.size(), std::size_t(objectstore::ObjectStore::kDefaultMaxRunningUploads));
    auto full = begin(99, "127.0.0.4");
    EXPECT_EQ(refusal(*full), "503");
    // An upload cut off leaves nothing behind, and frees its place.
    running.front()->abort();
    running.erase(running.begin());
    const std::string stored = std::string(kUuid) + ".m4a";
    bool accepted = false;
    for (int attempt = 0; attempt < 200 && !accepted; ++attempt) {
        const QByteArray target = "/objects" + QByteArray::fromStdString(signer.signedPutUrl("", stored, expires));
        accepted = exchange(service->port(), "PUT", target, "audio").status == 200;
    }
    EXPECT_TRUE(accepted);
    EXPECT_FALSE(fs::exists(store->objectPath("UPLOAD0.m4a")));
}

TEST_F(UploadAndTranscription, UploadAddressesAreHandedToSignedInAccountsOnly)
{
    struct Case {
        const char* name;
        std::string token;
        int status;
    };
    const Case cases[] = {
        {"no token", "", 401},
        {"a token of nobody", std::string(64, 'a'), 401},
        {"the account's token", token, 200},
    };
    for (const Case& c : cases)
        EXPECT_EQ(exchange(service->port(), "GET", uploadRequest(kUuid), Exchange{{}, {}, c.token, "127.0.0.1"}).status, c.status) << c.name;
}

TEST_F(UploadAndTranscription, AFilesUploadAddressGoesOnlyToTheAccountItBelongsTo)
{
    std::string otherUid;
    const std::string other = service->signUp("other@example.com", &otherUid);
    auto ask = [&](const std::string& who, const std::string& uuid) {
        return exchange(service->port(), "GET", uploadRequest(uuid), Exchange{{}, {}, who, "127.0.0.1"}).status;
    };
    // A record as the client writes it once its upload is stored, or as the owner deleted it.
    auto record = [&](const std::string& uuid, const std::string& owner, std::int64_t deleted = 0) {
        service->serviceWrite("files/" + uuid, DatabaseValue::object({{"owner", owner}, {"name", "Harbor"}, {"deleted", deleted}}));
    };
    const std::string recorded = "D0000000000000000000000000000001";
    const std::string handedOut = "D0000000000000000000000000000002";
    const std::string deleted = "D0000000000000000000000000000003";
    const std::string takenFirst = "D0000000000000000000000000000004";
    record(recorded, uid);
    record(deleted, uid, 1'700'000'000'000);
    ASSERT_EQ(ask(token, handedOut), 200);
    // Another account asked first; a record written since under this account does not take it.
    ASSERT_EQ(ask(other, takenFirst), 200);
    record(takenFirst, uid);
    struct Case {
        const char* name;
        std::string who;
        std::string uuid;
        int status;
    };
    const Case cases[] = {
        {"another account's record", other, recorded, 403},
        {"another account's address, its record not written yet", other, handedOut, 403},
        {"another account's deleted record", other, deleted, 403},
        {"the own record", token, recorded, 200},
        {"the own address asked for again", token, handedOut, 200},
        {"the own deleted record", token, deleted, 410},
        {"a record written over another account's address", token, takenFirst, 403},
        {"an id of no record", other, "D0000000000000000000000000000005", 200},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ask(c.who, c.uuid), c.status) << c.name;
    // Two names: one free to pass the check, another account's to be signed.
    for (const std::string& first : {std::string("x"), std::string("D0000000000000000000000000000006.m4a")}) {
        const QByteArray twoNames = "/make-upload-request?file_name=" + QByteArray::fromStdString(first)
            + "&file_name=" + QByteArray::fromStdString(handedOut) + ".m4a";
        EXPECT_EQ(exchange(service->port(), "GET", twoNames, Exchange{{}, {}, other, "127.0.0.1"}).status, 400) << first;
    }

    // The account whose file it is uploads it: nothing of another account's is in the way.
    EXPECT_EQ(upload(handedOut, QByteArray(5000, 'a')), 200);
}

// A PUT that announces the test's largest body, sends a few bytes and then nothing, from `source`.
std::unique_ptr<QTcpSocket> trickle(quint16 port, const QString& address, const char* source)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->bind(QHostAddress(source));
    socket->connectToHost("127.0.0.1", port);
    EXPECT_TRUE(socket->waitForConnected(int(kDeadline * 1000)));
    socket->write("PUT " + targetOf(address) + " HTTP/1.1\r\nContent-Length: " + QByteArray::number(qint64(kTestMaxObjectBytes))
                  + "\r\n\r\nhalf");
    socket->waitForBytesWritten(int(kDeadline * 1000));
    return socket;
}

// The upload address of `uuid` handed to the account of `token`.
QString addressFor(quint16 port, const std::string& token, const std::string& uuid)
{
    const HttpAnswer answer = exchange(port, "GET", uploadRequest(uuid), Exchange{{}, {}, token, "127.0.0.1"});
    EXPECT_EQ(answer.status, 200) << answer.body.toStdString();
    return QJsonDocument::fromJson(answer.body).object().value("signed_request").toString();
}

TEST_F(UploadAndTranscription, OneAccountsTricklingUploadsLeaveOtherAccountsAPlace)
{
    // Two uploads from each of two addresses, all of one account: the account gets its share and
    // is told to wait for the rest.
    std::vector<std::unique_ptr<QTcpSocket>> held;
    std::vector<QByteArray> answers;
    for (int i = 0; i < 4; ++i) {
        const QString address = addressFor(service->port(), token, "E000000000000000000000000000000" + std::to_string(i));
        held.push_back(trickle(service->port(), address, i < 2 ? "127.0.0.2" : "127.0.0.3"));
        // Taken up (or refused) before the next one comes.
        EXPECT_EQ(exchange(service->port(), "GET", "/make-upload-request?file_name=x").status, 401);
    }
    int refused = 0;
    for (auto& socket : held)
        if (socket->waitForReadyRead(100) && socket->readAll().mid(9, 3) == "503")
            ++refused;
    EXPECT_EQ(refused, 2);

    // Another account, from a third address, is served while they trickle on.
    const std::string other = service->signUp("other@example.com");
    const std::string uuid = "E0000000000000000000000000000009";
    const HttpAnswer put = exchange(service->port(), "PUT", targetOf(addressFor(service->port(), other, uuid)),
                                    Exchange{QByteArray(5000, 'b'), {}, {}, "127.0.0.4"});
    EXPECT_EQ(put.status, 200) << put.body.toStdString();
}

TEST_F(UploadAndTranscription, UploadsThatTrickleLoseTheirPlacesWithinARateWindow)
{
    // A window of a second keeps the test short; the service's own is the same code.
    stopWorker();
    stopService();
    httpLimits.rateWindowSeconds = 1;
    startService();
    mountService();
    const std::string third = service->signUp("third@example.com");
    const QByteArray target = targetOf(addressFor(service->port(), third, "F0000000000000000000000000000009"));
    // Two accounts from two addresses take every place.
    const std::string second = service->signUp("second@example.com");
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < 4; ++i) {
        const std::string& who = i % 2 ? second : token;
        const QString address = addressFor(service->port(), who, "F000000000000000000000000000000" + std::to_string(i));
        held.push_back(trickle(service->port(), address, i % 2 ? "127.0.0.3" : "127.0.0.2"));
    }
    // A third account's upload is served once they are cut off.
    int status = 0;
    QElapsedTimer waited;
    waited.start();
    while (status != 200 && waited.elapsed() < kDeadline * 1000)
        status = exchange(service->port(), "PUT", target, Exchange{QByteArray(5000, 'c'), {}, {}, "127.0.0.4"}).status;
    EXPECT_EQ(status, 200);
    for (auto& socket : held) {
        QByteArray answer;
        while (socket->state() == QAbstractSocket::ConnectedState && socket->waitForReadyRead(int(kDeadline * 1000)))
            answer += socket->readAll();
        answer += socket->readAll();
        EXPECT_EQ(answer.mid(9, 3), "408") << answer.toStdString();
    }
}

TEST_F(UploadAndTranscription, AnUploadWaitingForAPlaceTakesThatOfOneSlowOfLate)
{
    // The service's own 30 s window; a yield span of two seconds and a lower least rate keep the
    // test short and leave the senders that bring it a wide margin, even when a loaded machine
    // stalls this thread for a second.
    stopWorker();
    stopService();
    httpLimits.yieldSpanSeconds = 2;
    httpLimits.minWindowBytesPerSecond = 512;
    startService();
    mountService();
    const std::string second = service->signUp("second@example.com");
    const std::string third = service->signUp("third@example.com");
    constexpr int kPieceBytes = 256;
    constexpr int kHonestBytes = 300 * kPieceBytes;  // a piece every 20 ms: some 6 s
    struct Case {
        const char* name;
        std::vector<bool> honest;  // of the four uploads that take every place
        bool served;               // whether a third account's upload is served while they run
    };
    const Case cases[] = {
        {"four that trickle", {false, false, false, false}, true},
        {"three that bring the rate, the first of them the longest running", {true, true, false, true}, true},
        {"four that bring the rate", {true, true, true, true}, false},
    };
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string ids = "A" + std::to_string(run++) + std::string(29, '0');
        // Two accounts from two addresses take every place, in this order.
        std::vector<std::unique_ptr<QTcpSocket>> held;
        std::vector<int> sent;
        for (int i = 0; i < 4; ++i) {
            const QString address = addressFor(service->port(), i % 2 ? second : token, ids + std::to_string(i));
            const char* source = i % 2 ? "127.0.0.3" : "127.0.0.2";
            if (c.honest[std::size_t(i)]) {
                auto socket = std::make_unique<QTcpSocket>();
                socket->bind(QHostAddress(source));
                socket->connectToHost("127.0.0.1", service->port());
                EXPECT_TRUE(socket->waitForConnected(int(kDeadline * 1000)));
                socket->write("PUT " + targetOf(address) + " HTTP/1.1\r\nContent-Length: " + QByteArray::number(kHonestBytes)
                              + "\r\n\r\n");
                socket->waitForBytesWritten(int(kDeadline * 1000));
                held.push_back(std::move(socket));
            } else {
                held.push_back(trickle(service->port(), address, source));
            }
            sent.push_back(0);
            // Taken up before the next one comes.
            EXPECT_EQ(exchange(service->port(), "GET", "/make-upload-request?file_name=x").status, 401);
        }
        const QByteArray target = targetOf(addressFor(service->port(), third, ids + "9"));
        int status = 0;
        bool servedWhileTheyRan = false;
        QElapsedTimer waited;
        waited.start();
        for (int round = 0; waited.elapsed() < kDeadline * 1000; ++round) {
            bool running = false;
            bool noneWhole = true;
            for (std::size_t i = 0; i < held.size(); ++i) {
                if (c.honest[i] && sent[i] < kHonestBytes) {
                    held[i]->write(QByteArray(kPieceBytes, 'h'));
                    held[i]->flush();
                    sent[i] += kPieceBytes;
                    running = true;
                }
                noneWhole = noneWhole && !(c.honest[i] && sent[i] == kHonestBytes);
            }
            held[0]->waitForReadyRead(20);
            if (status != 200 && round % 10 == 0) {
                status = exchange(service->port(), "PUT", target, Exchange{QByteArray(5000, 'c'), {}, {}, "127.0.0.4"}).status;
                servedWhileTheyRan = status == 200 && noneWhole;
                EXPECT_TRUE(status == 200 || status == 503) << status;
            }
            if (!running && (status == 200 || !c.served))
                break;
        }
        EXPECT_EQ(servedWhileTheyRan, c.served);
        // Those that bring the rate are stored; one that trickles gave its place up.
        int givenUp = 0;
        for (std::size_t i = 0; i < held.size(); ++i) {
            QByteArray answer;
            if (c.honest[i]) {
                while (held[i]->state() == QAbstractSocket::ConnectedState && held[i]->waitForReadyRead(int(kDeadline * 1000)))
                    answer += held[i]->readAll();
                answer += held[i]->readAll();
                EXPECT_EQ(answer.mid(9, 3), "200") << i << ": " << answer.toStdString();
            } else if (held[i]->waitForReadyRead(100) || held[i]->bytesAvailable() > 0) {
                answer = held[i]->readAll();
                EXPECT_TRUE(answer.startsWith("HTTP/1.1 408") && answer.contains("too_slow")) << answer.toStdString();
                ++givenUp;
            }
        }
        EXPECT_EQ(givenUp, c.served ? 1 : 0);
    }
}

TEST_F(UploadAndTranscription, AJobCutOffByARestartIsTakenUpAgain)
{
    stopWorker();
    auto client = connectClient(token);
    ASSERT_EQ(upload(kUuid, shortSpeech()), 200);
    submit(*client, kUuid);
    // The entry is there before the worker starts; the service stops while it is being worked on.
    std::int64_t status = 0;
    client->reference(std::string("files/") + kUuid + "/status").observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) {
        status = snapshot.value().toInt();
    });
    mountService();
    ASSERT_TRUE(waitFor([&] { return status == transcriber::kFileStatusProcessing; }));
    restartService();
    client = connectClient(token);
    const DatabaseValue record = finishedRecord(*client, kUuid);
    EXPECT_EQ(record.child("status").toInt(), transcriber::kFileStatusTranscribed) << record.child("failure_reason").toString();
    EXPECT_GT(service->value(std::string("transcripts/") + kUuid + "/words").childCount(), 0u);
}

// Whether the worker checks its model itself or is told what a check before it found.
TEST_F(UploadAndTranscription, AWorkerWithoutItsModelSaysSoAndLeavesTheFilesWaiting)
{
    stopWorker();
    auto client = connectClient(token);
    submit(*client, kUuid);
    TranscriptionWorker::Options missing;
    missing.model.acousticModel = folder.path().toStdString() + "/no-model";
    mountService(missing);
    EXPECT_EQ(service->value("status").toString(), transcriber::kServiceStatusUnavailable);
    stopWorker();
    service->serviceWrite("status", nullptr);
    service->run([&](HubServer& server) {
        worker = new TranscriptionWorker(server, store, TranscriptionWorker::ModelCheck{"the model was found damaged"});
    });
    EXPECT_EQ(service->value("status").toString(), transcriber::kServiceStatusUnavailable);
    EXPECT_TRUE(service->value(std::string("files_new/") + kUuid).toBool());
    EXPECT_EQ(service->value(std::string("files/") + kUuid + "/status").toInt(), transcriber::kFileStatusSubmitted);
}

TEST(MemoryJobQueue, QueuesAJobOnceUntilItIsFinished)
{
    MemoryJobQueue queue;
    queue.push("a");
    queue.push("b");
    queue.push("a");
    std::stop_source stop;
    EXPECT_EQ(queue.take(stop.get_token()), "a");
    queue.push("a");  // being worked on: not queued again
    EXPECT_EQ(queue.take(stop.get_token()), "b");
    queue.finish("a");
    queue.push("a");
    EXPECT_EQ(queue.take(stop.get_token()), "a");

    std::optional<std::string> taken = "unset";
    std::thread waiter([&] { taken = queue.take(stop.get_token()); });
    stop.request_stop();
    waiter.join();
    EXPECT_EQ(taken, std::nullopt);
}

}  // namespace
}  // namespace qv::hub::testing
