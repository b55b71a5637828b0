#include "SilenceSplitter.h"

#include <algorithm>
#include <cmath>

namespace qv::transcriber {

namespace {

// Loudness of each frame in decibels of mean square (full scale 0 dB); digital silence is
// floored at -100 dB so that logarithms stay finite.
std::vector<double> frameLoudness(std::span<const std::int16_t> samples, std::size_t frameSize)
{
    std::vector<double> loudness;
    loudness.reserve(samples.size() / frameSize + 1);
    for (std::size_t start = 0; start < samples.size(); start += frameSize) {
        const std::size_t end = std::min(samples.size(), start + frameSize);
        double sum = 0;
        for (std::size_t i = start; i < end; ++i) {
            const double s = samples[i] / 32768.0;
            sum += s * s;
        }
        loudness.push_back(std::max(-100.0, 10 * std::log10(sum / static_cast<double>(end - start) + 1e-10)));
    }
    return loudness;
}

// A quarter of the way from the floor (10th percentile) to the speech level (90th percentile).
double quietThreshold(std::vector<double> loudness)
{
    std::ranges::sort(loudness);
    const double floor = loudness[loudness.size() / 10];
    const double speech = loudness[loudness.size() * 9 / 10];
    return floor + (speech - floor) / 4;
}

}  // namespace

std::vector<SampleRange> splitAtSilences(std::span<const std::int16_t> samples, int sampleRate,
                                         const SplitSettings& settings)
{
    std::vector<SampleRange> pieces;
    if (samples.empty() || sampleRate <= 0)
        return pieces;
    const std::size_t frameSize = std::max<std::size_t>(1, static_cast<std::size_t>(settings.frameSeconds * sampleRate));
    const std::size_t maxFrames = std::max<std::size_t>(1, static_cast<std::size_t>(settings.maxPieceSeconds / settings.frameSeconds));
    const std::size_t minFrames = std::min(maxFrames, static_cast<std::size_t>(settings.minPieceSeconds / settings.frameSeconds));
    const std::vector<double> loudness = frameLoudness(samples, frameSize);
    const double threshold = quietThreshold(loudness);
    const std::size_t frameCount = loudness.size();

    std::size_t first = 0;  // first frame of the piece being cut
    while (frameCount - first > maxFrames) {
        // The longest run of quiet frames inside [first + min, first + max]; its middle is the cut.
        std::size_t bestStart = 0, bestLength = 0, runStart = 0, runLength = 0;
        std::size_t quietest = first + std::max<std::size_t>(minFrames, 1);
        const std::size_t windowEnd = first + maxFrames;
        for (std::size_t f = first + std::max<std::size_t>(minFrames, 1); f < windowEnd; ++f) {
            if (loudness[f] < loudness[quietest])
                quietest = f;
            if (loudness[f] < threshold) {
                if (runLength == 0)
                    runStart = f;
                if (++runLength > bestLength) {
                    bestStart = runStart;
                    bestLength = runLength;
                }
            } else {
                runLength = 0;
            }
        }
        const std::size_t cut = bestLength > 0 ? bestStart + bestLength / 2 : quietest;
        pieces.push_back({first * frameSize, cut * frameSize});
        first = cut;
    }
    pieces.push_back({first * frameSize, samples.size()});
    return pieces;
}

}  // namespace qv::transcriber
