// Time texts and language tests that answer for the file open in the transcript view, or for a
// pending file, from their timecode fields and language; why the open file may only be viewed.
#pragma once

#include "platform/media/MediaTime.h"

#include <QString>

#include <memory>

class AppDelegate;
class QVFilePending;

// The open file's language is exactly `code`; NO with no file open.
bool languageIs(const AppDelegate& ad, const QString& code);
bool languageIsNot(const AppDelegate& ad, const QString& code);

// "HH:MM:SS" of `time`: "--:--:--" for an invalid time; with `useTimecode`, counted in the open
// file's timecode ("--:--:--" without a frame quanta); otherwise whole seconds of the time.
QString timeAsHMSTextFromCMTimeUseTimecode(const AppDelegate& ad, const qv::MediaTime& time, bool useTimecode);
// The same, in timecode exactly when the open file has a valid start timecode.
QString getTimeAsHMSText(const AppDelegate& ad, const qv::MediaTime& time);
// "HH:MM:SS" in the pending file's timecode when it has a valid start timecode, else whole
// seconds of the time.
QString timeAsHMSTextFromCMTimeForFilePending(const std::shared_ptr<QVFilePending>& pending, const qv::MediaTime& time);
// "HH:MM:SS:FF" (or ";FF" for drop-frame) in the open file's timecode.
QString timecodeFromCMTime(const AppDelegate& ad, const qv::MediaTime& time);

// Why the transcript may only be viewed here: another computer of the account holds the edit
// right of the open transcript, or the service cannot be reached.
QString viewingOnlyReason(const AppDelegate& ad);
