#include "intake/QVFileProcessor.h"

#include "intake/UploadRecord.h"
#include "intake/audio/QVAudioMix.h"
#include "model/AppDelegate.h"
#include "model/FileTypes.h"
#include "model/QVFilePending.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Md5.h"
#include "platform/media/UploadEncoder.h"
#include "platform/ui/Alert.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QUrlQuery>

#include <algorithm>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using qv::localizedString;

namespace {

// HTTP status of a body larger than the store takes.
constexpr int kPayloadTooLarge = 413;
// An MP3 decodes a little past its end; the upload stops this much short of the duration.
constexpr std::int64_t kMP3EndTrimMs = 50;

}  // namespace

QVFileProcessor::QVFileProcessor(AppDelegate& ad, qv::Dispatcher& main, IntakeHooks& hooks, QString outputFolder)
    : ad_(ad), main_(main), hooks_(hooks), outputFolder_(std::move(outputFolder))
{
    QDir().mkpath(outputFolder_);
    removeLeftovers();
}

QVFileProcessor::~QVFileProcessor()
{
    if (folderLock_ >= 0)
        ::close(folderLock_);
    ++run_;
    if (encoder_)
        encoder_->cancel();
    if (uploadRequest_)
        uploadRequest_->abort();
    if (dataTaskUpload_)
        dataTaskUpload_->abort();
}

void QVFileProcessor::removeLeftovers()
{
    static const QRegularExpression converted(QStringLiteral("^([0-9A-Fa-f]{32})\\.m4a(\\.tmp-[A-Za-z0-9]{6})?$"));
    const QDir folder(outputFolder_);
    folderLock_ = ::open(QFile::encodeName(folder.filePath(QString::fromLatin1(kFolderLockName))).constData(),
                         O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    const bool alone = folderLock_ >= 0 && ::flock(folderLock_, LOCK_EX | LOCK_NB) == 0;
    for (const QString& name : folder.entryList(QDir::Files)) {
        const QRegularExpressionMatch match = converted.match(name);
        if (!match.hasMatch())
            continue;
        const QString uuid = match.captured(1);
        const bool owned = std::any_of(ad_.filesPending.begin(), ad_.filesPending.end(),
                                       [&](const auto& file) { return file && file->uuid == uuid; });
        if (owned)
            continue;
        if (!match.captured(2).isEmpty())
            qv::removeStaleTemporariesBeside(QFile::encodeName(folder.filePath(uuid + QStringLiteral(".m4a"))).toStdString());
        else if (alone)
            QFile::remove(folder.filePath(name));
    }
    if (folderLock_ >= 0)
        ::flock(folderLock_, LOCK_SH);
}

QString QVFileProcessor::defaultOutputFolder()
{
    return QString::fromStdString((qv::applicationDataFolder() / "Temporary Audio Files").string());
}

qv::AudioMix QVFileProcessor::uploadMixForFile(QVFilePending& file)
{
    if (!file.audioMix)
        file.audioMix = createAudioMixForMediaFiles(file.mediaFiles);
    return file.audioMix ? file.audioMix->audioMix() : qv::AudioMix{};
}

void QVFileProcessor::startProcessing()
{
    ad_.filesAwaitingCreation.clear();
    isProcessing_ = true;
    ++run_;
    lastProgressValue_ = 0;
    if (display_)
        display_->processingStateChanged();
    processNextFile();
}

void QVFileProcessor::processNextFile()
{
    if (!isProcessing_)
        return;
    if (ad_.filesToProcess.empty()) {
        stopProcessing();
        fileCurrent_.reset();
        return;
    }
    auto file = ad_.filesToProcess.front();
    ad_.filesToProcess.erase(ad_.filesToProcess.begin());
    // A file taken off the list since Transcribe was pressed is not submitted.
    if (!file || std::find(ad_.filesPending.begin(), ad_.filesPending.end(), file) == ad_.filesPending.end()) {
        processNextFile();
        return;
    }
    fileCurrent_ = file;
    lastProgressValue_ = 0;
    file->convertedURL = QUrl::fromLocalFile(QDir(outputFolder_).filePath(file->uuid + QStringLiteral(".m4a")));
    if (display_)
        display_->showProcessingStatus(*file, localizedString(QStringLiteral("Converting")), 0.0);

    if (!file->asset) {
        fileFailed(file, localizedString(QStringLiteral("Conversion to audio file failed")),
                   localizedString(QStringLiteral("The media of “%1” could not be read.")).arg(file->name));
        return;
    }
    qv::MediaTimeRange range;
    range.start = qv::MediaTime::zero();
    range.duration = file->asset->duration();
    if (file->fileType == 0 && !file->mediaFiles.empty() && file->mediaFiles.front()->isMP3)
        range.duration = qv::MediaTime(std::max<std::int64_t>(0, file->duration - kMP3EndTrimMs), 1000);
    const qv::AudioMix mix = uploadMixForFile(*file);
    const std::string output = file->convertedURL.toLocalFile().toStdString();
    encoder_ = file->asset->composition()
                   ? std::make_shared<qv::UploadEncoder>(*file->asset->composition(), mix, output, range)
                   : std::make_shared<qv::UploadEncoder>(*file->asset, mix, output, range);

    const std::uint64_t run = run_;
    std::weak_ptr<bool> alive = alive_;
    auto progress = [this, run, alive](double fraction) {
        // On the conversion thread: only what is worth drawing goes to the main thread.
        main_.async([this, run, alive, fraction] {
            if (alive.expired() || !current(run) || !fileCurrent_)
                return;
            const double value = fraction * kConversionShare;
            if (value < lastProgressValue_ + kProgressStep)
                return;
            lastProgressValue_ = value;
            if (display_)
                display_->showProcessingProgress(*fileCurrent_, value);
        });
    };
    conversionQueue_.run([this, run, alive, file, encoder = encoder_, progress] {
        std::optional<qv::MediaError> error = encoder->run(progress);
        main_.async([this, run, alive, file, error] {
            if (alive.expired())
                return;
            if (current(run))
                conversionFinished(file, error);
            else if (!error)
                // Finished just as the run was stopped: the file belongs to nobody.
                deleteConvertedFile(*file);
        });
    });
}

void QVFileProcessor::conversionFinished(const std::shared_ptr<QVFilePending>& file,
                                         const std::optional<qv::MediaError>& error)
{
    encoder_.reset();
    if (error) {
        if (error->is(qv::MediaErrorCode::Cancelled))
            return;
        fileFailed(file, QString::fromStdString(error->description), QString::fromStdString(error->failureReason));
        return;
    }
    const QFileInfo converted(file->convertedURL.toLocalFile());
    if (converted.exists() && converted.size() == 0) {
        deleteConvertedFile(*file);
        fileFailed(file, localizedString(QStringLiteral("Conversion to audio file failed")),
                   localizedString(QStringLiteral("Please contact Quorvantelle support for assistance.")));
        return;
    }
    requestUploadAddress(file);
}

void QVFileProcessor::requestUploadAddress(const std::shared_ptr<QVFilePending>& file)
{
    QUrl address = hooks_.webApplicationURL ? hooks_.webApplicationURL(QStringLiteral("make-upload-request")) : QUrl();
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("file_name"), file->uuid + QStringLiteral(".m4a"));
    address.setQuery(query);
    QNetworkRequest request(address);
    // The service hands upload addresses to signed-in accounts only.
    if (hooks_.accountToken)
        request.setRawHeader("Authorization", "Bearer " + hooks_.accountToken().toUtf8());
    QNetworkReply* reply = network_.get(request);
    uploadRequest_ = reply;
    const std::uint64_t run = run_;
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, run, file, reply] {
        reply->deleteLater();
        if (!current(run))
            return;
        if (reply->error() != QNetworkReply::NoError) {
            qv::logWarning("Error: " + reply->errorString().toStdString());
            // Without an address the file cannot go anywhere: the run ends rather than wait.
            uploadErrorHappened(reply->errorString());
            return;
        }
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        const QUrl signedRequest(answer.value(QStringLiteral("signed_request")).toString());
        if (!signedRequest.isValid() || signedRequest.isEmpty()) {
            qv::logWarning("Error: the upload address answer holds no signed_request");
            uploadErrorHappened(localizedString(QStringLiteral("The service gave no upload address.")));
            return;
        }
        transfer(file, signedRequest);
    });
}

