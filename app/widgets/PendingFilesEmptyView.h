// The left half of the files screen while no imported file waits for transcription: the
// instructions over the empty list (how to import, or why importing cannot start: an account
// not yet verified, the transcription service unavailable) and the action bar with the
// add-files button, enabled only while importing is allowed and something can take the files.
// Main thread only.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

class AppDelegate;
class QLabel;
class QPushButton;

class PendingFilesEmptyView : public QWidget {
public:
    // Height of the action bar at the foot of the view, in points.
    static constexpr int kActionBarHeight = 40;

    // `ad` must outlive the view.
    explicit PendingFilesEmptyView(const AppDelegate& ad, QWidget* parent = nullptr);

    // The instructions for account status `userStatus` (1–29: not verified yet) and service
    // status `externalServiceStatus` (-1: unavailable); `unverifiedAccountMessage` is the text
    // the service sends for an unverified account.
    static QString instructionsText(std::int64_t userStatus, std::int64_t externalServiceStatus,
                                    const QString& unverifiedAccountMessage);
    // Files may be added from account status 30 on, while no library drop is being taken apart
    // and the service is not unavailable.
    static bool importAllowed(std::int64_t userStatus, bool libraryDropInProgress, std::int64_t externalServiceStatus);

    // Shows the instructions and the add-files button's state for the account and service now.
    void refreshPendingView();
    // What the add-files button does; without it the button stays disabled.
    void setAddFilesAction(std::function<void()> action);

    QLabel* instructions() const { return instructions_; }
    QPushButton* addFilesButton() const { return addFilesButton_; }

private:
    const AppDelegate& ad_;
    QLabel* instructions_;
    QPushButton* addFilesButton_;
    std::function<void()> addFiles_;
};
