// The images of the six step buttons above the transcript, drawn in code so that the row looks
// the same whatever fonts the machine has: a triangle for a word, two for a sentence, two
// behind a bar for a speaker range, pointing the way the step goes. Each has an image at rest
// ("…_off", dark grey) and one shown while the button flashes ("…_on", the brand colour).
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

#include <array>

namespace qv::transcript {

struct NavigationButton {
    QString name;   // the button's name: "previousSpeakerRange", "nextWord", ...
    QString image;  // the stem of its images: "previous_range", "next_word", ...
    QString title;  // what it does, for its tool tip and accessible name
};

// The six buttons in toolbar order: previous range, sentence, word; next word, sentence, range.
const std::array<NavigationButton, 6>& navigationButtons();

// Size of every step image, in device-independent pixels.
inline constexpr QSize kNavigationImageSize{22, 16};

// The image called `name` (a stem followed by "_off" or "_on") drawn for `devicePixelRatio`;
// a null pixmap for any other name.
QPixmap navigationButtonImage(const QString& name, qreal devicePixelRatio = 2);

// The button's icon for `stem`: the "off" image, and a faded one while disabled. Null for an
// unknown stem.
QIcon navigationButtonIcon(const QString& stem);

}  // namespace qv::transcript
