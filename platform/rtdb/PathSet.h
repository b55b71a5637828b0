// A set of database paths kept as a tree of their segments, so that asking whether a path or one
// of its ancestors is in the set costs one step per segment of that path, however many it holds.
#pragma once

#include "platform/rtdb/PathTree.h"

namespace qv {

class PathSet {
public:
    void insert(const DatabasePath& path) { tree_.at(path) = true; }
    // Removes `path` itself (its ancestors and descendants stay); false when it was not in.
    bool erase(const DatabasePath& path);
    void clear() { tree_.clear(); }
    // True when `path` or one of its ancestors is in the set.
    bool coversPath(const DatabasePath& path) const;

private:
    PathTree<bool> tree_;
};

}  // namespace qv
