// The search panel of the transcript screen: a speaker filter under a coloured header, the
// search field, and the results table or, instead of it, a message. Choosing a result seeks the
// player to it and plays it; while the media plays the panel follows playback through the
// results, dimming the words not yet heard and colouring the word being heard. Main thread only.
#pragma once

#include "model/AppDelegate.h"
#include "model/SearchServices.h"
#include "platform/foundation/Dispatcher.h"
#include "search/QVSearchResult.h"
#include "search/QVTableViewSearch.h"
#include "search/TranscriptSearch.h"

#include <QColor>
#include <QPointer>

#include <functional>
#include <memory>
#include <set>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QVariantAnimation;
class QWidget;

namespace qv::search {

class QVSearchViewController final : public SearchServices {
public:
    // What the panel needs of the transcript view beyond ViewServices.
    struct Services {
        // Forced, centred and scrolled highlight of the word at `milliseconds`.
        std::function<void(std::int64_t milliseconds)> highlightWordAtTime;
        // Stops playing a selection and hides its picture; the main player plays on normally.
        std::function<void()> stopSelectionPlayback;
        // Hands the keyboard back to the transcript.
        std::function<void()> resetFocus;
    };
    // Find menu tags.
    static constexpr int kFindTag = 1;
    static constexpr int kFindNextTag = 2;
    static constexpr int kFindPreviousTag = 3;

    QVSearchViewController(AppDelegate& ad, Dispatcher& main, Services services);
    ~QVSearchViewController() override;
    QVSearchViewController(const QVSearchViewController&) = delete;
    QVSearchViewController& operator=(const QVSearchViewController&) = delete;

    QWidget* view() const { return view_; }
    QLineEdit* searchField() const { return searchField_; }
    QComboBox* speakerPopUpButton() const { return speakerPopUpButton_; }
    QVTableViewSearch* tableView() const { return tableView_; }
    QWidget* noResultsDisplay() const { return noResultsDisplay_; }
    QLabel* noResultsMessage() const { return noResultsMessage_; }
    const std::vector<QVSearchResult>& searchResults() const { return searchResults_; }
    const std::shared_ptr<QVSpeaker>& filteredSpeaker() const { return filteredSpeaker_; }
    QColor speakerHeaderColor() const;

    // SearchServices
    void searchForString() override;
    void clearSearchField() override;
    void setSearchFieldEnabled(bool enabled) override;
    void buildSpeakerMenu() override;
    void clearSelectedRow() override;
    void highlightCurrentWordAtTime(std::int64_t milliseconds) override;
    bool isLocatingToSearchResult() const override { return isLocatingToSearchResult_; }

    // The speaker filter's action: `index` is the chosen item of the pop-up.
    void changedSpeakerPopUpButton(int index);
    // Find (1), Find Next (2), Find Previous (3).
    void performFindPanelAction(int tag);
    bool validateFindPanelAction(int tag) const;
    // Seeks to the result of `row` and plays it.
    void playResultAtRow(int row);
    // The words cell of `row`: its abstract, bold found words, dimmed unheard words and the
    // colour of the word being heard.
    QVTableViewSearch::WordsCell wordsCellForRow(int row) const;

private:
    void showMessage(const QString& message);
    void setNoResultsVisible(bool visible);
    void scrollToRow(int row);
    void animateScrollTo(double y);
    void returnPressed();

    AppDelegate& ad_;
    Dispatcher& main_;
    Services services_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    TranscriptSearch search_;
    std::vector<QVSearchResult> searchResults_;
    std::vector<std::shared_ptr<QVSpeaker>> menuSpeakers_;
    std::shared_ptr<QVSpeaker> filteredSpeaker_;
    bool isLocatingToSearchResult_ = false;
    // What playback coloured last: its row (-1 for none) and word.
    int currentRow_ = -1;
    std::shared_ptr<QVWord> currentWord_;
    QColor currentColor_;
    // Rows playback has left: they show their plain abstract until the next search.
    std::set<int> plainRows_;
    // Where the running scroll of the results goes; 0 when none ever started.
    double scrollTargetY_ = 0;

    QPointer<QWidget> view_;
    QWidget* speakerNameBackground_;
    QComboBox* speakerPopUpButton_;
    QLineEdit* searchField_;
    QVTableViewSearch* tableView_;
    QWidget* noResultsDisplay_;
    QLabel* noResultsMessage_;
    QVariantAnimation* scrollAnimation_;
};

}  // namespace qv::search
