// The service over loopback, as a separate process (the qv-hub program) with clients in this
// one. Figures and targets:
//   pipelined acknowledged writes from one client          >= 20,000 per second
//   a write seen by another client's observer              p50 <= 2 ms, p99 <= 20 ms
//   first load of a 30,000-word transcript by listening     <= 300 ms
//   200 clients each listening to its own file             service under 200 MB resident
//   a 100 MB store opened (read into memory)               under 2 s
// Meaningful only in an optimised build:
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && build-release/bench/rtdb/service_bench
#include "bench/rtdb/HubBenchSupport.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/RemoteConnection.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace qv;

namespace {

constexpr int kPipelinedWrites = 20'000;
constexpr int kLatencySamples = 1'000;
constexpr int kWords = 30'000;
constexpr int kLoads = 5;
constexpr int kClients = 200;
constexpr double kDeadline = 120;

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::string http(quint16 port, const std::string& method, const std::string& target, const std::string& body)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(10'000))
        return {};
    std::string request = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + body;
    socket.write(request.data(), qint64(request.size()));
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10'000))
        answer += socket.readAll();
    return (answer + socket.readAll()).toStdString();
}

using bench::field;
using bench::residentKiB;

DatabaseValue transcript()
{
    std::vector<DatabaseValue::Entry> words;
    for (int i = 0; i < kWords; ++i)
        words.emplace_back("W" + std::to_string(1'000'000 + i),
                           DatabaseValue::object({{"deleted", false}, {"end", std::int64_t{i} * 1000 + 800},
                                                  {"favorite", false}, {"name", "word" + std::to_string(i % 997)},
                                                  {"new_paragraph", i % 50 == 0}, {"start", std::int64_t{i} * 1000},
                                                  {"status", 0}}));
    return DatabaseValue::object({{"words", DatabaseValue::map(std::move(words))},
                                  {"speakers", DatabaseValue::object({{"S1", DatabaseValue::object({{"name", "Speaker 1"}})}})}});
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QTemporaryDir data;
    QProcess service;
    service.start(QV_HUB_PROGRAM, {"--port", "0", "--data", data.path()});
    if (!service.waitForStarted() || !service.waitForReadyRead(10'000)) {
        std::fprintf(stderr, "the service did not start\n");
        return 2;
    }
    std::string listening = service.readLine().trimmed().toStdString();
    auto port = static_cast<quint16>(std::stoi(listening.substr(listening.rfind(':') + 1)));
    std::string account = http(port, "POST", "/auth/sign-up", R"({"email":"bench@example.com","password":"benchmark"})");
    std::string token = field(account, "token");
    std::string uid = field(account, "uid");
    QUrl url("ws://127.0.0.1:" + QString::number(port) + "/");
    ManualDispatcher queue;
    auto connect = [&] {
        return std::make_unique<DatabaseClient>(std::make_unique<RemoteConnection>(RemoteConnection::Options{url, token}),
                                                queue, DatabaseClient::Options{});
    };
    bool pass = true;

    // 1. Pipelined acknowledged writes.
    auto writer = connect();
    queue.runUntil([&] { return writer->isConnected(); }, kDeadline);
    int acked = 0;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPipelinedWrites; ++i)
        writer->reference("users/" + uid + "/bench/" + std::to_string(i % 1000))
            .setValue(i, [&](const DatabaseResult& error) { acked += error ? 0 : 1; });
    queue.runUntil([&] { return acked == kPipelinedWrites; }, kDeadline);
    double perSecond = kPipelinedWrites / (msSince(start) / 1000);
    pass = pass && perSecond >= 20'000;
    std::printf("pipelined acknowledged writes from one client: %.0f/s (target >= 20000) %s\n", perSecond,
                perSecond >= 20'000 ? "PASS" : "FAIL");

    // 2. A write seen by another client's observer.
    auto reader = connect();
    std::int64_t seen = -1;
    reader->reference("users/" + uid + "/latency").observe(DatabaseEvent::Value, [&](const DataSnapshot& s) {
        seen = s.value().toInt(-1);
    });
    queue.runUntil([&] { return reader->isConnected() && seen == -1; }, kDeadline);
    queue.runUntil([] { return false; }, 0.2);
    std::vector<double> latency;
    for (int i = 0; i < kLatencySamples; ++i) {
        auto sent = std::chrono::steady_clock::now();
        writer->reference("users/" + uid + "/latency").setValue(i);
        queue.runUntil([&] { return seen == i; }, kDeadline);
        latency.push_back(msSince(sent));
    }
    std::sort(latency.begin(), latency.end());
    double p50 = latency[latency.size() / 2], p99 = latency[latency.size() * 99 / 100];
    pass = pass && p50 <= 2 && p99 <= 20;
    std::printf("write seen by another client's observer: p50 %.2f ms, p99 %.2f ms (targets 2, 20) %s\n", p50, p99,
                p50 <= 2 && p99 <= 20 ? "PASS" : "FAIL");

    // 3. First load of a 30,000-word transcript by listening.
    bool stored = false;
    writer->root().updateChildValues({{"files/T1", DatabaseValue::object({{"owner", uid}, {"name", "Interview"}})},
                                      {"transcripts/T1", transcript()}},
                                     [&](const DatabaseResult& error) { stored = !error; });
    queue.runUntil([&] { return stored; }, kDeadline);
    double worstLoad = 0;
    for (int run = 0; run < kLoads; ++run) {
        auto fresh = connect();
        queue.runUntil([&] { return fresh->isConnected(); }, kDeadline);
        std::size_t words = 0;
        auto began = std::chrono::steady_clock::now();
        fresh->reference("transcripts/T1").observe(DatabaseEvent::Value, [&](const DataSnapshot& s) {
            words = s.value().child("words").childCount();
        });
        queue.runUntil([&] { return words == kWords; }, kDeadline);
        worstLoad = std::max(worstLoad, msSince(began));
    }
    pass = pass && worstLoad <= 300;
    std::printf("first load of a %d-word transcript: %.1f ms worst of %d (target <= 300) %s\n", kWords, worstLoad, kLoads,
                worstLoad <= 300 ? "PASS" : "FAIL");

    // 4. Many clients, each listening to its own file.
    DatabaseUpdate files;
    for (int i = 0; i < kClients; ++i)
        files.emplace_back("files/F" + std::to_string(i),
                           DatabaseValue::object({{"owner", uid}, {"name", "File " + std::to_string(i)}, {"status", 30}}));
    stored = false;
    writer->root().updateChildValues(files, [&](const DatabaseResult& error) { stored = !error; });
    queue.runUntil([&] { return stored; }, kDeadline);
    std::vector<std::unique_ptr<DatabaseClient>> clients;
    int reported = 0;
    for (int i = 0; i < kClients; ++i) {
        clients.push_back(connect());
        clients.back()->reference("files/F" + std::to_string(i)).observe(DatabaseEvent::Value, [&](const DataSnapshot& s) {
            reported += s.exists() ? 1 : 0;
        });
    }
    queue.runUntil([&] { return reported == kClients; }, kDeadline);
    long kib = residentKiB(service.processId());
    pass = pass && reported == kClients && kib >= 0 && kib < 200 * 1024;
    std::printf("%d clients each listening to its own file (%d reported): service resident %.1f MB (target < 200) %s\n",
                kClients, reported, kib / 1024.0, reported == kClients && kib < 200 * 1024 ? "PASS" : "FAIL");

    clients.clear();
    writer.reset();
    reader.reset();
    service.kill();
    service.waitForFinished();

    // 5. Opening a store of 100 MB.
    QTemporaryDir storeFolder;
    std::filesystem::path folder = storeFolder.path().toStdString();
    std::uintmax_t bytes = 0;
    {
        DatabaseBackend store(DatabaseBackend::Options{folder, {}, false});
        DatabaseValue words = transcript();
        for (int file = 0; bytes < 100u << 20; ++file) {
            store.setValue("transcripts/T" + std::to_string(file), words);
            bytes = 0;
            for (const auto& entry : std::filesystem::directory_iterator(folder))
                bytes += entry.file_size();
        }
    }
    bytes = std::filesystem::file_size(folder / "tree.sqlite");
    auto opening = std::chrono::steady_clock::now();
    std::size_t transcripts = DatabaseBackend(DatabaseBackend::Options{folder, {}, false}).value("transcripts").childCount();
    double openMs = msSince(opening);
    pass = pass && openMs < 2000;
    std::printf("a %.0f MB store (%zu transcripts) opened in %.0f ms (target < 2000) %s\n", bytes / 1048576.0, transcripts,
                openMs, openMs < 2000 ? "PASS" : "FAIL");
    return pass ? 0 : 1;
}
