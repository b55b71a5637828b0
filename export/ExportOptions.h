#pragma once
// The export options kept in the user's preferences: their keys, stored values and registered
// defaults, and the pop-up items that offer them. A choice is stored the moment it is made, so
// it is remembered for the next export whether or not this one completes.
#include "platform/foundation/Preferences.h"
#include "platform/ui/PopUpButton.h"

#include <vector>

namespace qv {

inline const QString kQVExportAvidDSCaptionPages = QStringLiteral("QVExportAvidDSCaptionPages");
inline const QString kQVExportAvidDSSpeakers = QStringLiteral("QVExportAvidDSSpeakers");
inline const QString kQVExportAvidDSTimecode = QStringLiteral("QVExportAvidDSTimecode");
inline const QString kQVExportiTunesTimedTextSpeakers = QStringLiteral("QVExportiTunesTimedTextSpeakers");
inline const QString kQVExportiTunesTimedTextTimecode = QStringLiteral("QVExportiTunesTimedTextTimecode");
inline const QString kQVExportPlainTextTimestamps = QStringLiteral("QVExportPlainTextTimestamps");
inline const QString kQVExportSubRipCaptionPages = QStringLiteral("QVExportSubRipCaptionPages");
inline const QString kQVExportSubRipSpeakers = QStringLiteral("QVExportSubRipSpeakers");
inline const QString kQVExportSubRipTimestampSource = QStringLiteral("QVExportSubRipTimestampSource");

// Registered at start-up: caption pages "auto", speakers "arrowsName", plain-text timestamps
// "changeOfSpeaker", SubRip timestamp source "absolute". The rate keys have no default.
PreferenceDictionary exportPreferenceDefaults();

// Pop-up items, titles looked up in the string table.
std::vector<PopUpItem> captionPagesItems();        // Auto, Single Line Sentences
std::vector<PopUpItem> speakersItems();            // None, Name:, >> NAME:
std::vector<PopUpItem> subRipTimestampSourceItems();  // Absolute Time, Timecode
std::vector<PopUpItem> textTimestampsItems();      // None, Change of Speaker, Start of Sentence

// Fills a pop-up afresh and selects the item of the value stored under `key` (the first item
// when nothing matching is stored).
void fillOptionPopUp(PopUpButton& popUp, std::vector<PopUpItem> items, const Preferences& preferences,
                     const QString& key);
// Stores the selected item's value under `key` (what each option pop-up's action does).
void storeSelectedOption(Preferences& preferences, const QString& key, const PopUpButton& popUp);

}  // namespace qv
