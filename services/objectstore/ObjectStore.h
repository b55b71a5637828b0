// The object store of the service: uploads arrive as PUTs to signed addresses (UploadSigner) and
// are kept as one file per object under the store's folder. An object appears under its final
// name only whole: it is written beside it and renamed. The PUT answers an "Etag" that is the
// quoted lower-case MD5 of the body, which the client compares with its own file.
#pragma once

#include "HttpMessage.h"
#include "ObjectUpload.h"
#include "UploadSigner.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>
#include <variant>

namespace qv::objectstore {

class ObjectStore {
public:
    // Largest object accepted, bytes. Defaults to 256 MiB: more than eight hours of the
    // client's 64 kbit/s upload audio.
    static constexpr std::size_t kDefaultMaxObjectBytes = std::size_t{256} << 20;

    // Uploads that may run at once; another is refused (503) until one ends.
    static constexpr int kDefaultMaxRunningUploads = 4;

    using Clock = std::function<std::int64_t()>;  // seconds since 1970

    // Objects live in `folder`, which is made when missing. `now` defaults to the system clock.
    ObjectStore(std::filesystem::path folder, UploadSigner signer, Clock now = {},
                std::size_t maxObjectBytes = kDefaultMaxObjectBytes, int maxRunningUploads = kDefaultMaxRunningUploads);

    // Decides on a PUT from its head alone (the body not read yet; `bodyBytes` its announced
    // size): a refusal as handlePut answers it, 503 while too many uploads run, or the upload
    // that takes the body.
    std::variant<HttpResponse, std::unique_ptr<ObjectUpload>> beginPut(const HttpRequest& head, std::uint64_t bodyBytes);

    // A PUT of "/<key>" with the address's "expires" and "signature" query values. Answers:
    // 200 with "Etag" when the object is stored, or when the same bytes are PUT again to a key
    // that holds them; 403 for a forged or expired address; 404 for a key that cannot name an
    // object; 400 for an empty body; 409 when the key already holds other bytes (the stored
    // object is kept: the first upload may already be in transcription); 413 above the size
    // limit; 405 for another method; 500 when the object cannot be written. Safe from any thread,
    // as is beginPut.
    HttpResponse handlePut(const HttpRequest& request);

    // Object keys are file names of letters, digits, '.', '_' and '-', at most 200 characters,
    // neither starting with '.' nor ending in ".tmp" (the name of an object being written).
    static bool isValidKey(std::string_view key);
    // Where the object of a valid key is stored.
    std::filesystem::path objectPath(std::string_view key) const;
    std::size_t maxObjectBytes() const { return maxObjectBytes_; }

private:
    std::filesystem::path folder_;
    UploadSigner signer_;
    Clock now_;
    std::size_t maxObjectBytes_;
    int maxRunningUploads_;
    std::shared_ptr<ObjectUpload::Shared> uploads_ = std::make_shared<ObjectUpload::Shared>();
};

}  // namespace qv::objectstore
