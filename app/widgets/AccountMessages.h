// The three account messages the sign-in screen shows: an account that could not be created
// (blocks the whole application) and the outcome of a password-reset request (sheets on the
// main window). Each waits half a second on the main queue before it shows.
#pragma once

#include "platform/foundation/Dispatcher.h"

class WidgetsHost;

namespace qv {

// Delay before an account message shows, seconds.
inline constexpr double kAccountMessageDelay = 0.5;

class AccountMessages {
public:
    // Both must outlive this object.
    AccountMessages(WidgetsHost& host, Dispatcher& mainQueue) : host_(host), mainQueue_(mainQueue) {}
    AccountMessages(const AccountMessages&) = delete;
    AccountMessages& operator=(const AccountMessages&) = delete;

    void showCreateAccountErrorMessage();
    void showPasswordResetErrorMessage();
    void showPasswordResetSuccessMessage();

private:
    WidgetsHost& host_;
    Dispatcher& mainQueue_;
};

}  // namespace qv
