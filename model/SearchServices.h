// What the transcript view, the speakers and the shell call of the search panel: searching again
// after a change, the speaker filter's menu, the results' selection and following playback.
// The search panel implements it; without one the calls do nothing. Main thread only.
#pragma once

#include <cstdint>

class SearchServices {
public:
    virtual ~SearchServices() = default;

    // Searches again for the text of the search field (so that changed speaker names show).
    virtual void searchForString() = 0;
    // Empties the search field; the next search then shows no results.
    virtual void clearSearchField() = 0;
    // The search field is off while words are being edited in the transcript.
    virtual void setSearchFieldEnabled(bool enabled) = 0;
    // Rebuilds the speaker filter from the speakers panel's list.
    virtual void buildSpeakerMenu() = 0;
    // Deselects the results (the user clicked into the transcript).
    virtual void clearSelectedRow() = 0;
    // Follows playback through the results: `milliseconds` is the time just highlighted.
    virtual void highlightCurrentWordAtTime(std::int64_t milliseconds) = 0;
    // True while the player seeks to a chosen result; the transcript's highlight waits for it.
    virtual bool isLocatingToSearchResult() const = 0;
};
