#include "speakers/SpeakerRangeVisibility.h"

#include "model/AppDelegate.h"
#include "model/EditingServices.h"

namespace qv::speakers {

SpeakerRangeButtonsHidden speakerRangeButtonsHidden(const AppDelegate& ad, EditingServices* editing)
{
    const SpeakerRangeButtonsHidden allHidden;
    const auto& word = ad.currentWord;
    if (ad.isViewingOnly || ad.isBeforeFirstWord || (editing && editing->hasMultipleWordsSelected()) || ad.isEditing
        || !word || word == ad.words.first())
        return allHidden;
    for (const auto& range : ad.speakerRanges) {
        if (range->start == word->start)
            return allHidden;
    }
    SpeakerRangeButtonsHidden hidden{false, false, false};
    if (word->speakerRange && word->speakerRange == ad.speakerRanges.first())
        hidden.current = true;
    if (word->speakerRange && word->speakerRange == ad.speakerRanges.last())
        hidden.next = true;
    return hidden;
}

}  // namespace qv::speakers
