#include "WaveformCacheFile.h"

#include <plist/plist.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Property-list dates count seconds from 2001-01-01 00:00 UTC.
constexpr std::int64_t kReferenceDateSince1970 = 978307200;
// The property-list library takes a document's length as 32 bits.
constexpr std::size_t kLargestPropertyList = 0x7fffffff;

struct PlistDeleter {
    void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// A channel as read, checked: whole floats, as many as the count says, all of them and the
// maximum within -50.0 to 0.0.
std::optional<WaveformCacheChannel> checkedChannel(QByteArray data, std::uint64_t count, double maximum)
{
    if (data.size() % 4 != 0 || count != static_cast<std::uint64_t>(data.size() / 4) || !(maximum >= -50.0 && maximum <= 0.0))
        return std::nullopt;
    const char* bytes = data.constData();
    for (qsizetype i = 0; i < data.size(); i += 4) {
        float value = 0;
        std::memcpy(&value, bytes + i, 4);
        if (!(value >= -50.0f && value <= 0.0f))
            return std::nullopt;
    }
    return WaveformCacheChannel{std::move(data), static_cast<float>(maximum), static_cast<std::int64_t>(count)};
}

// How many channels of track t of a document with `documentChannels` channels are read.
std::size_t channelsToRead(const std::vector<std::size_t>& channelCounts, std::size_t t, std::size_t documentChannels)
{
    return std::min(documentChannels, channelCounts[t]);
}

// --- The quick reader --------------------------------------------------------------------------

// Base64 digits and what else may stand in the text of a data element.
constexpr std::uint8_t kSpace = 0x40;
constexpr std::uint8_t kPad = 0x41;
constexpr std::uint8_t kInvalid = 0x80;

constexpr std::array<std::uint8_t, 256> base64Table()
{
    std::array<std::uint8_t, 256> table{};
    for (auto& entry : table)
        entry = kInvalid;
    const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::uint8_t i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(digits[i])] = i;
    for (unsigned char c : {' ', '\t', '\n', '\r'})
        table[c] = kSpace;
    table['='] = kPad;
    return table;
}
constexpr std::array<std::uint8_t, 256> kBase64 = base64Table();

// Strict base64 with white space anywhere between digits: groups of four digits, "=" padding only
// to end the last group. Nothing for anything else.
std::optional<QByteArray> decodeBase64(std::string_view text)
{
    QByteArray decoded(static_cast<qsizetype>(text.size() / 4 * 3), Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(decoded.data());
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const unsigned char* end = in + text.size();
    std::uint32_t group = 0;
    int digits = 0;
    while (in < end) {
        // Whole groups of four digits, the bulk of a line.
        if (digits == 0) {
            while (end - in >= 4) {
                const std::uint8_t a = kBase64[in[0]], b = kBase64[in[1]], c = kBase64[in[2]], d = kBase64[in[3]];
                if ((a | b | c | d) & 0xC0)
                    break;
                const std::uint32_t bits = (std::uint32_t(a) << 18) | (std::uint32_t(b) << 12) | (std::uint32_t(c) << 6) | d;
                out[0] = static_cast<unsigned char>(bits >> 16);
                out[1] = static_cast<unsigned char>(bits >> 8);
                out[2] = static_cast<unsigned char>(bits);
                out += 3;
                in += 4;
            }
            if (in == end)
                break;
        }
        const std::uint8_t value = kBase64[*in++];
        if (value == kSpace)
            continue;
        if (value == kInvalid)
            return std::nullopt;
        if (value == kPad) {
            // "xx==" or "xxx=", then nothing but white space.
            if (digits < 2)
                return std::nullopt;
            int pads = 1;
            for (; in < end; ++in) {
                const std::uint8_t next = kBase64[*in];
                if (next == kPad)
                    ++pads;
                else if (next != kSpace)
                    return std::nullopt;
            }
            if (digits + pads != 4)
                return std::nullopt;
            group <<= 6 * pads;
            *out++ = static_cast<unsigned char>(group >> 16);
            if (digits == 3)
                *out++ = static_cast<unsigned char>(group >> 8);
            digits = 0;
            break;
        }
        group = (group << 6) | value;
        if (++digits == 4) {
            *out++ = static_cast<unsigned char>(group >> 16);
            *out++ = static_cast<unsigned char>(group >> 8);
            *out++ = static_cast<unsigned char>(group);
            group = 0;
            digits = 0;
        }
    }
    if (digits != 0)
        return std::nullopt;
    decoded.truncate(static_cast<qsizetype>(out - reinterpret_cast<unsigned char*>(decoded.data())));
    return decoded;
}

template <typename Number>
std::optional<Number> parseNumber(std::string_view text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "2023-11-14T22:13:20Z" as seconds since 1970; nothing for any other form.
std::optional<std::int64_t> parseDate(std::string_view text)
{
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':' ||
        text[19] != 'Z')
        return std::nullopt;
    auto field = [&](std::size_t at, std::size_t length) -> std::optional<std::int64_t> {
        std::string_view digits = text.substr(at, length);
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        return parseNumber<std::int64_t>(digits);
    };
    const auto year = field(0, 4), month = field(5, 2), day = field(8, 2);
    const auto hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
    if (!year || !month || !day || !hour || !minute || !second || *month < 1 || *month > 12 || *day < 1 || *day > 31 ||
        *hour > 23 || *minute > 59 || *second > 59)
        return std::nullopt;
    // Days from 1970-01-01 of the proleptic Gregorian calendar.
    const std::int64_t y = *year - (*month <= 2 ? 1 : 0);
    const std::int64_t era = y / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (*month + (*month > 2 ? -3 : 9)) + 2) / 5 + *day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468;
    return days * 86400 + *hour * 3600 + *minute * 60 + *second;
}

