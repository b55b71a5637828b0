#include "app/widgets/QVAuthViewController.h"

#include "RecordingHost.h"
#include "WidgetsTestSupport.h"
#include "app/AccountNodes.h"
#include "app/widgets/AccountMessages.h"
#include "app/widgets/QVStringPopover.h"
#include "app/widgets/UserExistenceCheck.h"
#include "model/AppDelegate.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/Auth.h"
#include "platform/rtdb/AuthBackend.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const char* const kRuleHint = "Minimum 8 characters including\nnumbers, uppercase and lowercase";

// The accounts of the service, with sign-ins that can be made to fail.
class TestAccounts : public qv::AuthService {
public:
    TestAccounts() : backend(options()) {}
    static qv::AuthBackend::Options options()
    {
        qv::AuthBackend::Options options;
        options.hashIterations = 1;
        return options;
    }
    std::variant<qv::AuthSession, qv::AuthError> createAccount(const std::string& email, const std::string& password) override
    {
        return backend.createAccount(email, password);
    }
    std::variant<qv::AuthSession, qv::AuthError> signIn(const std::string& email, const std::string& password) override
    {
        if (refuseSignIn)
            return qv::AuthError{qv::AuthErrorCode::NetworkError, "The service could not be reached."};
        return backend.signIn(email, password);
    }
    std::variant<std::optional<qv::User>, qv::AuthError> checkSession(const std::string& token) override
    {
        return backend.checkSession(token);
    }
    void endSession(const std::string& token) override { backend.endSession(token); }
    std::optional<qv::AuthError> requestPasswordReset(const std::string& email) override
    {
        return backend.requestPasswordReset(email);
    }

    qv::AuthBackend backend;
    std::atomic<bool> refuseSignIn = false;
};

struct Newsletter {
    QString email, firstName, lastName;
};

class SignInTest : public ::testing::Test {
protected:
    SignInTest()
        : client(database, queue), auth(accounts, queue), preferences(folder.path()), messages(host, queue),
          controller(services())
    {
        ad.systemID = "0123456789ABCDEF0123456789ABCDEF";
        ad.versionOS = {14, 2, 1};
        qv::setupDatabaseReferences(ad, client.root());
        preferences.registerDefaults({{"QVRememberMe", true}});
        controller.view()->show();
    }

    QVAuthViewController::Services services()
    {
        return {ad,
                host,
                messages,
                queue,
                preferences,
                auth,
                [this](const QString& email, qv::UserExistenceCompletion completion) {
                    checkedEmails << email;
                    pendingCheck = std::move(completion);
                },
                [this](const QString& email, const QString& first, const QString& last) {
                    newsletter.push_back({email, first, last});
                },
                {"2.4", "240"}};
    }

    void type(QLineEdit* field, const QString& text)
    {
        field->setText(text);
        controller.controlTextDidChange(field);
    }

    // Continue in the e-mail step, answered with `body`.
    void continueWith(const QString& email, std::optional<QJsonObject> body)
    {
        type(controller.emailTextField(), email);
        controller.didPressContinueButton();
        ASSERT_TRUE(pendingCheck);
        auto answer = std::move(pendingCheck);
        pendingCheck = nullptr;
        answer({std::nullopt, std::move(body)});
    }

