// Copy and paste of a channel configuration.
#include "intake/audio/QVAudioConfigurationClipboard.h"

#include "intake/audio/QVAudioConfigurationViewController.h"

#include "model/QVAudioTrack.h"

#include <algorithm>

namespace QVAudioConfigurationClipboard {

void copyAudioConfiguration(const QVAudioConfigurationViewController& panel, qv::Pasteboard& pasteboard)
{
    pasteboard.clearContents();
    if (const std::shared_ptr<QVFilePending>& source = panel.currentFilePending())
        pasteboard.setString(source->uuid, kType);
}

void pasteAudioConfiguration(AppDelegate& ad, std::vector<std::size_t> selectedRows, const qv::Pasteboard& pasteboard,
                             QVAudioConfigurationViewController* panel)
{
    const std::optional<QString> uuid = pasteboard.string(kType);
    if (!uuid)
        return;
    const auto found = std::find_if(ad.filesPending.begin(), ad.filesPending.end(),
                                    [&uuid](const auto& file) { return file && file->uuid == *uuid; });
    if (found == ad.filesPending.end())
        return;
    const std::shared_ptr<QVFilePending> source = *found;
    std::sort(selectedRows.begin(), selectedRows.end());
    for (std::size_t row : selectedRows) {
        if (row >= ad.filesPending.size())
            continue;
        const std::shared_ptr<QVFilePending> target = ad.filesPending[row];
        if (!target || target == source || target->audioLayoutType.isNull() || source->audioLayoutType.isNull() ||
            target->audioLayoutType != source->audioLayoutType)
            continue;
        for (std::size_t i = 0; i < target->mediaFiles.size() && i < source->mediaFiles.size(); ++i) {
            const auto& from = source->mediaFiles[i];
            const auto& to = target->mediaFiles[i];
            if (!from || !to)
                continue;
            for (std::size_t j = 0; j < from->audioTracks.size() && j < to->audioTracks.size(); ++j)
                for (std::size_t k = 0; k < from->audioTracks[j]->audioChannels.size() &&
                                        k < to->audioTracks[j]->audioChannels.size();
                     ++k)
                    to->audioTracks[j]->audioChannels[k]->enabled = from->audioTracks[j]->audioChannels[k]->enabled;
            if (panel && panel->currentFilePending() == target && panel->isShowing())
                panel->refreshDisplay();
        }
    }
}

}  // namespace QVAudioConfigurationClipboard
