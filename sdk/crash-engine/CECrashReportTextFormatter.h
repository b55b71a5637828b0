// Renders a decoded report as a human-readable crash log in the conventional layout
// ("Report Version:  104").
#pragma once

#include "sdk/crash-engine/CECrashError.h"
#include "sdk/crash-engine/CECrashReport.h"

#include <cstdint>
#include <string>
#include <vector>

// The one text format the engine knows.
constexpr int CECrashReportTextFormatiOS = 0;

class CECrashReportTextFormatter {
public:
    // The encoding is kept for callers; the text is always UTF-8 here.
    CECrashReportTextFormatter(int textFormat, uint64_t stringEncoding);

    // The whole log as bytes; never fails.
    std::vector<uint8_t> formatReport(const CECrashReport& report, CECrashError* error) const;

    static std::string stringValueForCrashReport(const CECrashReport& report, int textFormat);
    // One frame line, newline included.
    static std::string formatStackFrame(const CECrashReportStackFrameInfo& frame, int64_t frameIndex,
                                        const CECrashReport& report, bool lp64);

private:
    int _textFormat;
    uint64_t _stringEncoding;
};
