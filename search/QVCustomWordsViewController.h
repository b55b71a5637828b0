// The custom words panel of the transcript screen: the union of the open file's and the
// account's custom words that the user chose to see, as tiles. A tile clicked goes into the
// transcript; words come from the transcript's selection or the add popover; tiles dropped on a
// list's button are copied into that list; in edit mode selected tiles are deleted from the
// shown lists. The panel writes to the service only: the account observers fill the mirrors
// and ask it to refresh. Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "model/CustomWordsServices.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/ui/Alert.h"
#include "search/QVCustomWordsAddViewController.h"
#include "search/QVCustomWordsCollectionView.h"
#include "search/QVCustomWordsViewButton.h"

#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <set>

class QLabel;
class QMenu;
class QToolButton;
class QWidget;

namespace qv::search {

class QVCustomWordsViewController final : public CustomWordsServices {
public:
    struct Services {
        // Hands the keyboard back to the transcript.
        std::function<void()> resetFocus;
        // Shows `text` as a transient message under `anchor`, wrapped at 300 points; returns
        // it, or none. The panel closes and deletes it.
        std::function<QWidget*(QWidget* anchor, const QString& text)> showMessage;
    };
    static const QColor kBackgroundColor;
    static const QColor kEditingBackgroundColor;

    QVCustomWordsViewController(AppDelegate& ad, Dispatcher& main, Preferences& preferences, AlertPresenter& alerts,
                                Services services);
    ~QVCustomWordsViewController() override;
    QVCustomWordsViewController(const QVCustomWordsViewController&) = delete;
    QVCustomWordsViewController& operator=(const QVCustomWordsViewController&) = delete;

    QWidget* view() const { return view_; }
    QVCustomWordsCollectionView* collectionView() const { return collectionView_; }
    QVCustomWordsViewButton* viewFileCustomWordsButton() const { return viewFileCustomWordsButton_; }
    QVCustomWordsViewButton* viewAccountCustomWordsButton() const { return viewAccountCustomWordsButton_; }
    QToolButton* addWordsButton() const { return addWordsButton_; }
    QToolButton* editButton() const { return editButton_; }
    QToolButton* deleteSelectedWordsButton() const { return deleteSelectedWordsButton_; }
    QLabel* noCustomWordsMessage() const { return noCustomWordsMessage_; }
    QMenu* addWordsMenu() const { return addWordsMenu_; }
    // The add popover, made on first use.
    QVCustomWordsAddViewController& popoverViewController();
    QWidget* popoverCopyConfirmation() const { return popoverCopyConfirmation_; }
    const QStringList& allWords() const { return allWords_; }
    bool isEditing() const { return isEditing_; }

    // CustomWordsServices
    bool isEditingCustomWords() const override { return isEditing_; }
    void deleteSelectedCustomWords() override;
    bool viewFileWords() const { return viewFileWords_; }
    bool viewAccountWords() const { return viewAccountWords_; }

    // Rebuilds the shown words from the mirrors. Animated, a change that only adds or only
    // removes words changes just those tiles; any other change reloads them all.
    void refreshCustomWordsDisplayWithAnimation(bool animated);
    QString getTooltipForWord(const QString& word) const;
    // The list toggles: store the choice and refresh.
    void changedViewFileWords(bool on);
    void changedViewAccountWords(bool on);
    // The add button: a menu for 1 to 5 selected transcript words, else the add popover.
    void pressedAddWordsButton();
    void selectedAddToFileMenu();
    void selectedAddToAccountMenu();
    void selectedAddNewWordsMenu();
    void addNewWords(const QStringList& entries, const QStringList& destinations);
    // The edit toggle and the delete button of edit mode.
    void pressedEditButton(bool on);
    void pressedDeleteSelectedWordsButton();
    // Tiles dropped on a list's button: "file" or "account".
    void copySelectedWordsToDestination(const QString& destination);
    // The collection view's drag of tiles.
    void draggingSessionWillBegin(const std::set<int>& indexes);
    void draggingSessionEnded();

private:
    void didSelectItems(const std::set<int>& indexes);
    void updateDeleteButton();
    void enterEditingMode();
    void exitEditingMode();
    void addSelectedWords(const QString& destination);
    QString selectedTranscriptText() const;

    AppDelegate& ad_;
    Dispatcher& main_;
    Preferences& preferences_;
    AlertPresenter& alerts_;
    Services services_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    QStringList allWords_;
    std::set<int> indexPathsOfItemsBeingDragged_;
    bool isEditing_ = false;
    bool viewFileWords_;
    bool viewAccountWords_;

    QPointer<QWidget> view_;
    QVCustomWordsViewButton* viewFileCustomWordsButton_;
    QVCustomWordsViewButton* viewAccountCustomWordsButton_;
    QToolButton* addWordsButton_;
    QToolButton* editButton_;
    QToolButton* deleteSelectedWordsButton_;
    QVCustomWordsCollectionView* collectionView_;
    QLabel* noCustomWordsMessage_;
    QMenu* addWordsMenu_;
    std::unique_ptr<QVCustomWordsAddViewController> popoverViewController_;
    QPointer<QWidget> popoverCopyConfirmation_;
};

}  // namespace qv::search
