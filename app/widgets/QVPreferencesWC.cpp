#include "app/widgets/QVPreferencesWC.h"

#include "app/widgets/WidgetsHost.h"
#include "model/AppDelegate.h"
#include "platform/foundation/Preferences.h"
#include "platform/ui/QtPresenters.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const QString kDefaultLanguage = QStringLiteral("QVDefaultLanguage");
const QString kExportFCPXKeywordType = QStringLiteral("QVExportFCPXKeywordType");

// Fills `menu` with `labels` and selects the item whose code is stored under `key`; a stored
// code that is not among `codes` leaves no item selected.
void fillMenu(QComboBox* menu, const QStringList& labels, const QStringList& codes, const QString& stored)
{
    menu->clear();
    for (int index = 0; index < codes.size(); ++index)
        menu->addItem(index < labels.size() ? labels[index] : codes[index]);
    menu->setCurrentIndex(int(codes.indexOf(stored)));
}

}  // namespace

QVPreferencesWC::QVPreferencesWC(AppDelegate& ad, WidgetsHost& host, qv::Preferences& preferences,
                                 qv::AlertPresenter* alerts)
    : ad_(ad), host_(host), preferences_(preferences), alerts_(alerts)
{
}

QVPreferencesWC::~QVPreferencesWC()
{
    delete window_.data();
}

QWidget* QVPreferencesWC::window()
{
    if (!window_)
        windowDidLoad();
    return window_;
}

void QVPreferencesWC::showWindow()
{
    window()->show();
    window_->raise();
    window_->activateWindow();
}

void QVPreferencesWC::closeWindow()
{
    if (window_)
        window_->hide();
}

void QVPreferencesWC::windowDidLoad()
{
    window_ = new QWidget;
    // Close Window and Escape hide it from wherever the focus is: shortcuts come before the
    // focused menu, which would take the keys for its type-to-select.
    auto* close = new QShortcut(window_);
    close->setKeys(QKeySequence::keyBindings(QKeySequence::Close) << QKeySequence(Qt::Key_Escape));
    close->setAutoRepeat(false);
    QObject::connect(close, &QShortcut::activated, window_, [this] { closeWindow(); });
    window_->setWindowTitle(QStringLiteral("Preferences"));
    window_->setAutoFillBackground(true);
    QPalette palette = window_->palette();
    palette.setColor(QPalette::Window, QColor(46, 46, 46));
    palette.setColor(QPalette::WindowText, QColor(220, 220, 220));
    window_->setPalette(palette);
    if (!alerts_) {
        ownAlerts_ = std::make_unique<qv::QtAlertPresenter>(window_);
        alerts_ = ownAlerts_.get();
    }

    defaultLanguageMenu_ = new QComboBox(window_);
    exportFCPXKeywordTypeMenu_ = new QComboBox(window_);
    closeAccountButton_ = new QPushButton(QStringLiteral("Close Account…"), window_);
    auto* form = new QFormLayout;
    form->setHorizontalSpacing(14);
    form->setVerticalSpacing(12);
    form->addRow(QStringLiteral("Default language:"), defaultLanguageMenu_);
    form->addRow(QStringLiteral("Keywords for Final Cut Pro X:"), exportFCPXKeywordTypeMenu_);
    auto* column = new QVBoxLayout(window_);
    column->setContentsMargins(24, 22, 24, 20);
    column->setSpacing(20);
    column->addLayout(form);
    column->addWidget(closeAccountButton_, 0, Qt::AlignLeft);
    defaultLanguageMenu_->setMinimumWidth(220);

    fillMenu(defaultLanguageMenu_, ad_.availableLanguagesLabels, ad_.availableLanguagesCodes,
             preferences_.stringForKey(kDefaultLanguage).value_or(QString()));
    fillMenu(exportFCPXKeywordTypeMenu_, ad_.exportFCPXKeywordTypeLabels, ad_.exportFCPXKeywordTypeCodes,
             preferences_.stringForKey(kExportFCPXKeywordType).value_or(QString()));
    QObject::connect(defaultLanguageMenu_, &QComboBox::activated, window_, [this] { changeDefaultLanguage(); });
    QObject::connect(exportFCPXKeywordTypeMenu_, &QComboBox::activated, window_, [this] { changeExportFCPXKeywordType(); });
    QObject::connect(closeAccountButton_, &QPushButton::clicked, window_, [this] { closeAccount(); });

    window_->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = window_->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        window_->move(frame.topLeft());
    }
}

void QVPreferencesWC::changeDefaultLanguage()
{
    const int index = defaultLanguageMenu_->currentIndex();
    if (index >= 0 && index < ad_.availableLanguagesCodes.size())
        preferences_.setObject(kDefaultLanguage, ad_.availableLanguagesCodes[index]);
}

void QVPreferencesWC::changeExportFCPXKeywordType()
{
    const int index = exportFCPXKeywordTypeMenu_->currentIndex();
    if (index >= 0 && index < ad_.exportFCPXKeywordTypeCodes.size())
        preferences_.setObject(kExportFCPXKeywordType, ad_.exportFCPXKeywordTypeCodes[index]);
}

void QVPreferencesWC::closeAccount()
{
    window();
    qv::Alert alert;
    alert.messageText = QStringLiteral("Close your Quorvantelle account?");
    alert.informativeText = QStringLiteral("You will be logged out of this app and redirected to the Quorvantelle website.");
    alert.style = qv::AlertStyle::Informational;
    alert.buttons = {QStringLiteral("Continue"), QStringLiteral("Cancel")};
    alerts_->beginSheet(alert, [this](int returnCode) {
        if (returnCode != qv::kAlertFirstButtonReturn)
            return;
        host_.logOut();
        host_.openURL(host_.webApplicationURL(QStringLiteral("close-account")));
    });
}
