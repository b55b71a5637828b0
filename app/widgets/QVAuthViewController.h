// The sign-in screen: one form that first asks for an e-mail address, asks the service whether
// an account exists for it, then opens into a log-in form (password, remember me, forgot
// password) or a create-account form (names, new password twice, newsletter and terms). It
// signs in, creates accounts with their records, sends password-reset mails and hands over to
// the files list. Main thread only.
#pragma once

#include "app/AccountObservers.h"
#include "app/widgets/UserExistenceCheck.h"
#include "platform/foundation/Dispatcher.h"

#include <QLineEdit>
#include <QPointer>

#include <cstdint>
#include <functional>

class AppDelegate;
class QAbstractAnimation;
class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QVAuthViewController;
class QVStringPopover;
class WidgetsHost;

namespace qv {
class AccountMessages;
class Auth;
class Preferences;
struct AuthError;
}

// A password field; the create and confirm fields tell the sign-in screen when they gain focus.
class QVPasswordTextField : public QLineEdit {
public:
    explicit QVPasswordTextField(QWidget* parent = nullptr);
    // Set only on the create and confirm fields.
    QVAuthViewController* authAccountVC = nullptr;

protected:
    void focusInEvent(QFocusEvent* event) override;
};

class QVAuthViewController {
public:
    enum Mode : std::int64_t { kModeEmail = 0, kModeCreateAccount = 1, kModeLogIn = 2 };

    struct Services {
        AppDelegate& ad;
        WidgetsHost& host;
        qv::AccountMessages& messages;
        qv::Dispatcher& mainQueue;
        qv::Preferences& preferences;
        qv::Auth& auth;
        // Whether an account exists for an address.
        qv::UserExistenceCheckFunction checkExistingUser;
        // Subscribes a new account to the newsletter: e-mail, first name, last name.
        std::function<void(const QString&, const QString&, const QString&)> subscribeToNewsletter;
        // Written into the launch-statistics record of a new account.
        qv::AccountObservers::Versions versions;
    };

    // Everything in `services` must outlive the controller, which owns its view.
    explicit QVAuthViewController(Services services);
    ~QVAuthViewController();
    QVAuthViewController(const QVAuthViewController&) = delete;
    QVAuthViewController& operator=(const QVAuthViewController&) = delete;

    QWidget* view() const { return view_; }
    std::int64_t mode() const { return mode_; }
    // The normalised address sent to the existence check; empty in the e-mail step.
    QString currentEmail() const { return currentEmail_; }
    // The popover the screen shows at present, or none.
    QVStringPopover* popover() const { return popover_; }

    // Back to the e-mail step; the e-mail field is emptied only when `clearEmail` is set.
    void resetModeShouldClearEmail(bool clearEmail);
    void showCreateAccountControls();
    void showLogInControls();

    void showInvalidEmailAddress();
    void showBannedDomain(const QString& domain);
    void showLoginPasswordError();
    void showMismatchedPasswords();
    void passwordFieldGotFocus(QVPasswordTextField* field);

    void didPressContinueButton();
    void didChangeLegalCheckbox();
    void didPressForgotPasswordButton();
    void didPressPrivacyPolicyButton();
    void didPressTermsOfServiceButton();

    // The field delegate: whether a field may start or stop editing, and its text changed.
    bool textShouldBeginEditing(QLineEdit* field);
    bool textShouldEndEditing(QLineEdit* field);
    void controlTextDidChange(QLineEdit* field);

    // The e-mail field with spaces and tabs around it removed, in lower case.
    QString normalisedEmail() const;
    bool isValidEmail() const;
    static bool isValidName(const QString& name);
    static bool isValidPassword(const QString& password);
    bool isValidPasswordConfirm() const;

    // The vertical places of the e-mail field and of the account controls, which each mode
    // sets (132 / 75 for the e-mail step, 166 / 0 to create an account, 41 to log in).
    double emailLayoutVertical() const { return emailLayoutVertical_; }
    double createAccountControlsContainerVertical() const { return containerVertical_; }
    // Ends the running mode animations at their final state.
    void finishAnimations();
    // The opacity a control is shown with once the mode's animation has run.
    static double alphaOf(const QWidget* control);

