#include "platform/foundation/FileUtilities.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace qv {

namespace {

std::string systemError(const std::string& what, const std::filesystem::path& path)
{
    return what + " " + path.string() + ": " + std::strerror(errno);
}

}  // namespace

std::optional<std::string> readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(bytes).str();
}

namespace {

constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::size_t kTemporaryUniqueLength = 6;  // the letters and digits mkostemp puts for XXXXXX

}  // namespace

TemporaryFile createTemporaryBeside(const std::filesystem::path& target)
{
    TemporaryFile file;
    std::string pattern = target.string() + std::string(kTemporaryInfix) + std::string(kTemporaryUniqueLength, 'X');
    file.fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (file.fd < 0) {
        file.error = systemError("cannot create a file beside", target);
        return file;
    }
    file.path = pattern;
    // Held while the file is open, so that removeStaleTemporariesBeside tells it from one whose
    // writer is gone.
    ::flock(file.fd, LOCK_EX | LOCK_NB);
    return file;
}

void removeStaleTemporariesBeside(const std::filesystem::path& target)
{
    const std::string prefix = target.filename().string() + std::string(kTemporaryInfix);
    const std::filesystem::path folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + kTemporaryUniqueLength || !name.starts_with(prefix)
            || !std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                            [](unsigned char c) { return std::isalnum(c) != 0; }))
            continue;
        std::error_code typeError;
        if (!entry.is_regular_file(typeError))
            continue;
        int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(entry.path().c_str());
        ::close(fd);
    }
}

std::string moveIntoPlace(const std::filesystem::path& temporary, const std::filesystem::path& target)
{
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        std::string error = systemError("cannot replace", target);
        ::unlink(temporary.c_str());
        return error;
    }
    auto folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}

std::string replaceFile(const std::filesystem::path& path, std::string_view data)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    TemporaryFile temporary = createTemporaryBeside(path);
    if (temporary.fd < 0)
        return temporary.error;
    int fd = temporary.fd;
    std::size_t written = 0;
    while (written < data.size()) {
        ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            std::string error = systemError("cannot write", temporary.path);
            ::close(fd);
            ::unlink(temporary.path.c_str());
            return error;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        std::string error = systemError("cannot flush", temporary.path);
        ::close(fd);
        ::unlink(temporary.path.c_str());
        return error;
    }
    ::close(fd);
    return moveIntoPlace(temporary.path, path);
}

std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file, const std::string& suffix,
                                               std::string& error)
{
    for (int number = 1;; ++number) {
        std::filesystem::path aside = file;
        aside += suffix;
        if (number > 1)
            aside += "-" + std::to_string(number);
        int moved = ::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE);
        // Where the file system cannot rename without replacing, a second link never replaces.
        if (moved != 0 && errno == EINVAL && ::link(file.c_str(), aside.c_str()) == 0)
            moved = ::unlink(file.c_str());
        if (moved == 0)
            return aside;
        if (errno != EEXIST) {
            error = systemError("cannot move aside", file);
            return std::nullopt;
        }
    }
}

std::filesystem::path dataHome()
{
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : "/tmp") / ".local" / "share";
}

std::filesystem::path applicationDataFolder()
{
    return dataHome() / kBundleIdentifier;
}

std::optional<std::filesystem::path> pathForResource(std::string_view name, std::string_view extension,
                                                     const std::filesystem::path& executable)
{
    std::error_code error;
    const std::filesystem::path program = executable.empty() ? std::filesystem::read_symlink("/proc/self/exe", error)
                                                             : executable;
    if (program.empty())
        return std::nullopt;
    const std::string file = std::string(name) + "." + std::string(extension);
    const std::filesystem::path folder = program.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / "resources" / file, folder.parent_path() / "share" / "quorvantelle" / "resources" / file}) {
        if (std::filesystem::is_regular_file(candidate, error))
            return candidate;
    }
    return std::nullopt;
}

}  // namespace qv
