#pragma once
// The save panel the exports show as a sheet on the main window: a proposed name, one allowed
// file type and an accessory view of labelled pop-ups. A presenter shows it; tests replace the
// presenter with a scripted one.
#include "platform/ui/PopUpButton.h"

#include <QStringList>
#include <functional>

namespace qv {

enum class ModalResponse { OK, Cancel };

struct AccessoryPopUp {
    QString label;        // text beside the pop-up
    PopUpButton* popUp;   // not owned: the pop-up outlives the panel
};

struct SavePanel {
    QString nameFieldStringValue;           // proposed file name, without extension
    QStringList allowedFileTypes;           // extensions without the dot, e.g. "srt"
    std::vector<AccessoryPopUp> accessory;  // empty: no accessory view
    double accessoryHeight = 0;             // points; 0 lets the view take its natural height
};

// path: the chosen file, with the allowed extension; empty unless the response is OK.
using SavePanelCompletion = std::function<void(ModalResponse response, const QString& path)>;

class SavePanelPresenter {
public:
    virtual ~SavePanelPresenter() = default;
    // Shows the panel as a sheet; the completion runs once, on the main thread, when it ends.
    // The pop-ups send their actions while the panel is open.
    virtual void beginSheet(const SavePanel& panel, SavePanelCompletion completion) = 0;
    // Removes the panel from the screen ahead of its completion's work (before an alert).
    virtual void orderOut() = 0;
};

}  // namespace qv
