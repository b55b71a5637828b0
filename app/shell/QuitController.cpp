#include "app/shell/QuitController.h"

#include "model/AppDelegate.h"
#include "platform/foundation/LocalizedString.h"

namespace qv::shell {

namespace {

void call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

}  // namespace

QuitController::QuitController(AppDelegate& ad, Preferences& preferences, AlertPresenter& alerts, Hooks hooks)
    : ad_(ad), preferences_(preferences), alerts_(alerts), hooks_(std::move(hooks))
{
}

QString QuitController::pendingFilesMessage(std::size_t pending)
{
    if (pending == 1)
        return localizedString(QStringLiteral("You have 1 imported file.\nAre you sure you want to quit?"));
    return localizedString(QStringLiteral("You have %ld imported files.\nAre you sure you want to quit?"))
        .replace(QStringLiteral("%ld"), QString::number(pending));
}

QString QuitController::filesLoadingMessage()
{
    return localizedString(
        QStringLiteral("Quorvantelle is updating file data and cannot be quit until the files list has finished loading."));
}

bool QuitController::filesStillLoading() const
{
    return !preferences_.boolForKey("QVBetaLegacyFilesMigrationComplete") && ad_.userFilesStillToLoad != 0;
}

void QuitController::showFilesLoadingAlert()
{
    alerts_.beginSheet({filesLoadingMessage(), {}, AlertStyle::Critical, {}}, {});
}

void QuitController::askAboutPendingFiles(std::function<void(bool quit)> answer)
{
    Alert alert{pendingFilesMessage(ad_.filesPending.size()),
                localizedString(QStringLiteral("Imported files are removed when Quorvantelle quits.")),
                AlertStyle::Critical,
                {localizedString(QStringLiteral("Quit")), localizedString(QStringLiteral("Cancel"))}};
    alerts_.beginSheet(alert, [this, answer = std::move(answer)](int returnCode) {
        const bool quit = returnCode == kAlertFirstButtonReturn;
        if (quit) {
            ad_.filesPending.clear();
            call(hooks_.refreshPendingView);
            // A word edit still open would be lost with the process.
            call(hooks_.finishEditingIfNecessary);
        }
        answer(quit);
    });
}

TerminateReply QuitController::applicationShouldTerminate()
{
    call(hooks_.bringMainWindowToFront);
    if (!ad_.isLoggedIn)
        return TerminateReply::Now;
    if (filesStillLoading()) {
        showFilesLoadingAlert();
        return TerminateReply::Cancel;
    }
    call(hooks_.saveLocalDataBeforeQuit);
    if (ad_.filesPending.empty()) {
        call(hooks_.finishEditingIfNecessary);
        return TerminateReply::Now;
    }
    askAboutPendingFiles([this](bool quit) {
        if (hooks_.replyToTerminate)
            hooks_.replyToTerminate(quit);
    });
    return TerminateReply::Later;
}

bool QuitController::windowShouldClose()
{
    // Closing the window ends the program, so the refusal of the quit request holds here too:
    // otherwise the window would go and the program would stay, with nothing on screen.
    if (ad_.isLoggedIn && filesStillLoading()) {
        showFilesLoadingAlert();
        return false;
    }
    call(hooks_.saveLocalDataBeforeQuit);
    if (ad_.filesPending.empty())
        return true;
    askAboutPendingFiles([this](bool quit) {
        if (quit)
            call(hooks_.terminateSoon);
    });
    return false;
}

void QuitController::applicationWillTerminate()
{
    call(hooks_.resetUserData);
    if (ad_.authStateListenerHandle != 0)
        call(hooks_.removeAuthStateListener);
    if (!preferences_.boolForKey("QVRememberMe")) {
        call(hooks_.signOut);
        call(hooks_.deleteUserDataFromPrefs);
    }
}

}  // namespace qv::shell
