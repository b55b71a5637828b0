#include "export/ExportOptions.h"

#include "platform/foundation/LocalizedString.h"

namespace qv {
namespace {

PopUpItem item(const char* english, const char* value) {
    return {localizedString(QString::fromUtf8(english)), QString::fromUtf8(value)};
}

}  // namespace

PreferenceDictionary exportPreferenceDefaults() {
    return {
        {kQVExportAvidDSCaptionPages, "auto"},
        {kQVExportSubRipCaptionPages, "auto"},
        {kQVExportAvidDSSpeakers, "arrowsName"},
        {kQVExportiTunesTimedTextSpeakers, "arrowsName"},
        {kQVExportSubRipSpeakers, "arrowsName"},
        {kQVExportPlainTextTimestamps, "changeOfSpeaker"},
        {kQVExportSubRipTimestampSource, "absolute"},
    };
}

std::vector<PopUpItem> captionPagesItems() {
    return {item("Auto", "auto"), item("Single Line Sentences", "singleLineSentences")};
}

std::vector<PopUpItem> speakersItems() {
    return {item("None", "none"), item("Name:", "name"), item(">> NAME:", "arrowsName")};
}

std::vector<PopUpItem> subRipTimestampSourceItems() {
    return {item("Absolute Time", "absolute"), item("Timecode", "timecode")};
}

std::vector<PopUpItem> textTimestampsItems() {
    return {item("None", "none"), item("Change of Speaker", "changeOfSpeaker"),
            item("Start of Sentence", "startOfSentence")};
}

void fillOptionPopUp(PopUpButton& popUp, std::vector<PopUpItem> items, const Preferences& preferences,
                     const QString& key) {
    popUp.setItems(std::move(items));
    popUp.selectItemWithRepresentedObject(preferences.stringForKey(key).value_or(QString()));
}

void storeSelectedOption(Preferences& preferences, const QString& key, const PopUpButton& popUp) {
    if (const PopUpItem* selected = popUp.selectedItem()) preferences.setObject(key, selected->representedObject);
}

}  // namespace qv
