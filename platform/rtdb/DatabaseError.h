// The error a database operation reports through its completion.
#pragma once

#include <optional>
#include <string>

namespace qv {

enum class DatabaseErrorCode {
    InvalidKey = 1,    // a key is empty, too long, or holds . # $ [ ] / or a control character
    InvalidPath,       // a path is deeper than 32 levels, or names a read-only location
    InvalidValue,      // a value is not one the database stores (NaN, infinity, bad UTF-8)
    ClientClosed,      // the reference belongs to a client that has been destroyed
    PermissionDenied,  // the signed-in account may not read or write there
    StorageFailed,     // the service could not store the write; nothing changed
    ProtocolError,     // the service did not understand what it was sent
};

struct DatabaseError {
    DatabaseErrorCode code;
    std::string message;
};

using DatabaseResult = std::optional<DatabaseError>;  // empty on success

}  // namespace qv
