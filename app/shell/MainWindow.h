// The main window: one page each for log-in, the files list and the transcript (a tab view whose
// tabs are not shown), the toolbar with the back button, the open file's name and the account
// buttons, the transcript toolbar with the editing and navigation panels, the menus, and the
// cover that hides the transcript's jump to its last position. What it does is decided by the
// application; the window shows it.
#pragma once

#include "app/shell/MenuValidation.h"
#include "app/shell/ScreenView.h"
#include "platform/foundation/Dispatcher.h"

#include <QMainWindow>

#include <array>
#include <functional>
#include <map>

class QAction;
class QHBoxLayout;
class QLabel;
class QMenu;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace qv::shell {

class LogoView;

class MainWindow final : public QMainWindow, public ScreenView {
public:
    struct Callbacks {
        // A menu item or button with this action was chosen (the sender's tag given).
        std::function<void(const QString& action, int tag)> perform;
        std::function<MenuItemState(const QString& action, int tag)> validate;
        // The close button: whether the window may close.
        std::function<bool()> shouldClose;
        std::function<void()> resized;
        std::function<std::shared_ptr<QVFile>()> selectedFile;
        std::function<void()> focusFilesTable;
        std::function<void()> focusSignInEmail;
        std::function<void()> showFilesLoadingMessage;
        std::function<void()> closeAccountPopover;
    };

    explicit MainWindow(Dispatcher& mainQueue);
    ~MainWindow() override;

    void setCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }

    // Pages and the panels put into them.
    QTabWidget* tabView() const { return tabView_; }
    QWidget* containerLogIn() const { return containerLogIn_; }
    QWidget* containerFiles() const { return containerFiles_; }
    QWidget* containerTranscript() const { return containerTranscript_; }
    // The log-in form goes below the logo.
    void setLogInContent(QWidget* form);
    // The pending list on the left, the files list on the right; laid out by updateFilesLayout.
    void setFilesContent(QWidget* pending, QWidget* files);
    // The speakers panel on the left, the transcript table in the middle, and the scrub bar along
    // the transcript toolbar's bottom, under the player's controls: under the transcript it would
    // read as a scroll bar. The widgets stay owned by the caller, which must outlive neither the
    // window.
    void setTranscriptContent(QWidget* speakers, QWidget* transcript, QWidget* scrubBar);
    // The right-hand panel's Media tab: the open file's audio configuration.
    void setMediaPanel(QWidget* panel);
    // A tab of the right-hand panel and its segment of the words/search/media button, both in
    // the order of their tags (0 custom words, 1 search, 2 media). A segment sends
    // "selectRightPanelTab:" with its tag.
    void addRightPanelTab(QWidget* panel, const QString& title, int tag);
    // Shows the tab of `tag` (without one, the tab shown stays) and checks the shown tab's segment.
    void selectRightPanelTab(int tag);
    // The tag of the tab shown; -1 without tabs.
    int selectedRightPanelTab() const;
    QTabWidget* rightPanelTabView() const { return rightPanelTabView_; }
    // The editing-controls panel, centred in its slot of the transcript toolbar; owned by the
    // caller like the transcript's widgets.
    void setEditingPanel(QWidget* panel);
    // The transcript screen's keyboard focus while no text view or field holds it: it takes the
    // focus when the screen shows and whenever the focus is reset there.
    void setTranscriptKeyFocus(QWidget* handler);

    // Toolbar.
    QToolButton* viewFilesButton() const { return viewFilesButton_; }
    QLabel* currentFileDisplay() const { return currentFileDisplay_; }
    QPushButton* accountButton() const { return accountButton_; }
    QPushButton* buyMinutesButton() const { return buyMinutesButton_; }
    QLabel* timeDisplay() const { return timeDisplay_; }
    QLabel* selectionDurationDisplay() const { return selectionDurationDisplay_; }
    QToolButton* missingMediaButton() const { return missingMediaButton_; }
    QToolButton* viewingOnlyButton() const { return viewingOnlyButton_; }
    // The view-only state of the open transcript: the view-only button in the transcript
    // toolbar, whose background turns to stripes.
    void setViewingOnly(bool viewingOnly);
    QWidget* wordsSearchMediaButton() const { return wordsSearchMediaButton_; }
    // The banner over the log-in form and the files list when the service cannot be reached.
    void showServiceProblem(const QString& message, bool canRetry);
    void hideServiceProblem();
    QPushButton* retryButton() const { return retryButton_; }

