#include "app/shell/MainWindow.h"

#include "app/shell/LogoView.h"
#include "app/shell/ToolbarLayout.h"
#include "platform/foundation/LocalizedString.h"
#include "transcript-view/NavigationButtonImages.h"

#include <algorithm>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace qv::shell {

namespace {

const char* const kActionProperty = "qvAction";
const char* const kTagProperty = "qvTag";

const QColor kTranscriptToolbarColor(160, 160, 160);

void paintBackground(QWidget* widget, const QColor& color)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
}

QLabel* toolbarLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("color: rgb(220, 220, 220);"));
    return label;
}

// The tag of a right-hand panel's tab and of its segment.
constexpr char kRightPanelTagProperty[] = "rightPanelTag";
// The right panel's width until the user moves its edge: wide enough for a search result's
// abstract to be read whole beside its speaker, as far as the window leaves the transcript area
// the width its rows need.
constexpr int kRightPanelWidth = 380;
constexpr int kTranscriptAreaWidth = 600;

QToolButton* toolButton(const QString& text, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setText(text);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

MainWindow::MainWindow(Dispatcher& mainQueue) : mainQueue_(mainQueue)
{
    setWindowTitle(QStringLiteral("Quorvantelle"));
    setObjectName(QStringLiteral("mainWindow"));
    resize(1400, 860);
    setMinimumSize(960, 600);
    buildToolbar();
    buildPages();
    buildMenus();
    setTranscriptToolbarItemsVisible(false, false);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildToolbar()
{
    auto* toolbar = addToolBar(QStringLiteral("Single Item"));
    toolbar->setObjectName(QStringLiteral("SingleContainer"));
    toolbar->setMovable(false);
    toolbar->setFloatable(false);
    toolbar->toggleViewAction()->setVisible(false);
    toolbar->setStyleSheet(QStringLiteral("QToolBar { background: rgb(38, 38, 38); border: none; padding: 4px; }"));
    auto* container = new QWidget(toolbar);
    auto* row = new QHBoxLayout(container);
    row->setContentsMargins(8, 0, 8, 0);
    viewFilesButton_ = toolButton(QStringLiteral("◀ Files"), container);
    viewFilesButton_->setObjectName(QStringLiteral("viewFilesButton"));
    viewFilesButton_->setStyleSheet(QStringLiteral("color: rgb(220, 220, 220);"));
    connect(viewFilesButton_, &QToolButton::clicked, this, [this] {
        if (callbacks_.perform)
            callbacks_.perform(QStringLiteral("viewFilesButtonPressed:"), 0);
    });
    currentFileDisplay_ = toolbarLabel(QString(), container);
    currentFileDisplay_->setObjectName(QStringLiteral("currentFileDisplay"));
    buyMinutesButton_ = new QPushButton(QStringLiteral("Buy Minutes"), container);
    buyMinutesButton_->setObjectName(QStringLiteral("buyMinutesButton"));
    buyMinutesButton_->setFlat(true);
    buyMinutesButton_->setStyleSheet(QStringLiteral("color: rgb(255, 65, 20);"));
    buyMinutesButton_->setVisible(false);
    connect(buyMinutesButton_, &QPushButton::clicked, this, [this] {
        if (callbacks_.perform)
            callbacks_.perform(QStringLiteral("showBuyMinutes:"), 1);
    });
    accountButton_ = new QPushButton(container);
    accountButton_->setObjectName(QStringLiteral("accountButton"));
    accountButton_->setFlat(true);
    accountButton_->setStyleSheet(QStringLiteral("color: rgb(204, 204, 204);"));
    accountButton_->setVisible(false);
    connect(accountButton_, &QPushButton::clicked, this, [this] {
        if (callbacks_.perform)
            callbacks_.perform(QStringLiteral("showAccountPopover:"), 2);
    });
    row->addWidget(viewFilesButton_);
    row->addStretch(1);
    row->addWidget(currentFileDisplay_);
    row->addStretch(1);
    row->addWidget(buyMinutesButton_);
    row->addWidget(accountButton_);
    container->setMinimumWidth(600);
    toolbar->addWidget(container);
    container->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void MainWindow::buildPages()
{
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    problemBanner_ = new QLabel(central);
    problemBanner_->setObjectName(QStringLiteral("serviceProblem"));
    problemBanner_->setWordWrap(true);
    problemBanner_->setStyleSheet(
        QStringLiteral("background: rgb(120, 40, 30); color: white; padding: 8px 12px; font-weight: bold;"));
    retryButton_ = new QPushButton(QStringLiteral("Retry"), central);
    retryButton_->setObjectName(QStringLiteral("retryButton"));
    auto* bannerRow = new QHBoxLayout();
    bannerRow->setContentsMargins(0, 0, 0, 0);
    bannerRow->addWidget(problemBanner_, 1);
    bannerRow->addWidget(retryButton_);
    column->addLayout(bannerRow);
    hideServiceProblem();

    tabView_ = new QTabWidget(central);
    tabView_->setObjectName(QStringLiteral("tabView"));
    tabView_->tabBar()->hide();
    tabView_->setDocumentMode(true);
    column->addWidget(tabView_, 1);
    setCentralWidget(central);

    containerLogIn_ = new QWidget;
    containerLogIn_->setObjectName(QStringLiteral("containerLogIn"));
    paintBackground(containerLogIn_, QColor(46, 46, 46));
    auto* logIn = new QVBoxLayout(containerLogIn_);
    logIn->addStretch(1);
    logo_ = new LogoView(containerLogIn_);
    logIn->addWidget(logo_, 0, Qt::AlignHCenter);
    logIn->addSpacing(40);
    logInForm_ = new QWidget(containerLogIn_);
    // Tall enough for the sign-up step, whose controls reach below the e-mail step's 210 points.
    logInForm_->setFixedSize(620, 300);
    logIn->addWidget(logInForm_, 0, Qt::AlignHCenter);
    logIn->addStretch(1);
    tabView_->addTab(containerLogIn_, QStringLiteral("Log In"));

    containerFiles_ = new QWidget;
    containerFiles_->setObjectName(QStringLiteral("containerFiles"));
    paintBackground(containerFiles_, QColor(77, 77, 77));
    containerFiles_->installEventFilter(this);
    tabView_->addTab(containerFiles_, QStringLiteral("Files"));

    containerTranscript_ = new QWidget;
    containerTranscript_->setObjectName(QStringLiteral("containerTranscript"));
    paintBackground(containerTranscript_, QColor(240, 240, 240));
    auto* transcript = new QVBoxLayout(containerTranscript_);
    transcript->setContentsMargins(0, 0, 0, 0);
    transcript->setSpacing(0);
    toolbarTranscript_ = new QWidget(containerTranscript_);
    toolbarTranscript_->setObjectName(QStringLiteral("toolbarTranscript"));
    paintBackground(toolbarTranscript_, kTranscriptToolbarColor);
    toolbarTranscript_->setFixedHeight(150);
    // The editing panel above, centred over the transcript; the time and the navigation
    // controls in the row along the bottom.
    auto* toolbarColumn = new QVBoxLayout(toolbarTranscript_);
    toolbarColumn->setContentsMargins(0, 0, 0, 0);
    toolbarColumn->setSpacing(0);
    editingPanel_ = new QWidget(toolbarTranscript_);
    editingPanel_->setObjectName(QStringLiteral("editingPanel"));
    editingPanel_->setFixedSize(kEditingPanelSlotWidth, kEditingPanelHeight);
    auto* editingSlot = new QHBoxLayout(editingPanel_);
    editingSlot->setContentsMargins(0, 0, 0, 0);
    editingRow_ = new QHBoxLayout();
    editingRow_->addWidget(editingPanel_, 0, Qt::AlignLeft | Qt::AlignVCenter);
    editingRow_->addStretch(1);
    toolbarColumn->addLayout(editingRow_, 1);

    auto* transportBar = new QWidget(toolbarTranscript_);
    transportBar->setFixedHeight(kTransportRowHeight);
    auto* transportRow = new QHBoxLayout(transportBar);
    transportRow->setContentsMargins(8, 0, 8, 0);
    timeDisplay_ = new QLabel(QStringLiteral("00:00:00"), transportBar);
    timeDisplay_->setObjectName(QStringLiteral("timeDisplay"));
    QFont timeFont = timeDisplay_->font();
    timeFont.setPointSize(14);
    timeFont.setBold(true);
    timeFont.setStyleHint(QFont::Monospace);
    timeDisplay_->setFont(timeFont);
    selectionDurationDisplay_ = new QLabel(transportBar);
    selectionDurationDisplay_->setObjectName(QStringLiteral("selectionDurationDisplay"));
    favoriteButton_ = toolButton(QStringLiteral("★"), transportBar);
    playbackRateButtons_ = new QWidget(transportBar);
    wordsSearchMediaButton_ = new QWidget(transportBar);
    wordsSearchMediaButton_->setObjectName(QStringLiteral("wordsSearchMediaButton"));
    auto* segments = new QHBoxLayout(wordsSearchMediaButton_);
    segments->setContentsMargins(0, 0, 0, 0);
    segments->setSpacing(0);
    missingMediaButton_ = toolButton(QStringLiteral("⚠"), transportBar);
    missingMediaButton_->setObjectName(QStringLiteral("missingMediaButton"));
    connect(missingMediaButton_, &QToolButton::clicked, this, [this] {
        if (callbacks_.perform)
            callbacks_.perform(QStringLiteral("missingMediaPressed:"), 0);
    });
    viewingOnlyButton_ = toolButton(localizedString(QStringLiteral("View Only")), transportBar);
    viewingOnlyButton_->setObjectName(QStringLiteral("viewingOnlyButton"));
    viewingOnlyButton_->setVisible(false);
    connect(viewingOnlyButton_, &QToolButton::clicked, this, [this] {
        if (callbacks_.perform)
            callbacks_.perform(QStringLiteral("viewingOnlyPressed:"), 0);
    });
    transportRow->addWidget(timeDisplay_);
    transportRow->addWidget(selectionDurationDisplay_);
    transportRow->addStretch(1);
    transportPanel_ = new QWidget(transportBar);
    auto* stepsRow = new QHBoxLayout(transportPanel_);
    stepsRow->setContentsMargins(0, 0, 0, 0);
    for (const transcript::NavigationButton& step : transcript::navigationButtons()) {
        QToolButton* button = toolButton({}, transportPanel_);
        button->setIcon(transcript::navigationButtonIcon(step.image));
        button->setIconSize(transcript::kNavigationImageSize);
        button->setToolTip(step.title);
        button->setAccessibleName(step.title);
        button->setObjectName(step.name + QStringLiteral("Button"));
        connect(button, &QToolButton::clicked, this, [this, action = step.name + QLatin1Char(':')] {
            if (callbacks_.perform)
                callbacks_.perform(action, 0);
        });
        stepsRow->addWidget(button);
        navigationButtons_.push_back(button);
    }
    transportRow->addWidget(transportPanel_);
    transportRow->addStretch(1);
    transportRow->addWidget(favoriteButton_);
    transportRow->addWidget(playbackRateButtons_);
    transportRow->addWidget(wordsSearchMediaButton_);
    transportRow->addWidget(missingMediaButton_);
    transportRow->addWidget(viewingOnlyButton_);
    toolbarColumn->addWidget(transportBar);
    transcript->addWidget(toolbarTranscript_);

    auto* split = new QSplitter(Qt::Horizontal, containerTranscript_);
    split->setObjectName(QStringLiteral("splitView"));
    speakersBackground_ = new QWidget(split);
    speakersBackground_->setMinimumWidth(200);
    transcriptArea_ = new QWidget(split);
    auto* transcriptColumn = new QVBoxLayout(transcriptArea_);
    transcriptColumn->setContentsMargins(0, 0, 0, 0);
    transcriptColumn->setSpacing(0);
    auto* speakersColumn = new QVBoxLayout(speakersBackground_);
    speakersColumn->setContentsMargins(0, 0, 0, 0);
    containerRightPanel_ = new QWidget(split);
    containerRightPanel_->setMinimumWidth(240);
    split->setStretchFactor(1, 1);
    split_ = split;
    split->installEventFilter(this);
    connect(split, &QSplitter::splitterMoved, this, [this] {
        rightPanelPlacedByUser_ = true;
        updateToolbarItems();
    });
    transcript->addWidget(split, 1);
    tabView_->addTab(containerTranscript_, QStringLiteral("Transcript"));

    cover_ = new QLabel(central);
    cover_->setObjectName(QStringLiteral("coverView"));
    cover_->hide();
}

QAction* MainWindow::addItem(QMenu* menu, const QString& title, const QString& action, const QKeySequence& shortcut,
                             int tag)
{
    QAction* item = menu->addAction(title);
    item->setProperty(kActionProperty, action);
    item->setProperty(kTagProperty, tag);
    if (!shortcut.isEmpty())
        item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, [this, action, tag] {
        // A shortcut reaches the action without its menu opening: validate it first.
        MenuItemState state = callbacks_.validate ? callbacks_.validate(action, tag) : MenuItemState{};
        if (state.enabled && callbacks_.perform)
            callbacks_.perform(action, tag);
    });
    actions_[{action, tag}] = item;
    return item;
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* application = bar->addMenu(QStringLiteral("Quorvantelle"));
    addItem(application, QStringLiteral("About Quorvantelle"), QStringLiteral("orderFrontStandardAboutPanel:"));
    application->addSeparator();
    addItem(application, QStringLiteral("Check for Updates…"), QStringLiteral("checkForUpdates:"));
    application->addSeparator();
    addItem(application, QStringLiteral("Preferences…"), QStringLiteral("showPreferences:"), QKeySequence::Preferences);
    application->addSeparator();
    addItem(application, QStringLiteral("Quit Quorvantelle"), QStringLiteral("terminate:"), QKeySequence::Quit);

    QMenu* file = bar->addMenu(QStringLiteral("File"));
    addItem(file, QStringLiteral("Import Media…"), QStringLiteral("importMenuPressed:"), QKeySequence::Open);
    addItem(file, QStringLiteral("Import Final Cut Pro X Library…"), QStringLiteral("importFinalCutProXLibrary:"));
    file->addSeparator();
    QMenu* exports = file->addMenu(QStringLiteral("Export"));
    addItem(exports, QStringLiteral("SubRip (.srt)…"), QStringLiteral("exportToSubRip:"));
    addItem(exports, QStringLiteral("iTunes Timed Text (.itt)…"), QStringLiteral("exportToiTunesTimedText:"));
    addItem(exports, QStringLiteral("Avid DS Caption (.txt)…"), QStringLiteral("exportToAvidDS:"));
    addItem(exports, QStringLiteral("Avid ScriptSync (.txt)…"), QStringLiteral("exportToAvidScript:"));
    addItem(exports, QStringLiteral("Plain Text (.txt)…"), QStringLiteral("exportToPlainText:"));
    addItem(exports, QStringLiteral("Word (.docx)…"), QStringLiteral("exportToWord:"));
    addItem(exports, QStringLiteral("PDF…"), QStringLiteral("exportToPDF:"));
    addItem(exports, QStringLiteral("Final Cut Pro X XML…"), QStringLiteral("exportToFinalCutProXXML:"));
    addItem(file, QStringLiteral("Send to Final Cut Pro X"), QStringLiteral("sendToFinalCutProX:"));
    file->addSeparator();
    addItem(file, QStringLiteral("Print…"), QStringLiteral("printTranscript:"), QKeySequence::Print);
    addItem(file, QStringLiteral("Close Window"), QStringLiteral("performClose:"), QKeySequence::Close);

    QMenu* edit = bar->addMenu(QStringLiteral("Edit"));
    addItem(edit, QStringLiteral("Undo"), QStringLiteral("undo:"), QKeySequence::Undo);
    addItem(edit, QStringLiteral("Redo"), QStringLiteral("redo:"), QKeySequence::Redo);
    edit->addSeparator();
    addItem(edit, QStringLiteral("Cut"), QStringLiteral("cut:"), QKeySequence::Cut);
    addItem(edit, QStringLiteral("Copy"), QStringLiteral("copy:"), QKeySequence::Copy);
    addItem(edit, QStringLiteral("Copy with Metadata"), QStringLiteral("copyWithMetadata:"),
            QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    addItem(edit, QStringLiteral("Paste"), QStringLiteral("paste:"), QKeySequence::Paste);
    addItem(edit, QStringLiteral("Select All"), QStringLiteral("selectAll:"), QKeySequence::SelectAll);
    edit->addSeparator();
    addItem(edit, QStringLiteral("Copy Audio Configuration"), QStringLiteral("copyAudioConfiguration:"));
    addItem(edit, QStringLiteral("Paste Audio Configuration"), QStringLiteral("pasteAudioConfiguration:"));
    edit->addSeparator();
    addItem(edit, QStringLiteral("Remove Punctuation"), QStringLiteral("removePunctuation:"));
    addItem(edit, QStringLiteral("Remove Speaker Ranges"), QStringLiteral("removeSpeakerRanges:"));
    addItem(edit, QStringLiteral("Remove Favorite Ranges"), QStringLiteral("removeFavoriteRanges:"));
    edit->addSeparator();
    QMenu* find = edit->addMenu(QStringLiteral("Find"));
    addItem(find, QStringLiteral("Find…"), QStringLiteral("performFindPanelAction:"), QKeySequence::Find, 1);
    addItem(find, QStringLiteral("Find Next"), QStringLiteral("performFindPanelAction:"), QKeySequence::FindNext,
            kFindNextTag);
    addItem(find, QStringLiteral("Find Previous"), QStringLiteral("performFindPanelAction:"),
            QKeySequence::FindPrevious, kFindPreviousTag);

    QMenu* view = bar->addMenu(QStringLiteral("View"));
    addItem(view, QStringLiteral("Files"), QStringLiteral("showFiles:"), QKeySequence(Qt::CTRL | Qt::Key_1))
        ->setCheckable(true);
    addItem(view, QStringLiteral("Transcript"), QStringLiteral("showTranscript:"), QKeySequence(Qt::CTRL | Qt::Key_2))
        ->setCheckable(true);
    view->addSeparator();
    addItem(view, QStringLiteral("Hide Editing Controls"), QStringLiteral("toggleEditingControls:"));
    addItem(view, QStringLiteral("Hide Navigation Controls"), QStringLiteral("toggleNavigationControls:"));

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    addItem(help, QStringLiteral("Keyboard Shortcuts"), QStringLiteral("showKeyboardShortcuts:"));
    addItem(help, QStringLiteral("Support Articles"), QStringLiteral("showSupportArticles:"));
    addItem(help, QStringLiteral("Video Tutorials"), QStringLiteral("showVideoTutorials:"));
    addItem(help, QStringLiteral("Submit a Ticket"), QStringLiteral("submitNewTicket:"));

    menus_ = {application, file, exports, edit, find, view, help};
    for (QMenu* menu : menus_)
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { validateMenu(menu); });
}

QAction* MainWindow::action(const QString& name, int tag) const
{
    auto found = actions_.find({name, tag});
    return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::validateMenu(QMenu* menu)
{
    if (!callbacks_.validate)
        return;
    for (QAction* item : menu->actions()) {
        const QVariant action = item->property(kActionProperty);
        if (!action.isValid())
            continue;
        MenuItemState state = callbacks_.validate(action.toString(), item->property(kTagProperty).toInt());
        item->setEnabled(state.enabled);
        if (!state.title.isEmpty())
            item->setText(state.title);
    }
}

void MainWindow::validateAllMenus()
{
    for (QMenu* menu : menus_)
        validateMenu(menu);
}

void MainWindow::setLogInContent(QWidget* form)
{
    form->setParent(logInForm_);
    auto* layout = new QVBoxLayout(logInForm_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(form);
    form->show();
}

void MainWindow::setFilesContent(QWidget* pending, QWidget* files)
{
    pendingList_ = pending;
    filesList_ = files;
    if (pending)
        pending->setParent(containerFiles_);
    if (files)
        files->setParent(containerFiles_);
    updateFilesLayout();
}

void MainWindow::setTranscriptContent(QWidget* speakers, QWidget* transcript, QWidget* scrubBar)
{
    speakersBackground_->layout()->addWidget(speakers);
    auto* column = static_cast<QVBoxLayout*>(transcriptArea_->layout());
    column->addWidget(transcript, 1);
    toolbarTranscript_->layout()->addWidget(scrubBar);
}

void MainWindow::setMediaPanel(QWidget* panel) { addRightPanelTab(panel, QStringLiteral("Media"), 2); }

void MainWindow::addRightPanelTab(QWidget* panel, const QString& title, int tag)
{
    if (!rightPanelTabView_) {
        auto* column = new QVBoxLayout(containerRightPanel_);
        column->setContentsMargins(0, 0, 0, 0);
        rightPanelTabView_ = new QTabWidget(containerRightPanel_);
        rightPanelTabView_->setObjectName(QStringLiteral("rightPanelTabView"));
        rightPanelTabView_->setDocumentMode(true);
        // The words/search/media button in the transport bar chooses the tab.
        rightPanelTabView_->tabBar()->hide();
        column->addWidget(rightPanelTabView_);
    }
    panel->setProperty(kRightPanelTagProperty, tag);
    int at = 0;
    while (at < rightPanelTabView_->count() && rightPanelTabView_->widget(at)->property(kRightPanelTagProperty).toInt() < tag)
        ++at;
    rightPanelTabView_->insertTab(at, panel, title);

    QToolButton* segment = toolButton(title, wordsSearchMediaButton_);
    segment->setObjectName(title.toLower() + QStringLiteral("Segment"));
    segment->setCheckable(true);
    segment->setProperty(kRightPanelTagProperty, tag);
    connect(segment, &QToolButton::clicked, this, [this, tag] {
        if (callbacks_.perform)
            callbacks_.perform(QStringLiteral("selectRightPanelTab:"), tag);
    });
    static_cast<QHBoxLayout*>(wordsSearchMediaButton_->layout())->insertWidget(at, segment);
}

void MainWindow::selectRightPanelTab(int tag)
{
    if (!rightPanelTabView_ || rightPanelTabView_->count() == 0)
        return;
    for (int i = 0; i < rightPanelTabView_->count(); ++i)
        if (rightPanelTabView_->widget(i)->property(kRightPanelTagProperty).toInt() == tag)
            rightPanelTabView_->setCurrentIndex(i);
    const int shown = selectedRightPanelTab();
    for (QToolButton* segment : wordsSearchMediaButton_->findChildren<QToolButton*>())
        segment->setChecked(segment->property(kRightPanelTagProperty).toInt() == shown);
}

int MainWindow::selectedRightPanelTab() const
{
    if (!rightPanelTabView_ || !rightPanelTabView_->currentWidget())
        return -1;
    return rightPanelTabView_->currentWidget()->property(kRightPanelTagProperty).toInt();
}

void MainWindow::setEditingPanel(QWidget* panel)
{
    editingPanel_->layout()->addWidget(panel);
    editingPanel_->layout()->setAlignment(panel, Qt::AlignCenter);
}

void MainWindow::setTranscriptKeyFocus(QWidget* handler)
{
    transcriptKeyFocus_ = handler;
    // Invisible, but shown: a hidden widget cannot hold the focus.
    handler->setParent(containerTranscript_);
    handler->setGeometry(0, 0, 0, 0);
    handler->show();
}

void MainWindow::showServiceProblem(const QString& message, bool canRetry)
{
    problemBanner_->setText(message);
    problemBanner_->show();
    retryButton_->setVisible(canRetry);
}

void MainWindow::hideServiceProblem()
{
    problemBanner_->hide();
    retryButton_->hide();
}

void MainWindow::applyTranscriptToolbar(bool editingControls, bool navigationControls, bool animated)
{
    const TranscriptToolbarGeometry geometry = transcriptToolbarGeometry(editingControls, navigationControls);
    transcriptToolbarHeight_ = geometry.height;
    editingPanel_->setVisible(editingControls);
    transportPanel_->setVisible(navigationControls);
    if (!animated) {
        toolbarTranscript_->setFixedHeight(static_cast<int>(geometry.height));
        return;
    }
    auto* animation = new QPropertyAnimation(toolbarTranscript_, "minimumHeight", toolbarTranscript_);
    animation->setDuration(300);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setEndValue(static_cast<int>(geometry.height));
    connect(animation, &QPropertyAnimation::valueChanged, toolbarTranscript_,
            [this](const QVariant& value) { toolbarTranscript_->setMaximumHeight(value.toInt()); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

double MainWindow::transcriptToolbarHeight() const { return transcriptToolbarHeight_; }

void MainWindow::selectTab(int index)
{
    tabView_->setCurrentIndex(index);
    if (tabView_->currentWidget() == containerTranscript_)
        resetFocus();
}

void MainWindow::setTranscriptToolbarItemsVisible(bool visible, bool missingMedia)
{
    for (QWidget* item : {static_cast<QWidget*>(viewFilesButton_), static_cast<QWidget*>(timeDisplay_),
                          static_cast<QWidget*>(selectionDurationDisplay_), static_cast<QWidget*>(favoriteButton_),
                          playbackRateButtons_, wordsSearchMediaButton_, static_cast<QWidget*>(currentFileDisplay_)})
        item->setVisible(visible);
    missingMediaButton_->setVisible(visible && missingMedia);
}

void MainWindow::setViewingOnly(bool viewingOnly)
{
    viewingOnlyButton_->setVisible(viewingOnly);
    if (!viewingOnly) {
        paintBackground(toolbarTranscript_, kTranscriptToolbarColor);
        return;
    }
    // Light stripes across the toolbar's grey: the transcript can be read here but not changed.
    QPixmap stripes(16, 16);
    stripes.fill(kTranscriptToolbarColor);
    QPainter painter(&stripes);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kTranscriptToolbarColor.lighter(118), 4));
    painter.drawLine(QPointF(-4, 20), QPointF(20, -4));
    painter.drawLine(QPointF(-4, 4), QPointF(4, -4));
    painter.drawLine(QPointF(12, 20), QPointF(20, 12));
    painter.end();
    QPalette palette = toolbarTranscript_->palette();
    palette.setBrush(QPalette::Window, QBrush(stripes));
    toolbarTranscript_->setPalette(palette);
}

void MainWindow::setCurrentFileName(const QString& name) { currentFileDisplay_->setText(name); }

void MainWindow::setViewMenuChecks(bool files, bool transcript)
{
    action(QStringLiteral("showFiles:"))->setChecked(files);
    action(QStringLiteral("showTranscript:"))->setChecked(transcript);
}

void MainWindow::enableNavigationButtons(bool enabled)
{
    navigationAllowed_ = enabled;
    for (std::size_t i = 0; i < navigationButtons_.size(); ++i)
        navigationButtons_[i]->setEnabled(navigationAllowed_ && navigationStates_[i]);
}

void MainWindow::setNavigationButtonStates(const std::array<bool, 6>& enabled)
{
    navigationStates_ = enabled;
    enableNavigationButtons(navigationAllowed_);
}

void MainWindow::focusSignInEmail()
{
    if (callbacks_.focusSignInEmail)
        callbacks_.focusSignInEmail();
}

void MainWindow::focusFilesTable()
{
    if (callbacks_.focusFilesTable)
        callbacks_.focusFilesTable();
}

void MainWindow::closeAccountPopover()
{
    if (callbacks_.closeAccountPopover)
        callbacks_.closeAccountPopover();
}

void MainWindow::showFilesLoadingMessage()
{
    if (callbacks_.showFilesLoadingMessage)
        callbacks_.showFilesLoadingMessage();
}

std::shared_ptr<QVFile> MainWindow::selectedFile()
{
    return callbacks_.selectedFile ? callbacks_.selectedFile() : nullptr;
}

void MainWindow::resetFocus()
{
    if (transcriptKeyFocus_ && tabView_->currentWidget() == containerTranscript_)
        transcriptKeyFocus_->setFocus(Qt::OtherFocusReason);
    else
        centralWidget()->setFocus(Qt::OtherFocusReason);
}

void MainWindow::updateFilesLayout()
{
    const FilesLayout layout = filesLayout(tabView_->width(), tabView_->height());
    if (pendingList_)
        pendingList_->setGeometry(layout.pending.toRect());
    if (filesList_)
        filesList_->setGeometry(layout.files.toRect());
}

void MainWindow::updateToolbarItems()
{
    const ToolbarPositions positions =
        toolbarPositions(tabView_->width(), speakersBackground_->width(), containerRightPanel_->width());
    // The editing panel sits over the middle of the transcript, between the two side panels.
    editingRow_->setContentsMargins(std::max(0, static_cast<int>(positions.bottomTranscriptOffset)), 0, 0, 0);
}

void MainWindow::animateLogo()
{
    mainQueue_.after(0.3, [logo = QPointer<LogoView>(logo_)] {
        if (logo)
            logo->animate();
    });
}

void MainWindow::resetAnimatingLogo() { logo_->reset(); }

bool MainWindow::showCover()
{
    if (!isVisible())
        return false;
    QPixmap picture = centralWidget()->grab();
    if (picture.isNull())
        return false;
    cover_->setPixmap(picture);
    cover_->setGeometry(centralWidget()->rect());
    cover_->raise();
    cover_->show();
    return true;
}

bool MainWindow::isCoverShown() const { return cover_->isVisible(); }

void MainWindow::hideCover()
{
    cover_->hide();
    cover_->setPixmap(QPixmap());
}

void MainWindow::watchTranscriptScroll(std::function<void()> scrolled) { scrollWatcher_ = std::move(scrolled); }

void MainWindow::transcriptScrolled()
{
    if (auto watcher = std::exchange(scrollWatcher_, {}))
        watcher();
}

void MainWindow::showMissingMediaWarning(std::function<void(bool suppress)> answer)
{
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Quorvantelle"),
                                QStringLiteral("One or more media files are missing."), QMessageBox::Ok, this);
    box->setInformativeText(QStringLiteral("Missing files are shown with diagonal striped background in the Media tab. "
                                           "Click the Relink button to locate the missing file."));
    box->setCheckBox(new QCheckBox(QStringLiteral("Do not show this message again"), box));
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this,
            [box, answer = std::move(answer)](int) { answer(box->checkBox()->isChecked()); });
    box->open();
}

bool MainWindow::isOptionKeyDown() const { return QApplication::keyboardModifiers() & Qt::AltModifier; }

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (callbacks_.shouldClose && !callbacks_.shouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (callbacks_.resized)
        callbacks_.resized();
}

void MainWindow::fitRightPanel()
{
    // The speakers panel keeps at least what its rows need, whatever width it was given first.
    const int left = std::max(speakersBackground_->width(), speakersBackground_->minimumSizeHint().width());
    const int available = split_->width() - left - 2 * split_->handleWidth();
    const int right = std::clamp(available - kTranscriptAreaWidth, containerRightPanel_->minimumWidth(), kRightPanelWidth);
    split_->setSizes({left, std::max(0, available - right), right});
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == containerFiles_ && event->type() == QEvent::Resize)
        updateFilesLayout();
    if (watched == split_ && event->type() == QEvent::Resize && !rightPanelPlacedByUser_)
        fitRightPanel();
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace qv::shell
