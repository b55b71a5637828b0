// The strip of three buttons beside the word under the playhead: move the current range's
// start to this word, add a range here, move the next range's start here. Each button shows
// only where its change applies.
#pragma once

#include <QWidget>

class QToolButton;

namespace qv::speakers {

class SpeakersController;

class SpeakerRangeControlsView : public QWidget {
public:
    // 30 by 100 points; the buttons follow the controller's visibility rule.
    explicit SpeakerRangeControlsView(SpeakersController& controller, QWidget* parent = nullptr);
    ~SpeakerRangeControlsView() override;

    QToolButton* currentButton() const { return current_; }
    QToolButton* addButton() const { return add_; }
    QToolButton* nextButton() const { return next_; }

private:
    SpeakersController& c_;
    QToolButton* current_;
    QToolButton* add_;
    QToolButton* next_;
};

}  // namespace qv::speakers
