// The search of the open transcript: turns the text of the search field into the list of
// places where it occurs, each a window of about five words bounded by the sentence and the
// speaker range around the hit. The first term is a pattern (see LikePattern); later terms must
// follow it word for word. The words' folded texts are kept between searches, so that searching
// again as the user types costs one pass over the transcript. Main thread only.
#pragma once

#include "model/QVOrderedSet.h"
#include "model/QVSpeaker.h"
#include "model/QVSpeakerRange.h"
#include "model/QVWord.h"
#include "search/QVSearchResult.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace qv::search {

inline constexpr auto kMinimumCharsMessage = "Minimum 2 characters required";
inline constexpr auto kNoSearchResultsMessage = "No search results";

struct SearchOutcome {
    std::vector<QVSearchResult> results;
    // The text the no-results view shows now.
    QString message;
    // Whether the no-results view shows; none to leave it as it is.
    std::optional<bool> noResultsVisible;
    // Too short a text while the user is not typing in the field: the focus goes back to the
    // transcript.
    bool resetFocus = false;
};

class TranscriptSearch {
public:
    // `typingInField`: the search field is being edited (its messages differ for short texts).
    SearchOutcome search(const QString& text, bool typingInField, const QVOrderedSet<QVWord>& words,
                         const QVOrderedSet<QVSpeakerRange>& speakerRanges,
                         const std::shared_ptr<QVSpeaker>& filteredSpeaker);

    // The speaker shown for a result whose first word is `word`.
    static std::shared_ptr<QVSpeaker> speakerForWord(const QVWord& word, std::int64_t startTime,
                                                     const QVOrderedSet<QVSpeakerRange>& speakerRanges);

private:
    // The folded `nameClean` of the word at each position, refolded only when the word there or
    // its text changed.
    const std::u32string& folded(std::size_t position, const QVWord& word);

    struct Folded {
        const QVWord* word = nullptr;
        // The text that was folded; holding it keeps its buffer, so an unchanged buffer means
        // an unchanged text.
        QString source;
        std::u32string folded;
    };
    std::vector<Folded> folded_;
};

}  // namespace qv::search
