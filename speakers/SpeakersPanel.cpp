#include "speakers/SpeakersPanel.h"

#include "model/AppDelegate.h"
#include "model/TextUtilities.h"
#include "platform/foundation/TextCompare.h"
#include "platform/ui/Alert.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakerPalette.h"
#include "speakers/SpeakersController.h"

#include <algorithm>
#include <cstdlib>

namespace qv::speakers {

RangeCountStyle rangeCountStyle(std::int64_t rangeCount)
{
    return rangeCount <= 99 ? RangeCountStyle{13, -1} : RangeCountStyle{11, -3};
}

QString colorNameForTag(int tag)
{
    const QStringList& names = paletteColorNames();
    return tag >= 0 && tag < names.size() ? names.at(tag) : QString();
}

void SpeakersPanel::buildSpeakersList()
{
    list_.clear();
    for (const auto& speaker : c_.ad().speakers)
        if (!speaker->deleted)
            list_.push_back(speaker);
    sortSpeakersList();
}

void SpeakersPanel::sortSpeakersList()
{
    std::stable_sort(list_.begin(), list_.end(),
                     [](const auto& a, const auto& b) { return localizedStandardCompare(a->name, b->name) < 0; });
}

void SpeakersPanel::reloadTable()
{
    if (table_)
        table_->reloadData();
}

int SpeakersPanel::rowOf(const std::shared_ptr<QVSpeaker>& speaker) const
{
    const auto found = std::find(list_.begin(), list_.end(), speaker);
    return found == list_.end() ? -1 : static_cast<int>(found - list_.begin());
}

void SpeakersPanel::refreshRangeCount(SpeakerPanelCell& cell)
{
    if (const auto speaker = cell.speaker())
        cell.setRangeCount(speaker->rangeCount, rangeCountStyle(speaker->rangeCount));
}

void SpeakersPanel::fillCell(SpeakerPanelCell& cell, int row)
{
    if (row < 0 || row >= static_cast<int>(list_.size()))
        return;
    const auto speaker = list_[static_cast<std::size_t>(row)];
    cell.setNameText(speaker->name);
    cell.setRangeCount(speaker->rangeCount, rangeCountStyle(speaker->rangeCount));
    // A colour name this version does not know shows as the unknown speaker's grey.
    const QColor color = c_.records().colorForColorName(speaker->color);
    cell.setColor(color.isValid() ? color : c_.ad().speakerColorUnknown);
    cell.setSpeaker(speaker);
    cell.setEditable(speaker->color != kColorNameGray);
    if (speaker == pendingNewSpeaker_) {
        pendingNewSpeaker_ = nullptr;
        c_.main().async([this, speaker] {
            const int at = rowOf(speaker);
            if (!table_ || at < 0)
                return;
            table_->scrollRowToVisible(at);
            if (SpeakerPanelCell* shown = table_->cellForRow(at, false))
                shown->beginEditingName();
        });
    }
}

void SpeakersPanel::refreshName(SpeakerPanelCell* cell)
{
    if (!cell)
        return;
    if (const auto speaker = cell->speaker(); speaker && cell->nameText() != speaker->name)
        cell->setNameText(speaker->name);
}

void SpeakersPanel::refreshSpeakersWithAnimation()
{
    if (!table_) {
        buildSpeakersList();
        c_.host().buildSpeakerMenu();
        return;
    }
    SpeakersTableView& table = *table_;
    const std::vector<std::shared_ptr<QVSpeaker>> old = list_;
    bool matches = table.numberOfRows() == static_cast<int>(old.size());
    for (int i = 0; matches && i < static_cast<int>(old.size()); ++i) {
        SpeakerPanelCell* cell = table.cellForRow(i, true);
        matches = cell && cell->speaker() == old[static_cast<std::size_t>(i)];
    }
    if (!matches) {
        buildSpeakersList();
        table.reloadData();
        return;
    }

    buildSpeakersList();
    table.beginUpdates();
    bool removed = false;
    // A row goes when its speaker is no longer listed: deleted, or of the transcript shown
    // before this one.
    for (int i = static_cast<int>(old.size()) - 1; i >= 0; --i) {
        if (std::find(list_.begin(), list_.end(), old[static_cast<std::size_t>(i)]) == list_.end()) {
            table.removeRow(i);
            removed = true;
        }
    }
    struct Move {
        int from, to;
    };
    std::vector<Move> moves;
    bool inserted = false;
    for (int h = 0; h < static_cast<int>(list_.size()); ++h) {
        const auto& speaker = list_[static_cast<std::size_t>(h)];
        if (h < table.numberOfRows()) {
            if (SpeakerPanelCell* cell = table.cellForRow(h, false))
                refreshRangeCount(*cell);
        }
        const auto found = std::find(old.begin(), old.end(), speaker);
        if (found == old.end()) {
            table.insertRow(h);
            inserted = true;
        } else if (!removed && !inserted) {
            const int d = static_cast<int>(found - old.begin());
            if (d != h)
                moves.push_back({d, h});
        }
    }
    const auto moveRow = [&table](const Move& move) {
        refreshName(table.cellForRow(move.from, false));
        refreshName(table.cellForRow(move.to, false));
        table.moveRow(move.from, move.to);
    };
    if (moves.size() == 2) {
        moveRow(moves.front());
    } else if (moves.size() >= 3) {
        const auto jumped = std::find_if(moves.begin(), moves.end(),
                                         [](const Move& move) { return std::abs(move.to - move.from) > 1; });
        if (jumped != moves.end())
            moveRow(*jumped);
    } else if (moves.empty() && !removed && !inserted) {
        table.reloadData();
    }
    table.endUpdates();
    c_.host().buildSpeakerMenu();
}

void SpeakersPanel::allowEditing(bool allow)
{
    if (!table_)
        return;
    for (int row = 0; row < table_->numberOfRows(); ++row) {
        SpeakerPanelCell* cell = table_->cellForRow(row, false);
        if (!cell)
            continue;
        const auto speaker = cell->speaker();
        cell->setEditable(allow && !(speaker && speaker->color == kColorNameGray));
    }
}

void SpeakersPanel::nameEditEnded(SpeakerPanelCell& cell, const QString& text)
{
    const auto speaker = cell.speaker();
    if (!speaker)
        return;
    const QString name = stripWhitespace(text);
    const bool refused = name.trimmed().isEmpty() || speaker->color == kColorNameGray;
    if (refused)
        c_.alerts().beep();
    if (refused || c_.refusedWhileViewingOnly()) {
        cell.setNameText(speaker->name);
        c_.host().resetFocus();
        return;
    }
    c_.records().editSpeakerNameFinish(speaker, name);
}

void SpeakersPanel::nameEditCancelled(SpeakerPanelCell& cell)
{
    if (const auto speaker = cell.speaker())
        cell.setNameText(speaker->name);
    c_.host().resetFocus();
    c_.records().editSpeakerNameCancel();
}

void SpeakersPanel::editSpeakerColor(SpeakerPanelCell& cell)
{
    c_.host().resetFocus();
    showColorPopoverForSpeaker(cell.speaker());
}

void SpeakersPanel::showColorPopoverForSpeaker(const std::shared_ptr<QVSpeaker>& speaker)
{
    popoverSpeaker_ = speaker;
    const int row = rowOf(speaker);
    if (!table_ || row < 0 || !table_->cellForRow(row, false))
        return;
    table_->showColorPopover(row);
}

void SpeakersPanel::changePopoverSpeakerToColorName(const QString& colorName)
{
    const bool refused = !popoverSpeaker_ || popoverSpeaker_->color == kColorNameGray || colorName.isEmpty();
    if (refused)
        c_.alerts().beep();
    else if (!c_.refusedWhileViewingOnly())
        c_.records().changeSpeakerToColorName(popoverSpeaker_, colorName);
    if (table_)
        table_->closeColorPopover();
}

}  // namespace qv::speakers
