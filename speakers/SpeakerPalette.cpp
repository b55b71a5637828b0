#include "speakers/SpeakerPalette.h"

#include "model/TextUtilities.h"

namespace qv::speakers {

namespace {
struct PaletteEntry {
    const char* name;
    int red, green, blue;
};
constexpr PaletteEntry kPalette[] = {
    {"purple", 115, 67, 191}, {"blue", 57, 118, 204}, {"teal", 80, 191, 164},
    {"green", 60, 175, 98},   {"lime", 155, 186, 21}, {"yellow", 222, 171, 40},
    {"orange", 247, 124, 33}, {"red", 214, 76, 76},   {"fuschia", 170, 50, 120},
};
}  // namespace

const QStringList& paletteColorNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const auto& entry : kPalette)
            list << QString::fromLatin1(entry.name);
        return list;
    }();
    return names;
}

QMap<QString, QColor> makeSpeakerColorPalette()
{
    QMap<QString, QColor> palette;
    for (const auto& entry : kPalette)
        palette.insert(QString::fromLatin1(entry.name), colorWith255sRGBRed(entry.red, entry.green, entry.blue, 1));
    return palette;
}

QColor makeSpeakerColorUnknown()
{
    return colorWith255sRGBRed(128, 128, 128, 1);
}

}  // namespace qv::speakers
