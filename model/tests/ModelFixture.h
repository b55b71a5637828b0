// A document model on an in-process database: a state record with a recording fake of the
// neighbouring services, this computer's database client and a second one standing for another
// computer, preferences in a temporary folder, and a hand-driven main queue.
#pragma once

#include "model/AppDelegate.h"
#include "model/FileRecordController.h"
#include "model/LocalFileData.h"
#include "model/ModelServices.h"
#include "model/QVMediaFile.h"
#include "model/TranscriptLoader.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/UndoManager.h"
#include "platform/media/Asset.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

// A canonical 16-bit PCM WAV of `channels` channels holding 0.1 s of silence at 8 kHz.
inline void writeSilentWav(const QString& path, int channels)
{
    const std::uint32_t rate = 8000;
    const std::uint32_t frames = 800;
    const std::uint32_t dataBytes = frames * static_cast<std::uint32_t>(channels) * 2;
    QByteArray bytes;
    auto put32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) bytes.append(static_cast<char>((v >> (8 * i)) & 0xFF)); };
    auto put16 = [&](std::uint16_t v) { for (int i = 0; i < 2; ++i) bytes.append(static_cast<char>((v >> (8 * i)) & 0xFF)); };
    bytes.append("RIFF");
    put32(36 + dataBytes);
    bytes.append("WAVEfmt ");
    put32(16);
    put16(1);
    put16(static_cast<std::uint16_t>(channels));
    put32(rate);
    put32(rate * static_cast<std::uint32_t>(channels) * 2);
    put16(static_cast<std::uint16_t>(channels * 2));
    put16(16);
    bytes.append("data");
    put32(dataBytes);
    bytes.append(QByteArray(static_cast<qsizetype>(dataBytes), '\0'));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Server time of the test backend, ms since 1970.
inline constexpr std::int64_t kServerNow = 1'700'000'000'000;

class FakeServices : public ModelServices {
public:
    explicit FakeServices(AppDelegate& ad, qv::Dispatcher& main) : ad_(ad), main_(main) {}

    std::vector<QString> calls;
    int count(const QString& name) const { return static_cast<int>(std::count(calls.begin(), calls.end(), name)); }

    bool player = false;
    qv::MediaTime playerTime = qv::MediaTime::zero();
    QStringList failingBookmarks;  // paths whose bookmark cannot be made
    std::map<QString, QImage> storedThumbnails;
    QImage frame;  // what createImageForURL answers
    struct Notification {
        QString title, subtitle, informative;
    };
    std::vector<Notification> notifications;
    double toolbarHeight = 0;
    std::vector<QUrl> accessStarted;
    std::vector<QUrl> accessStopped;
    std::function<void()> onUserOnlineAdd;  // runs inside currentFileUserOnlineAdd

    static QImage image(const QString& name)
    {
        QImage picture(1, 1, QImage::Format_RGB32);
        picture.setText("name", name);
        return picture;
    }

