// What the screens and windows of app/widgets call of the application object: screen changes,
// file state changes, the account actions, the browser and the alert presenters. The program
// implements it; tests give a recording fake. Main thread only.
#pragma once

#include "platform/ui/Alert.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>

class QVFile;

class WidgetsHost {
public:
    virtual ~WidgetsHost() = default;

    // Screens.
    // Opens the file of the files list's selected row in the transcript screen.
    virtual void openSelectedFile() = 0;
    // Moves to the files list (after a sign-in or a sign-up).
    virtual void transitionToFiles() = 0;
    // Gives the keyboard focus back to the window's default place for the current screen.
    virtual void resetFocus() = 0;

    // File state, as the files list's rows change it.
    // Sets the file's status (Transcribed 30, Verified 40, Exported 50) without a UI refresh.
    virtual void changeFileStatus(const std::shared_ptr<QVFile>& file, std::int64_t status) = 0;
    virtual void deleteFile(const std::shared_ptr<QVFile>& file) = 0;
    virtual void restoreFile(const std::shared_ptr<QVFile>& file) = 0;

    // Account.
    // Opens the page where the signed-in account buys transcription minutes.
    virtual void showBuyMinutes() = 0;
    // Signs out, after the confirmation the log-out asks for.
    virtual void logOut() = 0;

    // Opens an address in the default browser.
    virtual void openURL(const QUrl& url) = 0;
    // The service's web application and the product web site: `path` appended to their base
    // addresses (configuration).
    virtual QUrl webApplicationURL(const QString& path) const = 0;
    virtual QUrl productSiteURL(const QString& path) const = 0;

    // Alerts shown as sheets on the main window.
    virtual qv::AlertPresenter& sheetAlerts() = 0;
    // Alerts that block the whole application until answered.
    virtual qv::AlertPresenter& applicationModalAlerts() = 0;
};
