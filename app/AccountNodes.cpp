#include "app/AccountNodes.h"

#include "model/AppDelegate.h"

namespace qv {

void setupDatabaseReferences(AppDelegate& ad, const DatabaseReference& root)
{
    ad.fbRef = root;
    ad.filesMetadataRef = root.child("files");
    ad.statsMetadataRef = root.child("stats");
    ad.statusMetadataRef = root.child("status");
    ad.transcriptsMetadataRef = root.child("transcripts");
    ad.usersMetadataRef = root.child("users");
    ad.usersOnlineMetadataRef = root.child("users_online");
}

std::string osVersionKey(const AppDelegate& ad)
{
    return std::to_string(ad.versionOS.majorVersion) + "_" + std::to_string(ad.versionOS.minorVersion) + "_" +
           std::to_string(ad.versionOS.patchVersion);
}

DatabaseValue launchStatisticsRecord(const QString& appVersion, const QString& buildVersion, const QDate& today)
{
    return DatabaseValue::object({
        {"app_type", "Direct"},
        {"app_version", appVersion.toStdString()},
        {"build_version", buildVersion.toStdString()},
        {"date_ms", DatabaseValue::serverTimestamp()},
        {"date", today.toString("yyyy-MM-dd").toStdString()},
    });
}

void incrementCounter(const DatabaseReference& counter)
{
    counter.runTransaction([](const DatabaseValue& current) -> std::optional<DatabaseValue> {
        const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(current.toInt(0)));
        return DatabaseValue(static_cast<std::int32_t>(value + 1u));
    });
}

std::optional<std::int64_t> externalServiceStatusFromValue(const DatabaseValue& value)
{
    const std::string* word = value.stringIfAny();
    if (!word)
        return std::nullopt;
    if (*word == "normal")
        return 1;
    if (*word == "delayed")
        return 0;
    if (*word == "unavailable")
        return -1;
    return std::nullopt;
}

}  // namespace qv
