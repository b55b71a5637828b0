#include "search/QVSearchViewController.h"

#include "model/EditingServices.h"
#include "model/SpeakerServices.h"
#include "model/ViewServices.h"

#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <cmath>

namespace qv::search {

namespace {

const QColor kHeaderGrey(128, 128, 128);
constexpr int kAnySpeakerTag = 0;
constexpr int kSpeakerTag = -1;
constexpr int kTagRole = Qt::UserRole + 1;
constexpr int kScrollMilliseconds = 400;

// The coloured tag behind the speaker filter, rounded on its left corners.
class SpeakerNameBackground final : public QWidget {
public:
    using QWidget::QWidget;
    QColor color = kHeaderGrey;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(QVTableViewSearch::leftRoundedTag(rect()), color);
    }
};

// Runs `began` when the field gets the keyboard.
class BeginEditingFilter final : public QObject {
public:
    BeginEditingFilter(QObject* parent, std::function<void()> began) : QObject(parent), began_(std::move(began)) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn)
            began_();
        return false;
    }

private:
    std::function<void()> began_;
};

}  // namespace

QVSearchViewController::QVSearchViewController(AppDelegate& ad, Dispatcher& main, Services services)
    : ad_(ad), main_(main), services_(std::move(services)), view_(new QWidget)
{
    view_->setObjectName(QStringLiteral("searchPanel"));
    auto* column = new QVBoxLayout(view_);
    column->setContentsMargins(8, 10, 8, 8);
    column->setSpacing(6);

    auto* header = new QHBoxLayout();
    header->setSpacing(6);
    speakerNameBackground_ = new SpeakerNameBackground(view_);
    speakerNameBackground_->setObjectName(QStringLiteral("speakerNameBackground"));
    speakerNameBackground_->setFixedSize(110, 24);
    auto* tag = new QHBoxLayout(speakerNameBackground_);
    tag->setContentsMargins(2, 0, 0, 0);
    speakerPopUpButton_ = new QComboBox(speakerNameBackground_);
    speakerPopUpButton_->setObjectName(QStringLiteral("speakerPopUpButton"));
    speakerPopUpButton_->setFrame(false);
    speakerPopUpButton_->setStyleSheet(QStringLiteral("QComboBox { background: transparent; color: white; }"));
    tag->addWidget(speakerPopUpButton_);
    header->addWidget(speakerNameBackground_);
    searchField_ = new QLineEdit(view_);
    searchField_->setObjectName(QStringLiteral("searchField"));
    searchField_->setPlaceholderText(QStringLiteral("Search"));
    searchField_->setClearButtonEnabled(true);
    header->addWidget(searchField_, 1);
    column->addLayout(header);

    QVTableViewSearch::Source source;
    source.rowCount = [this] { return static_cast<int>(searchResults_.size()); };
    source.speakerCell = [this](int row) {
        QVTableViewSearch::SpeakerCell cell;
        if (row < 0 || row >= static_cast<int>(searchResults_.size()))
            return cell;
        const auto& speaker = searchResults_[static_cast<std::size_t>(row)].speaker;
        cell.name = speaker && !speaker->name.isEmpty() ? speaker->name : QStringLiteral("Unknown Speaker");
        cell.color = speaker && ad_.speakerServices ? ad_.speakerServices->colorForColorName(speaker->color) : QColor();
        if (!cell.color.isValid())
            cell.color = ad_.speakerColorUnknown;
        return cell;
    };
    source.wordsCell = [this](int row) { return wordsCellForRow(row); };
    tableView_ = new QVTableViewSearch(std::move(source), view_);
    tableView_->setReselected([this](int row) { playResultAtRow(row); });
    tableView_->setSelectionChanged([this](int row) { playResultAtRow(row); });
    column->addWidget(tableView_, 1);

    noResultsDisplay_ = new QWidget(view_);
    noResultsDisplay_->setObjectName(QStringLiteral("noResultsDisplay"));
    auto* message = new QVBoxLayout(noResultsDisplay_);
    noResultsMessage_ = new QLabel(QString::fromLatin1(kNoSearchResultsMessage), noResultsDisplay_);
    noResultsMessage_->setObjectName(QStringLiteral("noResultsMessage"));
    noResultsMessage_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    noResultsMessage_->setStyleSheet(QStringLiteral("color: #a0a0a0;"));
    message->addWidget(noResultsMessage_);
    message->addStretch(1);
    column->addWidget(noResultsDisplay_, 1);
    setNoResultsVisible(true);

    scrollAnimation_ = new QVariantAnimation(view_);
    scrollAnimation_->setDuration(kScrollMilliseconds);
    scrollAnimation_->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(scrollAnimation_, &QVariantAnimation::valueChanged, view_,
                     [this](const QVariant& value) { tableView_->verticalScrollBar()->setValue(value.toInt()); });

    // The search runs again as the user types; Return goes on to the first result.
    QObject::connect(searchField_, &QLineEdit::textChanged, view_, [this] { searchForString(); });
    QObject::connect(searchField_, &QLineEdit::returnPressed, view_, [this] { returnPressed(); });
    searchField_->installEventFilter(new BeginEditingFilter(searchField_, [this] {
        if (ad_.editingServices)
            ad_.editingServices->clearSelection();
    }));
    QObject::connect(speakerPopUpButton_, &QComboBox::activated, view_, [this](int index) { changedSpeakerPopUpButton(index); });
    buildSpeakerMenu();
}

