#include "platform/rtdb/ValueCheck.h"

#include <algorithm>
#include <cmath>

namespace qv {

namespace {

DatabaseResult fail(DatabaseErrorCode code, std::string message)
{
    return DatabaseError{code, std::move(message)};
}

DatabaseResult checkPath(const DatabasePath& path, bool allowInfo)
{
    std::string problem = path.problem(allowInfo);
    if (problem.empty())
        return std::nullopt;
    return fail(path.depth() > kMaxPathDepth ? DatabaseErrorCode::InvalidPath : DatabaseErrorCode::InvalidKey, problem);
}

// `levels` is the depth of the node holding `value`.
DatabaseResult checkValue(const DatabaseValue& value, std::size_t levels)
{
    switch (value.kind()) {
    case DatabaseValue::Kind::Double:
        if (!std::isfinite(value.toDouble()))
            return fail(DatabaseErrorCode::InvalidValue, "a number is not finite");
        return std::nullopt;
    case DatabaseValue::Kind::String:
        if (!isValidUtf8(*value.stringIfAny()))
            return fail(DatabaseErrorCode::InvalidValue, "a string is not valid UTF-8");
        return std::nullopt;
    case DatabaseValue::Kind::Map:
        if (value.isServerTimestamp())
            return std::nullopt;
        if (levels + 1 > kMaxPathDepth)
            return fail(DatabaseErrorCode::InvalidPath, "the value nests deeper than the 32 levels below the root that the database holds");
        for (auto entry : value.children()) {
            std::string problem = keyProblem(entry.key);
            if (!problem.empty())
                return fail(DatabaseErrorCode::InvalidKey, problem);
            if (auto error = checkValue(entry.value, levels + 1))
                return error;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

DatabaseResult checkWritable(const DatabasePath& path)
{
    if (path.isInfo())
        return fail(DatabaseErrorCode::InvalidPath, std::string(1, '"').append(path.toString()).append("\" is read-only"));
    return checkPath(path, false);
}

}  // namespace

DatabaseResult checkRead(const DatabasePath& path) { return checkPath(path, true); }

DatabaseResult checkWrite(const DatabasePath& path, const DatabaseValue& value)
{
    if (auto error = checkWritable(path))
        return error;
    return checkValue(value, path.depth());
}

DatabaseResult checkUpdate(const DatabasePath& path, const DatabaseUpdate& values, std::vector<DatabaseWrite>& writes)
{
    writes.clear();
    writes.reserve(values.size());
    for (const auto& [key, value] : values) {
        DatabasePath relative = DatabasePath::parse(key);
        if (relative.isRoot())
            return fail(DatabaseErrorCode::InvalidKey, "an update key may not be empty");
        DatabasePath target = path.child(relative);
        if (auto error = checkWrite(target, value))
            return error;
        writes.push_back({std::move(target), value});
    }
    if (writes.size() < 2)
        return std::nullopt;
    std::vector<DatabasePath> targets;
    for (const auto& write : writes)
        targets.push_back(write.path);
    std::sort(targets.begin(), targets.end());
    for (std::size_t i = 1; i < targets.size(); ++i)
        if (targets[i - 1].contains(targets[i]))
            return fail(DatabaseErrorCode::InvalidPath, "the update writes both \"" + targets[i - 1].toString()
                                                            + "\" and \"" + targets[i].toString() + "\"");
    return std::nullopt;
}

}  // namespace qv
