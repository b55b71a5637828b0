// What the application object is given before its window exists: the registered preference
// defaults, the upgrade of stored keys from earlier versions, this computer's identifier and the
// fixed tables (colours, languages, caption start words, keyword types, speaker colours).
#pragma once

#include "platform/foundation/Preferences.h"

#include <QString>

class AppDelegate;

namespace qv::shell {

class LaunchDefaults {
public:
    // The 26 defaults; values the user stored win.
    static PreferenceDictionary defaults();
    static void registerDefaults(Preferences& preferences);
    // A stored speaker-identification switch of the old kind becomes the diarization number.
    static void migrateLegacyKeys(Preferences& preferences);
    // The identifier stored under QVSystemID, made and stored the first time.
    static QString systemID(Preferences& preferences);
    // Colours, text sizes, language and start-word tables, keyword types and speaker colours.
    static void fillTables(AppDelegate& ad, const Preferences& preferences);
};

}  // namespace qv::shell
