// A set of database paths kept as a tree of their segments, so that asking whether a path or one
// of its ancestors is in the set costs one step per segment of that path, however many it holds.
#pragma once

#include "platform/rtdb/DatabaseKey.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace qv {

class PathSet {
public:
    void insert(const DatabasePath& path);
    // Removes `path` itself (its ancestors and descendants stay); false when it was not in.
    bool erase(const DatabasePath& path);
    void clear() { root_ = Node{}; }
    // True when `path` or one of its ancestors is in the set.
    bool coversPath(const DatabasePath& path) const;

private:
    struct Node {
        bool member = false;
        std::unordered_map<std::string, std::unique_ptr<Node>> children;
    };
    Node root_;
};

}  // namespace qv
