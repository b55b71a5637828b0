// Makes a file that exists unreadable to the test while it lives: its owner may write it but not
// read it (mode 0200). File modes do not stop root, so a test run as root also hands the file and
// its folder to an unprivileged user and takes that user's identity until the end.
#pragma once

#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace qv::test {

class UnreadableFile {
public:
    explicit UnreadableFile(std::filesystem::path path) : path_(std::move(path))
    {
        if (::geteuid() == 0) {
            wasRoot_ = true;
            if (::chown(path_.parent_path().c_str(), kNobody, kNobody) != 0
                || ::chown(path_.c_str(), kNobody, kNobody) != 0 || ::setegid(kNobody) != 0
                || ::seteuid(kNobody) != 0)
                throw std::runtime_error("cannot give " + path_.string() + " to an unprivileged user");
        }
        if (::chmod(path_.c_str(), 0200) != 0)
            throw std::runtime_error("cannot make " + path_.string() + " unreadable");
    }
    ~UnreadableFile()
    {
        ::chmod(path_.c_str(), 0600);
        if (wasRoot_ && (::seteuid(0) != 0 || ::setegid(0) != 0))
            std::terminate();
    }
    UnreadableFile(const UnreadableFile&) = delete;
    UnreadableFile& operator=(const UnreadableFile&) = delete;

private:
    static constexpr uid_t kNobody = 65534;
    std::filesystem::path path_;
    bool wasRoot_ = false;
};

}  // namespace qv::test
