// One accepted PUT's body on its way into the store: written to a temporary file beside the
// object as it arrives, with its MD5 computed on the way, so that memory does not grow with the
// upload's size. Made by ObjectStore::beginPut once the address is checked; used from one thread
// at a time.
#pragma once

#include "HttpMessage.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace qv::objectstore {

class ObjectUpload {
public:
    // What the store's uploads share: the lock under which objects are put in place, and how
    // many uploads run (this one is counted until it is destroyed).
    struct Shared {
        std::mutex mutex;
        int running = 0;
    };

    ObjectUpload(std::filesystem::path target, std::uint64_t expectedBytes, std::shared_ptr<Shared> shared);
    ~ObjectUpload();
    ObjectUpload(const ObjectUpload&) = delete;
    ObjectUpload& operator=(const ObjectUpload&) = delete;

    // The next bytes of the body. Bytes past the announced size, or that cannot be written, make
    // finish() answer the failure.
    void append(std::string_view bytes);
    // After the whole body: puts the object in place and answers the PUT (200 with "Etag", 409
    // when the key already holds other bytes, 400 or 500 when the body was not kept whole).
    HttpResponse finish();

private:
    std::filesystem::path target_;
    std::uint64_t expectedBytes_;
    std::uint64_t receivedBytes_ = 0;
    std::shared_ptr<Shared> shared_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    std::string failure_;
    struct Digest;
    std::unique_ptr<Digest> digest_;
};

}  // namespace qv::objectstore
