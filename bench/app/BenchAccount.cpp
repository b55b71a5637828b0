#include "BenchAccount.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace qv::bench {

using shell::ApplicationShell;
using shell::LaunchConfiguration;

namespace {

const QStringList& vocabulary()
{
    static const QStringList words = QString("so the first thing we did was look at the footage again and then decided "
                                             "that interview should open film which surprised everyone")
                                         .split(' ');
    return words;
}

DatabaseValue transcript(const TranscriptFile& file)
{
    std::vector<DatabaseValue::Entry> words;
    words.reserve(std::size_t(file.words));
    for (int i = 0; i < file.words; ++i) {
        words.emplace_back(QStringLiteral("W%1").arg(i, 6, 10, QLatin1Char('0')).toStdString(),
                           DatabaseValue::object({{"name", vocabulary().at(i % vocabulary().size()).toStdString()},
                                                  {"start", std::int64_t(i) * 400},
                                                  {"end", std::int64_t(i) * 400 + 350},
                                                  {"status", 0},
                                                  {"favorite", false},
                                                  {"deleted", false},
                                                  {"new_paragraph", false}}));
    }
    std::vector<DatabaseValue::Entry> speakers;
    const char* names[] = {"Ann", "Ben", "Cleo"};
    const char* colors[] = {"purple", "blue", "teal"};
    for (int s = 0; s < 3; ++s)
        speakers.emplace_back("S" + std::to_string(s), DatabaseValue::object({{"name", names[s]}, {"color", colors[s]}}));
    std::vector<DatabaseValue::Entry> ranges;
    for (int r = 0; r < file.ranges; ++r) {
        ranges.emplace_back(QStringLiteral("R%1").arg(r, 5, 10, QLatin1Char('0')).toStdString(),
                            DatabaseValue::object({{"speaker", "S" + std::to_string(r % 3)},
                                                   {"start", std::int64_t(r) * (file.words / file.ranges) * 400},
                                                   {"deleted", false}}));
    }
    return DatabaseValue::object({{"words", DatabaseValue::map(std::move(words))},
                                  {"speakers", DatabaseValue::map(std::move(speakers))},
                                  {"speaker_ranges", DatabaseValue::map(std::move(ranges))}});
}

}  // namespace

bool waitFor(const std::function<bool()>& done, int deadlineMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > deadlineMs)
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void settle(Dispatcher& queue)
{
    for (int round = 0; round < 3; ++round) {
        bool reached = false;
        queue.async([&reached] { reached = true; });
        while (!reached)
            QApplication::processEvents(QEventLoop::AllEvents);
    }
}

Launch::Launch(QtDispatcher& queue, const QString& folder, const QString& url)
    : preferences(folder + "/config"),
      shell(queue, preferences,
            LaunchConfiguration::fromArguments(url.isEmpty() ? QStringList{"quorvantelle", "--service-data", folder + "/service"}
                                                             : QStringList{"quorvantelle", "--service", url}))
{
}

bool start(Launch& launch)
{
    bool ready = false;
    launch.shell.setObservers({[&] { ready = true; }, {}});
    launch.shell.applicationDidFinishLaunching();
    return waitFor([&] { return ready; });
}

bool writeAccount(QtDispatcher& queue, const QString& folder, const std::vector<TranscriptFile>& files)
{
    Launch launch(queue, folder);
    if (!start(launch))
        return false;
    ApplicationShell& shell = launch.shell;
    AppDelegate& ad = shell.ad();
    shell.auth()->createUser(kEmail, kPassword, {});
    if (!waitFor([&] { return ad.isLoggedIn && ad.userFilesStillToLoad == 0; }))
        return false;
    const std::string uid = ad.currentUser->uid;
    std::size_t written = 0;
    for (const TranscriptFile& file : files) {
        DatabaseUpdate record;
        record.emplace_back("files/" + file.uuid, DatabaseValue::object({{"owner", uid},
                                                                         {"status", 30},
                                                                         {"created", 1'700'000'000'000 + file.ranges},
                                                                         {"duration", std::int64_t(file.words) * 400},
                                                                         {"file_type", 0},
                                                                         {"language", "en-US"},
                                                                         {"name", file.name}}));
        record.emplace_back("users/" + uid + "/files/" + file.uuid, true);
        // The transcript goes in once the file is the account's.
        shell.database()->root().updateChildValues(record, [&, file](const DatabaseResult& error) {
            if (error)
                return;
            ++written;
            shell.database()->root().child("transcripts").child(file.uuid).setValue(transcript(file), [&](const DatabaseResult& error) {
                written += !error;
            });
        });
    }
    return waitFor([&] { return written == 2 * files.size(); });
}

bool signIn(ApplicationShell& shell)
{
    shell.auth()->signIn(kEmail, kPassword, {});
    return waitFor([&] { return shell.ad().isLoggedIn && shell.ad().userFilesStillToLoad == 0; });
}

bool open(ApplicationShell& shell, const TranscriptFile& file, std::size_t filesInAccount)
{
    AppDelegate& ad = shell.ad();
    if (ad.currentMode == 2)
        shell.performAction(QStringLiteral("showFiles:"), 0);
    if (!waitFor([&] { return ad.currentMode == 1 && shell.filesList().filesSearchResults().size() == filesInAccount; }))
        return false;
    const auto& rows = shell.filesList().filesSearchResults();
    const auto row = std::find_if(rows.begin(), rows.end(), [&](const auto& listed) { return listed->uuid.toStdString() == file.uuid; });
    shell.filesList().selectRow(row - rows.begin());
    shell.openSelectedFile();
    return waitFor([&] {
        return ad.currentMode == 2 && ad.currentFile && ad.currentFile->uuid.toStdString() == file.uuid
            && ad.words.size() == std::size_t(file.words) && !shell.window().isCoverShown();
    });
}

double statusMegabytes(const char* field, long long pid)
{
    QFile status(pid == 0 ? QStringLiteral("/proc/self/status") : QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return -1;
}

}  // namespace qv::bench