    QLineEdit* emailTextField() const { return emailTextField_; }
    QLineEdit* firstNameTextField() const { return firstNameTextField_; }
    QLineEdit* lastNameTextField() const { return lastNameTextField_; }
    QVPasswordTextField* passwordCreateTextField() const { return passwordCreateTextField_; }
    QVPasswordTextField* passwordConfirmTextField() const { return passwordConfirmTextField_; }
    QVPasswordTextField* passwordLoginTextField() const { return passwordLoginTextField_; }
    QLabel* welcomeTextUpper() const { return welcomeTextUpper_; }
    QLabel* welcomeTextLower() const { return welcomeTextLower_; }
    QPushButton* continueButton() const { return continueButton_; }
    QPushButton* forgotPasswordButton() const { return forgotPasswordButton_; }
    QCheckBox* rememberMeButton() const { return rememberMeButton_; }
    QCheckBox* legalCheckbox() const { return legalCheckbox_; }
    QCheckBox* newsletterCheckbox() const { return newsletterCheckbox_; }
    QPushButton* termsOfServiceButton() const { return termsOfServiceButton_; }
    QPushButton* privacyPolicyButton() const { return privacyPolicyButton_; }
    QProgressBar* progressWheel() const { return progressWheel_; }

private:
    class FieldWatcher;

    void buildView();
    void layoutForm();
    void animateLayout(double emailVertical, double containerVertical);
    void setAlpha(QWidget* control, double alpha, bool animated);
    void fadeWelcomeTexts(double alpha);
    void showPopover(QWidget* anchor, QWidget* inView, const QString& text, bool red);
    void closePopover();
    void closePopoverAfterDelay();
    void setNextKeyView(QWidget* field, QWidget* next);
    bool isCreateFormComplete() const;
    void updateContinueForCreateForm();
    void startProgress();
    void stopProgress();
    void setCreateControlsEnabled(bool enabled);
    void setLogInControlsEnabled(bool enabled);
    void existenceCheckAnswered(const QString& email, const qv::UserExistenceAnswer& answer);
    void logIn();
    void signUp();
    void signUpSignIn(const std::string& uid, const QString& email, const QString& password, const QString& firstName,
                      const QString& lastName);
    void writeAccountRecords(const std::string& uid, const QString& email, const QString& firstName, const QString& lastName);
    void showSheet(const QString& message, const QString& informative);

    void track(QAbstractAnimation* animation);

    Services services_;
    std::vector<QPointer<QAbstractAnimation>> animations_;
    std::int64_t mode_ = kModeEmail;
    QString currentEmail_;
    QPointer<QVStringPopover> popover_;
    double emailLayoutVertical_ = 132;
    double containerVertical_ = 75;

    QPointer<QWidget> view_;
    QLabel* welcomeTextUpper_ = nullptr;
    QLabel* welcomeTextLower_ = nullptr;
    QLineEdit* emailTextField_ = nullptr;
    QLineEdit* firstNameTextField_ = nullptr;
    QLineEdit* lastNameTextField_ = nullptr;
    QVPasswordTextField* passwordCreateTextField_ = nullptr;
    QVPasswordTextField* passwordConfirmTextField_ = nullptr;
    QVPasswordTextField* passwordLoginTextField_ = nullptr;
    QPushButton* continueButton_ = nullptr;
    QPushButton* forgotPasswordButton_ = nullptr;
    QCheckBox* rememberMeButton_ = nullptr;
    QCheckBox* legalCheckbox_ = nullptr;
    QLabel* legalLabel_ = nullptr;
    QCheckBox* newsletterCheckbox_ = nullptr;
    QPushButton* termsOfServiceButton_ = nullptr;
    QPushButton* privacyPolicyButton_ = nullptr;
    QProgressBar* progressWheel_ = nullptr;
    QWidget* createAccountControlsContainer_ = nullptr;
    FieldWatcher* watcher_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
