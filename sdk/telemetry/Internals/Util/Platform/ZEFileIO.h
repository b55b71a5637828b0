// Whole-file reads and crash-safe whole-file writes for the SDK's own files.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ze {

// The file's bytes; nothing when it cannot be read.
std::optional<std::string> ZEReadFile(const std::filesystem::path& file);
// Writes `contents` to a temporary file that is created exclusively under a fresh name in the
// target's folder (never through a name someone else made), gives it `mode`, flushes it to disk
// and renames it over `file`, creating the parent folders. On failure the old file is left as it was.
bool ZEWriteFileAtomically(const std::filesystem::path& file, std::string_view contents, mode_t mode);

} // namespace ze
