#include "QVWaveformManager.h"

#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/TimeUtilities.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/Log.h"

#include <QFileInfo>

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

namespace fs = std::filesystem;

namespace {

// Property-list dates count seconds from 2001-01-01 00:00 UTC.
constexpr std::int64_t kReferenceDateSince1970 = 978307200;

struct PlistDeleter { void operator()(plist_t p) const { plist_free(p); } };
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

struct ChannelSnapshot {
    QByteArray data;
    float maximum = -50.0f;
    std::int64_t count = 0;
};
using TracksSnapshot = std::vector<std::vector<ChannelSnapshot>>;

std::optional<QDateTime> fileModificationDate(QVMediaFile& mediaFile)
{
    QFileInfo info(mediaFile.filePath);
    if (mediaFile.filePath.isEmpty() || !info.exists())
        return std::nullopt;
    return info.lastModified();
}

// The XML property list of a cache file; empty when a channel has no values.
std::string cacheDocument(const TracksSnapshot& tracks, const QDateTime& date)
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

plist_t itemOfType(plist_t dict, const char* key, plist_type type)
{
    plist_t item = dict ? plist_dict_get_item(dict, key) : nullptr;
    return item && plist_get_node_type(item) == type ? item : nullptr;
}

// A channel entry of a cache file, checked: values whose count and range are what was written.
std::optional<ChannelSnapshot> readChannel(plist_t entry)
{
    if (!entry || plist_get_node_type(entry) != PLIST_DICT)
        return std::nullopt;
    plist_t data = itemOfType(entry, "waveformData", PLIST_DATA);
    plist_t count = itemOfType(entry, "waveformSampleCount", PLIST_UINT);
    plist_t maximum = itemOfType(entry, "waveformMax", PLIST_REAL);
    if (!data || !count || !maximum)
        return std::nullopt;
    ChannelSnapshot channel;
    char* bytes = nullptr;
    std::uint64_t length = 0;
    plist_get_data_val(data, &bytes, &length);
    channel.data = QByteArray(bytes ? bytes : "", static_cast<qsizetype>(bytes ? length : 0));
    std::free(bytes);
    std::uint64_t stored = 0;
    plist_get_uint_val(count, &stored);
    double max = 0;
    plist_get_real_val(maximum, &max);
    if (channel.data.size() % 4 != 0 || stored != static_cast<std::uint64_t>(channel.data.size() / 4) || !(max >= -50.0 && max <= 0.0))
        return std::nullopt;
    for (qsizetype i = 0; i < channel.data.size(); i += 4) {
        float value = 0;
        std::memcpy(&value, channel.data.constData() + i, 4);
        if (!(value >= -50.0f && value <= 0.0f))
            return std::nullopt;
    }
    channel.count = static_cast<std::int64_t>(stored);
    channel.maximum = static_cast<float>(max);
    return channel;
}

}  // namespace

QVWaveformManager::QVWaveformManager(qv::Dispatcher& main, qv::Preferences& preferences, fs::path folder,
                                     ModificationDate modificationDate)
    : main_(main),
      preferences_(preferences),
      folder_(folder.empty() ? qv::dataHome() / "Waveforms" : std::move(folder)),
      modificationDate_(modificationDate ? std::move(modificationDate) : ModificationDate(fileModificationDate)),
      writer_(std::make_unique<qv::SerialQueue>("waveform cache writer"))
{
}

QVWaveformManager::~QVWaveformManager() { writer_.reset(); }

void QVWaveformManager::waitForWrites() { writer_->wait(); }

fs::path QVWaveformManager::waveformCacheFolder() const
{
    std::error_code ignored;
    fs::create_directories(folder_, ignored);
    return folder_;
}

std::optional<QString> QVWaveformManager::makeWaveformCacheFileNameForMediaFile(const QVMediaFile& mediaFile) const
{
    if (mediaFile.filePath.isEmpty())
        return std::nullopt;
    // By code point: a letter outside the Basic Multilingual Plane is two UTF-16 units, neither
    // of them a letter on its own.
    std::u32string kept;
    for (char32_t c : mediaFile.filePath.toUcs4())
        if (QChar::isLetterOrNumber(c) || QChar::isMark(c))
            kept += c;
    QString name = QString::fromUcs4(kept.data(), static_cast<qsizetype>(kept.size()));
    if (mediaFile.sourceDuration.isNumeric() && mediaFile.sourceDuration > qv::MediaTime::zero())
        name = QString("%1-%2-%3-%4")
                   .arg(name)
                   .arg(convertCMTimeToMilliseconds(mediaFile.sourceDelay))
                   .arg(convertCMTimeToMilliseconds(mediaFile.sourceDuration))
                   .arg(convertCMTimeToMilliseconds(mediaFile.compositeDelay));
    return name + ".waveform";
}

void QVWaveformManager::saveWaveformsForMediaFile(const std::shared_ptr<QVMediaFile>& mediaFile)
{
    if (!mediaFile)
        return;
    TracksSnapshot tracks;
    bool complete = true;
    for (std::size_t t = 0; t < mediaFile->audioTracks.size(); ++t) {
        const auto& track = mediaFile->audioTracks[t];
        auto& channels = tracks.emplace_back();
        for (std::size_t c = 0; track && c < track->audioChannels.size(); ++c) {
            const auto& channel = track->audioChannels[c];
            if (!channel || channel->waveformData.isNull()) {
                qv::logInfo(QString("waveform data was not found for track %1 and channel %2").arg(t).arg(c).toStdString());
                return;
            }
            if (channel->waveformData.isEmpty() || channel->waveformSampleCount == 0)
                complete = false;
            channels.push_back({channel->waveformData, channel->waveformMax, channel->waveformSampleCount});
        }
    }
    auto name = makeWaveformCacheFileNameForMediaFile(*mediaFile);
    if (!name || !complete)
        return;
    fs::path path = waveformCacheFolder() / name->toStdString();
    // The list takes the file before it exists, so that no pruning can remove it once written.
    main_.async([this, path, mediaFile, tracks = std::move(tracks)]() mutable {
        addCacheFileToRecentlyUsed(path);
        writer_->run([this, path, mediaFile, tracks = std::move(tracks)] {
            auto date = modificationDate_(*mediaFile);
            if (!date)
                return;
            std::string document = cacheDocument(tracks, *date);
            std::string error = document.empty() ? "the property list could not be made" : qv::replaceFile(path, document);
            if (!error.empty())
                qv::logWarning(QString("The waveform cache %1 was not written: %2")
                                   .arg(QString::fromStdString(path.string()), QString::fromStdString(error))
                                   .toStdString());
        });
    });
}

void QVWaveformManager::addCacheFileToRecentlyUsed(const fs::path& path)
{
    std::vector<QString> list;
    if (auto stored = preferences_.arrayForKey(kRecentFilesKey))
        for (const auto& value : *stored)
            if (const QString* text = value.get<QString>())
                list.push_back(*text);
    QString added = QString::fromStdString(path.string());
    std::erase(list, added);
    if (!path.empty())
        list.insert(list.begin(), added);
    if (list.size() > static_cast<std::size_t>(kMaxRecentFiles))
        list.resize(kMaxRecentFiles);
    qv::PreferenceArray stored;
    for (const auto& entry : list)
        stored.emplace_back(entry);
    preferences_.setObject(kRecentFilesKey, std::move(stored));

    // Only cache files are pruned: whatever else the folder holds was not made here.
    std::error_code error;
    for (fs::directory_iterator it(waveformCacheFolder(), error), end; !error && it != end; it.increment(error)) {
        const fs::path& file = it->path();
        std::string name = file.filename().string();
        if (name.starts_with(".") || file.extension() != ".waveform")
            continue;
        if (std::find(list.begin(), list.end(), QString::fromStdString(file.string())) == list.end()) {
            std::error_code ignored;
            fs::remove(file, ignored);
        }
    }
}

bool QVWaveformManager::restoreWaveformsForMediaFile(QVMediaFile& mediaFile)
{
    auto name = makeWaveformCacheFileNameForMediaFile(mediaFile);
    if (!name)
        return false;
    fs::path path = waveformCacheFolder() / name->toStdString();
    auto bytes = qv::readFile(path);
    if (!bytes || bytes->empty() || bytes->size() > 0x7fffffff)
        return false;
    plist_t parsed = nullptr;
    plist_from_xml(bytes->data(), static_cast<std::uint32_t>(bytes->size()), &parsed);
    PlistPtr root(parsed);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT)
        return false;
    plist_t tracksData = itemOfType(root.get(), "tracksData", PLIST_ARRAY);
    plist_t dateItem = itemOfType(root.get(), "fileModifiedDate", PLIST_DATE);
    if (!tracksData || !dateItem)
        return false;
    std::int32_t seconds = 0;
    std::int32_t micros = 0;
    plist_get_date_val(dateItem, &seconds, &micros);
    double cachedDate = static_cast<double>(seconds) + kReferenceDateSince1970 + micros / 1e6;
    if (mediaFile.mediaOnline) {
        if (!mediaFile.modificationDate.isValid())
            return false;
        double mediaDate = static_cast<double>(mediaFile.modificationDate.toMSecsSinceEpoch()) / 1000;
        if (!(std::abs(cachedDate - mediaDate) < kDateTolerance))
            return false;
    }
    // Everything is checked before any channel is touched: a damaged file changes nothing.
    TracksSnapshot restored;
    std::uint32_t trackCount = std::min<std::uint32_t>(plist_array_get_size(tracksData),
                                                       static_cast<std::uint32_t>(mediaFile.audioTracks.size()));
    for (std::uint32_t t = 0; t < trackCount; ++t) {
        plist_t channels = plist_array_get_item(tracksData, t);
        if (!channels || plist_get_node_type(channels) != PLIST_ARRAY || !mediaFile.audioTracks[t])
            return false;
        auto& track = restored.emplace_back();
        std::uint32_t channelCount = std::min<std::uint32_t>(
            plist_array_get_size(channels), static_cast<std::uint32_t>(mediaFile.audioTracks[t]->audioChannels.size()));
        for (std::uint32_t c = 0; c < channelCount; ++c) {
            auto channel = readChannel(plist_array_get_item(channels, c));
            if (!channel)
                return false;
            track.push_back(std::move(*channel));
        }
    }
    for (std::size_t t = 0; t < restored.size(); ++t)
        for (std::size_t c = 0; c < restored[t].size(); ++c)
            if (const auto& channel = mediaFile.audioTracks[t]->audioChannels[c]) {
                channel->waveformData = restored[t][c].data;
                channel->waveformMax = restored[t][c].maximum;
                channel->waveformSampleCount = restored[t][c].count;
            }
    addCacheFileToRecentlyUsed(path);
    return true;
}
