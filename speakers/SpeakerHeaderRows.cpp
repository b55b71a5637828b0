#include "speakers/SpeakerHeaderRows.h"

#include "model/AppDelegate.h"
#include "model/EditingServices.h"
#include "platform/foundation/LocalizedString.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakerPalette.h"
#include "speakers/SpeakersController.h"

namespace qv::speakers {

namespace {

bool offeredAsNeighbour(const std::shared_ptr<QVSpeakerRange>& range)
{
    return range && range->speaker && range->speaker->color != kColorNameGray;
}

}  // namespace

SpeakerMenu SpeakerHeaderRows::menuForRange(std::int64_t rangeIndex)
{
    const AppDelegate& ad = c_.ad();
    SpeakerMenu menu;
    if (rangeIndex < 0 || static_cast<std::size_t>(rangeIndex) >= ad.speakerRanges.size())
        return menu;
    const auto index = static_cast<std::size_t>(rangeIndex);
    const auto range = ad.speakerRanges.at(index);
    const auto before = index > 0 ? ad.speakerRanges.at(index - 1) : nullptr;
    const auto after = ad.speakerRanges.at(index + 1);

    menu.items.push_back({localizedString("New Speaker"), kTagNewSpeaker, nullptr, false});
    menu.items.push_back({{}, kTagSpeaker, nullptr, true});
    const bool previous = offeredAsNeighbour(before);
    const bool next = offeredAsNeighbour(after);
    if (previous) {
        menu.items.push_back({localizedString("Previous Speaker (%@)").replace("%@", before->speaker->name),
                              kTagPreviousSpeaker, nullptr, false});
    }
    if (next) {
        menu.items.push_back(
            {localizedString("Next Speaker (%@)").replace("%@", after->speaker->name), kTagNextSpeaker, nullptr, false});
    }
    if (previous || next)
        menu.items.push_back({{}, kTagSpeaker, nullptr, true});
    for (const auto& speaker : c_.panel().speakersList()) {
        if (speaker == range->speaker)
            menu.selectedIndex = static_cast<int>(menu.items.size());
        menu.items.push_back({speaker->name, kTagSpeaker, speaker, false});
    }
    return menu;
}

void SpeakerHeaderRows::buildSpeakerRangePopup(std::int64_t rangeIndex, SpeakerRangeHeaderCell* cell, bool showMenu)
{
    c_.main().async([this, rangeIndex, cell, showMenu] {
        // The cell may have gone or been reused for another row since this was queued.
        if (!cell || c_.host().existingHeaderCell(rangeIndex * 2) != cell)
            return;
        if (rangeIndex < 0 || static_cast<std::size_t>(rangeIndex) >= c_.ad().speakerRanges.size())
            return;
        cell->setMenu(menuForRange(rangeIndex));
        cell->setNeedsDisplay();
        if (showMenu) {
            c_.main().async([this, rangeIndex, cell] {
                if (c_.host().existingHeaderCell(rangeIndex * 2) == cell)
                    cell->openMenu();
            });
        }
    });
}

void SpeakerHeaderRows::reloadRowsAllSpeakerNames()
{
    SpeakerHost& host = c_.host();
    const std::int64_t rows = host.numberOfTranscriptRows();
    const auto count = static_cast<std::int64_t>(c_.ad().speakerRanges.size());
    for (std::int64_t i = 0; i < count && 2 * i < rows; ++i) {
        if (SpeakerRangeHeaderCell* cell = host.existingHeaderCell(2 * i))
            buildSpeakerRangePopup(i, cell, false);
    }
}

void SpeakerHeaderRows::reloadRowsSpeakerNamesForSpeaker(const std::shared_ptr<QVSpeaker>& speaker)
{
    const AppDelegate& ad = c_.ad();
    for (std::size_t i = 0; i < ad.speakerRanges.size(); ++i) {
        if (ad.speakerRanges.at(i)->speaker != speaker)
            continue;
        if (SpeakerRangeHeaderCell* cell = c_.host().existingHeaderCell(static_cast<std::int64_t>(2 * i)))
            buildSpeakerRangePopup(static_cast<std::int64_t>(i), cell, false);
    }
}

void SpeakerHeaderRows::showSpeakerMenuForCurrentRange()
{
    const AppDelegate& ad = c_.ad();
    if (!ad.currentWord)
        return;
    const auto index = ad.speakerRanges.indexOf(ad.currentWord->speakerRange);
    if (!index)
        return;
    const auto row = static_cast<std::int64_t>(*index) * 2;
    if (c_.host().existingHeaderCell(row)) {
        c_.main().async([this, row] {
            if (SpeakerRangeHeaderCell* cell = c_.host().existingHeaderCell(row))
                cell->openMenu();
        });
    }
}

void SpeakerHeaderRows::changedSpeakerPopup(SpeakerRangeHeaderCell* cell, const SpeakerMenuItem& item)
{
    if (!cell)
        return;
    if (c_.refusedWhileViewingOnly())
        return;
    const SpeakerChoice choice = choiceForItem(item);
    EditingServices* editing = c_.editing();
    const bool delay = editing && editing->finishEditingIfNecessary();
    c_.assignment().changeSpeakerRange(cell->speakerRange(), choice.speaker, choice.changeType, delay);
}

void SpeakerHeaderRows::menuDidClose()
{
    if (!c_.ad().pendingNewSpeakerRange)
        return;
    c_.main().after(0.2, [this] {
        if (c_.ad().pendingNewSpeakerRange)
            c_.ranges().cancelAddNewSpeakerRange();
    });
}

}  // namespace qv::speakers
