// The speakers panel as a widget: a scrolling column of 35-point rows, one per speaker, whose
// inserts, removals and moves slide into place, and the colour chooser it opens.
#pragma once

#include "speakers/SpeakersPanel.h"

#include <QScrollArea>

#include <vector>

namespace qv::speakers {

class SpeakerColorPopover;
class SpeakerPanelRow;
class SpeakersController;

class SpeakersPanelView : public QScrollArea, public SpeakersTableView {
public:
    // Length of a row's slide, in milliseconds.
    static constexpr int kSlideMilliseconds = 200;

    // Registers itself as the panel's table; the controller must outlive it.
    explicit SpeakersPanelView(SpeakersController& controller, QWidget* parent = nullptr);
    ~SpeakersPanelView() override;

    SpeakerPanelRow* row(int index) const;
    SpeakerColorPopover* colorPopover() const { return popover_; }
    // Rows slide to their places; off, they jump (for pictures of the panel).
    void setAnimated(bool animated) { animated_ = animated; }

    int numberOfRows() override { return static_cast<int>(rows_.size()); }
    SpeakerPanelCell* cellForRow(int row, bool makeIfNecessary) override;
    void reloadData() override;
    void beginUpdates() override { ++updating_; }
    void endUpdates() override;
    void insertRow(int row) override;
    void removeRow(int row) override;
    void moveRow(int from, int to) override;
    void scrollRowToVisible(int row) override;
    void showColorPopover(int row) override;
    void closeColorPopover() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    SpeakerPanelRow* makeRow(int index);
    // Puts every row at its place; rows already shown slide there.
    void layoutRows();

    SpeakersController& c_;
    QWidget* content_;
    std::vector<SpeakerPanelRow*> rows_;
    SpeakerColorPopover* popover_ = nullptr;
    int updating_ = 0;
    bool animated_ = true;
};

}  // namespace qv::speakers
