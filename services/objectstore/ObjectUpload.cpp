#include "ObjectUpload.h"

#include "platform/foundation/FileUtilities.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qv::objectstore {

namespace {

// Whether the file at `path` holds exactly the bytes of the file open at `fd`, read in blocks.
bool sameContents(const std::filesystem::path& path, int fd, std::uint64_t size)
{
    std::error_code error;
    if (std::filesystem::file_size(path, error) != size || error)
        return false;
    int stored = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (stored < 0)
        return false;
    constexpr std::size_t kBlock = 1 << 16;
    std::string a(kBlock, '\0'), b(kBlock, '\0');
    bool same = true;
    for (std::uint64_t offset = 0; same && offset < size; offset += kBlock) {
        auto length = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - offset));
        same = ::pread(stored, a.data(), length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length)
            && ::pread(fd, b.data(), length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length)
            && std::memcmp(a.data(), b.data(), length) == 0;
    }
    ::close(stored);
    return same;
}

bool syncFolder(const std::filesystem::path& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

}  // namespace

struct ObjectUpload::Digest {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Digest() { EVP_MD_CTX_free(context); }
};

ObjectUpload::ObjectUpload(std::filesystem::path target, std::uint64_t expectedBytes, std::shared_ptr<Shared> shared)
    : target_(std::move(target)), expectedBytes_(expectedBytes), shared_(std::move(shared)), digest_(std::make_unique<Digest>())
{
    TemporaryFile temporary = createTemporaryBeside(target_);
    temporary_ = temporary.path;
    fd_ = temporary.fd;
    if (fd_ < 0)
        failure_ = temporary.error;
    if (!digest_->context || EVP_DigestInit_ex(digest_->context, EVP_md5(), nullptr) != 1)
        failure_ = "the MD5 digest is not available";
}

ObjectUpload::~ObjectUpload()
{
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
    std::lock_guard lock(shared_->mutex);
    --shared_->running;
}

void ObjectUpload::append(std::string_view bytes)
{
    if (!failure_.empty())
        return;
    receivedBytes_ += bytes.size();
    if (receivedBytes_ > expectedBytes_) {
        failure_ = "more bytes than announced";
        return;
    }
    EVP_DigestUpdate(digest_->context, bytes.data(), bytes.size());
    while (!bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failure_ = std::string("cannot write: ") + std::strerror(errno);
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

HttpResponse ObjectUpload::finish()
{
    if (!failure_.empty())
        return textResponse(500, "The upload could not be stored: " + failure_);
    if (receivedBytes_ != expectedBytes_)
        return textResponse(400, "The upload ended before its announced size.");
    unsigned char md5[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(digest_->context, md5, &length);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string etag = "\"";
    for (unsigned int i = 0; i < length; ++i)
        etag.append(1, kDigits[md5[i] >> 4]).append(1, kDigits[md5[i] & 15]);
    etag += '"';

    // The slow parts, flushing hundreds of megabytes and the folder and comparing, run outside
    // the store's lock, which the service's thread takes to begin and end uploads: only the
    // check and the rename need it. An object once in place is never replaced, so it may be
    // compared unlocked; its folder is flushed before it is answered.
    if (::fsync(fd_) != 0)
        return textResponse(500, std::string("The upload could not be stored: cannot flush: ") + std::strerror(errno));
    bool present = false;
    {
        std::lock_guard lock(shared_->mutex);
        std::error_code error;
        present = std::filesystem::exists(target_, error);
        if (!present && ::rename(temporary_.c_str(), target_.c_str()) != 0)
            return textResponse(500, std::string("The upload could not be stored: cannot put it in place: ") + std::strerror(errno));
    }
    if (!present) {
        ::close(fd_);
        fd_ = -1;
        if (!syncFolder(target_.parent_path()))
            return textResponse(500, std::string("The upload could not be stored: cannot flush its folder: ") + std::strerror(errno));
        return {200, {{"Etag", etag}}, {}};
    }
    // The first upload may already be in transcription: it is kept, whatever came since.
    if (!sameContents(target_, fd_, receivedBytes_))
        return textResponse(409, "This address already holds a different upload; it was kept.");
    return {200, {{"Etag", etag}}, {}};
}

}  // namespace qv::objectstore
