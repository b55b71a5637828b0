#include "model/EditingTrace.h"
#include "search/QVCustomWordsViewController.h"

#include "model/EditingServices.h"
#include "model/ViewServices.h"
#include "platform/ui/PopupPlacement.h"
#include "search/CustomWords.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace qv::search {

namespace {

constexpr double kCopyConfirmationSeconds = 3;
const QString kViewFilePreference = QStringLiteral("QVCustomWordsViewFile");
const QString kViewAccountPreference = QStringLiteral("QVCustomWordsViewAccount");

}  // namespace

const QColor QVCustomWordsViewController::kBackgroundColor(60, 60, 60);
const QColor QVCustomWordsViewController::kEditingBackgroundColor(139, 139, 139);

QVCustomWordsViewController::QVCustomWordsViewController(AppDelegate& ad, Dispatcher& main, Preferences& preferences,
                                                         AlertPresenter& alerts, Services services)
    : ad_(ad), main_(main), preferences_(preferences), alerts_(alerts), services_(std::move(services)),
      viewFileWords_(preferences.boolForKey(kViewFilePreference)),
      viewAccountWords_(preferences.boolForKey(kViewAccountPreference)), view_(new QWidget)
{
    view_->setObjectName(QStringLiteral("customWordsPanel"));
    auto* column = new QVBoxLayout(view_);
    column->setContentsMargins(8, 10, 8, 8);
    column->setSpacing(6);

    auto* header = new QHBoxLayout();
    header->setSpacing(4);
    auto dropped = [this](int tag) {
        copySelectedWordsToDestination(tag == QVCustomWordsViewButton::kFileTag ? kCustomWordsFile : kCustomWordsAccount);
    };
    viewFileCustomWordsButton_ = new QVCustomWordsViewButton(QStringLiteral("File"), QVCustomWordsViewButton::kFileTag, dropped, view_);
    viewFileCustomWordsButton_->setObjectName(QStringLiteral("viewFileCustomWordsButton"));
    viewFileCustomWordsButton_->setChecked(viewFileWords_);
    viewAccountCustomWordsButton_ =
        new QVCustomWordsViewButton(QStringLiteral("Account"), QVCustomWordsViewButton::kAccountTag, dropped, view_);
    viewAccountCustomWordsButton_->setObjectName(QStringLiteral("viewAccountCustomWordsButton"));
    viewAccountCustomWordsButton_->setChecked(viewAccountWords_);
    editButton_ = new QToolButton(view_);
    editButton_->setObjectName(QStringLiteral("editCustomWordsButton"));
    editButton_->setCheckable(true);
    // A pencil, dark while on.
    editButton_->setText(QStringLiteral("\u270E"));
    editButton_->setToolTip(QStringLiteral("Select Custom Words to Delete"));
    // A narrow button: in edit mode it joins the others in the panel's header.
    deleteSelectedWordsButton_ = new QToolButton(view_);
    deleteSelectedWordsButton_->setText(QStringLiteral("\u2212"));
    deleteSelectedWordsButton_->setObjectName(QStringLiteral("deleteSelectedWordsButton"));
    deleteSelectedWordsButton_->setEnabled(false);
    deleteSelectedWordsButton_->hide();
    addWordsButton_ = new QToolButton(view_);
    addWordsButton_->setObjectName(QStringLiteral("addWordsButton"));
    addWordsButton_->setText(QStringLiteral("+"));
    // A list that is shown, and edit mode, read as pressed: dark, with white text.
    for (QToolButton* button : {static_cast<QToolButton*>(viewFileCustomWordsButton_),
                                static_cast<QToolButton*>(viewAccountCustomWordsButton_), editButton_,
                                deleteSelectedWordsButton_, addWordsButton_})
        button->setStyleSheet(QStringLiteral("QToolButton { padding: 2px 6px; border: 1px solid rgb(150, 150, 150); "
                                             "border-radius: 3px; background: rgb(248, 248, 248); } "
                                             "QToolButton:checked { background: rgb(80, 80, 80); color: white; } "
                                             "QToolButton:disabled { color: rgb(170, 170, 170); }"));
    for (QToolButton* button : view_->findChildren<QToolButton*>())
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    header->addWidget(viewFileCustomWordsButton_);
    header->addWidget(viewAccountCustomWordsButton_);
    header->addStretch();
    header->addWidget(deleteSelectedWordsButton_);
    header->addWidget(editButton_);
    header->addWidget(addWordsButton_);
    column->addLayout(header);

    QVCustomWordsCollectionView::Delegate delegate;
    delegate.numberOfItems = [this] { return int(allWords_.size()); };
    delegate.wordAtIndex = [this](int index) { return allWords_.value(index); };
    delegate.shouldSelectItems = [this] { return !ad_.isViewingOnly; };
    delegate.didSelectItems = [this](const std::set<int>& indexes) { didSelectItems(indexes); };
    delegate.didDeselectItems = [this](const std::set<int>&) {
        if (isEditing_)
            updateDeleteButton();
    };
    delegate.draggingSessionWillBegin = [this](const std::set<int>& indexes) { draggingSessionWillBegin(indexes); };
    delegate.draggingSessionEnded = [this] { draggingSessionEnded(); };
    delegate.item.tooltipForWord = [this](const QString& word) {
        return viewFileWords_ && viewAccountWords_ ? getTooltipForWord(word) : QString();
    };
    delegate.item.hoverColors = [this] { return !ad_.isViewingOnly && !isEditing_; };

    auto* area = new QGridLayout();
    auto* scroll = new QScrollArea(view_);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    collectionView_ = new QVCustomWordsCollectionView(std::move(delegate), scroll);
    collectionView_->setBackgroundColor(kBackgroundColor);
    scroll->setWidget(collectionView_);
    noCustomWordsMessage_ = new QLabel(QStringLiteral("No Custom Words"), view_);
    noCustomWordsMessage_->setObjectName(QStringLiteral("noCustomWordsMessage"));
    noCustomWordsMessage_->setStyleSheet(QStringLiteral("color: rgb(170, 170, 170);"));
    area->addWidget(scroll, 0, 0);
    area->addWidget(noCustomWordsMessage_, 0, 0, Qt::AlignCenter);
    column->addLayout(area, 1);

    addWordsMenu_ = new QMenu(view_);
    addWordsMenu_->setObjectName(QStringLiteral("addWordsMenu"));

    QObject::connect(viewFileCustomWordsButton_, &QToolButton::toggled, view_, [this](bool on) { changedViewFileWords(on); });
    QObject::connect(viewAccountCustomWordsButton_, &QToolButton::toggled, view_,
                     [this](bool on) { changedViewAccountWords(on); });
    // The add button acts on mouse-down, like a pop-up.
    QObject::connect(addWordsButton_, &QToolButton::pressed, view_, [this] { pressedAddWordsButton(); });
    QObject::connect(editButton_, &QToolButton::toggled, view_, [this](bool on) { pressedEditButton(on); });
    QObject::connect(deleteSelectedWordsButton_, &QToolButton::clicked, view_, [this] { pressedDeleteSelectedWordsButton(); });
    refreshCustomWordsDisplayWithAnimation(false);
    ad_.customWordsServices = this;
}