QVSearchViewController::~QVSearchViewController()
{
    if (ad_.searchServices == this)
        ad_.searchServices = nullptr;
    // The widgets call back into this controller: they go with it, wherever they are shown.
    delete view_.data();
}

QColor QVSearchViewController::speakerHeaderColor() const
{
    return static_cast<SpeakerNameBackground*>(speakerNameBackground_)->color;
}

void QVSearchViewController::searchForString()
{
    const bool typing = searchField_->hasFocus();
    SearchOutcome outcome = search_.search(searchField_->text(), typing, ad_.words, ad_.speakerRanges, filteredSpeaker_);
    searchResults_ = std::move(outcome.results);
    currentRow_ = -1;
    plainRows_.clear();
    showMessage(outcome.message);
    if (outcome.noResultsVisible)
        setNoResultsVisible(*outcome.noResultsVisible);
    if (outcome.resetFocus && services_.resetFocus)
        services_.resetFocus();
    main_.async([this, alive = std::weak_ptr<bool>(alive_)] {
        if (!alive.expired())
            tableView_->reloadData();
    });
}

void QVSearchViewController::clearSearchField()
{
    const QSignalBlocker blocker(searchField_);
    searchField_->clear();
}

void QVSearchViewController::setSearchFieldEnabled(bool enabled) { searchField_->setEnabled(enabled); }

void QVSearchViewController::showMessage(const QString& message) { noResultsMessage_->setText(message); }

void QVSearchViewController::setNoResultsVisible(bool visible)
{
    noResultsDisplay_->setVisible(visible);
    tableView_->setVisible(!visible);
}

void QVSearchViewController::buildSpeakerMenu()
{
    const QSignalBlocker blocker(speakerPopUpButton_);
    speakerPopUpButton_->clear();
    menuSpeakers_.clear();
    speakerPopUpButton_->addItem(QStringLiteral("Any Speaker"));
    speakerPopUpButton_->setItemData(0, kAnySpeakerTag, kTagRole);
    speakerPopUpButton_->insertSeparator(1);
    menuSpeakers_.resize(2);
    if (ad_.speakerServices) {
        for (const auto& speaker : ad_.speakerServices->speakersList()) {
            speakerPopUpButton_->addItem(speaker->name);
            speakerPopUpButton_->setItemData(speakerPopUpButton_->count() - 1, kSpeakerTag, kTagRole);
            menuSpeakers_.push_back(speaker);
        }
    }
    // The filter stays as it was; the pop-up shows it while its speaker is still listed.
    const auto shown = std::find(menuSpeakers_.begin(), menuSpeakers_.end(), filteredSpeaker_);
    speakerPopUpButton_->setCurrentIndex(filteredSpeaker_ && shown != menuSpeakers_.end()
                                             ? static_cast<int>(shown - menuSpeakers_.begin())
                                             : 0);
}

void QVSearchViewController::changedSpeakerPopUpButton(int index)
{
    auto* background = static_cast<SpeakerNameBackground*>(speakerNameBackground_);
    if (index >= 0 && index < static_cast<int>(menuSpeakers_.size()) && speakerPopUpButton_->itemData(index, kTagRole).toInt() != kAnySpeakerTag) {
        filteredSpeaker_ = menuSpeakers_[static_cast<std::size_t>(index)];
        const QColor color = ad_.speakerServices && filteredSpeaker_ ? ad_.speakerServices->colorForColorName(filteredSpeaker_->color) : QColor();
        background->color = color.isValid() ? color : kHeaderGrey;
    } else {
        filteredSpeaker_ = nullptr;
        background->color = kHeaderGrey;
    }
    background->update();
    searchForString();
}

void QVSearchViewController::clearSelectedRow()
{
    const QSignalBlocker blocker(tableView_->selectionModel());
    tableView_->clearSelectedRow();
    tableView_->viewport()->update();
}

void QVSearchViewController::playResultAtRow(int row)
{
    if (row < 0 || row >= static_cast<int>(searchResults_.size()) || !ad_.viewServices)
        return;
    const std::int64_t t = searchResults_[static_cast<std::size_t>(row)].startTime;
    ad_.viewServices->stopPlayback();
    isLocatingToSearchResult_ = true;
    ad_.viewServices->seekToMilliseconds(t, [this, t, alive = std::weak_ptr<bool>(alive_)](bool) {
        if (alive.expired())
            return;
        ad_.playbackStartTime = MediaTime(t, 1000);
        if (services_.stopSelectionPlayback)
            services_.stopSelectionPlayback();
        isLocatingToSearchResult_ = false;
        if (services_.highlightWordAtTime)
            services_.highlightWordAtTime(t);
        if (ad_.viewServices)
            ad_.viewServices->playPauseToggleScrollToGrid(false);
    });
}

