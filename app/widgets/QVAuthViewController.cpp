#include "app/widgets/QVAuthViewController.h"

#include "app/AccountNodes.h"
#include "app/widgets/AccountMessages.h"
#include "app/widgets/QVBackgroundViews.h"
#include "app/widgets/QVHyperlinkButton.h"
#include "app/widgets/QVStringPopover.h"
#include "app/widgets/WidgetsHost.h"
#include "model/AppDelegate.h"
#include "platform/foundation/CharacterSet.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/Auth.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QParallelAnimationGroup>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QRegularExpression>
#include <QVariantAnimation>

#include <cmath>

namespace {

// Length of a mode change's animation, milliseconds.
constexpr int kModeAnimationMs = 400;
// How long the error popovers stay, seconds.
constexpr double kErrorPopoverSeconds = 3;
// The delay between a log-in and the form's return to the e-mail step, seconds.
constexpr double kResetAfterLogInSeconds = 0.3;
// Wrap width of the screen's popovers, points.
constexpr float kPopoverWrapWidth = 300;
// The authentication service's code for a wrong password.
constexpr int kWrongPasswordCode = 17009;

// Form geometry, pixels: the view's size, the column of the fields and the height of the
// account controls when fully shown.
constexpr int kViewWidth = 620;
constexpr int kViewHeight = 260;
constexpr int kFieldsX = 145;
constexpr int kFieldsWidth = 330;
constexpr int kFieldHeight = 26;
constexpr double kContainerFullHeight = 150;
// The e-mail field's top is this less its layout constant.
constexpr double kEmailBaseline = 200;
// The container constant at which the account controls are fully hidden.
constexpr double kContainerCollapsed = 75;

const QColor kRed = QColor::fromRgbF(0.7f, 0.1f, 0.1f);

const char* const kAlphaProperty = "qvAlpha";

// Names, passwords and the e-mail lose spaces and tabs at either end, never line breaks.
QString trimmedSpacesAndTabs(const QString& text)
{
    static const qv::CharacterSet blanks = qv::CharacterSet::fromCharacters(QStringLiteral(" \t"));
    return qv::trimmed(text, blanks);
}

void setTextColor(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::ButtonText, color);
    widget->setPalette(palette);
}

QCheckBox* checkBox(const QString& title, QWidget* parent)
{
    auto* box = new QCheckBox(title, parent);
    box->setFocusPolicy(Qt::TabFocus);
    setTextColor(box, QColor(220, 220, 220));
    return box;
}

}  // namespace

// Feeds focus changes of the form's fields to the controller: the e-mail field starting to
// edit, and the vetoes on leaving a field.
class QVAuthViewController::FieldWatcher : public QObject {
public:
    explicit FieldWatcher(QVAuthViewController& controller) : controller_(controller) {}
    // Set while the controller itself moves the focus, which no veto may undo.
    bool suspended = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (!field)
            return false;
        if (event->type() == QEvent::FocusIn) {
            controller_.textShouldBeginEditing(field);
        } else if (event->type() == QEvent::FocusOut && !suspended) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                !controller_.textShouldEndEditing(field)) {
                QPointer<QLineEdit> keep = field;
                controller_.services_.mainQueue.async([keep] {
                    if (keep)
                        keep->setFocus(Qt::OtherFocusReason);
                });
            }
        }
        return false;
    }

private:
    QVAuthViewController& controller_;
};

QVPasswordTextField::QVPasswordTextField(QWidget* parent) : QLineEdit(parent)
{
    setEchoMode(QLineEdit::Password);
}

void QVPasswordTextField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (authAccountVC)
        authAccountVC->passwordFieldGotFocus(this);
}

QVAuthViewController::QVAuthViewController(Services services) : services_(std::move(services))
{
    buildView();
}

QVAuthViewController::~QVAuthViewController()
{
    *alive_ = false;
    if (popover_)
        delete popover_.data();
    delete view_.data();
}

