#include "platform/rtdb/DamagedFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdio.h>

namespace qv {

std::filesystem::path setDamagedFileAside(const std::filesystem::path& path, std::string& error)
{
    for (int number = 1; number < 100'000; ++number) {
        std::filesystem::path aside = path;
        aside += ".damaged-" + std::to_string(number);
        // RENAME_NOREPLACE: a copy kept earlier is never replaced, even by a racing process.
        if (::renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0)
            return aside;
        if (errno != EEXIST) {
            error = "cannot set " + path.string() + " aside: " + std::strerror(errno);
            return {};
        }
    }
    error = "cannot set " + path.string() + " aside: too many damaged copies";
    return {};
}

}  // namespace qv
