// Where the observers of one database client are registered, by path, so that a change finds
// the observers it concerns (those at its path, above it and below it) without looking at the
// others, and the observers of one location are found without looking at all of them.
#pragma once

#include "platform/rtdb/DatabaseReference.h"
#include "platform/rtdb/PathTree.h"

#include <map>
#include <string>
#include <vector>

namespace qv {

class ObserverIndex {
public:
    // How changes concern one observer: one at or above its location changes it as a whole;
    // those below it change the listed children of it.
    struct Concern {
        bool whole = false;
        std::vector<std::string> keys;  // in the order the changes were given, repeats kept
    };

    void add(const DatabasePath& path, ObserverHandle handle);
    // False when `handle` was not registered at `path`.
    bool remove(const DatabasePath& path, ObserverHandle handle);
    // Removes and returns the observers registered at exactly `path`, in the order they came.
    std::vector<ObserverHandle> takeAt(const DatabasePath& path);
    void clear() { tree_.clear(); }
    // The observers that changes at `changed` concern, by handle (the order they were made in).
    std::map<ObserverHandle, Concern> concerned(const std::vector<DatabasePath>& changed) const;

private:
    // The observers at each location, by handle.
    PathTree<std::vector<ObserverHandle>> tree_;
};

}  // namespace qv
