// A recording stand-in for the main window in the screen transition tests.
#pragma once

#include "app/shell/ScreenView.h"

#include <QStringList>

namespace qv::shell {

class FakeScreenView : public ScreenView {
public:
    QStringList calls;
    int tab = -1;
    bool toolbarItemsVisible = false;
    bool missingMediaVisible = false;
    QString fileName;
    bool filesChecked = false;
    bool transcriptChecked = false;
    bool navigationEnabled = false;
    bool coverPossible = true;
    bool coverShown = false;
    bool optionDown = false;
    std::shared_ptr<QVFile> selected;
    std::function<void()> scrollWatcher;
    std::function<void(bool)> missingMediaAnswer;
    int missingMediaWarnings = 0;

    void selectTab(int index) override { tab = index; }
    void setTranscriptToolbarItemsVisible(bool visible, bool missingMedia) override
    {
        toolbarItemsVisible = visible;
        missingMediaVisible = visible && missingMedia;
    }
    void setCurrentFileName(const QString& name) override { fileName = name; }
    void setViewMenuChecks(bool files, bool transcript) override
    {
        filesChecked = files;
        transcriptChecked = transcript;
    }
    void enableNavigationButtons(bool enabled) override { navigationEnabled = enabled; }
    void focusSignInEmail() override { calls << "focusSignInEmail"; }
    void scrollFilesListToTop() override { calls << "scrollFilesListToTop"; }
    void focusFilesTable() override { calls << "focusFilesTable"; }
    void showFilesLoadingMessage() override { calls << "showFilesLoadingMessage"; }
    std::shared_ptr<QVFile> selectedFile() override { return selected; }
    void resetFocus() override { calls << "resetFocus"; }
    void closeAccountPopover() override { calls << "closeAccountPopover"; }
    void updateFilesLayout() override { calls << "updateFilesLayout"; }
    void updateToolbarItems() override { calls << "updateToolbarItems"; }
    void animateLogo() override { calls << "animateLogo"; }
    void resetAnimatingLogo() override { calls << "resetAnimatingLogo"; }
    bool showCover() override { return coverShown = coverPossible; }
    bool isCoverShown() const override { return coverShown; }
    void hideCover() override { coverShown = false; }
    void watchTranscriptScroll(std::function<void()> scrolled) override { scrollWatcher = std::move(scrolled); }
    void showMissingMediaWarning(std::function<void(bool)> answer) override
    {
        ++missingMediaWarnings;
        missingMediaAnswer = std::move(answer);
    }
    bool isOptionKeyDown() const override { return optionDown; }
};

}  // namespace qv::shell
