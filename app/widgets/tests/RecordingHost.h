// A WidgetsHost that records every call, with scripted alert presenters.
#pragma once

#include "app/widgets/WidgetsHost.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QStringList>

#include <utility>
#include <vector>

class RecordingHost : public WidgetsHost {
public:
    void openSelectedFile() override { calls << "openSelectedFile"; }
    void transitionToFiles() override { calls << "transitionToFiles"; }
    void resetFocus() override { calls << "resetFocus"; }
    void changeFileStatus(const std::shared_ptr<QVFile>& file, std::int64_t status) override
    {
        calls << QStringLiteral("changeFileStatus %1").arg(status);
        changedFiles.push_back(file);
    }
    void deleteFile(const std::shared_ptr<QVFile>& file) override
    {
        calls << "deleteFile";
        changedFiles.push_back(file);
    }
    void restoreFile(const std::shared_ptr<QVFile>& file) override
    {
        calls << "restoreFile";
        changedFiles.push_back(file);
    }
    void showBuyMinutes() override { calls << "showBuyMinutes"; }
    void logOut() override { calls << "logOut"; }
    void openURL(const QUrl& url) override { openedURLs.push_back(url); }
    QUrl webApplicationURL(const QString& path) const override { return QUrl("https://app.example.test/" + path); }
    QUrl productSiteURL(const QString& path) const override { return QUrl("https://www.example.test/" + path); }
    qv::AlertPresenter& sheetAlerts() override { return sheets; }
    qv::AlertPresenter& applicationModalAlerts() override { return modals; }

    QStringList calls;
    std::vector<std::shared_ptr<QVFile>> changedFiles;
    std::vector<QUrl> openedURLs;
    qv::ScriptedAlertPresenter sheets;
    qv::ScriptedAlertPresenter modals;
};
