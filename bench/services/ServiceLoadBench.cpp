// The service program under the loads that once stalled or bloated it, as a separate process
// (qv-hub) with its clients in this one. Figures and targets:
//   database ping p99 while 16 sign-ins and a valid 256 MiB upload run     <= 20 ms
//   peak resident memory during four forged 256 MiB uploads, above idle    < 100 MB
// Meaningful only in an optimised build:
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release && build-release/bench/services/service_load_bench
#include "bench/rtdb/HubBenchSupport.h"
#include "platform/rtdb/WireProtocol.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebSocket>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace qv;

namespace {

constexpr int kSignIns = 16;
constexpr int kForgedUploads = 4;
constexpr qint64 kUploadBytes = qint64{256} << 20;
constexpr qint64 kChunkBytes = qint64{1} << 20;

// The answer's status and body, or status 0 when the exchange failed. The body is sent in
// chunks and no longer once an answer has come (a refused upload is answered before its body).
std::pair<int, std::string> exchange(quint16 port, const QByteArray& head, qint64 bodyBytes, char fill)
{
    QTcpSocket socket;
    socket.connectToHost("127.0.0.1", port);
    if (!socket.waitForConnected(10'000))
        return {0, {}};
    socket.write(head);
    const QByteArray chunk(kChunkBytes, fill);
    QByteArray answer;
    for (qint64 sent = 0; sent < bodyBytes && socket.state() == QAbstractSocket::ConnectedState;) {
        QByteArray piece = chunk.left(std::min(kChunkBytes, bodyBytes - sent));
        if (socket.write(piece) < 0)
            break;
        sent += piece.size();
        while (socket.bytesToWrite() > 4 * kChunkBytes && socket.waitForBytesWritten(10'000)) {
        }
        answer += socket.readAll();
        if (!answer.isEmpty())
            break;
    }
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(60'000))
        answer += socket.readAll();
    answer += socket.readAll();
    if (!answer.startsWith("HTTP/1.1 "))
        return {0, {}};
    return {answer.mid(9, 3).toInt(), answer.mid(answer.indexOf("\r\n\r\n") + 4).toStdString()};
}

std::pair<int, std::string> post(quint16 port, const QByteArray& path, const QByteArray& body)
{
    return exchange(port, "POST " + path + " HTTP/1.1\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body,
                    0, 0);
}

using bench::field;
using bench::residentKiB;

QByteArray putHead(const std::string& target, qint64 bytes)
{
    return "PUT " + QByteArray::fromStdString(target) + " HTTP/1.1\r\nContent-Type: audio/mp4\r\nContent-Length: "
        + QByteArray::number(bytes) + "\r\n\r\n";
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
    std::string token = field(post(port, "/auth/sign-up", R"({"email":"bench@example.com","password":"benchmark"})").second,
                              "token");

    // The database client whose pings are timed, on this thread.
    QWebSocket socket;
    std::vector<std::string> frames;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString& text) { frames.push_back(text.toStdString()); });
    socket.open(QUrl("ws://127.0.0.1:" + QString::number(port) + "/"));
    auto waitFor = [&](const std::function<bool()>& done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 30'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        return done();
    };
    waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    socket.sendTextMessage(QString::fromStdString(FrameBuilder("auth").text("token", token).text("client", "bench").take()));
    if (!waitFor([&] { return !frames.empty(); }) || frames.front().find("ready") == std::string::npos) {
        std::fprintf(stderr, "the bench client could not sign in\n");
        return 2;
    }

    // 1. Pings while 16 sign-ins and a genuine 256 MiB upload run.
    std::string address = field(exchange(port, "GET /make-upload-request?file_name=0123456789ABCDEF0123456789ABCDEF.m4a HTTP/1.1\r\n"
                                               "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n\r\n", 0, 0).second,
                                "signed_request");
    std::string target = address.substr(address.find("/objects/"));
    std::atomic<int> running = kSignIns + 1;
    std::atomic<int> failures = 0;
    std::vector<std::thread> load;
    for (int i = 0; i < kSignIns; ++i)
        load.emplace_back([&] {
            failures += post(port, "/auth/sign-in", R"({"email":"bench@example.com","password":"benchmark"})").first != 200;
            --running;
        });
    load.emplace_back([&] {
        failures += exchange(port, putHead(target, kUploadBytes), kUploadBytes, 'a').first != 200;
        --running;
    });
    std::vector<double> pings;
    for (std::int64_t id = 1; running > 0; ++id) {
        QElapsedTimer timer;
        timer.start();
        std::size_t seen = frames.size();
        socket.sendTextMessage(QString::fromStdString(FrameBuilder("ping").id(static_cast<std::uint64_t>(id)).take()));
        if (!waitFor([&] { return frames.size() > seen; }))
            break;
        pings.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    for (auto& thread : load)
        thread.join();
    std::sort(pings.begin(), pings.end());
    auto percentile = [&](double p) { return pings.empty() ? -1.0 : pings[std::size_t(p * double(pings.size() - 1))]; };
    std::printf("ping under 16 sign-ins and a 256 MiB upload: %zu pings, p50 %.2f ms, p99 %.2f ms, max %.2f ms "
                "(target p99 <= 20 ms); %d requests failed\n",
                pings.size(), percentile(0.5), percentile(0.99), pings.empty() ? -1.0 : pings.back(), failures.load());

    // 2. Memory during four forged 256 MiB uploads.
    long idle = residentKiB(service.processId());
    std::string forged = target.substr(0, target.rfind('=') + 1) + std::string(64, '0');
    std::atomic<int> forging = kForgedUploads;
    std::atomic<int> refused = 0;
    std::vector<std::thread> forgers;
    for (int i = 0; i < kForgedUploads; ++i)
        forgers.emplace_back([&] {
            refused += exchange(port, putHead(forged, kUploadBytes), kUploadBytes, 'f').first == 403;
            --forging;
        });
    long peak = idle;
    while (forging > 0) {
        peak = std::max(peak, residentKiB(service.processId()));
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto& thread : forgers)
        thread.join();
    std::printf("four forged 256 MiB uploads: %d of %d refused with 403; service resident %.1f MB idle, peak %.1f MB, "
                "%.1f MB above idle (target < 100 MB)\n",
                refused.load(), kForgedUploads, idle / 1024.0, peak / 1024.0, (peak - idle) / 1024.0);
    socket.close();
    service.terminate();
    service.waitForFinished(10'000);
    return 0;
}
