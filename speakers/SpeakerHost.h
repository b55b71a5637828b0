// What the speakers subsystem needs of the transcript table's header rows, the search panel
// and the window, beyond the services of the state record. The application implements it;
// tests give a recording fake. Main thread only.
#pragma once

#include "model/QVSpeakerRange.h"
#include "speakers/SpeakerMenu.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace qv::speakers {

// The header cell of one speaker range's row (row 2i of the transcript table).
class SpeakerRangeHeaderCell {
public:
    virtual ~SpeakerRangeHeaderCell() = default;
    virtual std::shared_ptr<QVSpeakerRange> speakerRange() const = 0;
    // Replaces the pop-up's items; the selected item's title becomes the pop-up's title.
    virtual void setMenu(SpeakerMenu menu) = 0;
    // Redraws the tab and rule.
    virtual void setNeedsDisplay() = 0;
    // Opens the pop-up's menu as a click would.
    virtual void openMenu() = 0;
};

class SpeakerHost {
public:
    virtual ~SpeakerHost() = default;

    // Transcript table.
    virtual std::int64_t numberOfTranscriptRows() = 0;
    // The cell of header row `row` when the table has made it; none is made for this.
    virtual SpeakerRangeHeaderCell* existingHeaderCell(std::int64_t row) = 0;
    virtual void beginTableUpdates() = 0;
    virtual void endTableUpdates() = 0;

    // Search panel: rebuild its speaker filter, and search again with no text.
    virtual void buildSpeakerMenu() = 0;
    virtual void searchForString(const QString& text) = 0;

    // Window: the transcript takes the keyboard focus back (an open edit keeps it).
    virtual void resetFocus() = 0;
    // The Option (Alt) key is held in the event being handled.
    virtual bool isOptionKeyDown() = 0;
};

}  // namespace qv::speakers
