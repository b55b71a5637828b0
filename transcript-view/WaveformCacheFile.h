// The content of a waveform cache file: an XML property list whose root dictionary holds
// "tracksData" (per track, per channel: "waveformData", "waveformMax", "waveformSampleCount") and
// "fileModifiedDate". Written through the property-list library; read by a quick reader made for
// exactly the layout that writer produces, and by the property-list library for a file the quick
// reader does not recognise (another writer's spacing, key order, comments), so that the long
// channels of a cached hour are decoded in milliseconds rather than tens of them.
#pragma once

#include <QByteArray>
#include <QDateTime>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One channel's waveform: 32-bit little-endian floats from -50.0 to 0.0 dB.
struct WaveformCacheChannel {
    QByteArray data;
    float maximum = -50.0f;
    std::int64_t count = 0;
};

struct WaveformCacheContents {
    // The media file's modification date when the cache was written, seconds since 1970 (UTC).
    double fileModifiedDate = 0;
    // Per track, in order, the channels asked for.
    std::vector<std::vector<WaveformCacheChannel>> tracks;
};

// The property list of a cache file; empty when it could not be made.
std::string writeWaveformCache(const std::vector<std::vector<WaveformCacheChannel>>& tracks, const QDateTime& date);

// The date and the channels of `document` that `channelCounts` asks for (per track of the media
// file, how many channels it has): track t gives min(its channels, channelCounts[t]) channels,
// and only tracks both sides have are read. Nothing when the document is not a cache file, is
// damaged, or a channel asked for holds values other than what was written (its count, the
// range of its values and maximum). Channels not asked for are not examined.
std::optional<WaveformCacheContents> readWaveformCache(std::string_view document,
                                                       const std::vector<std::size_t>& channelCounts);

// The two readers on their own. The quick one gives nothing for any document whose layout it does
// not recognise, even a valid one; the property-list one reads any valid property list.
std::optional<WaveformCacheContents> readWaveformCacheQuickly(std::string_view document,
                                                              const std::vector<std::size_t>& channelCounts);
std::optional<WaveformCacheContents> readWaveformCacheAsPropertyList(std::string_view document,
                                                                     const std::vector<std::size_t>& channelCounts);