    // The field gains the keyboard focus, as a click or Tab gives it.
    static void focus(QWidget* field)
    {
        QFocusEvent event(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(field, &event);
    }

    QString popoverText() const { return controller.popover() ? controller.popover()->text() : QString(); }

    void fillCreateForm(const QString& password = "Secret123")
    {
        type(controller.firstNameTextField(), " Ada ");
        type(controller.lastNameTextField(), "Lovelace");
        type(controller.passwordCreateTextField(), password);
        type(controller.passwordConfirmTextField(), password);
    }

    bool waitFor(const std::function<bool()>& done) { return queue.runUntil(done, 20); }

    QApplication& application = testApplication();
    QTemporaryDir folder;
    qv::ManualDispatcher queue;
    qv::DatabaseBackend database;
    qv::DatabaseClient client;
    TestAccounts accounts;
    qv::Auth auth;
    qv::Preferences preferences;
    AppDelegate ad;
    RecordingHost host;
    qv::AccountMessages messages;
    QStringList checkedEmails;
    qv::UserExistenceCompletion pendingCheck;
    std::vector<Newsletter> newsletter;
    QVAuthViewController controller;
};

TEST_F(SignInTest, EmailRule)
{
    const struct {
        const char* typed;
        bool valid;
    } cases[] = {
        {"editor@example.com", true},
        {"  Editor.Name@Example.COM\t", true},
        {"a_b%c-d@mail.example.co", true},
        {"editor@example.c", false},
        {"editor@example.io", true},
        {"editor@example.abcdefghijklmnopqrstuvwx", true},
        {"editor@example.abcdefghijklmnopqrstuvwxy", false},
        {"editor@example", false},
        {"editor example@example.com", false},
        {"editor+tag@example.com", false},
        {"", false},
        {"   ", false},
    };
    for (const auto& c : cases) {
        controller.emailTextField()->setText(QString::fromUtf8(c.typed));
        EXPECT_EQ(controller.isValidEmail(), c.valid) << '"' << c.typed << '"';
    }
    controller.emailTextField()->setText("  Editor@Example.COM\t");
    EXPECT_EQ(controller.normalisedEmail(), "editor@example.com");
}

TEST_F(SignInTest, PasswordAndNameRules)
{
    const struct {
        const char* password;
        bool valid;
    } cases[] = {
        {"abcdefgh", false},        {"ABCDEFG1", false},       {"Abcdefg1", true},       {"Abc1", false},
        {"Abcd efg1", false},       {"  Abcdefg1  ", true},    {"Abcdefg1\\", false},    {"Ab1!@#$%^&*()_+|~={}[]:;'<>?,./-`\"", true},
        {"Abcdéfg1", false},        {"\tAbc1234", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QVAuthViewController::isValidPassword(QString::fromUtf8(c.password)), c.valid) << c.password;
    EXPECT_TRUE(QVAuthViewController::isValidName(" A "));
    EXPECT_FALSE(QVAuthViewController::isValidName(" \t "));
    EXPECT_FALSE(QVAuthViewController::isValidName(""));
}

TEST_F(SignInTest, AnInvalidEmailNeverReachesTheServiceAndItsPopoverCloses)
{
    type(controller.emailTextField(), "editor@example");
    controller.didPressContinueButton();
    EXPECT_TRUE(checkedEmails.isEmpty());
    EXPECT_EQ(popoverText(), "Invalid email address");
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeEmail);
    queue.advance(2.9);
    EXPECT_NE(controller.popover(), nullptr);
    queue.advance(0.1);
    EXPECT_EQ(controller.popover(), nullptr);
}

TEST_F(SignInTest, TheServicesAnswerChoosesTheForm)
{
    const struct {
        const char* name;
        std::optional<QJsonObject> body;
        std::int64_t mode;
        const char* popover;
    } cases[] = {
        {"exists", QJsonObject{{"user_exists", true}, {"banned_domain", false}}, QVAuthViewController::kModeLogIn, ""},
        {"exists on a banned domain", QJsonObject{{"user_exists", true}, {"banned_domain", true}},
         QVAuthViewController::kModeLogIn, ""},
        {"banned domain", QJsonObject{{"user_exists", false}, {"banned_domain", true}}, QVAuthViewController::kModeEmail,
         "mail.example.com email addresses cannot be used to create a Quorvantelle account.\n\nPlease use a different email "
         "address."},
        {"neither key", QJsonObject{}, QVAuthViewController::kModeCreateAccount, ""},
        {"no answer", std::nullopt, QVAuthViewController::kModeCreateAccount, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        controller.resetModeShouldClearEmail(true);
        checkedEmails.clear();
        continueWith(" Someone@Mail.Example.com ", c.body);
        EXPECT_EQ(checkedEmails, QStringList{"someone@mail.example.com"});
        EXPECT_EQ(controller.mode(), c.mode);
        EXPECT_EQ(popoverText(), c.popover);
        EXPECT_TRUE(controller.progressWheel()->isHidden());
        EXPECT_FALSE(controller.continueButton()->isEnabled()) << "until the next change of text";
    }
}

TEST_F(SignInTest, AFailedCheckShowsTheAuthenticationErrorAndStaysOnTheEmailStep)
{
    type(controller.emailTextField(), "editor@example.com");
    controller.didPressContinueButton();
    EXPECT_FALSE(controller.progressWheel()->isHidden());
    pendingCheck({QStringLiteral("Connection refused"), std::nullopt});
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeEmail);
    ASSERT_EQ(host.sheets.shownAlerts().size(), 1u);
    EXPECT_EQ(host.sheets.shownAlerts()[0].messageText, "Authentication error");
    EXPECT_EQ(host.sheets.shownAlerts()[0].informativeText,
              "Your email address could not be checked. Please submit a support ticket from the Help menu.");
    EXPECT_EQ(host.sheets.shownAlerts()[0].style, qv::AlertStyle::Critical);
}

TEST_F(SignInTest, TheCheckSendsTheAddressPercentEncoded)
{
    const QUrl endpoint("http://127.0.0.1:8080/check-existing-user");
    EXPECT_EQ(qv::userExistenceCheckURL(endpoint, "a%41b+c@example.com").toString(QUrl::FullyEncoded),
              "http://127.0.0.1:8080/check-existing-user?email=a%2541b%2Bc%40example.com");
    EXPECT_EQ(qv::userExistenceCheckURL(endpoint, "a%41b+c@example.com").query(QUrl::FullyDecoded),
              "email=a%41b+c@example.com");
}

TEST_F(SignInTest, CreateFormPopoversAndTheLegalCheckBox)
{
    continueWith("new@example.com", QJsonObject{});
    ASSERT_EQ(controller.mode(), QVAuthViewController::kModeCreateAccount);
    EXPECT_DOUBLE_EQ(controller.emailLayoutVertical(), 166);
    EXPECT_DOUBLE_EQ(controller.createAccountControlsContainerVertical(), 0);
    EXPECT_EQ(QVAuthViewController::alphaOf(controller.welcomeTextUpper()), 0);
    EXPECT_EQ(QVAuthViewController::alphaOf(controller.firstNameTextField()), 1);
    EXPECT_FALSE(controller.termsOfServiceButton()->isHidden());

    // A name emptied to spaces: the red hint, and the field cannot be left.
    type(controller.firstNameTextField(), "  ");
    EXPECT_EQ(popoverText(), "Minimum 1 character");
    EXPECT_FALSE(controller.textShouldEndEditing(controller.firstNameTextField()));
    type(controller.firstNameTextField(), "Ada");
    EXPECT_EQ(controller.popover(), nullptr);
    EXPECT_TRUE(controller.textShouldEndEditing(controller.firstNameTextField()));
    type(controller.lastNameTextField(), "Lovelace");

    // The rule hint shows at the create field's focus and while typing; the confirm field's
    // mismatch shows once it is as long as the new password.
    focus(controller.passwordCreateTextField());
    EXPECT_EQ(popoverText(), kRuleHint);
    type(controller.passwordCreateTextField(), "Secret1");
    EXPECT_FALSE(controller.textShouldEndEditing(controller.passwordCreateTextField()));
    type(controller.passwordCreateTextField(), "Secret123");
    EXPECT_TRUE(controller.textShouldEndEditing(controller.passwordCreateTextField()));
    focus(controller.passwordConfirmTextField());
    EXPECT_EQ(controller.popover(), nullptr) << "the confirm field only closes the hint";
    type(controller.passwordConfirmTextField(), "Secret12");
    EXPECT_EQ(controller.popover(), nullptr);
    type(controller.passwordConfirmTextField(), "Secret124");
    EXPECT_EQ(popoverText(), "Passwords do not match");
    EXPECT_FALSE(controller.legalCheckbox()->isEnabled());
    EXPECT_FALSE(controller.continueButton()->isEnabled());

    type(controller.passwordConfirmTextField(), "Secret123");
    EXPECT_TRUE(controller.legalCheckbox()->isEnabled());
    EXPECT_TRUE(controller.newsletterCheckbox()->isEnabled());
    EXPECT_FALSE(controller.continueButton()->isEnabled()) << "the terms are not accepted";
    controller.legalCheckbox()->setChecked(true);
    EXPECT_TRUE(controller.continueButton()->isEnabled());
    controller.legalCheckbox()->setChecked(false);
    EXPECT_FALSE(controller.continueButton()->isEnabled());
}

TEST_F(SignInTest, EditingTheEmailAfterTheFormOpenedCollapsesItAndEmptiesTheOtherFields)
{
    continueWith("new@example.com", QJsonObject{});
    fillCreateForm();
    type(controller.emailTextField(), "new@example.co");
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeEmail);
    EXPECT_EQ(controller.emailTextField()->text(), "new@example.co");
    EXPECT_EQ(controller.currentEmail(), "");
    EXPECT_EQ(controller.firstNameTextField()->text(), "");
    EXPECT_EQ(controller.passwordCreateTextField()->text(), "");
    EXPECT_EQ(controller.passwordConfirmTextField()->text(), "");
    EXPECT_DOUBLE_EQ(controller.emailLayoutVertical(), 132);
    EXPECT_DOUBLE_EQ(controller.createAccountControlsContainerVertical(), 75);
    EXPECT_EQ(QVAuthViewController::alphaOf(controller.firstNameTextField()), 0);
    EXPECT_EQ(QVAuthViewController::alphaOf(controller.welcomeTextLower()), 1);
    EXPECT_TRUE(controller.termsOfServiceButton()->isHidden());
    EXPECT_TRUE(controller.continueButton()->isEnabled());
}

TEST_F(SignInTest, LogInOutcomes)
{
    controller.view()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(controller.view()));
    accounts.backend.createAccount("editor@example.com", "Secret123");
    continueWith("Editor@Example.com", QJsonObject{{"user_exists", true}});
    ASSERT_EQ(controller.mode(), QVAuthViewController::kModeLogIn);
    EXPECT_DOUBLE_EQ(controller.createAccountControlsContainerVertical(), 41);
    EXPECT_TRUE(controller.forgotPasswordButton()->isEnabled());
    EXPECT_TRUE(controller.rememberMeButton()->isChecked()) << "the stored choice";
    controller.rememberMeButton()->setChecked(false);
    EXPECT_FALSE(preferences.boolForKey("QVRememberMe"));
    controller.rememberMeButton()->setChecked(true);

    // Any eight characters enable Continue here.
    type(controller.passwordLoginTextField(), "aaaaaaa");
    EXPECT_FALSE(controller.continueButton()->isEnabled());
    type(controller.passwordLoginTextField(), "aaaaaaaa");
    EXPECT_TRUE(controller.continueButton()->isEnabled());

    controller.didPressContinueButton();
    EXPECT_FALSE(controller.emailTextField()->isEnabled());
    EXPECT_FALSE(controller.rememberMeButton()->isEnabled());
    ASSERT_TRUE(waitFor([&] { return controller.popover() != nullptr; }));
    EXPECT_EQ(popoverText(), "Incorrect password");
    // The next keys go to the password, selected whole so that they replace it.
    EXPECT_EQ(QApplication::focusWidget(), controller.passwordLoginTextField());
    EXPECT_EQ(controller.passwordLoginTextField()->selectedText(), "aaaaaaaa");
    EXPECT_TRUE(controller.emailTextField()->isEnabled());
    EXPECT_TRUE(controller.rememberMeButton()->isEnabled());
    EXPECT_EQ(host.calls, QStringList{"resetFocus"});

    accounts.refuseSignIn = true;
    controller.didPressContinueButton();
    ASSERT_TRUE(waitFor([&] { return !host.sheets.shownAlerts().empty(); }));
    EXPECT_EQ(host.sheets.shownAlerts()[0].messageText, "Log in error");
    EXPECT_EQ(host.sheets.shownAlerts()[0].informativeText, "The service could not be reached.");

    accounts.refuseSignIn = false;
    type(controller.passwordLoginTextField(), "  Secret123 ");
    controller.didPressContinueButton();
    ASSERT_TRUE(waitFor([&] { return host.calls.contains("transitionToFiles"); }));
    EXPECT_EQ(auth.currentUser()->email, "editor@example.com");
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeLogIn);
    queue.advance(0.3);
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeEmail);
    EXPECT_EQ(controller.emailTextField()->text(), "");
}

TEST_F(SignInTest, SignUpCreatesTheAccountItsRecordsAndAsksToRemember)
{
    continueWith("  New@Example.com", QJsonObject{{"user_exists", false}});
    fillCreateForm(" Secret123 ");
    controller.newsletterCheckbox()->setChecked(true);
    controller.legalCheckbox()->setChecked(true);
    host.sheets.script(qv::kAlertFirstButtonReturn + 1);
    controller.didPressContinueButton();
    EXPECT_TRUE(ad.hasLoggedSessionStats);
    EXPECT_FALSE(controller.firstNameTextField()->isEnabled());
    ASSERT_EQ(newsletter.size(), 1u);
    EXPECT_EQ(newsletter[0].email, "new@example.com");
    EXPECT_EQ(newsletter[0].firstName, "Ada");
    EXPECT_EQ(newsletter[0].lastName, "Lovelace");

    ASSERT_TRUE(waitFor([&] { return host.calls.contains("transitionToFiles"); }));
    ASSERT_EQ(host.sheets.shownAlerts().size(), 1u);
    const qv::Alert& question = host.sheets.shownAlerts()[0];
    EXPECT_EQ(question.messageText, "Do you want your email and password to be remembered on this computer?");
    EXPECT_EQ(question.informativeText, "You will automatically be logged in when the app\nis launched.");
    EXPECT_EQ(question.buttons, (QStringList{"Remember", "Do Not Remember"}));
    EXPECT_FALSE(preferences.boolForKey("QVRememberMe"));

    const std::string uid = auth.currentUser()->uid;
    EXPECT_EQ(auth.currentUser()->email, "new@example.com");
    const qv::DatabaseValue user = database.value("users/" + uid);
    EXPECT_EQ(user.childCount(), 8u);
    EXPECT_EQ(user.child("email").toString(), "new@example.com");
    EXPECT_EQ(user.child("first_name").toString(), "Ada");
    EXPECT_EQ(user.child("last_name").toString(), "Lovelace");
    EXPECT_EQ(user.child("currency").toString(), "usd");
    EXPECT_EQ(user.child("signup_source").toString(), "direct");
    EXPECT_EQ(user.child("status").toInt(), 10);
    EXPECT_GT(user.child("created").toInt(), 0);
    const std::string system = ad.systemID.toStdString();
    EXPECT_EQ(user.child("os_version").child("14_2_1").child(system).child("app_version").toString(), "2.4");
    EXPECT_EQ(database.value("stats/os_version/14_2_1/" + uid + "/" + system + "/build_version").toString(), "240");

    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeEmail);
    EXPECT_TRUE(controller.progressWheel()->isHidden());
    EXPECT_EQ(controller.emailTextField()->text(), "");
}

