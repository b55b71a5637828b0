// Registers the crash service's archivable classes (and the names they were archived under
// before) with the keyed archive, so buffered logs and wrapper exceptions can be read back.
#pragma once

namespace ze {

class ZECrashesArchiverUtil {
public:
    static void addAllowedCrashesModuleClasses();
    static void addCrashesMigrationClasses();
};

} // namespace ze
