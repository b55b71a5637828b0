// Presence of this computer in the database, for the account and for the open file, and the
// edit right that follows from it: of the computers of one account that have a file open, the
// one whose entry is oldest edits it and every other one only views it. The database removes a
// computer's entries by itself when its connection drops.
#pragma once

#include "platform/rtdb/DataSnapshot.h"

#include <QString>

class AppDelegate;
class ShellServices;

namespace qv {

class PresenceController {
public:
    // `appVersion` is the application's short version string, shown in the account entry.
    PresenceController(AppDelegate& ad, ShellServices& services, QString appVersion);
    PresenceController(const PresenceController&) = delete;
    PresenceController& operator=(const PresenceController&) = delete;

    // Writes the account entry users_online/<uid>/<push id> once per connection.
    void userOnlineAdd();
    void userOnlineRemove();
    // Writes the open file's entry files/<uuid>/users_online/<uid>/<push id> and follows the
    // account's entries there to decide the edit right.
    void currentFileUserOnlineAdd();
    void currentFileUserOnlineRemove();
    void currentFileUsersOnlineRemoveObserver();
    // Editing is refused off the log-in screen while offline or without the edit right.
    void updateViewingOnlyStatus();

    // "Mac App (<version>) [<systemID>]"
    QString accountEntryValue() const;

private:
    void editorsChanged(const QString& fileUuid, const DataSnapshot& snapshot);

    AppDelegate& ad_;
    ShellServices& services_;
    QString appVersion_;
};

}  // namespace qv
