#include "app/widgets/AccountMessages.h"

#include "app/widgets/WidgetsHost.h"
#include "platform/foundation/LocalizedString.h"

namespace qv {

namespace {

Alert accountAlert(const char* message, const char* informative, AlertStyle style)
{
    Alert alert;
    alert.messageText = localizedString(QString::fromUtf8(message));
    alert.informativeText = localizedString(QString::fromUtf8(informative));
    alert.style = style;
    return alert;
}

}  // namespace

void AccountMessages::showCreateAccountErrorMessage()
{
    mainQueue_.after(kAccountMessageDelay, [this] {
        host_.applicationModalAlerts().beginSheet(accountAlert("Account could not be created",
                                                               "Please check your details and try again.",
                                                               AlertStyle::Warning),
                                                  nullptr);
    });
}

void AccountMessages::showPasswordResetErrorMessage()
{
    mainQueue_.after(kAccountMessageDelay, [this] {
        host_.sheetAlerts().beginSheet(
            accountAlert("Password could not be reset",
                         "For assistance, please submit a support ticket from the Help menu.", AlertStyle::Informational),
            nullptr);
    });
}

void AccountMessages::showPasswordResetSuccessMessage()
{
    mainQueue_.after(kAccountMessageDelay, [this] {
        host_.sheetAlerts().beginSheet(
            accountAlert("Password reset in progress",
                         "An email will be sent shortly with instructions on how to reset your password.",
                         AlertStyle::Informational),
            nullptr);
    });
}

}  // namespace qv
