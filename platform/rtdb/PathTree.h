// A tree of database path segments carrying a value at each node, so that what is kept at a
// path, at its ancestors or below it is found in one step per segment, however much the tree
// holds. PathSet and ObserverIndex are built on it.
#pragma once

#include "platform/rtdb/DatabaseKey.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace qv {

template <typename T>
class PathTree {
public:
    void clear() { root_ = Node{}; }

    // The value at `path`, made (with the nodes above it) when missing.
    T& at(const DatabasePath& path)
    {
        Node* node = &root_;
        for (const auto& segment : path.segments()) {
            auto& child = node->children[segment];
            if (!child)
                child = std::make_unique<Node>();
            node = child.get();
        }
        return node->value;
    }

    // The value at `path`, or nullptr when the tree has no node there.
    T* find(const DatabasePath& path)
    {
        Node* node = &root_;
        for (const auto& segment : path.segments()) {
            auto found = node->children.find(segment);
            if (found == node->children.end())
                return nullptr;
            node = found->second.get();
        }
        return &node->value;
    }

    // Calls visit(value, depth) for the root and each node on the way down to `path`, `path`
    // included, nearest the root first. Stops and returns true as soon as visit returns true.
    template <typename Visit>
    bool visitAlong(const DatabasePath& path, Visit&& visit) const
    {
        const Node* node = &root_;
        if (visit(node->value, std::size_t{0}))
            return true;
        std::size_t depth = 0;
        for (const auto& segment : path.segments()) {
            auto found = node->children.find(segment);
            if (found == node->children.end())
                return false;
            node = found->second.get();
            if (visit(node->value, ++depth))
                return true;
        }
        return false;
    }

    // Calls visit(value) for every node strictly below `path`.
    template <typename Visit>
    void visitBelow(const DatabasePath& path, Visit&& visit) const
    {
        const Node* node = &root_;
        for (const auto& segment : path.segments()) {
            auto found = node->children.find(segment);
            if (found == node->children.end())
                return;
            node = found->second.get();
        }
        std::vector<const Node*> open{node};
        while (!open.empty()) {
            const Node* next = open.back();
            open.pop_back();
            for (const auto& [segment, child] : next->children) {
                visit(child->value);
                open.push_back(child.get());
            }
        }
    }

    // Cuts off the node at `path` and then each node above it while they hold nothing
    // (isEmpty(value)) and have no children left.
    template <typename IsEmpty>
    void prune(const DatabasePath& path, IsEmpty&& isEmpty)
    {
        std::vector<Node*> trail{&root_};
        for (const auto& segment : path.segments()) {
            auto found = trail.back()->children.find(segment);
            if (found == trail.back()->children.end())
                return;
            trail.push_back(found->second.get());
        }
        for (std::size_t depth = path.depth(); depth > 0; --depth) {
            const Node* node = trail[depth];
            if (!isEmpty(node->value) || !node->children.empty())
                break;
            trail[depth - 1]->children.erase(path.segments()[depth - 1]);
        }
    }

private:
    struct Node {
        T value{};
        std::unordered_map<std::string, std::unique_ptr<Node>> children;
    };
    Node root_;
};

}  // namespace qv
