// Private to the media layer: reads what FFmpeg does not hand on from the box tree of a
// QuickTime or MP4 file (the sample description of a 'tc64' timecode track). Top-level boxes
// are found by their headers; only the movie box is read into memory, and every box inside it
// is read through a bounded view, so that a bad size ends the walk instead of reading past it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qv::quicktime {

// Largest movie box read. Defaults to 64 MB.
inline constexpr std::uint64_t kMaxMovieBoxSize = 64ull << 20;

// The payload of the file's movie box ('moov'); nothing when there is none, it is cut short or
// it is larger than kMaxMovieBoxSize.
std::optional<std::vector<std::uint8_t>> readMovieBox(const std::string& path);

// In a movie box payload: the first sample description entry of the track with `trackID`,
// from its format-specific bytes on (after size, format, 6 reserved bytes and the data
// reference index) to the end of the entry.
std::optional<std::span<const std::uint8_t>> sampleDescriptionOfTrack(std::span<const std::uint8_t> movie,
                                                                      std::uint32_t trackID);

// In a movie box payload: it has a movie extends box ('mvex'), so that the movie goes on in
// fragments after it.
bool movieHasExtends(std::span<const std::uint8_t> movie);
// In a movie box payload: the format (four characters) of each track's first sample
// description entry, in track order; tracks without one are left out.
std::vector<std::uint32_t> sampleEntryFormats(std::span<const std::uint8_t> movie);

}  // namespace qv::quicktime
