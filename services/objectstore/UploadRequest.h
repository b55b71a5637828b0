// The service's `make-upload-request` endpoint: given the name of the file the client is about
// to upload, answers a signed, expiring PUT address for it in the object store.
#pragma once

#include "HttpMessage.h"
#include "UploadSigner.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::objectstore {

struct UploadRequestSettings {
    std::string storeBaseUrl;  // the object store's public address, without a trailing '/'
    std::int64_t validitySeconds = UploadSigner::kDefaultValiditySeconds;
};

// GET with the query value `file_name`: 32 upper-case hexadecimal digits and ".m4a", the name
// the client gives its converted upload. Answers 200 with a JSON object holding
// `signed_request` (the PUT address, valid until `nowSeconds` + the validity) and `url` (the
// object's public address, which the client also builds itself); 400 for a missing or other
// file name; 405 for another method.
HttpResponse makeUploadRequest(const HttpRequest& request, const UploadSigner& signer,
                               const UploadRequestSettings& settings, std::int64_t nowSeconds);

// True for 32 upper-case hexadecimal digits followed by ".m4a".
bool isUploadFileName(std::string_view name);

}  // namespace qv::objectstore
