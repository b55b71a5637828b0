#include "app/shell/LaunchConfiguration.h"

#include <QDir>
#include <QProcessEnvironment>

namespace qv::shell {

namespace {

// The application secret of this program for the telemetry service.
const char* const kDefaultTelemetrySecret = "5c1f0d3e-8a47-4b92-9e6d-2f7a1c3b8e05";

QString option(const CommandLine& commandLine, const QString& name, const char* variable)
{
    return commandLine.value(name).value_or(
        QProcessEnvironment::systemEnvironment().value(QString::fromLatin1(variable)));
}

QUrl httpUrl(const QString& text)
{
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") || url.host().isEmpty())
        return {};
    if (!url.path().endsWith('/'))
        url.setPath(url.path() + '/');
    return url;
}

}  // namespace

bool isLoopback(const QUrl& url) { return url.host() == QStringLiteral("127.0.0.1"); }

LaunchConfiguration LaunchConfiguration::fromArguments(const QStringList& arguments)
{
    return fromCommandLine(CommandLine::parse(arguments));
}

LaunchConfiguration LaunchConfiguration::fromCommandLine(const CommandLine& commandLine)
{
    LaunchConfiguration config;
    config.homeFolder = QDir::homePath();
    if (QString text = option(commandLine, "--service", "QV_SERVICE_URL"); !text.isEmpty()) {
        config.serviceUrl = httpUrl(text);
        if (config.serviceUrl.isEmpty())
            config.problems << QStringLiteral("The service address \"%1\" is not an http or https address; "
                                              "the program's own service is used.").arg(text);
    }
    config.serviceDataFolder = option(commandLine, "--service-data", "QV_SERVICE_DATA");
    if (QString text = option(commandLine, "--telemetry", "QV_TELEMETRY_URL"); !text.isEmpty()) {
        QUrl url = httpUrl(text);
        if (url.isEmpty() || !isLoopback(url))
            config.problems << QStringLiteral("The telemetry address \"%1\" is not an http address on 127.0.0.1; "
                                              "telemetry stays off.").arg(text);
        else
            config.telemetryUrl = url;
    }
    for (const QString& file : commandLine.files) {
        if (file.endsWith(QStringLiteral(".fcpxml"), Qt::CaseInsensitive))
            config.libraryFile = file;
        else
            config.mediaFiles << file;
    }
    config.telemetrySecret = option(commandLine, "--telemetry-secret", "QV_TELEMETRY_SECRET");
    if (config.telemetrySecret.isEmpty())
        config.telemetrySecret = QString::fromLatin1(kDefaultTelemetrySecret);
    return config;
}

QUrl LaunchConfiguration::databaseUrl() const
{
    QUrl url = serviceUrl;
    url.setScheme(serviceUrl.scheme() == "https" ? "wss" : "ws");
    url.setPath("/");
    return url;
}

}  // namespace qv::shell
