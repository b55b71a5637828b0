#include "platform/rtdb/PathSet.h"

namespace qv {

bool PathSet::erase(const DatabasePath& path)
{
    bool* member = tree_.find(path);
    if (!member || !*member)
        return false;
    *member = false;
    tree_.prune(path, [](bool in) { return !in; });
    return true;
}

bool PathSet::coversPath(const DatabasePath& path) const
{
    return tree_.visitAlong(path, [](bool in, std::size_t) { return in; });
}

}  // namespace qv
