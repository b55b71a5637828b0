// The Edit menu's copy and paste of a channel configuration between pending files: when the two
// items are enabled and what they do, on the pending list's audio panel and the program's own
// pasteboard (never the system clipboard). Main thread only.
#pragma once

#include "app/shell/MenuValidation.h"
#include "intake/audio/QVAudioConfigurationClipboard.h"

#include <QString>

#include <cstddef>
#include <vector>

class AppDelegate;
class QVFilesPendingViewController;

namespace qv::shell {

class AudioConfigurationMenu {
public:
    AudioConfigurationMenu(AppDelegate& ad, QVFilesPendingViewController& pending) : ad_(ad), pending_(pending) {}

    // The pending list's share of the menu state: its selection, its panel's file and the pasteboard.
    void fillMenuState(MenuState& state) const;
    // Carries out "copyAudioConfiguration:" or "pasteAudioConfiguration:"; false for any other action.
    bool perform(const QString& action);

private:
    // The selected rows of the pending list, in increasing order.
    std::vector<std::size_t> selectedPendingRows() const;

    AppDelegate& ad_;
    QVFilesPendingViewController& pending_;
    QVInternalPasteboard pasteboard_;
};

}  // namespace qv::shell
