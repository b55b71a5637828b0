// The nine speaker colours, by the names stored with each speaker, and the grey of a speaker
// without a palette colour ("gray").
#pragma once

#include <QColor>
#include <QMap>
#include <QString>
#include <QStringList>

namespace qv::speakers {

// Palette names in the colour chooser's order (button tags 0 to 8). "fuschia" is the stored
// spelling.
const QStringList& paletteColorNames();
// Name to sRGB colour, alpha 1.
QMap<QString, QColor> makeSpeakerColorPalette();
// sRGB 128, 128, 128.
QColor makeSpeakerColorUnknown();
// The colour name of a speaker without a palette colour.
inline const QString kColorNameGray = QStringLiteral("gray");

}  // namespace qv::speakers
