// A computer of the account for tests and test programs: the shell with recording windows,
// its own preferences and database client, and the file records the shell reads.
#pragma once

#include "FakeShellServices.h"
#include "app/AccountNodes.h"
#include "app/AccountShell.h"
#include "model/AppDelegate.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/Auth.h"
#include "platform/rtdb/AuthBackend.h"
#include "platform/rtdb/DatabaseClient.h"

// Server and wall time of the tests, ms since 1970.
inline constexpr std::int64_t kTestNow = 1'700'000'000'000;

// A file as the document model builds it, from the record keys the shell cares about.
inline std::shared_ptr<QVFile> fileFromRecord(const qv::DataSnapshot& snapshot, const QString& uuid,
                                              const qv::DatabaseReference& ref)
{
    auto file = std::make_shared<QVFile>();
    file->uuid = uuid;
    file->status = snapshot.childInt("status");
    file->deleted = snapshot.childInt("deleted");
    file->created = snapshot.childInt("created");
    file->lastOpened = file->created;
    file->name = QString::fromStdString(snapshot.childString("name"));
    file->fileMetadataRef = ref;
    return file;
}

// A file record owned by `uid`.
inline qv::DatabaseValue fileRecord(const std::string& uid, std::int64_t status, std::int64_t created)
{
    return qv::DatabaseValue::object({{"owner", uid}, {"status", status}, {"created", created}, {"name", "clip"}});
}

// One computer of the account: its state record, windows, preferences, sign-in, database
// client and shell. `folder` holds its preferences and its home folder.
struct Computer {
    Computer(std::unique_ptr<qv::DatabaseClient> databaseClient, qv::AuthBackend& accounts, qv::Dispatcher& queue,
             const QString& folder, const QString& systemID, qv::WallClock clock)
        : preferences(folder + "/prefs"), auth(accounts, queue), client(std::move(databaseClient)),
          shell(ad, services, queue, preferences, auth,
                AccountShell::Options{{"2.4", "240"}, folder + "/home", fileFromRecord, std::move(clock)})
    {
        ad.systemID = systemID;
        ad.versionOS = {14, 2, 1};
        qv::setupDatabaseReferences(ad, client->root());
    }

    // Signs `user` in on the files list, following the connection and the service status.
    void signIn(const qv::User& user)
    {
        ad.currentMode = 1;
        shell.observers.setupConnectionObserver();
        shell.observers.setupStatusObserver();
        shell.observers.authStateChanged(user);
    }

    // Opens the file the way the document model does.
    void open(const std::shared_ptr<QVFile>& file)
    {
        shell.presence.currentFileUserOnlineRemove();
        ad.currentFile = file;
        shell.presence.currentFileUserOnlineAdd();
        shell.observers.setupCustomWordsObserverForFile(file);
    }

    AppDelegate ad;
    FakeShellServices services;
    qv::Preferences preferences;
    qv::Auth auth;
    std::unique_ptr<qv::DatabaseClient> client;
    AccountShell shell;
};