void QVFileProcessor::transfer(const std::shared_ptr<QVFilePending>& file, const QUrl& signedRequest)
{
    if (display_)
        display_->showProcessingStatus(*file, localizedString(QStringLiteral("Uploading")), kConversionShare);
    auto* body = new QFile(file->convertedURL.toLocalFile());
    if (!body->open(QIODevice::ReadOnly)) {
        delete body;
        uploadErrorHappened(localizedString(QStringLiteral("The converted audio could not be read.")));
        return;
    }
    file->remotePath = remotePathFromSignedRequest(signedRequest);
    QNetworkRequest request(signedRequest);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("audio/mp4"));
    request.setHeader(QNetworkRequest::ContentLengthHeader, body->size());
    // The body streams from the file, so a long recording costs no more memory than a short one.
    QNetworkReply* reply = network_.put(request, body);
    body->setParent(reply);
    dataTaskUpload_ = reply;
    const std::uint64_t run = run_;
    QObject::connect(reply, &QNetworkReply::uploadProgress, reply, [this, run, file](qint64 sent, qint64 total) {
        if (current(run) && total > 0 && display_)
            display_->showProcessingProgress(
                *file, kConversionShare + (1.0 - kConversionShare) * (static_cast<double>(sent) / static_cast<double>(total)));
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, run, file, reply] {
        reply->deleteLater();
        if (current(run))
            transferFinished(file, reply);
    });
}