void QVAuthViewController::buildView()
{
    view_ = new QVDarkerBackground;
    view_->setFixedSize(kViewWidth, kViewHeight);
    watcher_ = new FieldWatcher(*this);
    watcher_->setParent(view_);

    welcomeTextUpper_ = new QLabel(QStringLiteral("Welcome to Quorvantelle"), view_);
    QFont upperFont = welcomeTextUpper_->font();
    upperFont.setPointSizeF(upperFont.pointSizeF() * 1.6);
    upperFont.setBold(true);
    welcomeTextUpper_->setFont(upperFont);
    welcomeTextUpper_->setAlignment(Qt::AlignCenter);
    setTextColor(welcomeTextUpper_, Qt::white);
    welcomeTextLower_ = new QLabel(QStringLiteral("Enter your email address to log in or to create an account."), view_);
    welcomeTextLower_->setAlignment(Qt::AlignCenter);
    setTextColor(welcomeTextLower_, QColor(170, 170, 170));

    emailTextField_ = new QLineEdit(view_);
    emailTextField_->setPlaceholderText(QStringLiteral("Email address"));
    continueButton_ = new QPushButton(QStringLiteral("Continue"), view_);
    continueButton_->setFocusPolicy(Qt::TabFocus);
    progressWheel_ = new QProgressBar(view_);
    progressWheel_->setRange(0, 0);
    progressWheel_->setTextVisible(false);
    progressWheel_->hide();

    createAccountControlsContainer_ = new QWidget(view_);
    QWidget* container = createAccountControlsContainer_;
    firstNameTextField_ = new QLineEdit(container);
    firstNameTextField_->setPlaceholderText(QStringLiteral("First name"));
    lastNameTextField_ = new QLineEdit(container);
    lastNameTextField_->setPlaceholderText(QStringLiteral("Last name"));
    passwordCreateTextField_ = new QVPasswordTextField(container);
    passwordCreateTextField_->setPlaceholderText(QStringLiteral("Create password"));
    passwordConfirmTextField_ = new QVPasswordTextField(container);
    passwordConfirmTextField_->setPlaceholderText(QStringLiteral("Confirm password"));
    newsletterCheckbox_ = checkBox(QStringLiteral("Send me news and tips by email"), container);
    legalCheckbox_ = checkBox(QString(), container);
    // The two phrases in bold are characters 15 to 30 and 36 to 49 of the title.
    const QString legal = QStringLiteral("I agree to the Terms of Service and Privacy Policy");
    legalLabel_ = new QLabel(legal.left(15) + "<b>" + legal.mid(15, 16) + "</b>" + legal.mid(31, 5) + "<b>" +
                                 legal.mid(36, 14) + "</b>",
                             container);
    setTextColor(legalLabel_, QColor(220, 220, 220));
    QFont legalFont = legalLabel_->font();
    legalFont.setPointSizeF(legalFont.pointSizeF() - 0.5);
    legalLabel_->setFont(legalFont);
    passwordLoginTextField_ = new QVPasswordTextField(container);
    passwordLoginTextField_->setPlaceholderText(QStringLiteral("Password"));
    rememberMeButton_ = checkBox(QStringLiteral("Remember me"), container);
    forgotPasswordButton_ = new QVHyperlinkButton(QStringLiteral("Forgot password?"), container);

    termsOfServiceButton_ = new QVHyperlinkButton(QStringLiteral("Terms of Service"), view_);
    privacyPolicyButton_ = new QVHyperlinkButton(QStringLiteral("Privacy Policy"), view_);

    firstNameTextField_->setGeometry(0, 0, 161, kFieldHeight);
    lastNameTextField_->setGeometry(169, 0, 161, kFieldHeight);
    passwordCreateTextField_->setGeometry(0, 34, kFieldsWidth, kFieldHeight);
    passwordConfirmTextField_->setGeometry(0, 68, kFieldsWidth, kFieldHeight);
    newsletterCheckbox_->setGeometry(0, 102, kFieldsWidth, 20);
    legalCheckbox_->setGeometry(0, 126, 20, 20);
    legalLabel_->setGeometry(22, 126, kFieldsWidth - 22, 20);
    passwordLoginTextField_->setGeometry(0, 0, kFieldsWidth, kFieldHeight);
    rememberMeButton_->setGeometry(0, 36, 150, 20);
    forgotPasswordButton_->setGeometry(200, 36, 130, 20);
    welcomeTextUpper_->setGeometry(0, 0, kViewWidth, 30);
    welcomeTextLower_->setGeometry(0, 34, kViewWidth, 20);

    for (QLineEdit* field : {emailTextField_, firstNameTextField_, lastNameTextField_,
                             static_cast<QLineEdit*>(passwordCreateTextField_),
                             static_cast<QLineEdit*>(passwordConfirmTextField_),
                             static_cast<QLineEdit*>(passwordLoginTextField_)}) {
        field->installEventFilter(watcher_);
        QObject::connect(field, &QLineEdit::textEdited, view_, [this, field] { controlTextDidChange(field); });
        QObject::connect(field, &QLineEdit::returnPressed, view_, [this] {
            if (continueButton_->isEnabled())
                didPressContinueButton();
        });
    }
    QObject::connect(continueButton_, &QPushButton::clicked, view_, [this] { didPressContinueButton(); });
    QObject::connect(legalCheckbox_, &QCheckBox::toggled, view_, [this] { didChangeLegalCheckbox(); });
    QObject::connect(forgotPasswordButton_, &QPushButton::clicked, view_, [this] { didPressForgotPasswordButton(); });
    QObject::connect(termsOfServiceButton_, &QPushButton::clicked, view_, [this] { didPressTermsOfServiceButton(); });
    QObject::connect(privacyPolicyButton_, &QPushButton::clicked, view_, [this] { didPressPrivacyPolicyButton(); });
    QObject::connect(rememberMeButton_, &QCheckBox::toggled, view_, [this](bool on) {
        services_.preferences.setObject(QStringLiteral("QVRememberMe"), on);
    });

    mode_ = kModeEmail;
    for (QWidget* control : std::initializer_list<QWidget*>{firstNameTextField_, lastNameTextField_, passwordCreateTextField_,
                                                             passwordConfirmTextField_, newsletterCheckbox_, legalCheckbox_,
                                                             passwordLoginTextField_, rememberMeButton_, forgotPasswordButton_})
        setAlpha(control, 0, false);
    setAlpha(legalLabel_, 0, false);
    setAlpha(welcomeTextUpper_, 1, false);
    setAlpha(welcomeTextLower_, 1, false);
    termsOfServiceButton_->hide();
    privacyPolicyButton_->hide();
    passwordCreateTextField_->authAccountVC = this;
    passwordConfirmTextField_->authAccountVC = this;
    currentEmail_.clear();
    layoutForm();
}

