// Keeps the account's state in step with the authentication service and the database: the
// connection flag, the service status, sign-in and sign-out, the account's fields, status and
// balance, the unverified-account message and the custom words of the account and of the open
// file. resetUserData detaches everything that belongs to a signed-in account.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/Auth.h"
#include "platform/rtdb/DataSnapshot.h"
#include "platform/rtdb/DatabaseReference.h"

#include <QMap>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class AppDelegate;
class QVFile;
class ShellServices;

namespace qv {

class FilesListLoader;
class LogOutController;
class PresenceController;
class Preferences;
class SyncedTranscriptCache;

// From this account status on, the account is verified.
inline constexpr std::int64_t kUserStatusVerified = 30;

class AccountObservers {
public:
    struct Versions {
        QString appVersion;    // the short version string
        QString buildVersion;  // the build number
    };

    AccountObservers(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue, Preferences& preferences,
                     PresenceController& presence,
                     FilesListLoader& loader, SyncedTranscriptCache& cache, LogOutController& logOut, Versions versions);
    AccountObservers(const AccountObservers&) = delete;
    AccountObservers& operator=(const AccountObservers&) = delete;

    void setupConnectionObserver();
    void setupStatusObserver();
    // Registers with `auth`, which must outlive this object.
    void setupUserObservers(Auth& auth);
    void setupUnverifiedAccountMessageObserver();
    // Follows the custom words of `file`, which has just become the open file.
    void setupCustomWordsObserverForFile(const std::shared_ptr<QVFile>& file);
    void resetUserData();

    // The authentication listener: a user signed in, or none.
    void authStateChanged(const std::optional<User>& user);

private:
    void connectionChanged(const DataSnapshot& snapshot);
    void userSignedIn(const User& user);
    void userSignedOut();
    void accountStatusChanged(const DataSnapshot& snapshot);
    // `apply` gets every report of the field, also that it has no value.
    void observeAccountField(DatabaseReference& ref, const char* key, std::function<void(const DataSnapshot&)> apply);
    // Attaches the observers of the names, the e-mail address and the balance, afresh.
    void observeAccountFields();
    // The first or the last name has been read, with a value or without.
    void nameRead(int name);
    void observeCustomWords(const DatabaseReference& ref, std::function<QMap<QString, QString>*()> words,
                            std::function<bool()> shown);

    AppDelegate& ad_;
    ShellServices& services_;
    Dispatcher& mainQueue_;
    Preferences& preferences_;
    PresenceController& presence_;
    FilesListLoader& loader_;
    SyncedTranscriptCache& cache_;
    LogOutController& logOut_;
    Versions versions_;
    static constexpr int kFirstNameRead = 1;
    static constexpr int kLastNameRead = 2;
    int namesRead_ = 0;
    // Work queued for the main queue is dropped once the observers are gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv
