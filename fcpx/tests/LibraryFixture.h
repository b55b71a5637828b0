#pragma once
// Libraries of the partner editor written by the tests: fcpxml text whose assets point at the
// test media through bookmarks of the test encoding, and the services the clip builders use,
// backed by real inspection of those media.
#include "fcpx/ClipMediaFiles.h"
#include "fcpx/FCPXLibrary.h"
#include "fcpx/QVXMLDocument.h"
#include "model/QVAudioChannel.h"
#include "model/QVAudioTrack.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/XmlText.h"
#include "platform/media/Asset.h"
#include "platform/media/tests/TestMedia.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace fcpx_test {

// The Base64 text of a bookmark of the test encoding for `path`.
inline QString bookmarkText(const QString& path) { return QString::fromLatin1(testBookmarkForPath(path).toBase64()); }

// An asset resource pointing at `path` through its bookmark.
inline QString assetXML(const QString& id, const QString& path, const QString& attributes = {})
{
    return QStringLiteral("<asset id=\"%1\" name=\"%1\" %2><media-rep kind=\"original-media\" src=\"file://%3\">"
                          "<bookmark>%4</bookmark></media-rep></asset>")
        .arg(id, attributes, qv::xmlEscapeAttribute(path), bookmarkText(path));
}

// A library document: the resources, then one event named "Day 1" holding `clips`.
inline QString libraryXML(const QString& resources, const QString& clips)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n<fcpxml version=\"1.6\">"
                          "<resources><format id=\"r1\" frameDuration=\"1001/30000s\"/>%1</resources>"
                          "<library location=\"file:///home/editor/Movies/Edit.fcpbundle/\">"
                          "<event name=\"Day 1\" uid=\"EV1\">%2</event></library></fcpxml>")
        .arg(resources, clips);
}

// Writes `bytes` to a new file at `path`; its path back.
inline QString writtenFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
    return path;
}

inline QString mediaPath(const char* name) { return QString::fromStdString(qv::test::testMedia(name)); }

// A plain PCM WAV of two channels with no layout stated, 0.1 s at 8 kHz: a track of two
// channels whose layout counts as mono.
inline QString twoChannelWithoutLayout()
{
    const std::uint32_t frames = 800;
    QByteArray wave;
    auto put = [&](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i)
            wave.append(static_cast<char>((value >> (8 * i)) & 0xff));
    };
    wave.append("RIFF");
    put(36 + frames * 4, 4);
    wave.append("WAVEfmt ");
    put(16, 4);
    put(1, 2);
    put(2, 2);
    put(8000, 4);
    put(8000 * 4, 4);
    put(4, 2);
    put(16, 2);
    wave.append("data");
    put(frames * 4, 4);
    wave.append(QByteArray(frames * 4, '\0'));
    const std::vector<std::uint8_t> bytes(wave.begin(), wave.end());
    return QString::fromStdString(qv::test::writeScratchFile("two-channels.wav", bytes));
}

inline ClipMediaFiles::Services inspectingServices()
{
    ClipMediaFiles::Services services;
    services.openAsset = [](const QUrl& url) -> std::shared_ptr<qv::Asset> {
        auto inspected = qv::Asset::inspect(url.toLocalFile().toStdString());
        return inspected.ok() ? std::make_shared<qv::Asset>(std::move(inspected.value())) : nullptr;
    };
    services.fileURLIsAudio = [](const QUrl& url) {
        const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
        return suffix == QLatin1String("wav") || suffix == QLatin1String("mp3");
    };
    return services;
}

// The enabled state of every channel, tracks in order.
inline std::vector<std::vector<bool>> channelStates(const QVMediaFile& mediaFile)
{
    std::vector<std::vector<bool>> states;
    for (const auto& track : mediaFile.audioTracks) {
        states.emplace_back();
        for (const auto& channel : track->audioChannels)
            states.back().push_back(channel->enabled);
    }
    return states;
}

inline std::shared_ptr<QVXMLDocument> parsed(const QString& text)
{
    std::shared_ptr<QVXMLDocument> document = QVXMLDocument::parse(text);
    EXPECT_TRUE(document) << text.left(400).toStdString();
    return document;
}

}  // namespace fcpx_test
