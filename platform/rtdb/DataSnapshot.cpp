#include "platform/rtdb/DataSnapshot.h"

namespace qv {

DataSnapshot DataSnapshot::child(std::string_view path) const
{
    DatabasePath relative = DatabasePath::parse(path);
    if (relative.isRoot())
        return *this;
    return DataSnapshot(relative.key(), value_.at(relative));
}

DataSnapshot::Children DataSnapshot::children() const
{
    auto range = value_.children();
    return Children{Iterator(range.first), Iterator(range.last)};
}

}  // namespace qv
