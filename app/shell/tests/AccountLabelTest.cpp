// The account button of the program signed in on a service of the test's own: it names the
// account once its record is read, also a record without both names or without a status.
#include "app/shell/ApplicationShell.h"
#include "app/shell/tests/EndToEndSupport.h"

#include <QPushButton>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

class AccountLabel : public ProgramOnService {};

TEST_F(AccountLabel, NamesTheAccountByWhatItsRecordHolds)
{
    struct Case {
        const char* email;
        DatabaseValue record;  // written into users/<uid> beside the balance
        const char* label;     // the button's title
    };
    const Case cases[] = {
        {"both@example.com", DatabaseValue::object({{"status", 30}, {"first_name", "Ann"}, {"last_name", "Lee"}}),
         "Ann Lee | 2h 05m ▼"},
        {"first@example.com", DatabaseValue::object({{"status", 30}, {"first_name", "Ann"}, {"email", "first@example.com"}}),
         "Ann | 2h 05m ▼"},
        {"last@example.com", DatabaseValue::object({{"status", 10}, {"last_name", "Lee"}}), "Lee | 2h 05m ▼"},
        {"none@example.com", DatabaseValue::object({{"status", 30}}), "none@example.com | 2h 05m ▼"},
        // An account made by the service alone has no status and no names.
        {"bare@example.com", DatabaseValue(), "bare@example.com | 2h 05m ▼"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.email);
        std::string uid;
        service->signUp(c.email, &uid);
        for (const auto field : c.record.children())
            service->serviceWrite("users/" + uid + "/" + field.key, field.value);
        service->serviceWrite("users/" + uid + "/mins_bal", DatabaseValue(125));
        const QString http = QStringLiteral("http://127.0.0.1:%1/").arg(service->port());
        shell = std::make_unique<ApplicationShell>(queue, *preferences,
                                                   LaunchConfiguration::fromArguments({"quorvantelle", "--service", http}));
        shell->applicationDidFinishLaunching();
        ASSERT_TRUE(waitFor([&] { return shell->auth() != nullptr; }));
        shell->auth()->signIn(c.email, "secret-password", {});
        ASSERT_TRUE(waitFor([&] { return shell->ad().isLoggedIn && shell->ad().currentMode == 1; }));
        const QPushButton* button = shell->window().accountButton();
        EXPECT_TRUE(waitFor([&] { return button->text() == QString::fromUtf8(c.label); }))
            << button->text().toStdString();
        EXPECT_TRUE(button->isVisible());
        // Signed out, the next account starts afresh.
        shell->auth()->signOut();
        ASSERT_TRUE(waitFor([&] { return !shell->ad().isLoggedIn && !shell->ad().currentUser; }));
        EXPECT_EQ(button->text(), QString::fromUtf8("Loading… ▼"));
        shell.reset();
    }
}

}  // namespace
}  // namespace qv::shell
