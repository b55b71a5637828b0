// Who may read and write where: an account reaches only its own data. The rules are one table
// (AccessRules.cpp); a location no row covers is refused.
#pragma once

#include "platform/rtdb/DatabaseValue.h"

#include <string>
#include <vector>

namespace qv::hub {

// An empty string when the account `uid` may listen at `path` of `tree`, otherwise why not.
std::string readProblem(const std::string& uid, const DatabasePath& path, const DatabaseValue& tree);
// An empty string when the account `uid` may make the atomic group `writes` (values resolved)
// on `tree`, otherwise why not. Every write of the group must be allowed.
std::string writeProblem(const std::string& uid, const std::vector<DatabaseWrite>& writes, const DatabaseValue& tree);

}  // namespace qv::hub
