// The account's database nodes: the references the state record holds, the launch-statistics
// record, the counter increment every statistic uses and the service-status words.
#pragma once

#include "platform/rtdb/DatabaseReference.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <optional>

class AppDelegate;

namespace qv {

// Sets the state record's root, files, stats, status, transcripts, users and users_online
// references below `root`.
void setupDatabaseReferences(AppDelegate& ad, const DatabaseReference& root);

// "<major>_<minor>_<patch>" of the running system.
std::string osVersionKey(const AppDelegate& ad);

// The launch-statistics record: app type, versions, server time and the local date.
DatabaseValue launchStatisticsRecord(const QString& appVersion, const QString& buildVersion, const QDate& today);

// Adds 1 to the counter at `counter` by a transaction; an absent counter counts as 0 and the
// sum wraps as a 32-bit signed integer.
void incrementCounter(const DatabaseReference& counter);

// The service status of a `status` node's word: 1 "normal", 0 "delayed", -1 "unavailable";
// nothing for any other value.
std::optional<std::int64_t> externalServiceStatusFromValue(const DatabaseValue& value);

}  // namespace qv
