// A recording stand-in for the application's windows: it keeps the files list's visible rows
// and answers the questions the shell asks (status filter, modifier keys, log-out sheet).
#pragma once

#include "app/ShellServices.h"
#include "model/QVFile.h"

#include <QStringList>

#include <algorithm>

class FakeShellServices : public ShellServices {
public:
    QStringList calls;
    int count(const QString& name) const { return int(calls.count(name)); }

    std::vector<std::shared_ptr<QVFile>> rows;
    std::int64_t searchStatus = 0;
    std::uint64_t modifierFlags = 0;
    bool showsFileWords = true;
    bool showsAccountWords = true;
    bool pendingTableEnabled = false;
    std::vector<QUrl> pendingAdded;
    std::vector<bool> customWordRefreshes;  // the animation flag of each refresh
    std::function<void()> customWordsRefreshed;  // run at each refresh, when set
    QString telemetryUserId;
    // The log-out question asked, and the answer it gets (none: the sheet stays open).
    QString logOutQuestion;
    std::optional<bool> logOutAnswer;

    std::vector<std::shared_ptr<QVFile>>& filesSearchResults() override { return rows; }
    std::int64_t filesSearchStatus() const override { return searchStatus; }
    void filesTableBeginUpdates() override { calls << "beginUpdates"; }
    void filesTableEndUpdates() override { calls << "endUpdates"; }
    void filesTableInsertRow(std::size_t row) override { calls << QStringLiteral("insert %1").arg(row); }
    void filesTableRemoveRow(std::size_t row) override { calls << QStringLiteral("remove %1").arg(row); }
    void filesTableRemoveRowThenSearch(std::size_t row) override
    {
        calls << QStringLiteral("removeThenSearch %1").arg(row);
        rows.erase(rows.begin() + std::ptrdiff_t(row));
    }
    void filesTableReloadRow(std::size_t row) override { calls << QStringLiteral("reload %1").arg(row); }
    void filesTableReloadData() override { calls << "reloadData"; }
    void searchForFile() override { calls << "searchForFile"; }
    void reloadFiles() override { calls << "reloadFiles"; }
    void refreshFilesUI() override { calls << "refreshFilesUI"; }
    void enableSearch(bool enabled) override { calls << (enabled ? "enableSearch" : "disableSearch"); }
    void refreshPendingView() override { calls << "refreshPendingView"; }
    void refreshBusyErrorStatus() override { calls << "refreshBusyErrorStatus"; }
    void setPendingTableEnabled(bool enabled) override { pendingTableEnabled = enabled; }
    void addPendingFilesFromURLs(const std::vector<QUrl>& urls) override
    {
        pendingAdded.insert(pendingAdded.end(), urls.begin(), urls.end());
    }
    void transitionToFiles() override { calls << "transitionToFiles"; }
    void transitionToLogIn() override { calls << "transitionToLogIn"; }
    void setAccountButtonVisible(bool visible) override { calls << (visible ? "showAccountButton" : "hideAccountButton"); }
    void resetAccountButton() override { calls << "resetAccountButton"; }
    void refreshAccountButton() override { calls << "refreshAccountButton"; }
    void hideTranscriptToolbarItems() override { calls << "hideTranscriptToolbarItems"; }
    void redrawBottomToolbar() override {}
    void bringMainWindowToFront() override { calls << "bringMainWindowToFront"; }
    void removeOnboardingPage() override { calls << "removeOnboardingPage"; }
    void animateLogo() override { calls << "animateLogo"; }
    void closeViewingOnlyPopover() override { calls << "closeViewingOnlyPopover"; }
    void refreshEditingOptions() override { calls << "refreshEditingOptions"; }
    void refreshSpeakerRangeChangesAllowed() override { calls << "refreshSpeakerRangeChangesAllowed"; }
    void finishEditingIfNecessary() override { calls << "finishEditingIfNecessary"; }
    bool customWordsPanelShowsFileWords() const override { return showsFileWords; }
    bool customWordsPanelShowsAccountWords() const override { return showsAccountWords; }
    void refreshCustomWordsDisplay(bool animated) override
    {
        customWordRefreshes.push_back(animated);
        if (customWordsRefreshed)
            customWordsRefreshed();
    }
    std::uint64_t currentModifierFlags() const override { return modifierFlags; }
    void setTelemetryUserId(const QString& uid) override { telemetryUserId = uid; }
    void sendBackDroppedXML() override { calls << "sendBackDroppedXML"; }
    void confirmLogOut(const QString& message, const QString&, std::function<void(bool)> answer) override
    {
        logOutQuestion = message;
        if (logOutAnswer)
            answer(*logOutAnswer);
    }
};
