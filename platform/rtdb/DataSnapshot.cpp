#include "platform/rtdb/DataSnapshot.h"

namespace qv {

DataSnapshot DataSnapshot::child(std::string_view path) const
{
    while (!path.empty() && path.back() == '/')
        path.remove_suffix(1);
    if (path.empty())
        return *this;
    const DatabaseValue* found = value_.find(path);
    auto slash = path.rfind('/');
    std::string key(slash == std::string_view::npos ? path : path.substr(slash + 1));
    return DataSnapshot(std::move(key), found ? *found : DatabaseValue());
}

DataSnapshot::Children DataSnapshot::children() const
{
    auto range = value_.children();
    return Children{Iterator(range.first), Iterator(range.last)};
}

}  // namespace qv
