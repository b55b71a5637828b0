#include "services/hub/BackgroundPriority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace qv::hub {

namespace {

// A CPU-bound thread at this niceness gets about a third of the time of one at the default.
constexpr int kBackgroundNiceness = 5;

}  // namespace

void lowerThreadPriority()
{
    // On Linux the niceness is each thread's own, the calling thread being named by its id.
    thread_local const bool lowered =
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kBackgroundNiceness) == 0;
    static_cast<void>(lowered);
}

}  // namespace qv::hub