QVCustomWordsViewController::~QVCustomWordsViewController()
{
    if (ad_.customWordsServices == this)
        ad_.customWordsServices = nullptr;
    delete popoverCopyConfirmation_.data();
    // The widgets call back into this controller: they go with it, wherever they are shown.
    delete view_.data();
}

void QVCustomWordsViewController::refreshCustomWordsDisplayWithAnimation(bool animated)
{
    const QStringList old = allWords_;
    allWords_ = shownCustomWords(ad_, viewFileWords_, viewAccountWords_);
    if (!viewFileWords_ && !viewAccountWords_) {
        // The message keeps whatever it showed.
        collectionView_->reloadData();
        return;
    }
    if (!animated) {
        collectionView_->reloadData();
    } else {
        std::set<int> added;
        std::set<int> removed;
        for (int i = 0; i < allWords_.size(); ++i)
            if (!old.contains(allWords_[i]))
                added.insert(i);
        for (int i = 0; i < old.size(); ++i)
            if (!allWords_.contains(old[i]))
                removed.insert(i);
        // Tiles are inserted or deleted only where the change is all one way; a change that
        // adds and removes at once would leave them out of step with the words.
        if (!added.empty() && removed.empty())
            collectionView_->insertItems(added);
        else if (added.empty() && !removed.empty())
            collectionView_->deleteItems(removed);
        else if (!added.empty())
            collectionView_->reloadData();
    }
    noCustomWordsMessage_->setVisible(allWords_.isEmpty());
}

