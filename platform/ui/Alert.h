#pragma once
// Alerts shown as sheets on the main window, and the system beep. A presenter shows them; tests
// replace it with a scripted one.
#include <QStringList>
#include <functional>

namespace qv {

enum class AlertStyle { Warning, Informational, Critical };

// Return code of the first button; the next ones follow (1001, 1002, ...).
inline constexpr int kAlertFirstButtonReturn = 1000;

struct Alert {
    QString messageText;
    QString informativeText;
    AlertStyle style = AlertStyle::Warning;
    QStringList buttons;  // empty: a single "OK"
};

class AlertPresenter {
public:
    virtual ~AlertPresenter() = default;
    // Shows the alert as a sheet; the completion (may be empty) gets the return code of the
    // button pressed.
    virtual void beginSheet(const Alert& alert, std::function<void(int returnCode)> completion) = 0;
    virtual void beep() = 0;
};

}  // namespace qv
