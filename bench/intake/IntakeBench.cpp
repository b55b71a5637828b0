// Two measures of the road from media to an upload, each printed beside its anchor from the
// same run:
//  1. Adding 100 media files of mixed kinds (WAV, MP3, M4A, a movie) to the pending list, until
//     every row shows its duration, against ffprobe run on the same files one after another.
//  2. Converting and uploading a long stereo WAV to a local service (the object store behind a
//     signed address), against the ffmpeg command of the same conversion followed by curl -T of
//     its output; with the program's peak memory after a tenth of the length and after all of it,
//     which should not grow with the length. The service runs as a program of its own (qv-hub),
//     so that its memory is not counted as ours.
//
//   intake_bench [--minutes N]
//
// Defaults: a 60-minute WAV. Run it from a Release build.

#include "intake/PendingFileFactory.h"
#include "intake/QVFilesPendingViewController.h"
#include "intake/QVTableCellViewFilePending.h"
#include "model/AppDelegate.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/RemoteConnection.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Peak resident memory of this process so far, in MB.
double peakMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

std::string quoted(const QString& path) { return "'" + path.toStdString() + "'"; }

void spin(const std::function<bool()>& done)
{
    while (!done()) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

// The JSON answer of a request to the service.
QJsonObject ask(QNetworkAccessManager& network, const QUrl& url, const QByteArray& postBody = {},
                const QString& token = {})
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    if (!token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + token.toUtf8());
    QNetworkReply* reply = postBody.isEmpty() ? network.get(request) : network.post(request, postBody);
    spin([reply] { return reply->isFinished(); });
    reply->deleteLater();
    return QJsonDocument::fromJson(reply->readAll()).object();
}

void addingFiles(const QTemporaryDir& folder)
{
    struct Source {
        const char* name;
        const char* make;
    };
    const Source sources[] = {
        {"speech.wav", "-f lavfi -i sine=f=300:d=30 -ac 2 -c:a pcm_s16le"},
        {"music.mp3", "-f lavfi -i sine=f=440:d=30 -c:a libmp3lame -b:a 128k"},
        {"voice.m4a", "-f lavfi -i sine=f=500:d=30 -c:a aac -b:a 64k"},
        {"scene.mov", "-f lavfi -i testsrc=s=320x180:d=10 -f lavfi -i sine=d=10 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest"},
    };
    std::vector<QUrl> urls;
    for (const Source& source : sources) {
        const QString made = folder.filePath(source.name);
        if (!run(std::string("ffmpeg -nostdin -v error -y ") + source.make + " " + quoted(made)))
            std::exit(1);
        for (int copy = 0; copy < 25; ++copy) {
            const QString path = folder.filePath(QStringLiteral("%1-%2").arg(copy).arg(source.name));
            QFile::copy(made, path);
            urls.push_back(QUrl::fromLocalFile(path));
        }
    }

    AppDelegate ad;
    ad.userStatus = 30;
    qv::QtDispatcher queue;
    qv::Preferences preferences(folder.filePath("config"));
    qv::ScriptedAlertPresenter alerts;
    IntakeHooks hooks;
    hooks.modalAlerts = &alerts;
    hooks.namedImage = [](const QString&) { return QImage(16, 9, QImage::Format_RGB32); };
    hooks.videoThumbnail = [](const QUrl&) { return QImage(16, 9, QImage::Format_RGB32); };
    QVFilesPendingViewController pending(ad, queue, preferences, hooks, {}, folder.filePath("converted"));

    QElapsedTimer timer;
    timer.start();
    pending.addFilesData(QVFilesPendingViewController::createFileDataFromURLs(urls), -1);
    const double ours = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    int shown = 0;
    for (const auto& file : ad.filesPending)
        if (QVTableCellViewFilePending* cell = pending.cellForFile(*file); cell && !cell->durationDisplay()->text().isEmpty())
            ++shown;

    timer.restart();
    for (const QUrl& url : urls)
        run("ffprobe -v error -show_entries format=duration -of csv=p=0 " + quoted(url.toLocalFile()) + " > /dev/null");
    const double anchor = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    std::printf("adding 100 files: %d rows with their duration in %.3f s; ffprobe one after another %.3f s; "
                "ratio %.2f (target <= 1.0)\n",
                shown, ours, anchor, ours / anchor);
}