QString QVCustomWordsViewController::getTooltipForWord(const QString& word) const
{
    return tooltipForCustomWord(ad_, word);
}

void QVCustomWordsViewController::changedViewFileWords(bool on)
{
    viewFileWords_ = on;
    preferences_.setObject(kViewFilePreference, on);
    refreshCustomWordsDisplayWithAnimation(true);
}

void QVCustomWordsViewController::changedViewAccountWords(bool on)
{
    viewAccountWords_ = on;
    preferences_.setObject(kViewAccountPreference, on);
    refreshCustomWordsDisplayWithAnimation(true);
}

QString QVCustomWordsViewController::selectedTranscriptText() const
{
    QStringList names;
    if (ad_.editingServices)
        for (const auto& word : ad_.editingServices->getSelectedWords())
            names << word->name();
    return normalizedCustomWord(names.join(' '));
}

void QVCustomWordsViewController::pressedAddWordsButton()
{
    addWordsMenu_->clear();
    const std::size_t selected = ad_.editingServices ? ad_.editingServices->getSelectedWords().size() : 0;
    if (selected == 0 || selected > std::size_t(kMaxWordsPerEntry)) {
        selectedAddNewWordsMenu();
        return;
    }
    const QString text = selectedTranscriptText();
    addWordsMenu_->addAction(QStringLiteral("Add \u201C%1\u201D to File").arg(text), [this] { selectedAddToFileMenu(); });
    addWordsMenu_->addAction(QStringLiteral("Add \u201C%1\u201D to Account").arg(text), [this] { selectedAddToAccountMenu(); });
    addWordsMenu_->addAction(QStringLiteral("Add New Words"), [this] { selectedAddNewWordsMenu(); });
    // Below the button, moved in where it would hang past the window's edge.
    addWordsMenu_->popup(popupOriginInsideWindow(addWordsButton_, addWordsButton_->mapToGlobal(QPoint(-5, 6)),
                                                 addWordsMenu_->sizeHint()));
}

void QVCustomWordsViewController::addSelectedWords(const QString& destination)
{
    if (!ad_.editingServices || ad_.editingServices->getSelectedWords().empty())
        return;
    const QString text = selectedTranscriptText();
    if (destination == kCustomWordsFile) {
        if (ad_.currentFile)
            addCustomWord(ad_.currentFile->customWords, ad_.currentFile->customWordsRef, text);
    } else {
        addCustomWord(ad_.userCustomWords, ad_.userCustomWordsRef, text);
    }
}

void QVCustomWordsViewController::selectedAddToFileMenu() { addSelectedWords(kCustomWordsFile); }

void QVCustomWordsViewController::selectedAddToAccountMenu() { addSelectedWords(kCustomWordsAccount); }

QVCustomWordsAddViewController& QVCustomWordsViewController::popoverViewController()
{
    if (!popoverViewController_)
        popoverViewController_ = std::make_unique<QVCustomWordsAddViewController>(
            preferences_, [this](const QStringList& entries, const QStringList& destinations) {
                addNewWords(entries, destinations);
            });
    return *popoverViewController_;
}

void QVCustomWordsViewController::selectedAddNewWordsMenu() { popoverViewController().showRelativeTo(addWordsButton_); }

void QVCustomWordsViewController::addNewWords(const QStringList& entries, const QStringList& destinations)
{
    search::addNewWords(ad_, entries, destinations);
}

void QVCustomWordsViewController::pressedEditButton(bool on)
{
    isEditing_ = on;
    qv::appendToEditingTrace(ad_.debugCharacterEditing,
                             QStringLiteral("\nself.isEditing set to %1 in pressedEditButton:\n").arg(on ? 1 : 0));
    if (on)
        enterEditingMode();
    else
        exitEditingMode();
}

void QVCustomWordsViewController::enterEditingMode()
{
    collectionView_->setBackgroundColor(kEditingBackgroundColor);
    collectionView_->setAllowsMultipleSelection(true);
    deleteSelectedWordsButton_->show();
    deleteSelectedWordsButton_->setToolTip(QStringLiteral("Delete Selected Custom Word(s)"));
}

