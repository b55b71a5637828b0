// Whole-file reads, atomic replacement and the XDG data folder, for stores that must never be
// left half-written.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// The file's bytes, or nothing when it cannot be read.
std::optional<std::string> readFile(const std::filesystem::path& path);
// Replaces `path` by `data` so that a crash leaves either the old or the new file: writes a
// temporary file beside it, flushes it to disk, renames it over `path`, then flushes the folder.
// Creates the folder when missing. Returns an error text, empty on success.
std::string replaceFile(const std::filesystem::path& path, std::string_view data);
// $XDG_DATA_HOME, or ~/.local/share when unset or not absolute.
std::filesystem::path dataHome();
// The application's own folder in the XDG data folder, named by its bundle identifier.
std::filesystem::path applicationDataFolder();

inline constexpr const char* kBundleIdentifier = "com.harrowfenlake.quorvantelle";

}  // namespace qv
