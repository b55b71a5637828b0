// What the keys of the transcript call of the custom words panel: whether it is in edit mode,
// and deleting its selected words. The panel implements it; without one there is no edit mode.
// Main thread only.
#pragma once

class CustomWordsServices {
public:
    virtual ~CustomWordsServices() = default;

    virtual bool isEditingCustomWords() const = 0;
    // Asks, then removes the selected custom words from the lists shown.
    virtual void deleteSelectedCustomWords() = 0;
};
