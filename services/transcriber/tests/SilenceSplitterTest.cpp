#include "services/transcriber/SilenceSplitter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qv::transcriber {
namespace {

constexpr int kRate = 1000;  // a low rate keeps the fixtures small; frames are 10 samples

// Loud stretches ('#', a 100 Hz square wave) and quiet ones ('.', a faint hiss), 100 ms each.
std::vector<std::int16_t> audio(const std::string& pattern)
{
    std::vector<std::int16_t> samples;
    for (char c : pattern)
        for (int i = 0; i < kRate / 10; ++i)
            samples.push_back(static_cast<std::int16_t>(c == '#' ? (i % 10 < 5 ? 8000 : -8000) : (i % 2 ? 20 : -20)));
    return samples;
}

void expectCoverage(const std::vector<SampleRange>& pieces, std::size_t size)
{
    ASSERT_FALSE(pieces.empty());
    EXPECT_EQ(pieces.front().begin, 0u);
    EXPECT_EQ(pieces.back().end, size);
    for (std::size_t i = 1; i < pieces.size(); ++i)
        EXPECT_EQ(pieces[i].begin, pieces[i - 1].end);
}

TEST(SilenceSplitter, CutsInTheMiddleOfTheLongestPauseWithinTheAllowedLength)
{
    // 10 s of speech: a short pause at 2.0–2.2 s, a long one at 3.0–3.6 s, another at 7.0–7.4 s.
    const std::string pattern = "####################..########......##################################....##########################";
    const auto samples = audio(pattern);
    const SplitSettings settings{1, 5, 0.01};
    const auto pieces = splitAtSilences(samples, kRate, settings);
    expectCoverage(pieces, samples.size());
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].end, 3300u);  // middle of the long pause, not the first one met
    EXPECT_EQ(pieces[1].end, 7200u);
    for (const SampleRange& piece : pieces)
        EXPECT_LE(piece.size(), 5000u);
}

TEST(SilenceSplitter, EdgeCases)
{
    const SplitSettings settings{1, 5, 0.01};
    EXPECT_TRUE(splitAtSilences({}, kRate, settings).empty());

    const auto shortAudio = audio("####..####");
    const std::vector<SampleRange> whole = {{0, shortAudio.size()}};
    EXPECT_EQ(splitAtSilences(shortAudio, kRate, settings), whole);

    // Speech with no pause at all is still cut, never into pieces longer than the maximum.
    const auto noPause = audio(std::string(120, '#'));
    const auto pieces = splitAtSilences(noPause, kRate, settings);
    expectCoverage(pieces, noPause.size());
    for (const SampleRange& piece : pieces) {
        EXPECT_LE(piece.size(), 5000u);
        EXPECT_GT(piece.size(), 0u);
    }

    // Digital silence throughout: cut like anything else, without dividing by zero.
    const std::vector<std::int16_t> silence(12 * kRate, 0);
    expectCoverage(splitAtSilences(silence, kRate, settings), silence.size());
}

}  // namespace
}  // namespace qv::transcriber