QVTableViewSearch::WordsCell QVSearchViewController::wordsCellForRow(int row) const
{
    QVTableViewSearch::WordsCell cell;
    if (row < 0 || row >= static_cast<int>(searchResults_.size()))
        return cell;
    const QVSearchResult& result = searchResults_[static_cast<std::size_t>(row)];
    cell.text = result.abstract;
    cell.bold = result.boldRanges;
    if (plainRows_.count(row))
        return cell;
    for (std::size_t i = 0; i < result.words.size() && i < result.wordRanges.size(); ++i)
        if (result.words[i]->status == 0)
            cell.colors.push_back({result.wordRanges[i], ad_.dimmedTextColor});
    if (row == currentRow_ && currentWord_) {
        for (std::size_t i = 0; i < result.words.size() && i < result.wordRanges.size(); ++i)
            if (result.words[i] == currentWord_)
                cell.colors.push_back({result.wordRanges[i], currentColor_});
    }
    return cell;
}

void QVSearchViewController::highlightCurrentWordAtTime(std::int64_t t)
{
    if (searchResults_.empty())
        return;
    int row = -1;
    for (std::size_t i = 0; i < searchResults_.size(); ++i) {
        if (searchResults_[i].startTime <= t && t < searchResults_[i].endTime) {
            row = static_cast<int>(i);
            break;
        }
    }
    if (currentRow_ >= 0) {
        plainRows_.insert(currentRow_);
        tableView_->reloadRow(currentRow_);
        currentRow_ = -1;
    }
    if (row < 0)
        return;
    currentRow_ = row;
    plainRows_.erase(row);
    const QVSearchResult& result = searchResults_[static_cast<std::size_t>(row)];
    const auto heard = std::find_if(result.words.begin(), result.words.end(),
                                    [t](const auto& word) { return word->start <= t && t < word->end; });
    if (heard != result.words.end()) {
        currentWord_ = *heard;
        currentColor_ = ad_.brandColor;
    } else {
        currentColor_ = ad_.brandColor;
        currentColor_.setAlphaF(0.5f);
    }
    tableView_->reloadRow(row);
    scrollToRow(row);
}

// Keeps the result being heard in view: a row above the top, or near the bottom, is scrolled
// to with an animation; while the user scrubs, the row is put in the middle at once.
void QVSearchViewController::scrollToRow(int row)
{
    constexpr int pitch = QVTableViewSearch::kRowPitch;
    const double rowTop = double(row) * pitch;
    const double visibleTop = tableView_->verticalScrollBar()->value();
    const double height = tableView_->height();
    if (ad_.isScrubbingMedia) {
        scrollAnimation_->stop();
        tableView_->verticalScrollBar()->setValue(int(rowTop - std::round(height * 0.5) - 10));
        return;
    }
    const double d = rowTop - visibleTop;
    if (d < pitch) {
        if (scrollTargetY_ != rowTop - pitch)
            animateScrollTo(rowTop - pitch);
        return;
    }
    const double limit = std::floor(height / pitch) * pitch - 3 * pitch;
    if (d > limit && scrollTargetY_ != rowTop - limit)
        animateScrollTo(rowTop - limit);
}

void QVSearchViewController::animateScrollTo(double y)
{
    scrollAnimation_->stop();
    scrollTargetY_ = y;
    scrollAnimation_->setStartValue(tableView_->verticalScrollBar()->value());
    scrollAnimation_->setEndValue(int(y));
    scrollAnimation_->start();
}

void QVSearchViewController::performFindPanelAction(int tag)
{
    if (tag == kFindTag) {
        searchField_->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    if (tag != kFindNextTag && tag != kFindPreviousTag)
        return;
    const int row = tableView_->selectedRow() + (tag == kFindNextTag ? 1 : -1);
    main_.async([this, row, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired())
            return;
        tableView_->selectRow(row);
        tableView_->setFocus(Qt::OtherFocusReason);
    });
}

bool QVSearchViewController::validateFindPanelAction(int tag) const
{
    const int selected = tableView_->selectedRow();
    const int count = static_cast<int>(searchResults_.size());
    if (tag == kFindNextTag)
        return count > 0 && selected >= 0 && selected < count - 1;
    if (tag == kFindPreviousTag)
        return count > 0 && selected > 0;
    return true;
}

void QVSearchViewController::returnPressed()
{
    main_.async([this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired())
            return;
        tableView_->selectRow(0);
        tableView_->setFocus(Qt::OtherFocusReason);
    });
}

}  // namespace qv::search
