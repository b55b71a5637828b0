// Physical key codes and modifier flags of the keyboard commands, taken from Qt key events:
// Command is Ctrl, Option is Alt and Control is Meta. Commands name keys by these codes, so a
// rule reads the same whatever widget the event came from.
#pragma once

#include <QString>

#include <cstdint>

class QKeyEvent;

namespace qv {

enum KeyCode : int {
    kKeyF = 3,
    kKeyR = 15,
    kKeyRightBracket = 30,
    kKeyLeftBracket = 33,
    kKeyReturn = 36,
    kKeyJ = 38,
    kKeyTab = 48,
    kKeySpace = 49,
    kKeyDelete = 51,
    kKeyEscape = 53,
    kKeyEnter = 76,
    kKeyForwardDelete = 117,
    kKeyLeft = 123,
    kKeyRight = 124,
    kKeyDown = 125,
    kKeyUp = 126,
    kKeyOther = -1,
};

enum ModifierFlag : std::uint32_t {
    kModifierShift = 1u << 17,
    kModifierControl = 1u << 18,
    kModifierOption = 1u << 19,
    kModifierCommand = 1u << 20,
};

// A key press or release as the command rules see it.
struct KeyPress {
    int keyCode = kKeyOther;
    std::uint32_t modifiers = 0;
    bool isRepeat = false;
    // The text the key types; empty for keys that type nothing.
    QString characters;

    bool has(ModifierFlag flag) const { return (modifiers & flag) != 0; }
};

KeyPress keyPressFromEvent(const QKeyEvent& event);

}  // namespace qv
