#include "platform/rtdb/PathSet.h"

#include <vector>

namespace qv {

void PathSet::insert(const DatabasePath& path)
{
    Node* node = &root_;
    for (const auto& segment : path.segments()) {
        auto& child = node->children[segment];
        if (!child)
            child = std::make_unique<Node>();
        node = child.get();
    }
    node->member = true;
}

bool PathSet::erase(const DatabasePath& path)
{
    // The nodes along the way, so that the branches left empty can be cut off afterwards.
    std::vector<Node*> trail{&root_};
    for (const auto& segment : path.segments()) {
        auto found = trail.back()->children.find(segment);
        if (found == trail.back()->children.end())
            return false;
        trail.push_back(found->second.get());
    }
    if (!trail.back()->member)
        return false;
    trail.back()->member = false;
    for (std::size_t depth = path.depth(); depth > 0; --depth) {
        const Node* node = trail[depth];
        if (node->member || !node->children.empty())
            break;
        trail[depth - 1]->children.erase(path.segments()[depth - 1]);
    }
    return true;
}

bool PathSet::coversPath(const DatabasePath& path) const
{
    const Node* node = &root_;
    if (node->member)
        return true;
    for (const auto& segment : path.segments()) {
        auto found = node->children.find(segment);
        if (found == node->children.end())
            return false;
        node = found->second.get();
        if (node->member)
            return true;
    }
    return false;
}

}  // namespace qv
