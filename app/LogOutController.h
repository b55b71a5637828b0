// Signing out: after a confirmation when imported files would be lost, the sign-in is ended and
// what this computer keeps of the account goes: its preference keys and the database's disk
// cache. The authentication listener then detaches the account and empties the lists.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class AppDelegate;
class ShellServices;

namespace qv {

class Auth;
class Preferences;

class LogOutController {
public:
    // `homeFolder` holds the database's disk cache ".firebase".
    LogOutController(AppDelegate& ad, ShellServices& services, Preferences& preferences, Auth& auth, QString homeFolder);
    LogOutController(const LogOutController&) = delete;
    LogOutController& operator=(const LogOutController&) = delete;

    void logOut();
    void deleteUserDataFromPrefs();
    // Removes the disk cache folder when it exists and may be written; a failure is ignored.
    void deleteFirebaseCache();
    QString firebaseCachePath() const;

    // The question asked before logging out with `pending` imported files.
    static QString logOutMessage(std::size_t pending);

private:
    void signOutSteps();

    AppDelegate& ad_;
    ShellServices& services_;
    Preferences& preferences_;
    Auth& auth_;
    QString homeFolder_;
};

}  // namespace qv