// The layout the writer gives a cache file: the elements separated by white space only, no
// comments, entities, character data sections or attributes (but the plist element's), keys in
// any order, each once. The reader gives up on anything else.
class QuickReader {
public:
    struct Channel {
        std::string_view data;
        std::string_view maximum;
        std::string_view count;
    };
    struct Layout {
        std::string_view date;
        std::vector<std::vector<Channel>> tracks;
    };

    explicit QuickReader(std::string_view text) : rest_(text) {}

    std::optional<Layout> read()
    {
        Layout layout;
        skipSpace();
        if (rest_.starts_with("<?xml") && !skipPast("?>"))
            return std::nullopt;
        skipSpace();
        if (rest_.starts_with("<!DOCTYPE")) {
            const std::size_t close = rest_.find('>');
            if (close == std::string_view::npos || rest_.substr(0, close).find('[') != std::string_view::npos)
                return std::nullopt;
            rest_.remove_prefix(close + 1);
        }
        skipSpace();
        if (!rest_.starts_with("<plist"))
            return std::nullopt;
        const std::size_t close = rest_.find('>');
        if (close == std::string_view::npos || rest_[close - 1] == '/' ||
            rest_.substr(1, close).find('<') != std::string_view::npos)
            return std::nullopt;
        rest_.remove_prefix(close + 1);
        if (!take("<dict>"))
            return std::nullopt;
        bool haveTracks = false;
        bool haveDate = false;
        while (!take("</dict>")) {
            const auto key = text("<key>", "</key>");
            if (key == "tracksData" && !haveTracks) {
                haveTracks = readTracks(layout.tracks);
                if (!haveTracks)
                    return std::nullopt;
            } else if (key == "fileModifiedDate" && !haveDate) {
                const auto date = text("<date>", "</date>");
                if (!date)
                    return std::nullopt;
                layout.date = *date;
                haveDate = true;
            } else {
                return std::nullopt;
            }
        }
        if (!haveTracks || !haveDate || !take("</plist>"))
            return std::nullopt;
        skipSpace();
        if (!rest_.empty())
            return std::nullopt;
        return layout;
    }

private:
    void skipSpace()
    {
        std::size_t at = 0;
        while (at < rest_.size() && (rest_[at] == ' ' || rest_[at] == '\t' || rest_[at] == '\n' || rest_[at] == '\r'))
            ++at;
        rest_.remove_prefix(at);
    }

    bool skipPast(std::string_view token)
    {
        const std::size_t at = rest_.find(token);
        if (at == std::string_view::npos)
            return false;
        rest_.remove_prefix(at + token.size());
        return true;
    }

