// What the media intake calls of the program around it: the alerts, the open panel, the files
// list, the service's addresses, the local file data, thumbnails and usage analytics. The
// application fills it; tests give fakes. Main thread only.
#pragma once

#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class QVMediaFile;
class QWidget;
namespace qv {
class AlertPresenter;
}

struct IntakeHooks {
    // Sheets on the main window, and the alerts that the batch intake runs modally.
    qv::AlertPresenter* sheetAlerts = nullptr;
    qv::AlertPresenter* modalAlerts = nullptr;
    // The open panel for media files; `done` gets the chosen files (none when cancelled).
    std::function<void(std::function<void(const std::vector<QUrl>&)> done)> chooseMediaFiles;
    // A frame of the video at `url` at its start; a null image when none can be made.
    std::function<QImage(const QUrl& url)> videoThumbnail;
    // A picture among the application's resources ("audio file icon").
    std::function<QImage(const QString& name)> namedImage;
    // The service's web address of `path` ("make-upload-request").
    std::function<QUrl(const QString& path)> webApplicationURL;
    // The signed-in account's token, which an upload address is asked for with.
    std::function<QString()> accountToken;
    // Keeps the new file's media locations and channel choices on this computer.
    std::function<void(const QString& uuid, const std::vector<std::shared_ptr<QVMediaFile>>& mediaFiles)>
        saveLocalData;
    std::function<void(const QImage& image, const QString& uuid)> saveThumbnail;
    std::function<void(const QString& event)> trackEvent;
    // A popover of `text` standing above `anchor`, centred, wrapped at 300 points; it hides
    // itself when the user clicks elsewhere, and its keeper deletes it.
    std::function<QWidget*(QWidget* anchor, const QString& text)> showPopover;
    // The token that names account `uid` in the welcome e-mail's resend link.
    std::function<QString(const QString& uid)> linkToken;
    // The files list: its no-files view is shown; show the table instead; scroll it to its top;
    // reset and enable or disable its search; touch the open file's `updated` time.
    std::function<bool()> filesListShowsNoFiles;
    std::function<void()> showFilesTable;
    std::function<void()> scrollFilesListToTop;
    std::function<void()> resetFilesSearch;
    std::function<void(bool enabled)> enableFilesSearch;
    std::function<void()> updateCurrentFileTimestamp;
};
