// The account side of the application, without a window: the controllers that follow the
// account and the connection, load the files list, keep presence and the edit right, cache
// synced transcripts, change file states, count exports and log out, wired to each other.
#pragma once

#include "app/AccountObservers.h"
#include "app/FileStatusController.h"
#include "app/FilesListLoader.h"
#include "app/LogOutController.h"
#include "app/PresenceController.h"
#include "app/SyncedTranscriptCache.h"

class AccountShell {
public:
    struct Options {
        qv::AccountObservers::Versions versions;
        // Holds the database's disk cache, removed at log-out.
        QString homeFolder;
        qv::FilesListLoader::FileFactory createFile;
        // Milliseconds since 1970; the system time when empty.
        qv::WallClock clock;
    };

    // Everything handed in must outlive the shell.
    AccountShell(AppDelegate& ad, ShellServices& services, qv::Dispatcher& mainQueue, qv::Preferences& preferences,
                 qv::Auth& auth, Options options);

    // Attaches the connection, service-status, authentication and unverified-message
    // observers and starts the synced-transcript sweep (the account part of start-up).
    void start(qv::Auth& auth);

    qv::SyncedTranscriptCache cache;
    qv::PresenceController presence;
    qv::FilesListLoader loader;
    qv::LogOutController logOut;
    qv::AccountObservers observers;
    qv::FileStatusController fileStatus;
};
