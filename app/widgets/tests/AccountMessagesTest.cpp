#include "app/widgets/AccountMessages.h"

#include "RecordingHost.h"
#include "platform/foundation/ManualDispatcher.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    void (qv::AccountMessages::*show)();
    bool applicationModal;
    qv::AlertStyle style;
    const char* message;
    const char* informative;
};

TEST(AccountMessagesTest, EachMessageWaitsHalfASecondThenShowsItsTextsOnItsPresenter)
{
    const Case cases[] = {
        {&qv::AccountMessages::showCreateAccountErrorMessage, true, qv::AlertStyle::Warning,
         "Account could not be created", "Please check your details and try again."},
        {&qv::AccountMessages::showPasswordResetErrorMessage, false, qv::AlertStyle::Informational,
         "Password could not be reset", "For assistance, please submit a support ticket from the Help menu."},
        {&qv::AccountMessages::showPasswordResetSuccessMessage, false, qv::AlertStyle::Informational,
         "Password reset in progress", "An email will be sent shortly with instructions on how to reset your password."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        qv::ManualDispatcher queue;
        RecordingHost host;
        qv::AccountMessages messages(host, queue);
        (messages.*c.show)();
        queue.advance(0.49);
        EXPECT_TRUE(host.sheets.shownAlerts().empty());
        EXPECT_TRUE(host.modals.shownAlerts().empty());
        queue.advance(0.01);
        const auto& shown = c.applicationModal ? host.modals.shownAlerts() : host.sheets.shownAlerts();
        const auto& other = c.applicationModal ? host.sheets.shownAlerts() : host.modals.shownAlerts();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(other.empty());
        EXPECT_EQ(shown[0].messageText, c.message);
        EXPECT_EQ(shown[0].informativeText, c.informative);
        EXPECT_EQ(shown[0].style, c.style);
        EXPECT_TRUE(shown[0].buttons.isEmpty());
    }
}

}  // namespace
