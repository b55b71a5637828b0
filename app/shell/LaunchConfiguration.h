// What the program is told at start: the service to use (none starts the embedded one), where
// the embedded service keeps its data, the telemetry ingestion sink and the application secret,
// and the home folder. From the command line (CommandLine.h), else the environment:
//   --service <http url>       QV_SERVICE_URL      a running service ("http://127.0.0.1:7450/")
//   --service-data <folder>    QV_SERVICE_DATA     the embedded service's data folder
//   --telemetry <http url>     QV_TELEMETRY_URL    the ingestion sink; loopback only
//   --telemetry-secret <guid>  QV_TELEMETRY_SECRET
// Any argument that is not an option names a media file to import, as though it had been opened with the program
// (handed to the program already running, if one is: RunningInstance.h), or, when it ends in
// ".fcpxml", a library of the partner editor to open as though it had been dropped.
#pragma once

#include "app/shell/CommandLine.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace qv::shell {

struct LaunchConfiguration {
    // Empty: start the embedded service.
    QUrl serviceUrl;
    QString serviceDataFolder;
    // Empty: telemetry is not started.
    QUrl telemetryUrl;
    QString telemetrySecret;
    QString homeFolder;
    // Media files given on the command line, in order.
    QStringList mediaFiles;
    // The library given on the command line (the last one); empty for none.
    QString libraryFile;
    // Problems with what was given, one line each; the program reports them and goes on
    // without the setting.
    QStringList problems;

    static LaunchConfiguration fromCommandLine(const CommandLine& commandLine);
    // From the arguments as the program gets them, its name first. Arguments with a mistake among
    // them count as none (the program refuses them before it starts).
    static LaunchConfiguration fromArguments(const QStringList& arguments);
    // "ws://host:port/" (or wss for https) of the service's database.
    QUrl databaseUrl() const;
};

// The address is the loopback address 127.0.0.1.
bool isLoopback(const QUrl& url);

}  // namespace qv::shell
