#include "app/AccountObservers.h"

#include "app/AccountNodes.h"
#include "model/AppDelegate.h"
#include "app/FilesListLoader.h"
#include "app/LogOutController.h"
#include "app/PresenceController.h"
#include "app/ShellServices.h"
#include "app/SyncedTranscriptCache.h"
#include "platform/foundation/Preferences.h"

#include <QDate>

namespace qv {
namespace {

// The modifier flag of Shift, and the bits of the device-independent modifier flags, as the
// window layer reports them.
constexpr std::uint64_t kShiftModifierFlag = 0x20000;
constexpr std::uint64_t kDeviceIndependentModifierMask = 0xFFFF0000;

const QString kHasViewedOnboarding = QStringLiteral("QVHasViewedOnboarding");

QString text(const DatabaseValue& value)
{
    return QString::fromStdString(value.toString());
}

// Detaches and forgets a reference of the account.
void drop(DatabaseReference& ref)
{
    if (!ref.isValid())
        return;
    ref.removeAllObservers();
    ref = {};
}

}  // namespace

AccountObservers::AccountObservers(AppDelegate& ad, ShellServices& services, Dispatcher& mainQueue,
                                   Preferences& preferences, PresenceController& presence, FilesListLoader& loader,
                                   SyncedTranscriptCache& cache, LogOutController& logOut, Versions versions)
    : ad_(ad), services_(services), mainQueue_(mainQueue), preferences_(preferences), presence_(presence), loader_(loader), cache_(cache),
      logOut_(logOut), versions_(std::move(versions))
{
}

void AccountObservers::setupConnectionObserver()
{
    if (ad_.connectionMetadataRef.isValid())
        return;
    ad_.connectionMetadataRef = ad_.fbRef.child(".info/connected");
    ad_.connectionMetadataRef.observe(DatabaseEvent::Value, [this](const DataSnapshot& snapshot) { connectionChanged(snapshot); });
}

void AccountObservers::connectionChanged(const DataSnapshot& snapshot)
{
    if (!snapshot.exists())
        return;
    ad_.isConnected = snapshot.boolValue();
    if (ad_.isConnected) {
        if (ad_.currentUser) {
            presence_.userOnlineAdd();
            if (ad_.currentFile)
                presence_.currentFileUserOnlineAdd();
        }
    } else {
        // The database removes the account entry with the connection; the next one adds it again.
        ad_.currentUserOnlineRef = {};
        ad_.userIsOnline = false;
        presence_.currentFileUserOnlineRemove();
    }
    presence_.updateViewingOnlyStatus();
    services_.refreshEditingOptions();
    services_.refreshSpeakerRangeChangesAllowed();
    if (ad_.isViewingOnly)
        services_.closeViewingOnlyPopover();
    services_.refreshBusyErrorStatus();
    services_.reloadFiles();
    services_.refreshFilesUI();
}

void AccountObservers::setupStatusObserver()
{
    ad_.statusMetadataRef.observe(DatabaseEvent::Value, [this](const DataSnapshot& snapshot) {
        if (!snapshot.exists())
            return;
        if (auto status = externalServiceStatusFromValue(snapshot.value()))
            ad_.externalServiceStatus = *status;
        services_.refreshPendingView();
    });
}

void AccountObservers::setupUserObservers(Auth& auth)
{
    ad_.authStateListenerHandle = auth.addAuthStateListener([this](const std::optional<User>& user) { authStateChanged(user); });
}

void AccountObservers::setupUnverifiedAccountMessageObserver()
{
    ad_.unverifiedAccountMessageRef = ad_.fbRef.child("mac_unverified_account_message");
    ad_.unverifiedAccountMessageRef.observe(DatabaseEvent::Value, [this](const DataSnapshot& snapshot) {
        if (snapshot.exists())
            ad_.unverifiedAccountMessage = text(snapshot.value());
    });
}

void AccountObservers::authStateChanged(const std::optional<User>& user)
{
    if (user)
        userSignedIn(*user);
    else
        userSignedOut();
}

void AccountObservers::userSignedIn(const User& user)
{
    if (!preferences_.boolForKey(kHasViewedOnboarding)) {
        services_.removeOnboardingPage();
        preferences_.setObject(kHasViewedOnboarding, true);
    }
    ad_.currentUser = user;
    ad_.userDetailsRead = false;
    namesRead_ = 0;
    ad_.isLoggedIn = true;
    services_.setAccountButtonVisible(true);
    services_.setTelemetryUserId(QString::fromStdString(user.uid));
    loader_.loadFiles();
    if ((services_.currentModifierFlags() & kDeviceIndependentModifierMask) == kShiftModifierFlag) {
        logOut_.logOut();
        return;
    }
    if (!ad_.hasCheckedAuthOnLaunch || ad_.currentMode == 0)
        services_.transitionToFiles();
    ad_.hasCheckedAuthOnLaunch = true;
    if (!ad_.hasLoggedSessionStats) {
        const DatabaseValue record =
            launchStatisticsRecord(versions_.appVersion, versions_.buildVersion, QDate::currentDate());
        const std::string version = osVersionKey(ad_);
        const std::string system = ad_.systemID.toStdString();
        ad_.statsMetadataRef.child("os_version/" + version + "/" + user.uid + "/" + system).setValue(record);
        ad_.usersMetadataRef.child(user.uid + "/os_version/" + version + "/" + system).setValue(record);
        ad_.hasLoggedSessionStats = true;
    }
    if (!ad_.unverifiedAccountMessageRef.isValid())
        setupUnverifiedAccountMessageObserver();
    // A sign-in on a line that is already up gets its presence entry now, not at the next
    // connection.
    if (ad_.isConnected)
        presence_.userOnlineAdd();
    drop(ad_.userStatusRef);
    ad_.userStatusRef = ad_.usersMetadataRef.child(user.uid + "/status");
    ad_.userStatusRef.observe(DatabaseEvent::Value, [this](const DataSnapshot& snapshot) { accountStatusChanged(snapshot); });
}

void AccountObservers::observeAccountField(DatabaseReference& ref, const char* key,
                                           std::function<void(const DataSnapshot&)> apply)
{
    // Each status report attaches the fields afresh; the earlier observers go first.
    drop(ref);
    ref = ad_.usersMetadataRef.child(ad_.currentUser->uid + "/" + key);
    ref.observe(DatabaseEvent::Value, std::move(apply));
}

void AccountObservers::nameRead(int name)
{
    namesRead_ |= name;
    if (namesRead_ == (kFirstNameRead | kLastNameRead))
        ad_.userDetailsRead = true;
    services_.refreshAccountButton();
}

void AccountObservers::observeAccountFields()
{
    observeAccountField(ad_.userFirstNameRef, "first_name", [this](const DataSnapshot& field) {
        if (field.exists())
            ad_.userFirstName = text(field.value());
        nameRead(kFirstNameRead);
    });
    observeAccountField(ad_.userLastNameRef, "last_name", [this](const DataSnapshot& field) {
        if (field.exists())
            ad_.userLastName = text(field.value());
        nameRead(kLastNameRead);
    });
    observeAccountField(ad_.userEmailAddressRef, "email", [this](const DataSnapshot& field) {
        if (!field.exists())
            return;
        ad_.userEmailAddress = text(field.value());
        services_.refreshAccountButton();
    });
    observeAccountField(ad_.userBalanceRef, "mins_bal", [this](const DataSnapshot& field) {
        if (!field.exists())
            return;
        ad_.userBalance = field.value().toInt();
        services_.refreshAccountButton();
        if (preferences_.boolForKey(kHasViewedOnboarding))
            services_.bringMainWindowToFront();
    });
    // Unlike the fields above, the mark is dropped when it goes.
    observeAccountField(ad_.userBalanceUnlimitedRef, "mins_unlimited", [this](const DataSnapshot& field) {
        ad_.userBalanceUnlimited = field.exists() && field.value().toBool();
        services_.refreshAccountButton();
    });
}

void AccountObservers::accountStatusChanged(const DataSnapshot& snapshot)
{
    if (!ad_.currentUser)
        return;
    // An account record without a status (not made by this program's sign-up) is still named
    // and its balance shown; the rest waits for a status.
    observeAccountFields();
    if (!snapshot.exists())
        return;
    ad_.userStatus = snapshot.intValue();
    ad_.userCustomWords.clear();
    drop(ad_.userCustomWordsRef);
    ad_.userCustomWordsRef = ad_.usersMetadataRef.child(ad_.currentUser->uid + "/custom_words");
    services_.refreshCustomWordsDisplay(false);
    observeCustomWords(ad_.userCustomWordsRef, [this] { return &ad_.userCustomWords; },
                       [this] { return services_.customWordsPanelShowsAccountWords(); });
    if (ad_.userStatus < kUserStatusVerified) {
        services_.setPendingTableEnabled(false);
    } else {
        services_.setPendingTableEnabled(true);
        if (!ad_.droppedFilesBeforeLaunch.empty()) {
            services_.addPendingFilesFromURLs(ad_.droppedFilesBeforeLaunch);
            ad_.droppedFilesBeforeLaunch.clear();
        }
    }
    services_.refreshPendingView();
}

void AccountObservers::observeCustomWords(const DatabaseReference& ref, std::function<QMap<QString, QString>*()> words,
                                          std::function<bool()> shown)
{
    auto refresh = [this, shown] {
        if (shown())
            services_.refreshCustomWordsDisplay(ad_.currentMode == 2);
    };
    ref.observe(DatabaseEvent::ChildAdded, [words, refresh](const DataSnapshot& snapshot) {
        QMap<QString, QString>* map = words();
        if (!snapshot.exists() || !map)
            return;
        map->insert(QString::fromStdString(snapshot.key()), text(snapshot.value()));
        refresh();
    });
    ref.observe(DatabaseEvent::ChildRemoved, [words, refresh](const DataSnapshot& snapshot) {
        QMap<QString, QString>* map = words();
        if (!map)
            return;
        map->remove(QString::fromStdString(snapshot.key()));
        refresh();
    });
}

void AccountObservers::setupCustomWordsObserverForFile(const std::shared_ptr<QVFile>& file)
{
    if (!file)
        return;
    file->customWordsRef = ad_.filesMetadataRef.child(file->uuid.toStdString() + "/custom_words");
    // The words are read afresh: those deleted elsewhere while the file was closed here must not
    // stay behind.
    file->customWords.clear();
    services_.refreshCustomWordsDisplay(false);
    std::weak_ptr<QVFile> weak = file;
    observeCustomWords(
        file->customWordsRef,
        [weak]() -> QMap<QString, QString>* {
            auto strong = weak.lock();
            return strong ? &strong->customWords : nullptr;
        },
        [this] { return services_.customWordsPanelShowsFileWords(); });
}

void AccountObservers::userSignedOut()
{
    const bool onboarded = preferences_.boolForKey(kHasViewedOnboarding);
    if (onboarded)
        services_.bringMainWindowToFront();
    presence_.currentFileUserOnlineRemove();
    presence_.userOnlineRemove();
    resetUserData();
    services_.setAccountButtonVisible(false);
    services_.resetAccountButton();
    ad_.currentUser.reset();
    ad_.files.clear();
    services_.filesSearchResults().clear();
    mainQueue_.async([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired())
            return;
        services_.filesTableReloadData();
        services_.reloadFiles();
        services_.refreshFilesUI();
    });
    ad_.syncedTranscripts.clear();
    services_.hideTranscriptToolbarItems();
    ad_.filesMetadataRef.removeAllObservers();
    ad_.isLoggedIn = false;
    ad_.hasCheckedAuthOnLaunch = true;
    ad_.filesPending.clear();
    services_.refreshPendingView();
    ad_.transcriptsMetadataRef.removeAllObservers();
    drop(ad_.unverifiedAccountMessageRef);
    ad_.userBalance = 0;
    ad_.userBalanceUnlimited = false;
    ad_.userEmailAddress.clear();
    ad_.userFirstName.clear();
    ad_.userLastName.clear();
    ad_.userDetailsRead = false;
    namesRead_ = 0;
    ad_.userStatus = 0;
    if (onboarded)
        services_.animateLogo();
    services_.refreshAccountButton();
}

void AccountObservers::resetUserData()
{
    if (ad_.currentFile && ad_.currentFile->customWordsRef.isValid())
        ad_.currentFile->customWordsRef.removeAllObservers();
    for (const auto& file : ad_.files) {
        if (file->fileMetadataRef.isValid()) {
            file->fileMetadataRef.keepSynced(false);
            file->fileMetadataRef.removeAllObservers();
        }
        if (file->updatedMetadataRef.isValid())
            file->updatedMetadataRef.removeAllObservers();
    }
    if (ad_.userFilesMetadataRef.isValid())
        ad_.userFilesMetadataRef.keepSynced(false);
    for (DatabaseReference* ref : {&ad_.userBalanceRef, &ad_.userBalanceUnlimitedRef, &ad_.userCustomWordsRef, &ad_.userEmailAddressRef,
                                   &ad_.userFilesMetadataRef, &ad_.userFirstNameRef, &ad_.userLastNameRef,
                                   &ad_.userStatusRef})
        drop(*ref);
    loader_.reset();
    cache_.evictAllSyncedTranscripts();
    presence_.currentFileUserOnlineRemove();
    presence_.userOnlineRemove();
}

}  // namespace qv
