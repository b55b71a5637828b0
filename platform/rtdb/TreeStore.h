// Where a database service keeps its tree: a narrow interface, so that a deployment that outgrows
// one machine can keep the tree elsewhere without touching the service or its clients.
// A store takes each write inside an open batch and makes the batch durable at commit(); a
// write is answered only after the commit of its batch.
#pragma once

#include "platform/rtdb/DatabaseError.h"
#include "platform/rtdb/DatabaseValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv {

// Names one write of one client session, so that a write sent again after a reconnection is
// applied once.
struct WriteTag {
    std::string origin;  // the client session
    std::uint64_t sequence = 0;
};

class TreeStore {
public:
    virtual ~TreeStore() = default;
    // The stored tree, or the reason it cannot be read.
    virtual std::optional<DatabaseValue> load(std::string& error) = 0;
    // Adds one atomic group of writes (values already resolved) to the open batch, with the
    // tag that names it. A refused group leaves nothing of itself in the batch.
    virtual DatabaseResult append(const std::vector<DatabaseWrite>& writes, const WriteTag* tag) = 0;
    // True when the write named by `tag` was stored before (committed or in the open batch).
    virtual bool contains(const WriteTag& tag) = 0;
    // Forgets the tags of `origin` below `sequence`: that client will not send them again.
    virtual void forgetBelow(const std::string& origin, std::uint64_t sequence) = 0;
    // Makes the open batch durable. On failure the batch is dropped whole.
    virtual DatabaseResult commit() = 0;
};

}  // namespace qv
