// Start timecode and track names from audio file metadata.
#include "intake/audio/QVMetadataTimecode.h"

#include "model/QVFile.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "model/Timecode.h"

#include <QFile>
#include <QFileInfo>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace {

// A file smaller than this holds no chunk after the RIFF header.
constexpr qint64 kMinimumChunkedFileSize = 21;
constexpr std::size_t kFirstChunkOffset = 12;
constexpr std::size_t kBextTimeReferenceOffset = 338;

std::uint32_t readLE32(const uchar* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }

// The file's bytes, mapped; empty when it cannot be opened or mapped.
struct MappedFile {
    QFile file;
    const uchar* data = nullptr;
    std::size_t size = 0;

    explicit MappedFile(const QString& path) : file(path)
    {
        if (!file.open(QIODevice::ReadOnly) || file.size() < kMinimumChunkedFileSize)
            return;
        data = file.map(0, file.size());
        if (data)
            size = static_cast<std::size_t>(file.size());
    }
};

// Calls `visit` with each chunk's identifier and data that lies wholly inside the file, until it
// answers false. A chunk whose declared size runs past the end ends the walk unread.
void walkChunks(const MappedFile& mapped, const std::function<bool(std::string_view id, const uchar* data, std::size_t size)>& visit)
{
    std::size_t offset = kFirstChunkOffset;
    while (offset + 8 < mapped.size) {
        const std::string_view id(reinterpret_cast<const char*>(mapped.data + offset), 4);
        const std::size_t size = readLE32(mapped.data + offset + 4);
        if (size > mapped.size - offset - 8)
            return;
        if (!visit(id, mapped.data + offset + 8, size))
            return;
        offset += 8 + size + ((offset + size) % 2);
    }
}

