#include "speakers/SpeakerMenu.h"

#include <algorithm>

namespace qv::speakers {

QString SpeakerMenu::selectedTitle() const
{
    if (selectedIndex < 0 || selectedIndex >= static_cast<int>(items.size()))
        return {};
    return items[static_cast<std::size_t>(selectedIndex)].title;
}

bool SpeakerMenu::readsAs(const SpeakerMenu& other) const
{
    return selectedIndex == other.selectedIndex
           && std::equal(items.begin(), items.end(), other.items.begin(), other.items.end(),
                         [](const SpeakerMenuItem& a, const SpeakerMenuItem& b) {
                             return a.separator == b.separator && a.title == b.title;
                         });
}

SpeakerChoice choiceForItem(const SpeakerMenuItem& item)
{
    switch (item.tag) {
    case kTagNewSpeaker:
        return {kChangeNewSpeaker, nullptr};
    case kTagPreviousSpeaker:
        return {kChangePreviousSpeaker, nullptr};
    case kTagNextSpeaker:
        return {kChangeNextSpeaker, nullptr};
    case kTagSpeaker:
        return {kChangeChosenSpeaker, item.speaker};
    default:
        return {kChangeChosenSpeaker, nullptr};
    }
}

}  // namespace qv::speakers
