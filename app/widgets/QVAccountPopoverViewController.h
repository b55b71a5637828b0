// The content of the account popover that opens from the account button: buy transcription
// minutes, or sign out. Each button does exactly what the application's own action does.
#pragma once

#include <QPointer>

class QPushButton;
class QWidget;
class WidgetsHost;

class QVAccountPopoverViewController {
public:
    // `host` must outlive the controller, which owns its view.
    explicit QVAccountPopoverViewController(WidgetsHost& host);
    ~QVAccountPopoverViewController();
    QVAccountPopoverViewController(const QVAccountPopoverViewController&) = delete;
    QVAccountPopoverViewController& operator=(const QVAccountPopoverViewController&) = delete;

    QWidget* view() const { return view_; }
    QPushButton* buyMinutesButton() const { return buyMinutesButton_; }
    QPushButton* logOutButton() const { return logOutButton_; }

    void buyMinutesButtonPressed();
    void logOutButtonPressed();

private:
    WidgetsHost& host_;
    QPointer<QWidget> view_;
    QPushButton* buyMinutesButton_;
    QPushButton* logOutButton_;
};
