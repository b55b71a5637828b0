// The pending list's reader of clips from a dropped library.
#include "app/shell/LibraryClips.h"

#include "fcpx/FCPXClipReader.h"
#include "intake/audio/QVAudioLayout.h"
#include "intake/audio/QVMetadataTimecode.h"
#include "model/AppDelegate.h"
#include "model/ModelServices.h"
#include "fcpx/FCPXLibraryDrop.h"
#include "platform/foundation/Preferences.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace {

// The dropped library file, if the drag carries one.
QString libraryFileOf(const QMimeData& data)
{
    for (const QUrl& url : data.urls())
        if (url.isLocalFile() && url.toLocalFile().endsWith(QStringLiteral(".fcpxml"), Qt::CaseInsensitive))
            return url.toLocalFile();
    return {};
}

bool carriesLibrary(const QMimeData& data)
{
    return data.hasFormat(kFCPXPasteboardType) || !libraryFileOf(data).isEmpty() ||
           (!data.hasUrls() && data.hasFormat(kStringPasteboardType));
}

class LibraryDropFilter final : public QObject {
public:
    LibraryDropFilter(QWidget& window, std::function<void(const QMimeData&)> open, std::function<void(const QString&)> openFile)
        : QObject(&window), open_(std::move(open)), openFile_(std::move(openFile))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (drag->mimeData() && carriesLibrary(*drag->mimeData())) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            if (const QMimeData* data = drop->mimeData(); data && carriesLibrary(*data)) {
                drop->acceptProposedAction();
                const QString file = libraryFileOf(*data);
                if (file.isEmpty())
                    open_(*data);
                else
                    openFile_(file);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void(const QMimeData&)> open_;
    std::function<void(const QString&)> openFile_;
};

}  // namespace

QVFilesPendingViewController::ClipReader makeLibraryClipReader(AppDelegate& ad, const qv::Preferences& preferences)
{
    FCPXClipReader::Services services;
    services.media.openAsset = [&ad](const QUrl& url) {
        return ad.modelServices ? ad.modelServices->createURLAsset(url) : nullptr;
    };
    services.media.iXMLTrackNames = [](const QUrl& url) { return getiXMLTrackNamesFromURL(url); };
    services.media.fileURLIsAudio = [&ad](const QUrl& url) {
        return ad.modelServices && ad.modelServices->fileURLIsAudio(url);
    };
    services.audioLayoutType = [](const QVMediaFileList& mediaFiles) { return createAudioLayoutTypeFromMediaFiles(mediaFiles); };
    services.defaultDiarisation = [&preferences] {
        return preferences.integerForKey(QStringLiteral("QVDefaultDiarization")) == 1;
    };
    services.defaultLanguage = [&preferences] {
        return preferences.stringForKey(QStringLiteral("QVDefaultLanguage")).value_or(QString());
    };
    auto reader = std::make_shared<FCPXClipReader>(ad, std::move(services));
    return [reader](const std::shared_ptr<QVXMLElement>& clip) {
        FCPXClipResult result = reader->read(clip);
        return QVFilesPendingViewController::ClipResult{std::move(result.file), result.refused,
                                                        std::move(result.unsupportedClipName)};
    };
}

void acceptLibraryDrops(QWidget& window, std::function<void(const QMimeData& data)> open,
                        std::function<void(const QString& path)> openFile)
{
    window.setAcceptDrops(true);
    window.installEventFilter(new LibraryDropFilter(window, std::move(open), std::move(openFile)));
}
