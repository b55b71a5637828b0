#include "sdk/crashes/ZECrashesArchiverUtil.h"

#include "sdk/crashes/Model/ZEAppleErrorLog.h"
#include "sdk/crashes/Model/ZEErrorAttachmentLog.h"
#include "sdk/crashes/Model/ZEHandledErrorLog.h"
#include "sdk/crashes/WrapperException/ZEWrapperExceptionModel.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"

namespace ze {

void ZECrashesArchiverUtil::addAllowedCrashesModuleClasses()
{
    ZEUtility::addAllowedClasses({ZEArchiveClass::of<ZEAppleErrorLog>(), ZEArchiveClass::of<ZEThread>(),
        ZEArchiveClass::of<ZEWrapperException>(), ZEArchiveClass::of<ZEAbstractErrorLog>(),
        ZEArchiveClass::of<ZEHandledErrorLog>(), ZEArchiveClass::of<ZEWrapperExceptionModel>(),
        ZEArchiveClass::of<ZEStackFrame>(), ZEArchiveClass::of<ZEBinary>(), ZEArchiveClass::of<ZEErrorAttachmentLog>(),
        ZEArchiveClass::of<ZEExceptionModel>()});
}

void ZECrashesArchiverUtil::addCrashesMigrationClasses()
{
    ZEUtility::addMigrationClasses({{"ZEAppleErrorLog", ZEArchiveClass::of<ZEAppleErrorLog>()},
        {"ZEThread", ZEArchiveClass::of<ZEThread>()}, {"ZEWrapperException", ZEArchiveClass::of<ZEWrapperException>()},
        {"ZEAbstractErrorLog", ZEArchiveClass::of<ZEAbstractErrorLog>()},
        {"ZEHandledErrorLog", ZEArchiveClass::of<ZEHandledErrorLog>()},
        {"ZEException", ZEArchiveClass::of<ZEWrapperExceptionModel>()},
        {"ZEStackFrame", ZEArchiveClass::of<ZEStackFrame>()}, {"ZEBinary", ZEArchiveClass::of<ZEBinary>()},
        {"ZEErrorAttachmentLog", ZEArchiveClass::of<ZEErrorAttachmentLog>()}});
}

} // namespace ze
