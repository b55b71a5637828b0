// How the application ends: the questions before quitting while imported files would be lost or
// while the files list is still loading for the first time, closing the main window (which
// quits), and the sign-out at termination unless the user chose to stay signed in.
#pragma once

#include "platform/foundation/Preferences.h"
#include "platform/ui/Alert.h"

#include <QString>

#include <cstddef>
#include <functional>

class AppDelegate;

namespace qv::shell {

enum class TerminateReply { Now, Cancel, Later };

class QuitController {
public:
    struct Hooks {
        std::function<void()> bringMainWindowToFront;
        std::function<void()> saveLocalDataBeforeQuit;
        std::function<void()> finishEditingIfNecessary;
        // The pending list was emptied.
        std::function<void()> refreshPendingView;
        // Answers a quit request that replied Later.
        std::function<void(bool terminate)> replyToTerminate;
        // Quits on the next turn of the main loop, through the quit request.
        std::function<void()> terminateSoon;
        // Termination: detach the account, the auth listener, sign out, forget the account.
        std::function<void()> resetUserData;
        std::function<void()> removeAuthStateListener;
        std::function<void()> signOut;
        std::function<void()> deleteUserDataFromPrefs;
    };

    QuitController(AppDelegate& ad, Preferences& preferences, AlertPresenter& alerts, Hooks hooks);

    TerminateReply applicationShouldTerminate();
    void applicationWillTerminate();
    bool windowShouldClose();

    static QString pendingFilesMessage(std::size_t pending);
    static QString filesLoadingMessage();

private:
    bool filesStillLoading() const;
    void showFilesLoadingAlert();
    void askAboutPendingFiles(std::function<void(bool quit)> answer);

    AppDelegate& ad_;
    Preferences& preferences_;
    AlertPresenter& alerts_;
    Hooks hooks_;
};

}  // namespace qv::shell
