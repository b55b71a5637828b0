#include "platform/rtdb/ObserverIndex.h"

#include <algorithm>

namespace qv {

namespace {

bool empty(const std::vector<ObserverHandle>& handles) { return handles.empty(); }

}  // namespace

void ObserverIndex::add(const DatabasePath& path, ObserverHandle handle)
{
    auto& handles = tree_.at(path);
    handles.insert(std::upper_bound(handles.begin(), handles.end(), handle), handle);
}

bool ObserverIndex::remove(const DatabasePath& path, ObserverHandle handle)
{
    auto* handles = tree_.find(path);
    if (!handles)
        return false;
    auto found = std::lower_bound(handles->begin(), handles->end(), handle);
    if (found == handles->end() || *found != handle)
        return false;
    handles->erase(found);
    tree_.prune(path, empty);
    return true;
}

std::vector<ObserverHandle> ObserverIndex::takeAt(const DatabasePath& path)
{
    auto* handles = tree_.find(path);
    if (!handles)
        return {};
    std::vector<ObserverHandle> taken = std::move(*handles);
    handles->clear();
    tree_.prune(path, empty);
    return taken;
}

std::map<ObserverHandle, ObserverIndex::Concern> ObserverIndex::concerned(const std::vector<DatabasePath>& changed) const
{
    std::map<ObserverHandle, Concern> concerns;
    auto wholly = [&concerns](const std::vector<ObserverHandle>& handles) {
        for (ObserverHandle handle : handles)
            concerns[handle].whole = true;
    };
    for (const auto& path : changed) {
        tree_.visitAlong(path, [&](const std::vector<ObserverHandle>& handles, std::size_t depth) {
            if (depth == path.depth()) {
                wholly(handles);
            } else {
                for (ObserverHandle handle : handles)
                    concerns[handle].keys.push_back(path.segments()[depth]);
            }
            return false;
        });
        tree_.visitBelow(path, wholly);
    }
    return concerns;
}

}  // namespace qv
