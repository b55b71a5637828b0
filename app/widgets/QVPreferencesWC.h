// The preferences window: the default transcription language of new files, how keywords are
// split when transcripts go to the editing application, and closing the account. It is
// hidden, never destroyed, when closed (Close Window or Escape), and keeps its state until
// shown again.
#pragma once

#include <QPointer>
#include <QWidget>

#include <memory>

class AppDelegate;
class QComboBox;
class QPushButton;
class WidgetsHost;

namespace qv {
class AlertPresenter;
class Preferences;
}

class QVPreferencesWC {
public:
    // All must outlive the controller, which owns its window. `alerts` shows sheets on the
    // window; none gives the window's own message boxes.
    QVPreferencesWC(AppDelegate& ad, WidgetsHost& host, qv::Preferences& preferences, qv::AlertPresenter* alerts = nullptr);
    ~QVPreferencesWC();
    QVPreferencesWC(const QVPreferencesWC&) = delete;
    QVPreferencesWC& operator=(const QVPreferencesWC&) = delete;

    // The window, made and filled on first use.
    QWidget* window();
    void showWindow();
    // Hides the window.
    void closeWindow();

    void changeDefaultLanguage();
    void changeExportFCPXKeywordType();
    // Asks whether to close the account; "Continue" logs out, then opens the web page that
    // closes it.
    void closeAccount();

    QComboBox* defaultLanguageMenu() const { return defaultLanguageMenu_; }
    QComboBox* exportFCPXKeywordTypeMenu() const { return exportFCPXKeywordTypeMenu_; }
    QPushButton* closeAccountButton() const { return closeAccountButton_; }

private:
    void windowDidLoad();

    AppDelegate& ad_;
    WidgetsHost& host_;
    qv::Preferences& preferences_;
    qv::AlertPresenter* alerts_;
    std::unique_ptr<qv::AlertPresenter> ownAlerts_;
    QPointer<QWidget> window_;
    QComboBox* defaultLanguageMenu_ = nullptr;
    QComboBox* exportFCPXKeywordTypeMenu_ = nullptr;
    QPushButton* closeAccountButton_ = nullptr;
};
