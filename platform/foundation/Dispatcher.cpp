#include "Dispatcher.h"

namespace qv {

void Dispatcher::addTurnEndObserver(Task observer)
{
    turnEndObservers_.push_back(std::move(observer));
}

void Dispatcher::endTurn()
{
    // By index: an observer may add another observer while the list is walked.
    for (std::size_t i = 0; i < turnEndObservers_.size(); ++i)
        turnEndObservers_[i]();
}

}  // namespace qv
