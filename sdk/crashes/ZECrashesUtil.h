// The crash service's folders under the SDK's storage folder, each created when first named,
// and the application's identity as the crash engine records it.
#pragma once

#include "sdk/crash-engine/CECrashReporter.h"

#include <string>

namespace ze {

class ZECrashesUtil {
public:
    static std::string crashesDir();           // "crashes": stored reports
    static std::string logBufferDir();         // "crasheslogbuffer": the crash-time log buffer
    static std::string wrapperExceptionsDir(); // "crasheswrapperexceptions"
    // "crashesdamaged": reports that could not be read or crashed their own processing, kept
    // for a person to look at instead of being deleted.
    static std::string damagedCrashesDir();
    // The application the SDK runs in: it names the engine's folder, and every crash log
    // carries it as the application's namespace, version and build.
    static CECrashBundle applicationBundle();
};

} // namespace ze
