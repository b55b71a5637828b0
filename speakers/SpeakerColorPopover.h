// The colour chooser the speakers panel opens beside a speaker's colour button: the nine
// palette colours, button i for the palette's colour i. It closes when the user clicks
// elsewhere.
#pragma once

#include <QFrame>

#include <functional>

namespace qv::speakers {

class SpeakerColorButton;

class SpeakerColorPopover : public QFrame {
public:
    // `colorFor` gives each button's colour from its name; `picked` gets the tag of the button
    // pressed.
    SpeakerColorPopover(const std::function<QColor(const QString&)>& colorFor, std::function<void(int tag)> picked,
                        QWidget* parent = nullptr);
    SpeakerColorButton* button(int tag) const;

    // Opens at the right-hand side of `anchor`, level with it.
    void showBeside(QWidget* anchor);
};

}  // namespace qv::speakers
