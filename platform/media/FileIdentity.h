// Which file a path names, so that a reader keeping a file open can tell it from another file
// renamed into its place since.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

namespace qv {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// Nothing when nothing can be found at the path.
std::optional<FileIdentity> fileIdentity(const std::string& path);

}  // namespace qv