    // The transcript toolbar's height and its panels, without animation when `animated` is off.
    void applyTranscriptToolbar(bool editingControls, bool navigationControls, bool animated);
    double transcriptToolbarHeight() const;

    // Menus: the item of an action, and every item (for validation and tests).
    QAction* action(const QString& name, int tag = 0) const;
    // Validates every item of `menu` (as when it opens).
    void validateMenu(QMenu* menu);
    void validateAllMenus();
    LogoView* logo() const { return logo_; }
    // Each step button's own state (where the playhead stands), in toolbar order.
    void setNavigationButtonStates(const std::array<bool, 6>& enabled);

    // ScreenView
    void selectTab(int index) override;
    void setTranscriptToolbarItemsVisible(bool visible, bool missingMedia) override;
    void setCurrentFileName(const QString& name) override;
    void setViewMenuChecks(bool files, bool transcript) override;
    // Off for a file without a transcript, whatever the buttons' own states say.
    void enableNavigationButtons(bool enabled) override;
    void focusSignInEmail() override;
    void scrollFilesListToTop() override {}
    void focusFilesTable() override;
    void showFilesLoadingMessage() override;
    std::shared_ptr<QVFile> selectedFile() override;
    void resetFocus() override;
    void closeAccountPopover() override;
    void updateFilesLayout() override;
    void updateToolbarItems() override;
    void animateLogo() override;
    void resetAnimatingLogo() override;
    bool showCover() override;
    bool isCoverShown() const override;
    void hideCover() override;
    void watchTranscriptScroll(std::function<void()> scrolled) override;
    void showMissingMediaWarning(std::function<void(bool suppress)> answer) override;
    bool isOptionKeyDown() const override;
    // Tells the window the transcript scrolled (the transcript table calls it).
    void transcriptScrolled();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Gives the right panel its width for the splitter's width.
    void fitRightPanel();

private:
    void buildToolbar();
    void buildPages();
    void buildMenus();
    QAction* addItem(QMenu* menu, const QString& title, const QString& action, const QKeySequence& shortcut = {},
                     int tag = 0);

    Dispatcher& mainQueue_;
    Callbacks callbacks_;
    QTabWidget* tabView_ = nullptr;
    QWidget* containerLogIn_ = nullptr;
    QWidget* containerFiles_ = nullptr;
    QWidget* containerTranscript_ = nullptr;
    QWidget* toolbarTranscript_ = nullptr;
    QWidget* logInForm_ = nullptr;
    QWidget* pendingList_ = nullptr;
    QWidget* filesList_ = nullptr;
    QWidget* editingPanel_ = nullptr;
    QWidget* transcriptKeyFocus_ = nullptr;
    QHBoxLayout* editingRow_ = nullptr;
    QWidget* transportPanel_ = nullptr;
    QWidget* speakersBackground_ = nullptr;
    QWidget* transcriptArea_ = nullptr;
    QWidget* containerRightPanel_ = nullptr;
    QSplitter* split_ = nullptr;
    // The user has moved a panel's edge: the panels keep their widths from then on.
    bool rightPanelPlacedByUser_ = false;
    QTabWidget* rightPanelTabView_ = nullptr;
    LogoView* logo_ = nullptr;
    QLabel* problemBanner_ = nullptr;
    QPushButton* retryButton_ = nullptr;
    QToolButton* viewFilesButton_ = nullptr;
    QLabel* currentFileDisplay_ = nullptr;
    QPushButton* buyMinutesButton_ = nullptr;
    QPushButton* accountButton_ = nullptr;
    QLabel* timeDisplay_ = nullptr;
    QLabel* selectionDurationDisplay_ = nullptr;
    QToolButton* favoriteButton_ = nullptr;
    QWidget* playbackRateButtons_ = nullptr;
    QWidget* wordsSearchMediaButton_ = nullptr;
    QToolButton* missingMediaButton_ = nullptr;
    QToolButton* viewingOnlyButton_ = nullptr;
    std::vector<QToolButton*> navigationButtons_;
    bool navigationAllowed_ = true;
    std::array<bool, 6> navigationStates_{true, true, true, true, true, true};
    QLabel* cover_ = nullptr;
    std::function<void()> scrollWatcher_;
    std::vector<QMenu*> menus_;
    std::map<std::pair<QString, int>, QAction*> actions_;
    double transcriptToolbarHeight_ = 150;
};

}  // namespace qv::shell