    // White space, then exactly `token`.
    bool take(std::string_view token)
    {
        skipSpace();
        if (!rest_.starts_with(token))
            return false;
        rest_.remove_prefix(token.size());
        return true;
    }

    // `open`, the text up to the next element, `close`. The text is not unescaped: the values
    // read here never need it, and one that has an entity fails to parse.
    std::optional<std::string_view> text(std::string_view open, std::string_view close)
    {
        if (!take(open))
            return std::nullopt;
        const std::size_t end = rest_.find('<');
        if (end == std::string_view::npos)
            return std::nullopt;
        const std::string_view content = rest_.substr(0, end);
        rest_.remove_prefix(end);
        if (!rest_.starts_with(close))
            return std::nullopt;
        rest_.remove_prefix(close.size());
        return content;
    }

    bool readTracks(std::vector<std::vector<Channel>>& tracks)
    {
        if (take("<array/>"))
            return true;
        if (!take("<array>"))
            return false;
        while (!take("</array>")) {
            auto& channels = tracks.emplace_back();
            if (take("<array/>"))
                continue;
            if (!take("<array>"))
                return false;
            while (!take("</array>")) {
                Channel channel;
                if (!take("<dict>") || !readChannel(channel))
                    return false;
                channels.push_back(channel);
            }
        }
        return true;
    }

    bool readChannel(Channel& channel)
    {
        bool haveData = false, haveMaximum = false, haveCount = false;
        while (!take("</dict>")) {
            const auto key = text("<key>", "</key>");
            std::optional<std::string_view> value;
            if (key == "waveformData" && !haveData) {
                value = text("<data>", "</data>");
                channel.data = value.value_or(std::string_view());
                haveData = true;
            } else if (key == "waveformMax" && !haveMaximum) {
                value = text("<real>", "</real>");
                channel.maximum = value.value_or(std::string_view());
                haveMaximum = true;
            } else if (key == "waveformSampleCount" && !haveCount) {
                value = text("<integer>", "</integer>");
                channel.count = value.value_or(std::string_view());
                haveCount = true;
            }
            if (!value)
                return false;
        }
        return haveData && haveMaximum && haveCount;
    }

    std::string_view rest_;
};

// --- The property-list library's reader --------------------------------------------------------

plist_t itemOfType(plist_t dict, const char* key, plist_type type)
{
    plist_t item = dict ? plist_dict_get_item(dict, key) : nullptr;
    return item && plist_get_node_type(item) == type ? item : nullptr;
}

std::optional<WaveformCacheChannel> readChannel(plist_t entry)
{
    if (!entry || plist_get_node_type(entry) != PLIST_DICT)
        return std::nullopt;
    plist_t data = itemOfType(entry, "waveformData", PLIST_DATA);
    plist_t count = itemOfType(entry, "waveformSampleCount", PLIST_UINT);
    plist_t maximum = itemOfType(entry, "waveformMax", PLIST_REAL);
    if (!data || !count || !maximum)
        return std::nullopt;
    char* bytes = nullptr;
    std::uint64_t length = 0;
    plist_get_data_val(data, &bytes, &length);
    QByteArray values(bytes ? bytes : "", static_cast<qsizetype>(bytes ? length : 0));
    std::free(bytes);
    std::uint64_t stored = 0;
    plist_get_uint_val(count, &stored);
    double max = 0;
    plist_get_real_val(maximum, &max);
    return checkedChannel(std::move(values), stored, max);
}

}  // namespace

std::string writeWaveformCache(const std::vector<std::vector<WaveformCacheChannel>>& tracks, const QDateTime& date)
{
    PlistPtr root(plist_new_dict());
    plist_t tracksData = plist_new_array();
    for (const auto& channels : tracks) {
        plist_t track = plist_new_array();
        for (const auto& channel : channels) {
            plist_t entry = plist_new_dict();
            plist_dict_set_item(entry, "waveformData",
                                plist_new_data(channel.data.constData(), static_cast<std::uint64_t>(channel.data.size())));
            plist_dict_set_item(entry, "waveformMax", plist_new_real(channel.maximum));
            plist_dict_set_item(entry, "waveformSampleCount", plist_new_uint(static_cast<std::uint64_t>(channel.count)));
            plist_array_append_item(track, entry);
        }
        plist_array_append_item(tracksData, track);
    }
    plist_dict_set_item(root.get(), "tracksData", tracksData);
    std::int64_t msecs = date.toMSecsSinceEpoch() - kReferenceDateSince1970 * 1000;
    auto seconds = static_cast<std::int32_t>(std::floor(static_cast<double>(msecs) / 1000));
    auto micros = static_cast<std::int32_t>((msecs - static_cast<std::int64_t>(seconds) * 1000) * 1000);
    plist_dict_set_item(root.get(), "fileModifiedDate", plist_new_date(seconds, micros));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string document = xml ? std::string(xml, length) : std::string();
    plist_to_xml_free(xml);
    return document;
}

