// Handing a document to the partner editor: the editor is brought up and opens the file, or a
// failure comes back with a number and a message for the alert. The editor is a command the
// user configures (preferences below), started with the document's path as its last argument;
// no shell ever reads the path.
#pragma once

#include "platform/foundation/Preferences.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The application the hand-off asks for first, and the one it falls back on when the first does
// not exist.
inline const QString kPartnerApplication = QStringLiteral("com.apple.FinalCut");
inline const QString kPartnerTrialApplication = QStringLiteral("com.apple.FinalCutTrial");
// Error number of an application that does not exist.
inline constexpr std::int64_t kHandOffNoSuchApplication = -1728;

// The command lines standing for the two applications: a program with any arguments of its own
// (split as a shell would split words, but never run through one). Default "xdg-open" for both.
inline const QString kQVPartnerEditorCommand = QStringLiteral("QVPartnerEditorCommand");
inline const QString kQVPartnerEditorTrialCommand = QStringLiteral("QVPartnerEditorTrialCommand");
inline const QString kDefaultPartnerEditorCommand = QStringLiteral("xdg-open");
// How long a command may run before the hand-off counts as done and leaves it running, ms. An
// opener such as xdg-open ends well within it; an editor started directly keeps running.
inline constexpr int kHandOffWaitMilliseconds = 5000;

struct HandOffError {
    std::int64_t number = 0;
    QString message;
};

// Opens `path` in the application; nothing on success.
using OpenInApplication = std::function<std::optional<HandOffError>(const QString& application, const QString& path)>;

// Runs the command line with `path` appended as one argument. A program that cannot be started
// (missing, not executable, an empty command line) is kHandOffNoSuchApplication; a command that
// ends with another status than 0 is an error whose message is what it wrote to its error
// output, or its status.
std::optional<HandOffError> runPartnerCommand(const QString& commandLine, const QString& path);

// The command of each application as the preferences hold it.
OpenInApplication partnerCommandsFromPreferences(const qv::Preferences& preferences);

// Opens `path` in the partner editor, in its trial edition when the editor does not exist;
// the error left, if any.
std::optional<HandOffError> openInPartnerEditor(const OpenInApplication& open, const QString& path);
