#include "app/LogOutController.h"

#include "model/AppDelegate.h"
#include "app/ShellServices.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/Auth.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>

namespace qv {

LogOutController::LogOutController(AppDelegate& ad, ShellServices& services, Preferences& preferences, Auth& auth,
                                   QString homeFolder)
    : ad_(ad), services_(services), preferences_(preferences), auth_(auth), homeFolder_(std::move(homeFolder))
{
}

QString LogOutController::logOutMessage(std::size_t pending)
{
    if (pending == 1)
        return localizedString("You have 1 imported file.\n\nAre you sure you want to log out?");
    return localizedString("You have %ld imported files.\nAre you sure you want to log out?")
        .replace("%ld", QString::number(pending));
}

void LogOutController::logOut()
{
    services_.finishEditingIfNecessary();
    if (ad_.filesPending.empty()) {
        signOutSteps();
        return;
    }
    services_.confirmLogOut(logOutMessage(ad_.filesPending.size()), localizedString("Imported files are removed on log out."),
                            [this](bool confirmed) {
                                if (confirmed)
                                    signOutSteps();
                            });
}

void LogOutController::signOutSteps()
{
    if (auth_.signOut())
        return;
    deleteUserDataFromPrefs();
    deleteFirebaseCache();
    services_.transitionToLogIn();
    ad_.hasLoggedSessionStats = false;
}

void LogOutController::deleteUserDataFromPrefs()
{
    for (const char* key : {"QVUserEmail", "QVUserID", "QVUserName"})
        preferences_.removeObject(QString::fromLatin1(key));
}

QString LogOutController::firebaseCachePath() const
{
    return QDir(homeFolder_).filePath(".firebase");
}

void LogOutController::deleteFirebaseCache()
{
    const QFileInfo cache(firebaseCachePath());
    if (!cache.exists() || !cache.isWritable())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(cache.filePath().toStdString(), ignored);
}

}  // namespace qv
