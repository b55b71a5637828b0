// The keyboard-shortcuts window: the help page shipped with the application, in a window that
// floats above the others. Hidden, never destroyed, when closed.
#pragma once

#include <QPointer>
#include <QUrl>

class QTextBrowser;
class QWidget;

class QVKeyboardShortcutsWC {
public:
    // The page: index.html of the folder keyboard-shortcuts-in-app among the resources, with
    // whatever lies beside it.
    static const QUrl kPageUrl;

    QVKeyboardShortcutsWC() = default;
    ~QVKeyboardShortcutsWC();
    QVKeyboardShortcutsWC(const QVKeyboardShortcutsWC&) = delete;
    QVKeyboardShortcutsWC& operator=(const QVKeyboardShortcutsWC&) = delete;

    // The window, made and its page loaded on first use.
    QWidget* window();
    void showWindow();
    void closeWindow();
    QTextBrowser* webView() const { return webView_; }

private:
    void windowDidLoad();

    QPointer<QWidget> window_;
    QTextBrowser* webView_ = nullptr;
};
