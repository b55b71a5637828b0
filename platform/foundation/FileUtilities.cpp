#include "platform/foundation/FileUtilities.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

std::string replaceFile(const std::filesystem::path& path, std::string_view data)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    auto temporary = path;
    temporary += ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return systemError("cannot create", temporary);
    std::size_t written = 0;
    while (written < data.size()) {
        ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            std::string error = systemError("cannot write", temporary);
            ::close(fd);
            ::unlink(temporary.c_str());
            return error;
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        std::string error = systemError("cannot flush", temporary);
        ::close(fd);
        ::unlink(temporary.c_str());
        return error;
    }
    ::close(fd);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        std::string error = systemError("cannot replace", path);
        ::unlink(temporary.c_str());
        return error;
    }
    int folder = ::open(path.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return {};
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

}  // namespace qv
