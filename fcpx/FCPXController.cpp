#include "fcpx/FCPXController.h"

#include "fcpx/QVExportFCPX.h"
#include "model/AppDelegate.h"
#include "model/ExportShell.h"
#include "model/MediaFilesMapping.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Log.h"
#include "platform/ui/Alert.h"
#include "platform/ui/SavePanel.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kFileCouldNotBeExported = QStringLiteral("File could not be exported");

}  // namespace

FCPXController::FCPXController(AppDelegate& ad, qv::Preferences& preferences, qv::SavePanelPresenter& savePanels,
                               qv::AlertPresenter& alerts, qv::ExportShell& shell, Options options)
    : ad_(ad), preferences_(preferences), savePanels_(savePanels), alerts_(alerts), shell_(shell),
      dataFolder_(options.dataFolder ? options.dataFolder : std::optional(qv::dataHome())),
      openInApplication_(options.openInApplication ? std::move(options.openInApplication)
                                                   : partnerCommandsFromPreferences(preferences))
{
}

QString FCPXController::temporaryDocumentPath() const
{
    if (!dataFolder_ || dataFolder_->empty())
        return {};
    const QDir folder(QString::fromStdString(dataFolder_->string()));
    return folder.filePath(kFCPXTempFolderName + QLatin1Char('/') + kFCPXTempFileName);
}

void FCPXController::alertMissingMedia()
{
    alerts_.beginSheet({qv::localizedString("Final Cut Pro X XML file could not be generated because the media file is missing"),
                        qv::localizedString("Relink the media file and try again."),
                        qv::AlertStyle::Critical,
                        {}},
                       {});
}

qv::Alert transcriptCouldNotBeSavedAlert()
{
    return {qv::localizedString("Transcript file could not be saved"),
            qv::localizedString("For assistance, please submit a support ticket from the Help menu."),
            qv::AlertStyle::Critical,
            {}};
}

void FCPXController::alertCouldNotSave() { alerts_.beginSheet(transcriptCouldNotBeSavedAlert(), {}); }

void FCPXController::exportToFinalCutProXXML()
{
    const auto file = ad_.currentFile;
    if (!file)
        return;
    if (getFirstMediaFileURLFromCurrentFile(ad_).isEmpty()) {
        alertMissingMedia();
        return;
    }
    savePanels_.beginSheet({file->name, {QStringLiteral("fcpxml")}, {}, 0},
                           [this](qv::ModalResponse response, const QString& path) {
                               const auto file = ad_.currentFile;
                               if (response != qv::ModalResponse::OK || !file)
                                   return;
                               QVExportFCPX exporter(ad_, preferences_, shell_);
                               if (const auto error = exporter.exportFileToURL(path)) {
                                   alerts_.beep();
                                   qv::logError(QStringLiteral("Could not write document out... %1: %2")
                                                    .arg(path, *error)
                                                    .toStdString());
                                   alerts_.beginSheet({qv::localizedString(kFileCouldNotBeExported), *error,
                                                       qv::AlertStyle::Critical, {}},
                                                      {});
                                   return;
                               }
                               shell_.incrementExportCountForType(qv::ExportTypeFCPXXML, file);
                           });
}

void FCPXController::sendToFinalCutProX()
{
    const auto file = ad_.currentFile;
    if (!file)
        return;
    if (!file->fcpxUID.isEmpty()) {
        alerts_.beginSheet({qv::localizedString("This file was imported from Final Cut Pro X and can't be sent back directly."),
                            qv::localizedString("To export the transcript with keywords on the clip,\ndrag the library "
                                                "to the Quorvantelle icon."),
                            qv::AlertStyle::Critical,
                            {}},
                           {});
        return;
    }
    if (getFirstMediaFileURLFromCurrentFile(ad_).isEmpty()) {
        alertMissingMedia();
        return;
    }
    const QString path = temporaryDocumentPath();
    if (path.isEmpty()) {
        alertCouldNotSave();
        return;
    }
    // A failure to make the folder shows as the write's failure.
    QDir().mkpath(QFileInfo(path).path());
    QVExportFCPX exporter(ad_, preferences_, shell_);
    if (const auto error = exporter.exportFileToURL(path)) {
        // Handing off now would open whatever an earlier send left there.
        alerts_.beep();
        qv::logError(QStringLiteral("Could not write document out... %1: %2").arg(path, *error).toStdString());
        alertCouldNotSave();
        return;
    }
    if (const auto error = openInPartnerEditor(openInApplication_, path)) {
        alerts_.beginSheet({qv::localizedString("Transcript could not be sent to Final Cut Pro X"), error->message,
                            qv::AlertStyle::Critical, {}},
                           {});
        return;
    }
    shell_.changeFile(file, qv::kFileStatusExported, true);
    shell_.incrementExportCountForType(qv::ExportTypeFCPXXML, file);
}
