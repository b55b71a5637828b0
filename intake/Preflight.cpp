#include "intake/Preflight.h"

#include "model/QVFilePending.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"

#include <cmath>

using qv::localizedString;

std::int64_t minutesForDuration(std::int64_t durationMs)
{
    const float seconds = std::floor(static_cast<float>(static_cast<double>(durationMs) / 1000.0));
    const float minutes = std::ceil(static_cast<float>(static_cast<double>(seconds) / 60.0));
    return static_cast<std::int64_t>(minutes);
}

std::int64_t totalMinutes(const std::vector<std::shared_ptr<QVFilePending>>& files)
{
    std::int64_t total = 0;
    for (const auto& file : files)
        if (file)
            total += minutesForDuration(file->duration);
    return total;
}

bool preflightRefuses(std::int64_t total, std::int64_t balance) { return balance - total < 0; }

qv::Alert preflightAlert(std::size_t fileCount, std::int64_t total, std::int64_t balance, bool unlimited,
                         bool libraryDrop)
{
    const auto count = static_cast<qlonglong>(fileCount);
    const QString totalText = timeAsHMTextFromMinutes(total);
    qv::Alert alert;
    if (preflightRefuses(total, balance)) {
        alert.messageText =
            fileCount == 1
                ? localizedString(QStringLiteral("Sorry, there isn’t enough available time on your account to transcribe this file."))
                : localizedString(QStringLiteral("Sorry, there isn’t enough available time on your account to transcribe these %1 files."))
                      .arg(count);
        alert.informativeText = localizedString(QStringLiteral("Total duration is %1 but you only have %2 available.%3"))
                                    .arg(totalText, timeAsHMTextFromMinutes(balance), QString());
        alert.style = qv::AlertStyle::Critical;
        return alert;
    }
    alert.messageText = fileCount == 1 ? localizedString(QStringLiteral("Transcribe 1 file?"))
                                       : localizedString(QStringLiteral("Transcribe %1 files?")).arg(count);
    QString note;
    if (libraryDrop)
        note = fileCount == 1
                   ? localizedString(QStringLiteral(
                         "\n\nAfter submitting the file, please wait for processing to finish so the updated clip can be "
                         "sent back to Final Cut Pro X. You should choose to replace the clip when prompted."))
                   : localizedString(QStringLiteral(
                         "\n\nAfter submitting the files, please wait for processing to finish so the updated clips can "
                         "be sent back to Final Cut Pro X. You should choose to replace clips when prompted."));
    const QString remaining =
        unlimited ? localizedString(QStringLiteral("unlimited")) : timeAsHMTextFromMinutes(balance - total);
    alert.informativeText = localizedString(QStringLiteral("%1Total duration is %2 so your remaining time will be %3%4"))
                                .arg(QString(), totalText, remaining, note);
    alert.style = qv::AlertStyle::Informational;
    alert.buttons = {localizedString(QStringLiteral("Transcribe")), localizedString(QStringLiteral("Cancel"))};
    return alert;
}
