// The speakers subsystem as the rest of the application sees it: speaker ranges, speaker
// assignment and consolidation, speaker records, the header rows' menus, the range buttons'
// visibility and the speakers panel. It owns one object per area and the helpers they share.
// Main thread only.
#pragma once

#include "model/SpeakerServices.h"
#include "platform/rtdb/DatabaseReference.h"
#include "platform/rtdb/DatabaseValue.h"
#include "speakers/SpeakerAssignment.h"
#include "speakers/SpeakerHeaderRows.h"
#include "speakers/SpeakerRangeVisibility.h"
#include "speakers/SpeakerRanges.h"
#include "speakers/SpeakerRecords.h"
#include "speakers/SpeakersPanel.h"

#include <functional>
#include <memory>

class AppDelegate;
class EditingServices;
class ViewServices;
namespace qv {
class AlertPresenter;
class Dispatcher;
class UndoManager;
}  // namespace qv

namespace qv::speakers {

class SpeakerHost;

class SpeakersController final : public SpeakerServices {
public:
    // Installs the colour palette in `ad` when it has none yet.
    SpeakersController(AppDelegate& ad, Dispatcher& main, AlertPresenter& alerts, SpeakerHost& host);
    SpeakersController(const SpeakersController&) = delete;
    SpeakersController& operator=(const SpeakersController&) = delete;

    SpeakerRecords& records() { return records_; }
    SpeakerRanges& ranges() { return ranges_; }
    SpeakerAssignment& assignment() { return assignment_; }
    SpeakerHeaderRows& headerRows() { return headerRows_; }
    SpeakersPanel& panel() { return panel_; }
    // Hidden state of the three range buttons as last computed.
    const SpeakerRangeButtonsHidden& rangeButtonsHidden() const { return buttonsHidden_; }
    // Runs after every visibility refresh; the range-controls strip applies the flags.
    void setRangeButtonsObserver(std::function<void(const SpeakerRangeButtonsHidden&)> observer);
    // Redraws the header row of `range` when it is on screen.
    void refreshBackgroundForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range);

    // SpeakerServices.
    std::int64_t getEndTimeForSpeakerRange(const std::shared_ptr<QVSpeakerRange>& range,
                                           const QVOrderedSet<QVSpeakerRange>& ranges) override;
    void addSpeakerRangeAutoSelect(bool autoSelect) override;
    void changeSpeakerRangeStartToCurrentWord() override;
    void changeNextSpeakerRangeStartToCurrentWord() override;
    void showSpeakerMenuForCurrentRange() override;
    void refreshSpeakerRangeChangesAllowed() override;
    void consolidateSpeakersWithAnimation(bool animate) override;
    void restoreSpeaker(const std::shared_ptr<QVSpeaker>& speaker) override;
    QColor colorForColorName(const QString& name) override;
    void buildSpeakersList() override;
    void refreshSpeakersWithAnimation() override;
    void allowEditing(bool allow) override;
    std::vector<std::shared_ptr<QVSpeaker>> speakersList() override;

    // Shared by the areas.
    AppDelegate& ad() { return ad_; }
    Dispatcher& main() { return main_; }
    AlertPresenter& alerts() { return alerts_; }
    SpeakerHost& host() { return host_; }
    UndoManager& undoManager();
    bool isUndoingOrRedoing();
    // Null-safe access to the neighbours held by the state record.
    EditingServices* editing();
    ViewServices* view();
    // Beeps and answers true while the file is view-only: another computer holds the edit
    // right, so the transcript is not written from here.
    bool refusedWhileViewingOnly();
    // Touches the open file's `updated`.
    void touchUpdated();
    // Forgets the current row text view and notes it in the editing trace.
    void dropCurrentTextView(const char* selector);
    void dropRowHeight(const std::shared_ptr<QVSpeakerRange>& range);
    void sortSpeakerRanges();
    // The completion of every transcript write: a write the database refuses is logged and the
    // user is told, once for the writes of one turn, that the screen may show what is not stored.
    DatabaseCompletion reportRefusal();
    // Writes only the given keys of one record of the open transcript.
    void updateWord(const QString& uuid, const DatabaseUpdate& values);
    void updateSpeakerRange(const QString& uuid, const DatabaseUpdate& values);
    void updateSpeaker(const QString& uuid, const DatabaseUpdate& values);
    // The live word with that identifier, looked for first among the words that start at
    // `start` (where it stood when copied); none when it is gone.
    std::shared_ptr<QVWord> wordWithUUID(const QString& uuid, std::int64_t start);
    // The player's position in ms; 0 without a player.
    std::int64_t playerMilliseconds();

private:
    AppDelegate& ad_;
    Dispatcher& main_;
    AlertPresenter& alerts_;
    SpeakerHost& host_;
    SpeakerRecords records_{*this};
    SpeakerRanges ranges_{*this};
    SpeakerAssignment assignment_{*this};
    SpeakerHeaderRows headerRows_{*this};
    SpeakersPanel panel_{*this};
    SpeakerRangeButtonsHidden buttonsHidden_;
    std::function<void(const SpeakerRangeButtonsHidden&)> buttonsObserver_;
    // Lets completions that arrive after the controller is gone do nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool refusalReported_ = false;
};

}  // namespace qv::speakers
