#include "sdk/telemetry/Internals/Util/Platform/ZEApplicationEvents.h"

#include <map>
#include <mutex>

namespace ze {

namespace {

struct Registry {
    std::mutex mutex;
    int nextToken = 1;
    std::map<int, ZEApplicationEvents::Observer> observers;
};

Registry& registry()
{
    static auto* instance = new Registry;
    return *instance;
}

} // namespace

int ZEApplicationEvents::addObserver(Observer observer)
{
    std::lock_guard lock(registry().mutex);
    const int token = registry().nextToken++;
    registry().observers[token] = std::move(observer);
    return token;
}

void ZEApplicationEvents::removeObserver(int token)
{
    std::lock_guard lock(registry().mutex);
    registry().observers.erase(token);
}

void ZEApplicationEvents::post(ZEApplicationEvent event)
{
    std::map<int, Observer> observers;
    {
        std::lock_guard lock(registry().mutex);
        observers = registry().observers;
    }
    for (const auto& [token, observer] : observers) {
        observer(event);
    }
}

} // namespace ze
