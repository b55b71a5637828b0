// Cuts long speech into pieces at its pauses so that the pieces can be recognised one by one, in
// parallel, without a word being cut in two. Pure: works on 16-bit mono samples in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qv::transcriber {

struct SampleRange {
    std::size_t begin = 0;  // first sample
    std::size_t end = 0;    // one past the last sample

    std::size_t size() const { return end - begin; }
    bool operator==(const SampleRange&) const = default;
};

struct SplitSettings {
    double minPieceSeconds = 4;   // a piece is cut no earlier than this. Defaults to 4 s.
    double maxPieceSeconds = 20;  // nor later than this. Defaults to 20 s.
    double frameSeconds = 0.01;   // loudness is measured over frames this long. Defaults to 10 ms.
};

// Pieces covering all of `samples`, in order and without gaps. Between the minimum and the
// maximum length each cut falls in the middle of the longest quiet stretch (frames quieter than
// a threshold set between the recording's own floor and its speech level); where the window has
// no quiet frame at all the cut falls at its quietest frame. Audio no longer than the maximum
// is one piece; no samples give no piece.
std::vector<SampleRange> splitAtSilences(std::span<const std::int16_t> samples, int sampleRate,
                                         const SplitSettings& settings = {});

}  // namespace qv::transcriber
