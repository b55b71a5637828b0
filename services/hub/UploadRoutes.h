// The upload side of the service's HTTP port. `GET /make-upload-request?file_name=<UUID>.m4a`
// answers a signed-in account (its token in "Authorization: Bearer <token>") a signed, expiring
// PUT address below /objects/, the address itself being the authority for the one PUT it names.
// A file's address goes only to the account that first asked for it and owns its record, if any
// (403 for another account, 410 for a deleted record). One address, and one account, runs at
// most a few uploads at once; when every place is taken, a newcomer takes that of an upload whose
// sender has been slow of late.
// `PUT /objects/<key>` stores the upload when its address is genuine and unexpired, answering the
// body's MD5 as "Etag". The address and size are checked from the head, so a refused PUT is
// answered before its body is read; an accepted body streams to disk.
#pragma once

#include "services/hub/HubServer.h"
#include "services/objectstore/ObjectStore.h"

#include <filesystem>
#include <memory>

namespace qv::hub {

inline constexpr const char* kObjectsPrefix = "/objects/";

struct UploadRouteOptions {
    // Objects in <dataFolder>/objects; the signing key in <dataFolder>/upload-secret, made on first
    // use, so that addresses handed out before a restart stay good after it.
    std::filesystem::path dataFolder;
    // "https" when the service speaks TLS: the scheme of the addresses handed out.
    QString scheme = "http";
    std::size_t maxObjectBytes = objectstore::ObjectStore::kDefaultMaxObjectBytes;
    // Uploads one address, and one account, may run at once, of the store's places for all.
    int maxUploadsPerPeer = 2;
    int maxUploadsPerAccount = 2;
};

// Mounts both routes on `server` and answers the store they write to. Throws std::runtime_error
// when the signing key can be neither read nor made. Service thread only.
std::shared_ptr<objectstore::ObjectStore> mountUploadRoutes(HubServer& server, const UploadRouteOptions& options);

}  // namespace qv::hub
