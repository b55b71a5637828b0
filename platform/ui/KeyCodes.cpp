#include "platform/ui/KeyCodes.h"

#include <QKeyEvent>

namespace qv {

namespace {

int keyCodeFor(int key)
{
    switch (key) {
    case Qt::Key_F:
        return kKeyF;
    case Qt::Key_R:
        return kKeyR;
    case Qt::Key_BracketRight:
        return kKeyRightBracket;
    case Qt::Key_BracketLeft:
        return kKeyLeftBracket;
    case Qt::Key_Return:
        return kKeyReturn;
    case Qt::Key_J:
        return kKeyJ;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return kKeyTab;
    case Qt::Key_Space:
        return kKeySpace;
    case Qt::Key_Backspace:
        return kKeyDelete;
    case Qt::Key_Escape:
        return kKeyEscape;
    case Qt::Key_Enter:
        return kKeyEnter;
    case Qt::Key_Delete:
        return kKeyForwardDelete;
    case Qt::Key_Left:
        return kKeyLeft;
    case Qt::Key_Right:
        return kKeyRight;
    case Qt::Key_Down:
        return kKeyDown;
    case Qt::Key_Up:
        return kKeyUp;
    default:
        return kKeyOther;
    }
}

}  // namespace

KeyPress keyPressFromEvent(const QKeyEvent& event)
{
    KeyPress press;
    press.keyCode = keyCodeFor(event.key());
    const Qt::KeyboardModifiers qt = event.modifiers();
    if (qt & Qt::ShiftModifier)
        press.modifiers |= kModifierShift;
    if (qt & Qt::MetaModifier)
        press.modifiers |= kModifierControl;
    if (qt & Qt::AltModifier)
        press.modifiers |= kModifierOption;
    if (qt & Qt::ControlModifier)
        press.modifiers |= kModifierCommand;
    press.isRepeat = event.isAutoRepeat();
    press.characters = event.text();
    return press;
}

}  // namespace qv