// A whole unsigned number and nothing else (surrounding white space allowed).
std::optional<std::uint64_t> parseUnsigned(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// Frames per second of a frame duration, rounded half away from zero; 0 when it is not usable.
std::uint32_t quantaOf(const qv::MediaTime& frameDuration)
{
    if (!frameDuration.isNumeric() || frameDuration.value <= 0 || frameDuration.timescale <= 0)
        return 0;
    const float quanta = static_cast<float>(frameDuration.timescale) / static_cast<float>(frameDuration.value);
    return static_cast<std::uint32_t>(std::lround(quanta));
}

// The start timecode of one reading, stored only when it is complete and usable.
bool store(QVTimecodeFields& fields, const qv::MediaTime& start, const qv::MediaTime& frameDuration, bool dropFrame)
{
    const std::uint32_t quanta = quantaOf(frameDuration);
    if (!start.isNumeric() || quanta == 0)
        return false;
    fields.timecodeStart = start;
    fields.timecodeFrameDuration = frameDuration;
    fields.timecodeFrameQuanta = quanta;
    fields.timecodeIsDropFrame = dropFrame;
    return true;
}

pugi::xml_node parseIXML(pugi::xml_document& document, const uchar* data, std::size_t size)
{
    const auto* text = reinterpret_cast<const char*>(data);
    const std::size_t length = std::find(text, text + size, '\0') - text;
    if (!document.load_buffer(text, length, pugi::parse_default | pugi::parse_cdata))
        return {};
    return document.document_element();
}

std::string firstNodeText(const pugi::xml_node& context, const char* path)
{
    try {
        const pugi::xpath_node node = context.select_node(path);
        return node ? node.node().text().as_string() : std::string();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

// A rate "numerator/denominator" in frames per second as the duration of one frame; invalid
// unless both are positive whole numbers that fit.
qv::MediaTime frameDurationOfRate(const std::string& rate)
{
    const std::size_t slash = rate.find('/');
    if (slash == std::string::npos || rate.find('/', slash + 1) != std::string::npos)
        return qv::MediaTime::invalid();
    const std::optional<std::uint64_t> numerator = parseUnsigned(std::string_view(rate).substr(0, slash));
    const std::optional<std::uint64_t> denominator = parseUnsigned(std::string_view(rate).substr(slash + 1));
    if (!numerator || !denominator || *numerator == 0 || *denominator == 0 || *numerator > INT32_MAX ||
        *denominator > INT32_MAX)
        return qv::MediaTime::invalid();
    return qv::MediaTime(static_cast<std::int64_t>(*denominator), static_cast<std::int32_t>(*numerator));
}

bool readWaveTimecode(const QString& path, QVTimecodeFields& fields)
{
    MappedFile mapped(path);
    if (!mapped.data)
        return false;
    std::uint32_t sampleRate = 0;
    qv::MediaTime bextStart = qv::MediaTime::invalid();
    qv::MediaTime ixmlStart = qv::MediaTime::invalid();
    qv::MediaTime ixmlFrameDuration = qv::MediaTime::invalid();
    bool ixmlDropFrame = false;
    // A time in samples needs the rate of the samples; without one it is no time at all.
    const auto samples = [&sampleRate](std::uint64_t count) {
        return sampleRate > 0 && sampleRate <= INT32_MAX ? qv::MediaTime(static_cast<std::int64_t>(count), static_cast<std::int32_t>(sampleRate))
                                                         : qv::MediaTime::invalid();
    };
    walkChunks(mapped, [&](std::string_view id, const uchar* data, std::size_t size) {
        if (id == "fmt " && size >= 8 && sampleRate == 0) {
            sampleRate = readLE32(data + 4);
        } else if (id == "bext" || id == "BEXT") {
            if (size < kBextTimeReferenceOffset + 4)
                return false;
            bextStart = samples(readLE32(data + kBextTimeReferenceOffset));
        } else if (id == "iXML") {
            pugi::xml_document document;
            const pugi::xml_node root = parseIXML(document, data, size);
            ixmlStart = qv::MediaTime::invalid();
            ixmlFrameDuration = qv::MediaTime::invalid();
            ixmlDropFrame = false;
            if (!root)
                return true;
            std::optional<std::uint64_t> reference = parseUnsigned(firstNodeText(root, "//BEXT/BWF_TIME_REFERENCE_LOW"));
            if (!reference)
                reference = parseUnsigned(firstNodeText(root, "//SPEED/TIMESTAMP_SAMPLES_SINCE_MIDNIGHT_LO"));
            if (!reference)
                return true;
            ixmlStart = samples(*reference);
            ixmlFrameDuration = frameDurationOfRate(firstNodeText(root, "./SPEED/TIMECODE_RATE"));
            ixmlDropFrame = firstNodeText(root, "./SPEED/TIMECODE_FLAG") == "DF";
        }
        return true;
    });
    if (ixmlStart.isNumeric() && store(fields, ixmlStart, ixmlFrameDuration, ixmlDropFrame))
        return true;
    return bextStart.isNumeric() && store(fields, bextStart, qv::MediaTime(1, 1000), false);
}

// The album and artist texts of an MP3: the ID3 version 2 tag's when it has one with text, else
// the first 14 bytes of the version 1 tag's fields.
bool readMp3Texts(const QString& path, QString& album, QString& artist)
{
    {
        TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
        if (!file.isValid())
            return false;
        if (TagLib::ID3v2::Tag* tag = file.ID3v2Tag(false); tag && !tag->isEmpty()) {
            const auto& frames = tag->frameListMap();
            const bool hasAlbum = frames.contains("TALB");
            const bool hasArtist = frames.contains("TPE1");
            if (!hasAlbum || !hasArtist)
                return false;
            album = QString::fromStdString(tag->album().to8Bit(true)).trimmed();
            artist = QString::fromStdString(tag->artist().to8Bit(true)).trimmed();
            return true;
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 128 || !file.seek(file.size() - 128))
        return false;
    const QByteArray tag = file.read(128);
    if (tag.size() != 128 || !tag.startsWith("TAG"))
        return false;
    const auto field = [&tag](int offset) {
        const QByteArray bytes = tag.mid(offset, 14);
        return QString::fromUtf8(bytes.left(bytes.indexOf('\0') < 0 ? 14 : bytes.indexOf('\0')));
    };
    artist = field(128 - 95);
    album = field(128 - 65);
    return true;
}

std::optional<int> twoDigits(const QString& text, int at)
{
    const QString digits = text.mid(at, 2);
    if (digits.size() != 2 || !digits[0].isDigit() || !digits[1].isDigit() || digits[0].unicode() > '9' ||
        digits[1].unicode() > '9')
        return std::nullopt;
    return digits.toInt();
}

bool readMp3Timecode(const QString& path, QVTimecodeFields& fields)
{
    QString album;
    QString artist;
    if (!readMp3Texts(path, album, artist))
        return false;
    if (album.isEmpty() || artist.isEmpty())
        return true;
    const QStringList parts = album.split(QLatin1Char(' '));
    if (parts.size() != 2 || parts[0].size() != 12 || !parts[0].startsWith(QLatin1String("FR=")) || artist.size() != 14 ||
        !artist.startsWith(QLatin1String("TC=")))
        return true;
    static const QList<std::pair<QString, qv::MediaTime>> kRates = {{"23.976", qv::MediaTime(1001, 24000)},
                                                                    {"24.000", qv::MediaTime(1, 24)},
                                                                    {"25.000", qv::MediaTime(1, 25)},
                                                                    {"29.970", qv::MediaTime(1001, 30000)},
                                                                    {"30.000", qv::MediaTime(1, 30)}};
    const QString rate = parts[0].mid(3, 6);
    const auto found = std::find_if(kRates.begin(), kRates.end(), [&rate](const auto& entry) { return entry.first == rate; });
    if (found == kRates.end())
        return true;
    const qv::MediaTime frameDuration = found->second;
    const bool dropFrame = parts[0].mid(10, 2) == QLatin1String("DF");
    const std::uint32_t quanta = quantaOf(frameDuration);
    const std::optional<int> hours = twoDigits(artist, 3);
    const std::optional<int> minutes = twoDigits(artist, 6);
    const std::optional<int> seconds = twoDigits(artist, 9);
    const std::optional<int> frames = twoDigits(artist, 12);
    // A timecode whose fields are not numbers, or out of their range, is none.
    if (!hours || !minutes || !seconds || !frames || *minutes > 59 || *seconds > 59 ||
        *frames >= static_cast<int>(quanta))
        return true;
    SMPTETime time;
    time.flags = kSMPTETimeValid;
    time.hours = static_cast<std::int16_t>(*hours);
    time.minutes = static_cast<std::int16_t>(*minutes);
    time.seconds = static_cast<std::int16_t>(*seconds);
    time.frames = static_cast<std::int16_t>(*frames);
    const std::int64_t frameCount = frameNumberFromSMPTETime(quanta, dropFrame ? kTimecodeFlagDropFrame : 0, time);
    store(fields, qv::MediaTime(frameDuration.value * frameCount, frameDuration.timescale), frameDuration, dropFrame);
    return true;
}

}  // namespace

bool readMetadataTimecode(const QUrl& url, QVTimecodeFields& fields)
{
    if (!url.isLocalFile())
        return false;
    const QString path = url.toLocalFile();
    const QString extension = QFileInfo(path).suffix().toLower();
    if (extension == QLatin1String("wav"))
        return readWaveTimecode(path, fields);
    if (extension == QLatin1String("mp3"))
        return readMp3Timecode(path, fields);
    return false;
}

bool getBWFMP3TimecodeForFilePending(QVFilePending* pending, QVFile* file)
{
    QVTimecodeFields* fields = pending ? static_cast<QVTimecodeFields*>(pending) : static_cast<QVTimecodeFields*>(file);
    if (!fields)
        return false;
    const auto& mediaFiles = pending ? pending->mediaFiles : file->mediaFiles;
    if (mediaFiles.empty() || !mediaFiles.front() || mediaFiles.front()->url.isEmpty())
        return false;
    return readMetadataTimecode(mediaFiles.front()->url, *fields);
}

std::optional<QStringList> getiXMLTrackNamesFromURL(const QUrl& url)
{
    if (!url.isLocalFile() || QFileInfo(url.toLocalFile()).suffix().toLower() != QLatin1String("wav"))
        return std::nullopt;
    MappedFile mapped(url.toLocalFile());
    if (!mapped.data)
        return std::nullopt;
    std::optional<QStringList> names;
    walkChunks(mapped, [&names](std::string_view id, const uchar* data, std::size_t size) {
        if (id != "iXML")
            return true;
        pugi::xml_document document;
        const pugi::xml_node root = parseIXML(document, data, size);
        if (!root)
            return false;
        std::vector<std::pair<std::uint64_t, QString>> tracks;
        for (const pugi::xpath_node& track : root.select_nodes("./TRACK_LIST/TRACK")) {
            const std::optional<std::uint64_t> index =
                parseUnsigned(track.node().child("INTERLEAVE_INDEX").text().as_string());
            tracks.emplace_back(index.value_or(0), QString::fromUtf8(track.node().child("NAME").text().as_string()));
        }
        if (tracks.empty())
            return false;
        std::stable_sort(tracks.begin(), tracks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        names.emplace();
        for (const auto& track : tracks)
            names->append(track.second);
        return false;
    });
    return names;
}
