// The speakers panel's logic: the sorted list of live speakers, filling a row, renaming and
// recolouring from a row, and bringing the table in line with the speakers by inserting,
// removing and moving rows where it can instead of reloading it. The widget that shows it
// implements SpeakersTableView; tests give a fake.
#pragma once

#include "model/QVSpeaker.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace qv::speakers {

class SpeakersController;

// How a row shows its range count: 13-point type 1 point up to 99 ranges, 11-point type
// 3 points up above.
struct RangeCountStyle {
    double fontPoints = 13;
    double verticalOffset = -1;
    bool operator==(const RangeCountStyle&) const = default;
};
RangeCountStyle rangeCountStyle(std::int64_t rangeCount);

// The colour name of the colour chooser's button `tag` (0 to 8); empty for any other tag.
QString colorNameForTag(int tag);

// One row of the panel.
class SpeakerPanelCell {
public:
    virtual ~SpeakerPanelCell() = default;
    virtual std::shared_ptr<QVSpeaker> speaker() const = 0;
    virtual void setSpeaker(std::shared_ptr<QVSpeaker> speaker) = 0;
    virtual QString nameText() const = 0;
    virtual void setNameText(const QString& text) = 0;
    virtual void setRangeCount(std::int64_t count, const RangeCountStyle& style) = 0;
    virtual void setColor(const QColor& color) = 0;
    // The name can be edited and the colour button pressed.
    virtual void setEditable(bool editable) = 0;
    // Puts the keyboard focus in the name with the whole name selected.
    virtual void beginEditingName() = 0;
};

// The panel's table, with 35-point rows.
class SpeakersTableView {
public:
    virtual ~SpeakersTableView() = default;
    virtual int numberOfRows() = 0;
    // The cell of `row`; with `makeIfNecessary` one is made for a row that has none.
    virtual SpeakerPanelCell* cellForRow(int row, bool makeIfNecessary) = 0;
    virtual void reloadData() = 0;
    virtual void beginUpdates() = 0;
    virtual void endUpdates() = 0;
    // Animated: inserted rows slide down, removed rows slide up.
    virtual void insertRow(int row) = 0;
    virtual void removeRow(int row) = 0;
    virtual void moveRow(int from, int to) = 0;
    virtual void scrollRowToVisible(int row) = 0;
    // The colour chooser beside the colour button of `row`, and closing it.
    virtual void showColorPopover(int row) = 0;
    virtual void closeColorPopover() = 0;
};

class SpeakersPanel {
public:
    explicit SpeakersPanel(SpeakersController& controller) : c_(controller) {}

    void setTable(SpeakersTableView* table) { table_ = table; }
    const std::vector<std::shared_ptr<QVSpeaker>>& speakersList() const { return list_; }
    // The live speakers, sorted by name as a file browser sorts.
    void buildSpeakersList();
    void sortSpeakersList();
    void reloadTable();
    // Fills `cell` for `row`; the table calls it whenever it makes or reuses a row.
    void fillCell(SpeakerPanelCell& cell, int row);
    // Updates the rows after speakers were added, deleted, renamed or counted again.
    void refreshSpeakersWithAnimation();
    // Refreshes the range count shown by `cell` from its speaker.
    void refreshRangeCount(SpeakerPanelCell& cell);
    // Rows that exist get editable names and colour buttons, or lose them (during an inline
    // word edit). Rows of the grey speaker stay locked.
    void allowEditing(bool allow);
    // A speaker just made for a range: its row takes the focus for naming when it is filled.
    void setPendingNewSpeaker(std::shared_ptr<QVSpeaker> speaker) { pendingNewSpeaker_ = std::move(speaker); }

    // The name field of `cell` finished editing with `text`: trimmed, a blank name is refused
    // with a beep and the old name shown; any other goes to the rename.
    void nameEditEnded(SpeakerPanelCell& cell, const QString& text);
    // Escape in the name field: the old name comes back and the lists are rebuilt.
    void nameEditCancelled(SpeakerPanelCell& cell);
    // The colour button of `cell` was pressed.
    void editSpeakerColor(SpeakerPanelCell& cell);
    void showColorPopoverForSpeaker(const std::shared_ptr<QVSpeaker>& speaker);
    // A colour of the chooser was picked for the speaker it was opened for.
    void changePopoverSpeakerToColorName(const QString& colorName);

private:
    int rowOf(const std::shared_ptr<QVSpeaker>& speaker) const;
    // Shows the name again when the field holds something else.
    static void refreshName(SpeakerPanelCell* cell);

    SpeakersController& c_;
    SpeakersTableView* table_ = nullptr;
    std::vector<std::shared_ptr<QVSpeaker>> list_;
    std::shared_ptr<QVSpeaker> pendingNewSpeaker_;
    std::shared_ptr<QVSpeaker> popoverSpeaker_;
};

}  // namespace qv::speakers
