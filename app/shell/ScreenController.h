// The three screens of the main window and the moves between them: log-in (mode 0), files list
// (mode 1) and transcript (mode 2). Opening a file waits until its transcript, the rows up to the
// last playback position and the player are ready, then reveals the transcript behind a picture
// of the window so that the jump to the last position is not seen. Main thread only.
#pragma once

#include "app/shell/ScreenView.h"
#include "platform/foundation/Dispatcher.h"
#include "platform/foundation/Preferences.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class AppDelegate;
class QVFile;
class ShellServices;

namespace qv::shell {

inline constexpr std::int64_t kFileStatusVerified = 40;

class ScreenController {
public:
    // What the transitions reach beyond the window and the services of the state record.
    struct Hooks {
        std::function<void()> updateViewingOnlyStatus;
        // Opens `file` (the document model's loader).
        std::function<void(const std::shared_ptr<QVFile>&)> loadFile;
        std::function<void(const QString& event)> trackEvent;
        // Sets a file's status and updates the files list.
        std::function<void(const std::shared_ptr<QVFile>&, std::int64_t status)> changeFileStatus;
        // Records the open file's lastOpened in this computer's file data.
        std::function<void(const QVFile&)> recordLastOpened;
        // The open file's thumbnail from the player's picture, when its video is online.
        std::function<void()> refreshOpenFileThumbnail;
        // Highlights the word at time zero and puts the scrub bars at their start.
        std::function<void()> highlightStart;
    };

    ScreenController(AppDelegate& ad, Dispatcher& mainQueue, Preferences& preferences, ScreenView& view,
                     ShellServices& services, Hooks hooks);
    ScreenController(const ScreenController&) = delete;
    ScreenController& operator=(const ScreenController&) = delete;

    void transitionToLogIn();
    void transitionToFiles();
    // The transcript screen's back button (and the menu's showFiles).
    void viewFilesButtonPressed();
    void openSelectedFile();
    // Called whenever one of the conditions of the transition may have become true.
    void loadFileAttemptTransition();
    void loadFileDoTransition();
    void transitionToTranscriptWithCoverHack(bool withCover);
    void loadFileFinishTransitionIsInitial(bool initial);
    // Escape.
    void cancelOperation();

private:
    // Queued work that is dropped once this controller is gone.
    void soon(std::function<void()> task);
    void after(double seconds, std::function<void()> task);
    void takeScreenshotHack();
    void finishEditingIfNecessary();
    void sortFilesByLastOpened();

    AppDelegate& ad_;
    Dispatcher& mainQueue_;
    Preferences& preferences_;
    ScreenView& view_;
    ShellServices& services_;
    Hooks hooks_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv::shell