std::optional<WaveformCacheContents> readWaveformCacheQuickly(std::string_view document,
                                                              const std::vector<std::size_t>& channelCounts)
{
    const std::optional<QuickReader::Layout> layout = QuickReader(document).read();
    if (!layout)
        return std::nullopt;
    const std::optional<std::int64_t> date = parseDate(layout->date);
    if (!date)
        return std::nullopt;
    WaveformCacheContents contents;
    contents.fileModifiedDate = static_cast<double>(*date);
    const std::size_t trackCount = std::min(layout->tracks.size(), channelCounts.size());
    for (std::size_t t = 0; t < trackCount; ++t) {
        auto& track = contents.tracks.emplace_back();
        const auto& channels = layout->tracks[t];
        for (std::size_t c = 0; c < channelsToRead(channelCounts, t, channels.size()); ++c) {
            std::optional<QByteArray> data = decodeBase64(channels[c].data);
            const auto maximum = parseNumber<double>(channels[c].maximum);
            const auto count = parseNumber<std::uint64_t>(channels[c].count);
            if (!data || !maximum || !count)
                return std::nullopt;
            std::optional<WaveformCacheChannel> channel = checkedChannel(std::move(*data), *count, *maximum);
            if (!channel)
                return std::nullopt;
            track.push_back(std::move(*channel));
        }
    }
    return contents;
}

std::optional<WaveformCacheContents> readWaveformCacheAsPropertyList(std::string_view document,
                                                                     const std::vector<std::size_t>& channelCounts)
{
    if (document.empty() || document.size() > kLargestPropertyList)
        return std::nullopt;
    plist_t parsed = nullptr;
    plist_from_xml(document.data(), static_cast<std::uint32_t>(document.size()), &parsed);
    PlistPtr root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return std::nullopt;
    plist_t tracksData = itemOfType(root.get(), "tracksData", PLIST_ARRAY);
    plist_t dateItem = itemOfType(root.get(), "fileModifiedDate", PLIST_DATE);
    if (!tracksData || !dateItem)
        return std::nullopt;
    std::int32_t seconds = 0;
    std::int32_t micros = 0;
    plist_get_date_val(dateItem, &seconds, &micros);
    WaveformCacheContents contents;
    contents.fileModifiedDate = static_cast<double>(seconds) + kReferenceDateSince1970 + micros / 1e6;
    const std::size_t trackCount = std::min<std::size_t>(plist_array_get_size(tracksData), channelCounts.size());
    for (std::size_t t = 0; t < trackCount; ++t) {
        plist_t channels = plist_array_get_item(tracksData, static_cast<std::uint32_t>(t));
        if (!channels || plist_get_node_type(channels) != PLIST_ARRAY)
            return std::nullopt;
        auto& track = contents.tracks.emplace_back();
        for (std::size_t c = 0; c < channelsToRead(channelCounts, t, plist_array_get_size(channels)); ++c) {
            std::optional<WaveformCacheChannel> channel = readChannel(plist_array_get_item(channels, static_cast<std::uint32_t>(c)));
            if (!channel)
                return std::nullopt;
            track.push_back(std::move(*channel));
        }
    }
    return contents;
}

std::optional<WaveformCacheContents> readWaveformCache(std::string_view document,
                                                       const std::vector<std::size_t>& channelCounts)
{
    if (std::optional<WaveformCacheContents> contents = readWaveformCacheQuickly(document, channelCounts))
        return contents;
    return readWaveformCacheAsPropertyList(document, channelCounts);
}
