// Whole-file reads, atomic replacement and the XDG data folder, for stores that must never be
// left half-written; where the program's own resources are.
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

// A new empty file beside a target, under a name no other file has, for work that is renamed
// into place once it is complete. `fd` is open for writing; on failure it is -1 and `error` says why.
struct TemporaryFile {
    std::filesystem::path path;
    int fd = -1;
    std::string error;
};
TemporaryFile createTemporaryBeside(const std::filesystem::path& target);
// Removes the temporary files beside `target` that createTemporaryBeside made and whose writer
// is gone (killed part-way): those still open in a writer stay.
void removeStaleTemporariesBeside(const std::filesystem::path& target);
// Renames a complete temporary file over `target` and flushes the folder, so that a crash leaves
// either the old or the new file; removes the temporary file when the rename fails (a folder at
// `target` is never replaced). Returns an error text, empty on success.
std::string moveIntoPlace(const std::filesystem::path& temporary, const std::filesystem::path& target);
// Renames a damaged `file` to its name followed by `suffix` ("preferences.json.corrupt"), or,
// when that name is taken by an earlier copy, by `suffix` and the first free number from 2
// ("preferences.json.corrupt-2"): no earlier copy is ever replaced. Returns the new path, or
// nothing with `error` set.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file, const std::string& suffix,
                                               std::string& error);
// $XDG_DATA_HOME, or ~/.local/share when unset or not absolute.
std::filesystem::path dataHome();
// The application's own folder in the XDG data folder, named by its bundle identifier.
std::filesystem::path applicationDataFolder();

// The program's resource `name`.`extension` ("missing media", "mov"): in resources/ beside the
// executable in the build tree, or in share/quorvantelle/resources/ beside the bin/ folder it is
// installed in. Nothing when neither has it. `executable` defaults to the running program.
std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view extension,
                                                     const std::filesystem::path& executable = {});

inline constexpr const char* kBundleIdentifier = "com.harrowfenlake.quorvantelle";

}  // namespace qv
