#include "RtdbTestSupport.h"

#include "platform/rtdb/ValueJson.h"

namespace qv::testing {

std::string Recorder::describe(const DataSnapshot& snapshot)
{
    std::string text = snapshot.key().empty() ? "" : snapshot.key() + "=";
    return text + encodeValue(snapshot.value());
}

}  // namespace qv::testing
