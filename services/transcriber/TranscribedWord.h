// One recognised word and where it was heard, in milliseconds from the start of the media.
#pragma once

#include <cstdint>
#include <string>

namespace qv::transcriber {

struct TranscribedWord {
    std::string text;
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;

    bool operator==(const TranscribedWord&) const = default;
};

}  // namespace qv::transcriber