TEST_F(SignInTest, AnAccountThatCannotBeCreatedIsReportedAndTheFormKept)
{
    accounts.backend.createAccount("taken@example.com", "Secret123");
    continueWith("taken@example.com", QJsonObject{});
    fillCreateForm();
    controller.legalCheckbox()->setChecked(true);
    controller.didPressContinueButton();
    ASSERT_TRUE(waitFor([&] { return controller.firstNameTextField()->isEnabled(); }));
    EXPECT_TRUE(controller.progressWheel()->isHidden());
    EXPECT_EQ(controller.firstNameTextField()->text(), " Ada ");
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeCreateAccount);
    queue.advance(0.5);
    ASSERT_EQ(host.modals.shownAlerts().size(), 1u);
    EXPECT_EQ(host.modals.shownAlerts()[0].messageText, "Account could not be created");
}

// After the account is made, the sign-in that follows or the writing of its records can fail:
// the form must not stay disabled with a spinning wheel, and the user is told.
TEST_F(SignInTest, FailuresAfterTheAccountExistsReturnToTheEmailStepAndSaySo)
{
    continueWith("first@example.com", QJsonObject{});
    fillCreateForm();
    controller.legalCheckbox()->setChecked(true);
    host.sheets.setHoldUnscripted(true);
    controller.didPressContinueButton();
    ASSERT_TRUE(waitFor([&] { return host.sheets.hasOpenAlert(); }));
    accounts.refuseSignIn = true;
    host.sheets.answerOpenAlert(qv::kAlertFirstButtonReturn);
    ASSERT_TRUE(waitFor([&] { return host.sheets.shownAlerts().size() == 2; }));
    EXPECT_EQ(host.sheets.shownAlerts()[1].messageText, "Log in error");
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeEmail);
    EXPECT_EQ(controller.emailTextField()->text(), "first@example.com");
    EXPECT_TRUE(controller.emailTextField()->isEnabled());
    EXPECT_TRUE(controller.progressWheel()->isHidden());
    EXPECT_TRUE(preferences.boolForKey("QVRememberMe"));
    EXPECT_FALSE(host.calls.contains("transitionToFiles"));

    // A computer identifier the database refuses as a key: the records cannot be written.
    accounts.refuseSignIn = false;
    ad.systemID = "bad.id";
    continueWith("second@example.com", QJsonObject{});
    fillCreateForm();
    controller.legalCheckbox()->setChecked(true);
    controller.didPressContinueButton();
    ASSERT_TRUE(waitFor([&] { return host.sheets.hasOpenAlert(); }));
    host.sheets.answerOpenAlert(qv::kAlertFirstButtonReturn);
    ASSERT_TRUE(waitFor([&] { return host.sheets.shownAlerts().size() == 4; }));
    EXPECT_EQ(host.sheets.shownAlerts()[3].messageText, "Account details could not be saved");
    EXPECT_EQ(controller.mode(), QVAuthViewController::kModeEmail);
    EXPECT_EQ(controller.emailTextField()->text(), "second@example.com");
    EXPECT_TRUE(controller.progressWheel()->isHidden());
    EXPECT_FALSE(host.calls.contains("transitionToFiles"));
}