// Converts and uploads `wav` through the file processor; answers the seconds taken.
double processorRun(const QString& wav, const QUrl& web, qv::DatabaseClient& client, const std::string& uid,
                    const QString& token, const QTemporaryDir& folder)
{
    AppDelegate ad;
    ad.fbRef = client.root();
    ad.filesMetadataRef = ad.fbRef.child("files");
    ad.currentUser = qv::User{uid, "bench@example.com", true};
    qv::QtDispatcher queue;
    qv::ScriptedAlertPresenter alerts;
    IntakeHooks hooks;
    hooks.sheetAlerts = &alerts;
    hooks.webApplicationURL = [web](const QString& path) { return web.resolved(QUrl(path)); };
    hooks.accountToken = [token] { return token; };
    QVFileProcessor processor(ad, queue, hooks, folder.filePath("converted"));
    auto file = createPendingFileFromURL(QUrl::fromLocalFile(wav), {});
    ad.filesPending = {file};
    ad.filesToProcess = ad.filesPending;
    QElapsedTimer timer;
    timer.start();
    processor.startProcessing();
    spin([&] { return !processor.isProcessing(); });
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (!file || !alerts.shownAlerts().empty()) {
        std::fprintf(stderr, "the upload of %s failed: %s\n", qPrintable(wav),
                     alerts.shownAlerts().empty() ? "refused" : qPrintable(alerts.shownAlerts().front().messageText));
        std::exit(1);
    }
    return seconds;
}

void convertingAndUploading(const QTemporaryDir& folder, int minutes)
{
    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(QStringLiteral(QV_HUB_PROGRAM), {"--port", "0", "--data", folder.filePath("service")});
    QString listening;
    spin([&] {
        listening += QString::fromUtf8(service.readAllStandardOutput());
        return listening.contains('\n') || service.state() == QProcess::NotRunning;
    });
    const int colon = listening.lastIndexOf(':');
    const QUrl web(QStringLiteral("http://127.0.0.1:%1/").arg(listening.mid(colon + 1).section(' ', 0, 0).trimmed()));
    QNetworkAccessManager network;
    const QJsonObject account = ask(network, web.resolved(QUrl("auth/sign-up")),
                                    R"({"email":"bench@example.com","password":"bench password"})");
    const std::string uid = account.value("uid").toString().toStdString();
    if (uid.empty()) {
        std::fprintf(stderr, "the service did not start: %s\n", qPrintable(listening));
        std::exit(1);
    }
    const QString token = account.value("token").toString();
    qv::QtDispatcher queue;
    QUrl database = web;
    database.setScheme("ws");
    qv::DatabaseClient client(
        std::make_unique<qv::RemoteConnection>(
            qv::RemoteConnection::Options{database, token.toStdString()}),
        queue, qv::DatabaseClient::Options{});

    auto makeWav = [&](int length) {
        const QString path = folder.filePath(QStringLiteral("long-%1.wav").arg(length));
        run("ffmpeg -nostdin -v error -y -f lavfi -i sine=f=220:d=" + std::to_string(length * 60)
            + " -ac 2 -ar 48000 -c:a pcm_s16le " + quoted(path));
        return path;
    };
    const QString longWav = makeWav(minutes);

    // The anchor first: the service's worker then transcribes our uploads, not theirs.
    QElapsedTimer timer;
    timer.start();
    const QString converted = folder.filePath("anchor.m4a");
    run("ffmpeg -nostdin -v error -y -i " + quoted(longWav) + " -ac 1 -ar 32000 -c:a aac -b:a 64k " + quoted(converted));
    const QString signedRequest =
        ask(network, web.resolved(QUrl("make-upload-request?file_name=ABCDEF0123456789ABCDEF0123456789.m4a")), {}, token)
            .value("signed_request")
            .toString();
    run("curl -s -o /dev/null -H 'Content-Type: audio/mp4' -T " + quoted(converted) + " '" + signedRequest.toStdString()
        + "'");
    const double anchor = static_cast<double>(timer.nsecsElapsed()) / 1e9;

    const int tenth = std::max(1, minutes / 10);
    const QString shortWav = makeWav(tenth);
    const double before = peakMegabytes();
    processorRun(shortWav, web, client, uid, token, folder);
    const double afterShort = peakMegabytes();
    const double ours = processorRun(longWav, web, client, uid, token, folder);
    const double afterLong = peakMegabytes();
    std::printf("converting and uploading %d minutes of stereo WAV: %.2f s; ffmpeg then curl -T %.2f s; ratio %.2f "
                "(target <= 1.1)\n",
                minutes, ours, anchor, ours / anchor);
    std::printf("peak memory: %.1f MB before, %.1f MB after %d minutes, %.1f MB after %d minutes\n", before, afterShort,
                tenth, afterLong, minutes);
    service.terminate();
    service.waitForFinished();
}

}  // namespace

int main(int argc, char** argv)
{
    int minutes = 60;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--minutes")
            minutes = std::max(1, std::atoi(argv[i + 1]));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;
    addingFiles(folder);
    convertingAndUploading(folder, minutes);
    return 0;
}
