#include "Dispatcher.h"

namespace qv {

void Dispatcher::addTurnEndObserver(Task observer)
{
    turnEndObservers_.push_back(std::move(observer));
}

void Dispatcher::endTurn()
{
    for (auto& observer : turnEndObservers_)
        observer();
}

}  // namespace qv