TEST_F(SignInTest, PasswordResetAndLinks)
{
    accounts.backend.createAccount("editor@example.com", "Secret123");
    continueWith("editor@example.com", QJsonObject{{"user_exists", true}});
    controller.didPressForgotPasswordButton();
    ASSERT_TRUE(waitFor([&] { return queue.pending() == 1; }));
    queue.advance(0.5);
    ASSERT_EQ(host.sheets.shownAlerts().size(), 1u);
    EXPECT_EQ(host.sheets.shownAlerts()[0].messageText, "Password reset in progress");

    type(controller.emailTextField(), "nobody@example.com");
    controller.didPressForgotPasswordButton();
    ASSERT_TRUE(waitFor([&] { return queue.pending() == 1; }));
    queue.advance(0.5);
    ASSERT_EQ(host.sheets.shownAlerts().size(), 2u);
    EXPECT_EQ(host.sheets.shownAlerts()[1].messageText, "Password could not be reset");

    controller.didPressTermsOfServiceButton();
    controller.didPressPrivacyPolicyButton();
    EXPECT_EQ(host.openedURLs, (std::vector<QUrl>{QUrl("https://www.example.test/terms-of-service/"),
                                                   QUrl("https://www.example.test/privacy-policy/")}));
}

TEST_F(SignInTest, Screenshots)
{
    saveScreenshot(*controller.view(), "sign-in-email");
    continueWith("new@example.com", QJsonObject{});
    fillCreateForm();
    controller.finishAnimations();
    saveScreenshot(*controller.view(), "sign-in-create-account");
    controller.resetModeShouldClearEmail(false);
    continueWith("new@example.com", QJsonObject{{"user_exists", true}});
    controller.finishAnimations();
    saveScreenshot(*controller.view(), "sign-in-log-in");
}

}  // namespace
