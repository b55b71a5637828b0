#include "model/OpenFileQueries.h"

#include "model/AppDelegate.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"

namespace {

TimecodeParameters timecodeOf(const QVTimecodeFields& file)
{
    return {file.timecodeStart, file.timecodeFrameDuration, file.timecodeFrameQuanta, file.timecodeIsDropFrame};
}

TimecodeParameters openFileTimecode(const AppDelegate& ad)
{
    return ad.currentFile ? timecodeOf(*ad.currentFile) : TimecodeParameters{};
}

}  // namespace

bool languageIs(const AppDelegate& ad, const QString& code)
{
    return ad.currentFile && ad.currentFile->language == code;
}

bool languageIsNot(const AppDelegate& ad, const QString& code)
{
    return !languageIs(ad, code);
}

QString timeAsHMSTextFromCMTimeUseTimecode(const AppDelegate& ad, const qv::MediaTime& time, bool useTimecode)
{
    if (!time.isValid())
        return QStringLiteral("--:--:--");
    if (useTimecode)
        return timecodeClockText(time, openFileTimecode(ad));
    return clockTextFromCMTime(time);
}

QString getTimeAsHMSText(const AppDelegate& ad, const qv::MediaTime& time)
{
    const bool useTimecode = ad.currentFile && ad.currentFile->timecodeStart.isValid();
    return timeAsHMSTextFromCMTimeUseTimecode(ad, time, useTimecode);
}

QString timeAsHMSTextFromCMTimeForFilePending(const std::shared_ptr<QVFilePending>& pending, const qv::MediaTime& time)
{
    if (pending && pending->timecodeStart.isValid())
        return timecodeClockText(time, timecodeOf(*pending));
    return clockTextFromCMTime(time);
}

QString timecodeFromCMTime(const AppDelegate& ad, const qv::MediaTime& time)
{
    return timecodeText(time, openFileTimecode(ad), /*useSemiColons=*/true);
}

QString viewingOnlyReason(const AppDelegate& ad)
{
    if (ad.isConnected && ad.currentMode == 2 && !ad.hasFullAccess)
        return qv::localizedString("Another user is editing this file.\nTranscripts can be viewed but not edited.");
    return qv::localizedString("No internet connection was found.\nTranscripts can be viewed but not edited.");
}
