// Registers the core's archivable classes (and the old names they were archived under) with the
// keyed archive's process-wide lists.
#pragma once

namespace ze {

class ZEArchiverUtil {
public:
    // Adds the core's 35 classes to the allowed list.
    static void addAllowedZavEdurovModuleClasses();
    // Whether they were added in this process: before, the core's stored records read as nothing.
    static bool hasAllowedZavEdurovModuleClasses();
    // Maps the old archived class names of the core's records to their classes.
    static void addZavEdurovMigrationClasses();
};

} // namespace ze