    bool hasPlayer() const override { return player; }
    void createPlayer() override { player = true, calls.push_back("createPlayer"); }
    qv::MediaTime playerCurrentTime() const override { return player ? playerTime : qv::MediaTime::zero(); }
    void transcriptRowCountChanged() override { calls.push_back("transcriptRowCountChanged"); }
    void preloadRowsToLastMediaTime() override { calls.push_back("preloadRowsToLastMediaTime"); }
    void setUpPlaybackOfAsset(const std::shared_ptr<qv::Asset>&, const QStringList&) override
    {
        calls.push_back("setUpPlaybackOfAsset");
    }
    void checkForMissingMediaFiles() override { calls.push_back("checkForMissingMediaFiles"); }
    bool complexFileHasVideoForMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles) override
    {
        return std::any_of(mediaFiles.begin(), mediaFiles.end(), [](const auto& m) { return m && m->showVideo; });
    }
    std::shared_ptr<qv::Asset> createMissingMediaAssetForSimpleFile(QVFile&) override
    {
        calls.push_back("createMissingMediaAssetForSimpleFile");
        return std::make_shared<qv::Asset>();
    }
    std::shared_ptr<qv::Asset> createAssetWithMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>&,
                                                         const qv::MediaTime&) override
    {
        calls.push_back("createAssetWithMediaFiles");
        return std::make_shared<qv::Asset>();
    }
    std::shared_ptr<qv::Asset> createURLAsset(const QUrl& url) override
    {
        calls.push_back("createURLAsset");
        auto inspected = qv::Asset::inspect(url.toLocalFile().toStdString());
        return inspected ? std::make_shared<qv::Asset>(std::move(inspected.value())) : std::make_shared<qv::Asset>();
    }
    void loadValuesAsynchronouslyForKeys(const std::shared_ptr<qv::Asset>&, const QStringList&,
                                         std::function<void()> done) override
    {
        main_.async(std::move(done));
    }
    void checkAccessForMediaFile(QVMediaFile& mediaFile) override
    {
        if (mediaFile.requiresSecurityAccess && !mediaFile.hasAccessToURL && !mediaFile.url.isEmpty()) {
            accessStarted.push_back(mediaFile.url);
            mediaFile.hasAccessToURL = true;
        }
    }
    void stopAccessingURL(const QUrl& url) override { accessStopped.push_back(url); }
    std::optional<QByteArray> createBookmarkData(const QUrl& url, QString* error) override
    {
        if (failingBookmarks.contains(url.toLocalFile())) {
            if (error)
                *error = "volume gone";
            return std::nullopt;
        }
        return ("bookmark:" + url.toLocalFile()).toUtf8();
    }
    std::optional<QUrl> resolveBookmarkData(const QByteArray& bookmark) override
    {
        if (!bookmark.startsWith("bookmark:"))
            return std::nullopt;
        return QUrl::fromLocalFile(QString::fromUtf8(bookmark.mid(9)));
    }
    QImage getThumbnailForFileUUID(const QString& uuid) override
    {
        auto found = storedThumbnails.find(uuid);
        return found == storedThumbnails.end() ? QImage() : found->second;
    }
    QImage createImageForURL(const QUrl&, const qv::MediaTime&) override { return frame; }
    void createImageForSimpleFile() override { calls.push_back("createImageForSimpleFile"); }
    QImage namedImage(const QString& name) override { return image(name); }
    bool fileExtensionIsAudio(const QString& extension) override
    {
        return QStringList{"wav", "mp3", "m4a", "aif", "aiff"}.contains(extension.toLower());
    }
    bool fileURLIsAudio(const QUrl& url) override { return fileExtensionIsAudio(QFileInfo(url.toLocalFile()).suffix()); }
    std::optional<QDateTime> getModificationDateForMediaFile(QVMediaFile& mediaFile) override
    {
        return QFileInfo(mediaFile.url.toLocalFile()).lastModified();
    }
    void getBWFMP3TimecodeForFilePending(const std::shared_ptr<QVFilePending>&, QVFile& file) override
    {
        calls.push_back("getBWFMP3TimecodeForFilePending");
        file.timecodeFrameDuration = qv::MediaTime(1001, 30000);
        file.timecodeIsDropFrame = true;
    }
    void resetAudioTrackCellStackView() override { calls.push_back("resetAudioTrackCellStackView"); }
    void setAudioConfigurationMediaFiles(const std::vector<std::shared_ptr<QVMediaFile>>&) override
    {
        calls.push_back("setAudioConfigurationMediaFiles");
    }
    void refreshAudioConfigurationDisplay() override { calls.push_back("refreshAudioConfigurationDisplay"); }
    // The first palette name no live speaker uses, for determinism.
    QString chooseRandomColorName() override
    {
        for (const char* name : {"purple", "blue", "teal", "green", "lime", "yellow", "orange", "red", "fuschia"}) {
            if (!ad_.speakerColorUsed.contains(name))
                return name;
        }
        return "purple";
    }
    void updateCurrentFileTimestamp() override { calls.push_back("updateCurrentFileTimestamp"); }
    void addFileToSyncedTranscripts(const std::shared_ptr<QVFile>& file) override
    {
        calls.push_back("addFileToSyncedTranscripts:" + file->uuid);
    }
    void currentFileUserOnlineAdd() override
    {
        calls.push_back("currentFileUserOnlineAdd");
        if (onUserOnlineAdd)
            onUserOnlineAdd();
    }
    void currentFileUserOnlineRemove() override { calls.push_back("currentFileUserOnlineRemove"); }
    void setupCustomWordsObserverForFile(const std::shared_ptr<QVFile>&) override
    {
        calls.push_back("setupCustomWordsObserverForFile");
    }
    void loadFileAttemptTransition() override { calls.push_back("loadFileAttemptTransition"); }
    void startFilesListProgressIndicator() override { calls.push_back("startFilesListProgressIndicator"); }
    void reloadFilesListRowForFile(const std::shared_ptr<QVFile>& file) override
    {
        calls.push_back("reloadFilesListRowForFile:" + file->uuid);
    }
    void setTranscriptToolbarHeight(double points) override { toolbarHeight = points; }
    void postUserNotification(const QString& title, const QString& subtitle, const QString& informative) override
    {
        notifications.push_back({title, subtitle, informative});
    }

private:
    AppDelegate& ad_;
    qv::Dispatcher& main_;
};

class ModelFixture : public ::testing::Test {
protected:
    ModelFixture()
        : backend(qv::DatabaseBackend::Options{{}, [] { return kServerNow; }}),
          client(backend, main, clientOptions()),
          otherComputer(backend, main, clientOptions()),
          preferences(folder.path()),
          services(ad, main),
          localFileData(ad, preferences),
          files(ad, localFileData, main),
          loader(ad, localFileData, preferences)
    {
        ad.modelServices = &services;
        ad.fbRef = client.root();
        ad.filesMetadataRef = client.reference("files");
        ad.transcriptsMetadataRef = client.reference("transcripts");
        ad.undoManager = std::make_shared<qv::UndoManager>(main);
        main.drain();
    }

    static qv::DatabaseClient::Options clientOptions()
    {
        qv::DatabaseClient::Options options;
        options.clock = [] { return kServerNow; };
        return options;
    }

    // Builds the file of files/<uuid> as the files list does, from this computer's read.
    std::shared_ptr<QVFile> buildFile(const QString& uuid)
    {
        std::shared_ptr<QVFile> built;
        const qv::DatabaseReference ref = ad.filesMetadataRef.child(uuid.toStdString());
        ref.observeSingleEvent([&](const qv::DataSnapshot& snapshot) {
            built = files.createFileFromSnapshot(snapshot, uuid, ref);
        });
        main.drain();
        return built;
    }

    qv::DatabaseValue stored(std::string_view path) const { return backend.value(path); }

    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client;
    qv::DatabaseClient otherComputer;
    QTemporaryDir folder;
    qv::Preferences preferences;
    AppDelegate ad;
    FakeServices services;
    LocalFileData localFileData;
    FileRecordController files;
    TranscriptLoader loader;
};
