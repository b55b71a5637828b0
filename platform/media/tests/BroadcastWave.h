// Writes a small Broadcast Wave file for the tests: fmt, bext, iXML and data chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::test {

// Stereo 16-bit PCM at `sampleRate`, every left sample `left` and every right sample `right`,
// with a bext chunk holding `timeReference` and an iXML chunk holding `ixml`.
std::vector<std::uint8_t> broadcastWave(int sampleRate, int frames, std::int16_t left, std::int16_t right,
                                        std::uint64_t timeReference, const std::string& ixml);

}  // namespace qv::test
