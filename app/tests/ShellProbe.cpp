// qv-shell-probe: one computer of the account as a separate process, for the tests that are
// about several computers. Prints what it sees, line by line, for the test to read.
//   qv-shell-probe <url> <token> <uid> <systemID> open <uuid>
//       signs in, opens the file and prints "access edit" or "access view" whenever the edit
//       right changes; on SIGTERM closes the file, prints "closed" and ends.
//   qv-shell-probe <url> <token> <uid> <systemID> count <uuid> <n>
//       counts <n> SubRip exports of the file, prints "counting" and runs until SIGTERM.
//   qv-shell-probe <url> <token> <uid> <systemID> write <uuid> (<path> <value>)...
//       changes the file's transcript: each <path> below transcripts/<uuid> gets <value> (a
//       whole number when it reads as one, "true" as true, else the text); prints "written"
//       once the service has them all and ends.
#include "TestComputer.h"

#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/RemoteConnection.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t stopping = 0;

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int openFile(Computer& computer, qv::ManualDispatcher& queue, const std::string& uuid)
{
    auto file = fileFromRecord({}, QString::fromStdString(uuid), computer.ad.filesMetadataRef.child(uuid));
    computer.open(file);
    bool decided = false;
    computer.ad.filesMetadataRef.child(uuid + "/users_online/" + computer.ad.currentUser->uid)
        .observe(qv::DatabaseEvent::Value, [&](const qv::DataSnapshot& snapshot) { decided = decided || snapshot.exists(); });
    const char* said = nullptr;
    auto access = [&]() -> const char* {
        if (!decided || !computer.ad.isConnected)
            return said;
        return computer.ad.isViewingOnly ? "access view" : "access edit";
    };
    // Told as soon as the task that changed it has run; the time slices only notice SIGTERM.
    while (!stopping) {
        queue.runUntil([&] { return stopping != 0 || access() != said; }, 0.05);
        if (access() != said)
            say(said = access());
    }
    computer.shell.presence.currentFileUserOnlineRemove();
    if (!queue.runUntil([&] { return !file->userSystemOnlineRef.isValid(); }, 20))
        return 1;
    say("closed");
    return 0;
}

int count(Computer& computer, qv::ManualDispatcher& queue, const std::string& uuid, int times)
{
    auto file = fileFromRecord({}, QString::fromStdString(uuid), computer.ad.filesMetadataRef.child(uuid));
    for (int i = 0; i < times; ++i)
        computer.shell.fileStatus.incrementExportCountForType(qv::ExportTypeSubRip, file);
    say("counting");
    queue.runUntil([] { return stopping != 0; }, 3600);
    return 0;
}

qv::DatabaseValue valueFromArgument(const QString& text)
{
    bool number = false;
    const qlonglong value = text.toLongLong(&number);
    if (number)
        return qv::DatabaseValue(std::int64_t(value));
    if (text == "true")
        return qv::DatabaseValue(true);
    return qv::DatabaseValue(text.toStdString());
}

int write(Computer& computer, qv::ManualDispatcher& queue, const std::string& uuid, const QStringList& pairs)
{
    qv::DatabaseUpdate update;
    for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
        update.push_back({pairs[i].toStdString(), valueFromArgument(pairs[i + 1])});
    bool done = false;
    computer.ad.transcriptsMetadataRef.child(uuid).updateChildValues(update, [&](const qv::DatabaseResult& error) {
        done = !error;
    });
    if (!queue.runUntil([&] { return done; }, 20))
        return 1;
    say("written");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 7)
        return 2;
    std::signal(SIGTERM, [](int) { stopping = 1; });
    const std::string mode = argv[5];
    const std::string uuid = argv[6];
    QTemporaryDir folder;
    qv::ManualDispatcher queue;
    qv::AuthBackend accounts;
    auto connection = std::make_unique<qv::RemoteConnection>(qv::RemoteConnection::Options{QUrl(argv[1]), argv[2]});
    Computer computer(std::make_unique<qv::DatabaseClient>(std::move(connection), queue, qv::DatabaseClient::Options{}),
                      accounts, queue, folder.path(), QString::fromLatin1(argv[4]), {});
    computer.signIn(qv::User{argv[3], "editor@example.com", true});
    if (mode == "open")
        return openFile(computer, queue, uuid);
    if (mode == "count" && argc == 8)
        return count(computer, queue, uuid, std::atoi(argv[7]));
    if (mode == "write" && argc % 2 == 1)
        return write(computer, queue, uuid, QCoreApplication::arguments().mid(7));
    return 2;
}
