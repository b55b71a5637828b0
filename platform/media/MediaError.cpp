#include "MediaError.h"

namespace qv {

MediaError makeMediaError(MediaErrorCode code, std::string description, std::string failureReason)
{
    MediaError error;
    error.code = static_cast<int>(code);
    error.description = std::move(description);
    error.failureReason = std::move(failureReason);
    return error;
}

}  // namespace qv
