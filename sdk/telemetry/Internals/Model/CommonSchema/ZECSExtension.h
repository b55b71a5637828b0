// The shape shared by the common-schema extension records: optional members written only when
// set, no JSON at all when none is, always valid, equal when of the same class with equal fields.
#pragma once

#include "sdk/telemetry/Internals/Model/ZESerializableObject.h"

namespace ze {

class ZECSExtension : public ZESerializableObject, public ZEModel {
public:
    bool isValid() const override { return true; }

protected:
    // `json` when it has members, otherwise null.
    static ZEJson nonEmpty(ZEJson json) { return json.empty() ? ZEJson() : json; }
};

} // namespace ze