void QVFileProcessor::transferFinished(const std::shared_ptr<QVFilePending>& file, QNetworkReply* reply)
{
    dataTaskUpload_.clear();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == kPayloadTooLarge) {
        uploadErrorHappened(localizedString(QStringLiteral("The file is larger than the store accepts.")));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        qv::logWarning("Upload error from S3 is " + reply->errorString().toStdString());
        uploadErrorHappened(reply->errorString());
        return;
    }
    const QString md5 = qv::md5HexOfFile(file->convertedURL.toLocalFile());
    const QString etag = QString::fromLatin1(reply->rawHeader("Etag"));
    if (status != 200 || !etagVerifies(etag, md5)) {
        uploadErrorHappened(localizedString(QStringLiteral("The store did not confirm the file it received.")));
        return;
    }
    deleteConvertedFile(*file);
    createNewFileWithPendingFile(file);
}

void QVFileProcessor::createNewFileWithPendingFile(const std::shared_ptr<QVFilePending>& file)
{
    if (!file || file->uuid.isEmpty() || !ad_.currentUser)
        return;
    ad_.filesAwaitingCreation.insert(file->uuid);
    if (hooks_.saveLocalData)
        hooks_.saveLocalData(file->uuid, file->mediaFiles);
    if (!file->thumbnail.isNull() && hooks_.saveThumbnail)
        hooks_.saveThumbnail(file->thumbnail, file->uuid);
    const std::uint64_t run = run_;
    const std::string uuid = file->uuid.toStdString();
    auto failed = [this, run, file](const std::string& message) {
        qv::logWarning("Data could not be saved due to " + message);
        if (!current(run))
            return;
        fileFailed(file, localizedString(QStringLiteral("“%1” could not be submitted")).arg(file->name),
                   localizedString(QStringLiteral("Its record could not be saved: %1. Press Transcribe to try again."))
                       .arg(QString::fromStdString(message)));
    };
    ad_.filesMetadataRef.child(uuid).updateChildValues(
        newFileRecord(*file, QString::fromStdString(ad_.currentUser->uid)),
        [this, run, file, uuid, failed](const qv::DatabaseResult& error) {
            if (error) {
                failed(error->message);
                return;
            }
            ad_.fbRef.child("files_new").child(uuid).setValue(true, [this, run, file, failed](const qv::DatabaseResult& error) {
                if (error) {
                    failed(error->message);
                    return;
                }
                if (!current(run))
                    return;
                auto next = [this, run] {
                    if (current(run))
                        processNextFile();
                };
                if (display_)
                    display_->removeSubmittedFile(file, next);
                else
                    next();
            });
        });
    if (hooks_.updateCurrentFileTimestamp)
        hooks_.updateCurrentFileTimestamp();
}

void QVFileProcessor::uploadErrorHappened(const QString& detail)
{
    QString host;
    if (hooks_.webApplicationURL)
        host = hooks_.webApplicationURL(QString()).host();
    qv::Alert alert{localizedString(QStringLiteral("File could not be uploaded")),
                    localizedString(QStringLiteral("Please check that %1 can be reached from this computer.\n%2"))
                        .arg(host, detail),
                    qv::AlertStyle::Critical,
                    {}};
    // The run is over from here on: nothing under way acts any more, whatever the alert waits for.
    stopProcessing();
    if (hooks_.sheetAlerts)
        hooks_.sheetAlerts->beginSheet(alert, {});
}

void QVFileProcessor::fileFailed(const std::shared_ptr<QVFilePending>& file, const QString& message,
                                 const QString& informative)
{
    if (display_)
        display_->showProcessingFailure(*file, message);
    const std::uint64_t run = run_;
    auto next = [this, run](int) {
        if (current(run))
            processNextFile();
    };
    if (hooks_.sheetAlerts)
        hooks_.sheetAlerts->beginSheet({message, informative, qv::AlertStyle::Critical, {}}, next);
    else
        next(qv::kAlertFirstButtonReturn);
}

void QVFileProcessor::stopProcessingWithAlert()
{
    qv::Alert alert{localizedString(QStringLiteral("Do you really want to stop processing of remaining files?")),
                    localizedString(QStringLiteral("The file currently being processed will be discarded.")),
                    qv::AlertStyle::Critical,
                    {localizedString(QStringLiteral("Stop")), localizedString(QStringLiteral("Cancel"))}};
    const std::uint64_t run = run_;
    if (hooks_.sheetAlerts)
        hooks_.sheetAlerts->beginSheet(alert, [this, run](int code) {
            if (code == qv::kAlertFirstButtonReturn && current(run))
                stopProcessing();
        });
}

void QVFileProcessor::stopProcessing()
{
    ++run_;
    if (encoder_)
        encoder_->cancel();
    encoder_.reset();
    isProcessing_ = false;
    if (uploadRequest_)
        uploadRequest_->abort();
    if (dataTaskUpload_)
        dataTaskUpload_->abort();
    if (fileCurrent_)
        deleteConvertedFile(*fileCurrent_);
    ad_.filesToProcess.clear();
    if (display_)
        display_->processingStateChanged();
}

void QVFileProcessor::deleteConvertedFile(const QVFilePending& file)
{
    if (!file.convertedURL.isEmpty())
        QFile::remove(file.convertedURL.toLocalFile());
}
