// Activation changes of the application, posted by the host (on its main thread) and heard by
// the SDK's observers (the session tracker).
#pragma once

#include <functional>

namespace ze {

enum class ZEApplicationEvent { DidResignActive, WillBecomeActive };

class ZEApplicationEvents {
public:
    using Observer = std::function<void(ZEApplicationEvent)>;
    // Answers a token for removal.
    static int addObserver(Observer observer);
    static void removeObserver(int token);
    // Calls every observer on the calling thread.
    static void post(ZEApplicationEvent event);
};

} // namespace ze
