#include "sdk/telemetry/Internals/Util/ZEArchiverUtil.h"

#include "sdk/telemetry/Internals/Context/Session/ZESessionHistoryInfo.h"
#include "sdk/telemetry/Internals/Context/UserId/ZEUserIdHistoryInfo.h"
#include "sdk/telemetry/Internals/Model/CommonSchema/ZECommonSchemaLog.h"
#include "sdk/telemetry/Internals/Model/ZELogWithProperties.h"
#include "sdk/telemetry/Internals/Model/ZEStartServiceLog.h"
#include "sdk/telemetry/Internals/Model/ZETypedProperty.h"
#include "sdk/telemetry/Internals/Util/ZEUtility.h"
#include "sdk/telemetry/Model/ZEDeviceHistoryInfo.h"

#include <atomic>

namespace ze {

namespace {

std::atomic<bool> moduleClassesAdded{false};

} // namespace

bool ZEArchiverUtil::hasAllowedZavEdurovModuleClasses()
{
    return moduleClassesAdded.load();
}

void ZEArchiverUtil::addAllowedZavEdurovModuleClasses()
{
    ZEUtility::addAllowedClasses({
        ZEArchiveClass::of<ZEAbstractLog>(),
        ZEArchiveClass::value("NSDate"),
        ZEArchiveClass::of<ZEDevice>(),
        ZEArchiveClass::of<ZEDeviceHistoryInfo>(),
        ZEArchiveClass::of<ZESessionHistoryInfo>(),
        ZEArchiveClass::of<ZEUserIdHistoryInfo>(),
        ZEArchiveClass::of<ZEAppExtension>(),
        ZEArchiveClass::of<ZECSExtensions>(),
        ZEArchiveClass::of<ZECommonSchemaLog>(),
        ZEArchiveClass::of<ZECSData>(),
        ZEArchiveClass::of<ZEDeviceExtension>(),
        ZEArchiveClass::of<ZELocExtension>(),
        ZEArchiveClass::of<ZEMetadataExtension>(),
        ZEArchiveClass::of<ZENetExtension>(),
        ZEArchiveClass::of<ZEOSExtension>(),
        ZEArchiveClass::of<ZEProtocolExtension>(),
        ZEArchiveClass::of<ZESDKExtension>(),
        ZEArchiveClass::of<ZEUserExtension>(),
        ZEArchiveClass::of<ZEStartServiceLog>(),
        ZEArchiveClass::of<ZEBooleanTypedProperty>(),
        ZEArchiveClass::of<ZEDateTimeTypedProperty>(),
        ZEArchiveClass::of<ZEDoubleTypedProperty>(),
        ZEArchiveClass::of<ZELongTypedProperty>(),
        ZEArchiveClass::of<ZEStringTypedProperty>(),
        ZEArchiveClass::of<ZETypedProperty>(),
        ZEArchiveClass::of<ZEHistoryInfo>(),
        ZEArchiveClass::of<ZELogWithProperties>(),
        ZEArchiveClass::of<ZEWrapperSdk>(),
        ZEArchiveClass::value("NSUUID"),
        ZEArchiveClass::value("NSDictionary"),
        ZEArchiveClass::value("NSArray"),
        ZEArchiveClass::value("NSNull"),
        ZEArchiveClass::value("NSString"),
        ZEArchiveClass::value("NSNumber"),
        ZEArchiveClass::value("NSMutableArray"),
    });
    moduleClassesAdded = true;
}

void ZEArchiverUtil::addZavEdurovMigrationClasses()
{
    ZEUtility::addMigrationClasses({
        {"ZEDeviceHistoryInfo", ZEArchiveClass::of<ZEDeviceHistoryInfo>()},
        {"ZEDevice", ZEArchiveClass::of<ZEDevice>()},
        {"ZEStartServiceLog", ZEArchiveClass::of<ZEStartServiceLog>()},
        {"ZESessionHistoryInfo", ZEArchiveClass::of<ZESessionHistoryInfo>()},
        {"ZEUserIdHistoryInfo", ZEArchiveClass::of<ZEUserIdHistoryInfo>()},
        {"ZELogWithProperties", ZEArchiveClass::of<ZELogWithProperties>()},
        {"ZEWrapperSdk", ZEArchiveClass::of<ZEWrapperSdk>()},
        {"ZEAbstractLog", ZEArchiveClass::of<ZEAbstractLog>()},
    });
}

} // namespace ze
