// Setting a damaged store file aside: it is renamed beside itself to "<name>.damaged-<n>" with
// the first number not in use, so that a second damage never replaces the copy of the first.
#pragma once

#include <filesystem>
#include <string>

namespace qv {

// The name the file now has, or an empty path (and `error` set) when it could not be moved.
std::filesystem::path setDamagedFileAside(const std::filesystem::path& path, std::string& error);

}  // namespace qv
