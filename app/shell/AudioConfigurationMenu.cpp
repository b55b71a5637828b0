#include "app/shell/AudioConfigurationMenu.h"

#include "intake/QVFilesPendingTableView.h"
#include "intake/QVFilesPendingViewController.h"

namespace qv::shell {

void AudioConfigurationMenu::fillMenuState(MenuState& state) const
{
    const QVAudioConfigurationViewController& panel = pending_.audioConfigurationVC();
    state.pendingSelectedRows = selectedPendingRows().size();
    state.pendingPanelShowsFile = panel.currentFilePending() != nullptr;
    state.pendingFileHasMultipleChannels = panel.hasMultipleChannels();
    state.pasteboardHasAudioConfiguration = pasteboard_.hasType(QVAudioConfigurationClipboard::kType);
}

bool AudioConfigurationMenu::perform(const QString& action)
{
    if (action == "copyAudioConfiguration:")
        QVAudioConfigurationClipboard::copyAudioConfiguration(pending_.audioConfigurationVC(), pasteboard_);
    else if (action == "pasteAudioConfiguration:")
        QVAudioConfigurationClipboard::pasteAudioConfiguration(ad_, selectedPendingRows(), pasteboard_,
                                                               &pending_.audioConfigurationVC());
    else
        return false;
    return true;
}

std::vector<std::size_t> AudioConfigurationMenu::selectedPendingRows() const
{
    std::vector<std::size_t> rows;
    const QVFilesPendingTableView* table = pending_.tableView();
    for (int row = 0; row < table->count(); ++row)
        if (table->item(row)->isSelected())
            rows.push_back(static_cast<std::size_t>(row));
    return rows;
}

}  // namespace qv::shell