void QVAuthViewController::layoutForm()
{
    const int emailY = int(std::lround(kEmailBaseline - emailLayoutVertical_));
    emailTextField_->setGeometry(kFieldsX, emailY, kFieldsWidth, kFieldHeight);
    continueButton_->setGeometry(kFieldsX + kFieldsWidth + 10, emailY - 1, 100, kFieldHeight + 2);
    progressWheel_->setGeometry(kFieldsX + kFieldsWidth + 10, emailY + kFieldHeight + 6, 100, 6);
    const int containerY = emailY + kFieldHeight + 10;
    const double shown = kContainerFullHeight * (kContainerCollapsed - containerVertical_) / kContainerCollapsed;
    const int containerHeight = int(std::lround(std::clamp(shown, 0.0, kContainerFullHeight)));
    createAccountControlsContainer_->setGeometry(kFieldsX, containerY, kFieldsWidth, containerHeight);
    const int linksY = containerY + containerHeight + 6;
    termsOfServiceButton_->setGeometry(kFieldsX, linksY, 130, 20);
    privacyPolicyButton_->setGeometry(kFieldsX + 150, linksY, 130, 20);
}

void QVAuthViewController::animateLayout(double emailVertical, double containerVertical)
{
    const double fromEmail = emailLayoutVertical_;
    const double fromContainer = containerVertical_;
    emailLayoutVertical_ = emailVertical;
    containerVertical_ = containerVertical;
    auto* animation = new QVariantAnimation(view_);
    animation->setDuration(kModeAnimationMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    const double toEmail = emailVertical;
    const double toContainer = containerVertical;
    QObject::connect(animation, &QVariantAnimation::valueChanged, view_, [=, this](const QVariant& value) {
        const double t = value.toDouble();
        const double keptEmail = emailLayoutVertical_;
        const double keptContainer = containerVertical_;
        emailLayoutVertical_ = fromEmail + (toEmail - fromEmail) * t;
        containerVertical_ = fromContainer + (toContainer - fromContainer) * t;
        layoutForm();
        emailLayoutVertical_ = keptEmail;
        containerVertical_ = keptContainer;
    });
    QObject::connect(animation, &QVariantAnimation::finished, view_, [this] { layoutForm(); });
    if (view_->isVisible()) {
        track(animation);
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
    else {
        delete animation;
        layoutForm();
    }
}

void QVAuthViewController::track(QAbstractAnimation* animation)
{
    std::erase_if(animations_, [](const QPointer<QAbstractAnimation>& kept) { return kept.isNull(); });
    animations_.emplace_back(animation);
}

void QVAuthViewController::finishAnimations()
{
    for (const QPointer<QAbstractAnimation>& animation : std::vector(animations_)) {
        if (animation)
            animation->setCurrentTime(animation->totalDuration());
    }
    animations_.clear();
}

double QVAuthViewController::alphaOf(const QWidget* control)
{
    return control->property(kAlphaProperty).toDouble();
}

void QVAuthViewController::setAlpha(QWidget* control, double alpha, bool animated)
{
    control->setProperty(kAlphaProperty, alpha);
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(control->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(control);
        control->setGraphicsEffect(effect);
    }
    if (alpha > 0)
        control->show();
    if (!animated || !view_->isVisible()) {
        effect->setOpacity(alpha);
        control->setVisible(alpha > 0);
        return;
    }
    auto* animation = new QPropertyAnimation(effect, "opacity", control);
    animation->setDuration(kModeAnimationMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setEndValue(alpha);
    QPointer<QWidget> kept = control;
    QObject::connect(animation, &QPropertyAnimation::finished, control, [kept] {
        if (kept)
            kept->setVisible(alphaOf(kept) > 0);
    });
    track(animation);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void QVAuthViewController::fadeWelcomeTexts(double alpha)
{
    setAlpha(welcomeTextUpper_, alpha, true);
    setAlpha(welcomeTextLower_, alpha, true);
}

void QVAuthViewController::setNextKeyView(QWidget* field, QWidget* next)
{
    QWidget::setTabOrder(field, next ? next : continueButton_);
}

void QVAuthViewController::showCreateAccountControls()
{
    mode_ = kModeCreateAccount;
    fadeWelcomeTexts(0);
    setNextKeyView(emailTextField_, firstNameTextField_);
    setNextKeyView(passwordConfirmTextField_, emailTextField_);
    for (QWidget* control : std::initializer_list<QWidget*>{firstNameTextField_, lastNameTextField_, passwordCreateTextField_,
                                                             passwordConfirmTextField_, newsletterCheckbox_, legalCheckbox_,
                                                             legalLabel_})
        setAlpha(control, 1, true);
    watcher_->suspended = true;
    firstNameTextField_->setFocus(Qt::OtherFocusReason);
    watcher_->suspended = false;
    termsOfServiceButton_->show();
    privacyPolicyButton_->show();
    animateLayout(166, 0);
}

void QVAuthViewController::showLogInControls()
{
    mode_ = kModeLogIn;
    fadeWelcomeTexts(0);
    setNextKeyView(emailTextField_, passwordLoginTextField_);
    for (QWidget* control : std::initializer_list<QWidget*>{passwordLoginTextField_, rememberMeButton_, forgotPasswordButton_})
        setAlpha(control, 1, true);
    watcher_->suspended = true;
    passwordLoginTextField_->setFocus(Qt::OtherFocusReason);
    watcher_->suspended = false;
    forgotPasswordButton_->setEnabled(isValidEmail());
    // The check box shows the stored choice, which a sign-up may have changed since.
    {
        const QSignalBlocker blocker(rememberMeButton_);
        rememberMeButton_->setChecked(services_.preferences.boolForKey(QStringLiteral("QVRememberMe")));
    }
    animateLayout(emailLayoutVertical_, 41);
}

void QVAuthViewController::resetModeShouldClearEmail(bool clearEmail)
{
    mode_ = kModeEmail;
    stopProgress();
    fadeWelcomeTexts(1);
    setNextKeyView(emailTextField_, nullptr);
    closePopover();
    currentEmail_.clear();
    for (QLineEdit* field : {emailTextField_, firstNameTextField_, lastNameTextField_,
                             static_cast<QLineEdit*>(passwordCreateTextField_),
                             static_cast<QLineEdit*>(passwordConfirmTextField_),
                             static_cast<QLineEdit*>(passwordLoginTextField_)})
        field->setEnabled(true);
    // Left disabled by a log-in that succeeded; the next log-in must be able to change it.
    rememberMeButton_->setEnabled(true);
    legalCheckbox_->setEnabled(false);
    newsletterCheckbox_->setEnabled(false);
    if (clearEmail)
        emailTextField_->clear();
    for (QLineEdit* field : {firstNameTextField_, lastNameTextField_, static_cast<QLineEdit*>(passwordCreateTextField_),
                             static_cast<QLineEdit*>(passwordConfirmTextField_),
                             static_cast<QLineEdit*>(passwordLoginTextField_)})
        field->clear();
    for (QWidget* control : std::initializer_list<QWidget*>{firstNameTextField_, lastNameTextField_, passwordCreateTextField_,
                                                             passwordConfirmTextField_, passwordLoginTextField_, newsletterCheckbox_,
                                                             legalCheckbox_, legalLabel_, rememberMeButton_,
                                                             forgotPasswordButton_})
        setAlpha(control, 0, true);
    termsOfServiceButton_->hide();
    privacyPolicyButton_->hide();
    animateLayout(132, 75);
}

void QVAuthViewController::showPopover(QWidget* anchor, QWidget* inView, const QString& text, bool red)
{
    const QRect frame(anchor->mapTo(inView, QPoint(0, 0)), anchor->size());
    popover_ = red ? QVStringPopover::showRelativeToRect(frame, inView, QVStringPopover::Edge::Right, text, kRed,
                                                         kPopoverWrapWidth)
                   : QVStringPopover::showRelativeToRect(frame, inView, QVStringPopover::Edge::Right, text,
                                                         kPopoverWrapWidth);
}

void QVAuthViewController::closePopover()
{
    if (!popover_)
        return;
    popover_->closePopover();
    popover_->deleteLater();
    popover_ = nullptr;
}

void QVAuthViewController::closePopoverAfterDelay()
{
    std::weak_ptr<bool> alive = alive_;
    services_.mainQueue.after(kErrorPopoverSeconds, [this, alive] {
        if (!alive.expired())
            closePopover();
    });
}

void QVAuthViewController::showInvalidEmailAddress()
{
    showPopover(emailTextField_, view_, QStringLiteral("Invalid email address"), true);
    closePopoverAfterDelay();
}

void QVAuthViewController::showBannedDomain(const QString& domain)
{
    showPopover(emailTextField_, view_,
                QStringLiteral("%1 email addresses cannot be used to create a Quorvantelle account.\n\n"
                               "Please use a different email address.")
                    .arg(domain),
                true);
}

void QVAuthViewController::showLoginPasswordError()
{
    if (popover_)
        return;
    showPopover(passwordLoginTextField_, createAccountControlsContainer_, QStringLiteral("Incorrect password"), true);
    closePopoverAfterDelay();
}

void QVAuthViewController::showMismatchedPasswords()
{
    showPopover(passwordConfirmTextField_, createAccountControlsContainer_, QStringLiteral("Passwords do not match"), true);
    closePopoverAfterDelay();
}

void QVAuthViewController::passwordFieldGotFocus(QVPasswordTextField* field)
{
    closePopover();
    if (field == passwordCreateTextField_)
        showPopover(passwordConfirmTextField_, view_,
                    QStringLiteral("Minimum 8 characters including\nnumbers, uppercase and lowercase"), false);
}

bool QVAuthViewController::textShouldBeginEditing(QLineEdit* field)
{
    if (field == emailTextField_) {
        if (mode_ == kModeCreateAccount)
            setNextKeyView(emailTextField_, firstNameTextField_);
        else if (mode_ == kModeLogIn)
            setNextKeyView(emailTextField_, passwordLoginTextField_);
        else
            setNextKeyView(emailTextField_, nullptr);
    }
    return true;
}

bool QVAuthViewController::textShouldEndEditing(QLineEdit* field)
{
    if (field == firstNameTextField_ || field == lastNameTextField_)
        return isValidName(field->text());
    if (field == emailTextField_) {
        if (!popover_ && !isValidEmail()) {
            showInvalidEmailAddress();
            return false;
        }
        return true;
    }
    if (field == passwordCreateTextField_)
        return field->text().isEmpty() || isValidPassword(field->text());
    if (field == passwordConfirmTextField_ && !popover_ && !isValidPasswordConfirm())
        showMismatchedPasswords();
    return true;
}

void QVAuthViewController::controlTextDidChange(QLineEdit* field)
{
    if (field == firstNameTextField_ || field == lastNameTextField_) {
        const bool valid = isValidName(field->text());
        if (!popover_ && !valid)
            showPopover(field, view_, QStringLiteral("Minimum 1 character"), true);
        else if (popover_ && valid)
            closePopover();
    } else if (field == emailTextField_) {
        if (!currentEmail_.isEmpty() && (mode_ == kModeCreateAccount || mode_ == kModeLogIn) &&
            field->text() != currentEmail_)
            resetModeShouldClearEmail(false);
    } else if (field == passwordCreateTextField_) {
        if (!popover_)
            showPopover(passwordCreateTextField_, view_,
                        QStringLiteral("Minimum 8 characters including\nnumbers, uppercase and lowercase"), false);
    } else if (field == passwordConfirmTextField_) {
        if (field->text().size() >= passwordCreateTextField_->text().size() && !isValidPasswordConfirm())
            showMismatchedPasswords();
    }

    switch (mode_) {
    case kModeEmail:
        continueButton_->setEnabled(true);
        break;
    case kModeCreateAccount: {
        const bool complete = isCreateFormComplete();
        legalCheckbox_->setEnabled(complete);
        newsletterCheckbox_->setEnabled(complete);
        continueButton_->setEnabled(complete && legalCheckbox_->isChecked());
        break;
    }
    case kModeLogIn:
        continueButton_->setEnabled(isValidEmail() && passwordLoginTextField_->text().size() > 7);
        break;
    }
}

bool QVAuthViewController::isCreateFormComplete() const
{
    return isValidName(firstNameTextField_->text()) && isValidName(lastNameTextField_->text()) && isValidEmail() &&
           isValidPassword(passwordCreateTextField_->text()) && isValidPasswordConfirm();
}

void QVAuthViewController::didChangeLegalCheckbox()
{
    continueButton_->setEnabled(isCreateFormComplete() && legalCheckbox_->isChecked());
}

QString QVAuthViewController::normalisedEmail() const
{
    return trimmedSpacesAndTabs(emailTextField_->text()).toLower();
}

bool QVAuthViewController::isValidEmail() const
{
    static const QRegularExpression rule(
        QRegularExpression::anchoredPattern(QStringLiteral(R"([a-zA-Z0-9._%-]+@[a-zA-Z0-9.-]+\.[a-z]{2,24})")));
    const QString email = normalisedEmail();
    return !email.isEmpty() && rule.match(email).hasMatch();
}

bool QVAuthViewController::isValidName(const QString& name)
{
    return !trimmedSpacesAndTabs(name).isEmpty();
}

bool QVAuthViewController::isValidPassword(const QString& password)
{
    static const QString punctuation = QStringLiteral("!@#$%^&*()_+|~={}[]:;'<>?,./-`\"");
    const QString text = trimmedSpacesAndTabs(password);
    if (text.size() < 8)
        return false;
    bool digit = false;
    bool lower = false;
    bool upper = false;
    for (QChar c : text) {
        if (c >= u'0' && c <= u'9')
            digit = true;
        else if (c >= u'a' && c <= u'z')
            lower = true;
        else if (c >= u'A' && c <= u'Z')
            upper = true;
        else if (!punctuation.contains(c))
            return false;
    }
    return digit && lower && upper;
}

bool QVAuthViewController::isValidPasswordConfirm() const
{
    return passwordConfirmTextField_->text() == passwordCreateTextField_->text();
}

void QVAuthViewController::startProgress()
{
    progressWheel_->show();
}

void QVAuthViewController::stopProgress()
{
    progressWheel_->hide();
}

void QVAuthViewController::showSheet(const QString& message, const QString& informative)
{
    qv::Alert alert;
    alert.messageText = message;
    alert.informativeText = informative;
    alert.style = qv::AlertStyle::Critical;
    services_.host.sheetAlerts().beginSheet(alert, nullptr);
}

void QVAuthViewController::didPressContinueButton()
{
    if (mode_ == kModeLogIn) {
        logIn();
        return;
    }
    if (mode_ == kModeCreateAccount) {
        signUp();
        return;
    }
    currentEmail_ = normalisedEmail();
    watcher_->suspended = true;
    view_->setFocus(Qt::OtherFocusReason);
    watcher_->suspended = false;
    if (!isValidEmail()) {
        showInvalidEmailAddress();
        return;
    }
    continueButton_->setEnabled(false);
    startProgress();
    const QString email = currentEmail_;
    std::weak_ptr<bool> alive = alive_;
    services_.checkExistingUser(email, [this, alive, email](const qv::UserExistenceAnswer& answer) {
        if (!alive.expired())
            existenceCheckAnswered(email, answer);
    });
}

void QVAuthViewController::existenceCheckAnswered(const QString& email, const qv::UserExistenceAnswer& answer)
{
    stopProgress();
    if (answer.error) {
        qv::logWarning(QStringLiteral("Error: %1").arg(*answer.error).toStdString());
        showSheet(QStringLiteral("Authentication error"),
                  QStringLiteral("Your email address could not be checked. Please submit a support ticket from the Help menu."));
        return;
    }
    if (!answer.body) {
        showCreateAccountControls();
        return;
    }
    const bool exists = answer.body->value("user_exists").toBool(false);
    const bool banned = answer.body->value("banned_domain").toBool(false);
    if (banned && !exists)
        showBannedDomain(email.mid(email.lastIndexOf(u'@') + 1));
    else if (exists)
        showLogInControls();
    else
        showCreateAccountControls();
}

void QVAuthViewController::setLogInControlsEnabled(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{emailTextField_, passwordLoginTextField_, rememberMeButton_,
                                                             forgotPasswordButton_, continueButton_})
        control->setEnabled(enabled);
}

void QVAuthViewController::logIn()
{
    setLogInControlsEnabled(false);
    const QString email = normalisedEmail();
    const QString password = trimmedSpacesAndTabs(passwordLoginTextField_->text());
    startProgress();
    std::weak_ptr<bool> alive = alive_;
    services_.auth.signIn(email.toStdString(), password.toStdString(),
                          [this, alive](const std::optional<qv::User>&, const std::optional<qv::AuthError>& error) {
                              if (alive.expired())
                                  return;
                              if (error) {
                                  services_.host.resetFocus();
                                  stopProgress();
                                  setLogInControlsEnabled(true);
                                  qv::logWarning("Log in error " + error->localizedDescription);
                                  if (int(error->code) == kWrongPasswordCode) {
                                      // The field lost the focus while it was disabled: give it
                                      // back, so that the next keys retype the password.
                                      watcher_->suspended = true;
                                      passwordLoginTextField_->setFocus(Qt::OtherFocusReason);
                                      watcher_->suspended = false;
                                      passwordLoginTextField_->selectAll();
                                      showLoginPasswordError();
                                  } else {
                                      showSheet(QStringLiteral("Log in error"),
                                                QString::fromStdString(error->localizedDescription));
                                  }
                                  return;
                              }
                              services_.host.transitionToFiles();
                              services_.mainQueue.after(kResetAfterLogInSeconds, [this, alive] {
                                  if (!alive.expired())
                                      resetModeShouldClearEmail(true);
                              });
                          });
}

void QVAuthViewController::setCreateControlsEnabled(bool enabled)
{
    for (QWidget* control : std::initializer_list<QWidget*>{firstNameTextField_, lastNameTextField_, emailTextField_,
                                                             passwordCreateTextField_, passwordConfirmTextField_, legalCheckbox_,
                                                             newsletterCheckbox_})
        control->setEnabled(enabled);
}

void QVAuthViewController::signUp()
{
    services_.ad.hasLoggedSessionStats = true;
    startProgress();
    setCreateControlsEnabled(false);
    const QString email = normalisedEmail();
    const QString password = trimmedSpacesAndTabs(passwordCreateTextField_->text());
    const QString firstName = trimmedSpacesAndTabs(firstNameTextField_->text());
    const QString lastName = trimmedSpacesAndTabs(lastNameTextField_->text());
    if (newsletterCheckbox_->isChecked() && services_.subscribeToNewsletter)
        services_.subscribeToNewsletter(email, firstName, lastName);

    std::weak_ptr<bool> alive = alive_;
    services_.auth.createUser(
        email.toStdString(), password.toStdString(),
        [=, this](const std::optional<qv::User>& user, const std::optional<qv::AuthError>& error) {
            if (alive.expired())
                return;
            if (error || !user) {
                services_.messages.showCreateAccountErrorMessage();
                stopProgress();
                setCreateControlsEnabled(true);
                return;
            }
            const std::string uid = user->uid;
            qv::Alert question;
            question.messageText = QStringLiteral("Do you want your email and password to be remembered on this computer?");
            question.informativeText = QStringLiteral("You will automatically be logged in when the app\nis launched.");
            question.style = qv::AlertStyle::Informational;
            question.buttons = {QStringLiteral("Remember"), QStringLiteral("Do Not Remember")};
            services_.host.sheetAlerts().beginSheet(question, [=, this](int returnCode) {
                if (alive.expired())
                    return;
                services_.preferences.setObject(QStringLiteral("QVRememberMe"), returnCode == qv::kAlertFirstButtonReturn);
                signUpSignIn(uid, email, password, firstName, lastName);
            });
        });
}

void QVAuthViewController::signUpSignIn(const std::string& uid, const QString& email, const QString& password,
                                        const QString& firstName, const QString& lastName)
{
    std::weak_ptr<bool> alive = alive_;
    services_.auth.signIn(email.toStdString(), password.toStdString(),
                          [=, this](const std::optional<qv::User>&, const std::optional<qv::AuthError>& error) {
                              if (alive.expired())
                                  return;
                              if (error) {
                                  // The account exists: back to the e-mail step with the address
                                  // kept, from which the user can log in.
                                  qv::logWarning("Log in error " + error->localizedDescription);
                                  resetModeShouldClearEmail(false);
                                  showSheet(QStringLiteral("Log in error"),
                                            QString::fromStdString(error->localizedDescription));
                                  return;
                              }
                              writeAccountRecords(uid, email, firstName, lastName);
                          });
}

void QVAuthViewController::writeAccountRecords(const std::string& uid, const QString& email, const QString& firstName,
                                               const QString& lastName)
{
    AppDelegate& ad = services_.ad;
    const qv::DatabaseValue record =
        qv::launchStatisticsRecord(services_.versions.appVersion, services_.versions.buildVersion, QDate::currentDate());
    const std::string version = qv::osVersionKey(ad);
    const std::string system = ad.systemID.toStdString();
    ad.statsMetadataRef.child("os_version/" + version + "/" + uid + "/" + system).setValue(record);
    const qv::DatabaseUpdate account = {
        {"created", qv::DatabaseValue::serverTimestamp()},
        {"currency", "usd"},
        {"email", email.toStdString()},
        {"first_name", firstName.toStdString()},
        {"last_name", lastName.toStdString()},
        {"os_version", qv::DatabaseValue::map({{version, qv::DatabaseValue::map({{system, record}})}})},
        {"signup_source", "direct"},
        {"status", qv::DatabaseValue(10)},
    };
    std::weak_ptr<bool> alive = alive_;
    ad.usersMetadataRef.child(uid).updateChildValues(account, [this, alive](const qv::DatabaseResult& error) {
        if (alive.expired())
            return;
        if (error) {
            qv::logWarning("User data could not be saved due to " + error->message);
            // The account exists but its details are missing: say so and let the user log
            // in again from the e-mail step rather than leave the form spinning.
            resetModeShouldClearEmail(false);
            showSheet(QStringLiteral("Account details could not be saved"),
                      QStringLiteral("Your account was created, but its details could not be saved. "
                                     "Please log in again with your email address and password."));
            return;
        }
        services_.host.transitionToFiles();
        stopProgress();
        resetModeShouldClearEmail(true);
    });
}

void QVAuthViewController::didPressForgotPasswordButton()
{
    std::weak_ptr<bool> alive = alive_;
    services_.auth.sendPasswordReset(normalisedEmail().toStdString(),
                                     [this, alive](const std::optional<qv::AuthError>& error) {
                                         if (alive.expired())
                                             return;
                                         if (error)
                                             services_.messages.showPasswordResetErrorMessage();
                                         else
                                             services_.messages.showPasswordResetSuccessMessage();
                                     });
}

void QVAuthViewController::didPressPrivacyPolicyButton()
{
    services_.host.openURL(services_.host.productSiteURL(QStringLiteral("privacy-policy/")));
}

void QVAuthViewController::didPressTermsOfServiceButton()
{
    services_.host.openURL(services_.host.productSiteURL(QStringLiteral("terms-of-service/")));
}
