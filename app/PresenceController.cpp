#include "app/PresenceController.h"

#include "model/AppDelegate.h"
#include "app/ShellServices.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qv {

PresenceController::PresenceController(AppDelegate& ad, ShellServices& services, QString appVersion)
    : ad_(ad), services_(services), appVersion_(std::move(appVersion))
{
}

QString PresenceController::accountEntryValue() const
{
    return QStringLiteral("Mac App (%1) %2[%3]").arg(appVersion_, QString(), ad_.systemID);
}

void PresenceController::userOnlineAdd()
{
    if (ad_.userIsOnline || !ad_.currentUser)
        return;
    ad_.userIsOnline = true;
    ad_.currentUserOnlineRef = ad_.usersOnlineMetadataRef.child(ad_.currentUser->uid).childByAutoId();
    ad_.currentUserOnlineRef.onDisconnectRemoveValue();
    ad_.currentUserOnlineRef.setValue(accountEntryValue().toStdString());
}

void PresenceController::userOnlineRemove()
{
    if (!ad_.currentUserOnlineRef.isValid())
        return;
    ad_.currentUserOnlineRef.removeValue();
    ad_.currentUserOnlineRef = {};
    ad_.userIsOnline = false;
}

void PresenceController::currentFileUserOnlineAdd()
{
    const auto file = ad_.currentFile;
    if (!file || file->uuid.isEmpty() || !ad_.currentUser || ad_.currentUser->uid.empty())
        return;
    const DatabaseReference editors =
        ad_.filesMetadataRef.child(file->uuid.toStdString() + "/users_online/" + ad_.currentUser->uid);
    file->userSystemOnlineRef = editors.childByAutoId();
    file->userSystemOnlineRef.onDisconnectRemoveValue();
    file->userSystemOnlineRef.setValue(ad_.systemID.toStdString());
    const QString uuid = file->uuid;
    ad_.currentFileUsersOnlineHandle =
        editors.observe(DatabaseEvent::Value, [this, uuid](const DataSnapshot& snapshot) { editorsChanged(uuid, snapshot); });
}

void PresenceController::editorsChanged(const QString& fileUuid, const DataSnapshot& snapshot)
{
    // A report still on its way for a file that is no longer open decides nothing.
    const auto file = ad_.currentFile;
    if (!snapshot.exists() || !file || file->uuid != fileUuid)
        return;
    const std::string self = ad_.systemID.toStdString();
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto entry : snapshot.value().children()) {
        const std::string* system = entry.value.stringIfAny();
        entries.emplace_back(entry.key, system ? *system : std::string());
    }
    std::sort(entries.begin(), entries.end());
    if (!entries.empty()) {
        const bool hadFullAccess = ad_.hasFullAccess;
        ad_.hasFullAccess = entries.front().second == self;
        updateViewingOnlyStatus();
        // The editing and speaker controls follow the edit right as it comes and goes.
        if (ad_.hasFullAccess != hadFullAccess) {
            services_.refreshEditingOptions();
            services_.refreshSpeakerRangeChangesAllowed();
        }
    }
    const std::string ownKey = file->userSystemOnlineRef.isValid() ? file->userSystemOnlineRef.key() : std::string();
    std::vector<std::string> stale;
    for (const auto& [key, system] : entries)
        if (key != ownKey && system == self)
            stale.push_back(key);
    const DatabaseReference editors = ad_.filesMetadataRef.child(fileUuid.toStdString() + "/users_online/" +
                                                                 (ad_.currentUser ? ad_.currentUser->uid : std::string()));
    for (const auto& key : stale)
        editors.child(key).removeValue();
}

void PresenceController::currentFileUserOnlineRemove()
{
    const auto file = ad_.currentFile;
    if (file && file->userSystemOnlineRef.isValid()) {
        // The completion holds the entry's key, not a reference, so that a client closed
        // before the confirmation is not kept alive by its own pending completion.
        const std::string key = file->userSystemOnlineRef.key();
        std::weak_ptr<QVFile> weak = file;
        file->userSystemOnlineRef.removeValue([weak, key](const DatabaseResult&) {
            // A reopening meanwhile has made a new entry, which stays.
            if (auto removed = weak.lock(); removed && removed->userSystemOnlineRef.key() == key)
                removed->userSystemOnlineRef = {};
        });
    }
    currentFileUsersOnlineRemoveObserver();
}

void PresenceController::currentFileUsersOnlineRemoveObserver()
{
    if (ad_.currentFileUsersOnlineHandle != 0)
        ad_.fbRef.removeObserver(ad_.currentFileUsersOnlineHandle);
}

void PresenceController::updateViewingOnlyStatus()
{
    if (ad_.currentMode != 1 && ad_.currentMode != 2)
        ad_.isViewingOnly = false;
    else if (ad_.isConnected)
        ad_.isViewingOnly = ad_.currentFile && !ad_.hasFullAccess;
    else
        ad_.isViewingOnly = true;
    services_.redrawBottomToolbar();
}

}  // namespace qv
