// The two menu actions that give the open transcript to the partner editor as fcpxml: Export
// saves the document where the user chooses; Send writes it to the fixed temporary document
// and hands that to the editor. A write that fails is reported and marks, counts and hands off
// nothing.
#pragma once

#include "fcpx/PartnerHandOff.h"

#include <QString>

#include <filesystem>
#include <optional>

class AppDelegate;
namespace qv {
struct Alert;
class AlertPresenter;
class ExportShell;
class Preferences;
class SavePanelPresenter;
}

// The temporary document, in its folder directly under the user's data folder.
inline const QString kFCPXTempFolderName = QStringLiteral("FCPX Temp Files");
inline const QString kFCPXTempFileName = QStringLiteral("Quorvantelle.fcpxml");

// "Transcript file could not be saved": there is no place for the temporary document, or it
// could not be written.
qv::Alert transcriptCouldNotBeSavedAlert();

class FCPXController {
public:
    struct Options {
        // Where the temporary folder goes; none: the user's data folder.
        std::optional<std::filesystem::path> dataFolder;
        // How the document reaches the editor; none: the commands in the preferences.
        OpenInApplication openInApplication;
    };

    // None of the references is owned; all outlive the controller.
    FCPXController(AppDelegate& ad, qv::Preferences& preferences, qv::SavePanelPresenter& savePanels,
                   qv::AlertPresenter& alerts, qv::ExportShell& shell, Options options);
    FCPXController(const FCPXController&) = delete;
    FCPXController& operator=(const FCPXController&) = delete;

    void exportToFinalCutProXXML();
    void sendToFinalCutProX();

    // The temporary document's path; empty when there is no data folder.
    QString temporaryDocumentPath() const;

private:
    void alertMissingMedia();
    void alertCouldNotSave();

    AppDelegate& ad_;
    qv::Preferences& preferences_;
    qv::SavePanelPresenter& savePanels_;
    qv::AlertPresenter& alerts_;
    qv::ExportShell& shell_;
    std::optional<std::filesystem::path> dataFolder_;
    OpenInApplication openInApplication_;
};