void QVCustomWordsViewController::exitEditingMode()
{
    collectionView_->setBackgroundColor(kBackgroundColor);
    collectionView_->setAllowsMultipleSelection(false);
    deleteSelectedWordsButton_->hide();
    collectionView_->deselectAll();
    deleteSelectedWordsButton_->setEnabled(false);
    deleteSelectedWordsButton_->setToolTip({});
}

void QVCustomWordsViewController::updateDeleteButton()
{
    deleteSelectedWordsButton_->setEnabled(!collectionView_->selectionIndexes().empty());
}

void QVCustomWordsViewController::didSelectItems(const std::set<int>& indexes)
{
    if (isEditing_) {
        updateDeleteButton();
        if (services_.resetFocus)
            services_.resetFocus();
        return;
    }
    const int index = *indexes.begin();
    const QString word = allWords_.value(index);
    collectionView_->deselectAll();
    if (index < int(collectionView_->items().size()))
        collectionView_->items()[std::size_t(index)]->flash();
    if (word.isEmpty() || !ad_.editingServices)
        return;
    if (ad_.isEditing) {
        ad_.editingServices->insertStringIntoTextView(word);
        return;
    }
    ad_.editingServices->editWords(ad_.editingServices->getSelectedWords(), word);
    if (ad_.viewServices)
        ad_.viewServices->resumePlayback();
    if (services_.resetFocus)
        services_.resetFocus();
}

void QVCustomWordsViewController::pressedDeleteSelectedWordsButton() { deleteSelectedCustomWords(); }

void QVCustomWordsViewController::deleteSelectedCustomWords()
{
    if (collectionView_->selectionIndexes().empty())
        return;
    Alert alert;
    alert.messageText = QStringLiteral("Are you sure you want to delete the selected custom words?");
    alert.style = AlertStyle::Informational;
    alert.buttons = {QStringLiteral("OK"), QStringLiteral("Cancel")};
    alerts_.beginSheet(alert, [this, alive = std::weak_ptr<bool>(alive_)](int returnCode) {
        if (alive.expired() || returnCode != kAlertFirstButtonReturn)
            return;
        // The selection as it is now: words that arrived meanwhile moved the tiles, not it.
        for (int index : collectionView_->selectionIndexes()) {
            const QString word = allWords_.value(index);
            if (viewAccountWords_)
                removeCustomWord(ad_.userCustomWords, ad_.userCustomWordsRef, word);
            if (viewFileWords_ && ad_.currentFile)
                removeCustomWord(ad_.currentFile->customWords, ad_.currentFile->customWordsRef, word);
        }
        collectionView_->deselectAll();
        updateDeleteButton();
    });
}

void QVCustomWordsViewController::draggingSessionWillBegin(const std::set<int>& indexes)
{
    indexPathsOfItemsBeingDragged_ = indexes;
}

void QVCustomWordsViewController::draggingSessionEnded() { indexPathsOfItemsBeingDragged_.clear(); }

void QVCustomWordsViewController::copySelectedWordsToDestination(const QString& destination)
{
    QStringList words;
    for (int index : indexPathsOfItemsBeingDragged_)
        if (index >= 0 && index < allWords_.size())
            words << allWords_[index];
    addNewWords(words, {destination});
    const bool toFile = destination == kCustomWordsFile;
    QWidget* anchor = toFile ? static_cast<QWidget*>(viewFileCustomWordsButton_) : viewAccountCustomWordsButton_;
    const QString text = QStringLiteral("Copied %1 words to %2").arg(words.size()).arg(toFile ? "File" : "Account");
    if (!services_.showMessage)
        return;
    delete popoverCopyConfirmation_.data();
    popoverCopyConfirmation_ = services_.showMessage(anchor, text);
    main_.after(kCopyConfirmationSeconds, [this, alive = std::weak_ptr<bool>(alive_), shown = popoverCopyConfirmation_] {
        if (alive.expired() || !shown)
            return;
        if (popoverCopyConfirmation_ == shown)
            popoverCopyConfirmation_ = nullptr;
        shown->hide();
        shown->deleteLater();
    });
}

}  // namespace qv::search
