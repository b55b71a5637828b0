#include "app/shell/CommandLine.h"

#include <cstdio>

namespace qv::shell {

namespace {

// The program's options that take a value.
const QStringList kValueOptions = {"--service", "--service-data", "--telemetry", "--telemetry-secret"};
// Qt's own options, with whether each takes a value. Qt reads them from the same arguments; a
// session manager restores the program with -session.
const QMap<QString, bool> kQtOptions = {
    {"-platform", true}, {"-platformpluginpath", true}, {"-platformtheme", true}, {"-plugin", true},
    {"-display", true},  {"-geometry", true},           {"-qwindowgeometry", true}, {"-icon", true},
    {"-qwindowicon", true}, {"-title", true},           {"-qwindowtitle", true}, {"-session", true},
    {"-style", true},    {"-stylesheet", true},         {"-reverse", false},    {"-widgetcount", false},
};

CommandLine mistaken(const QString& what)
{
    CommandLine commandLine;
    commandLine.request = CommandLine::Request::Mistake;
    commandLine.mistake = what;
    return commandLine;
}

void print(std::FILE* stream, const QString& text) { std::fputs(text.toLocal8Bit().constData(), stream); }

}  // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine commandLine;
    QStringList given;
    bool onlyFiles = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument.isEmpty())
            return mistaken(QStringLiteral("an empty argument was given; it names no file and no option"));
        if (onlyFiles || !argument.startsWith('-')) {
            commandLine.files << argument;
            continue;
        }
        if (argument == QLatin1String("-"))
            return mistaken(QStringLiteral("\"-\" (standard input) cannot be read; a file of that name is ./-"));
        if (argument == QLatin1String("--")) {
            onlyFiles = true;
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        const QString name = equals < 0 ? argument : argument.left(equals);
        const bool valueOption = kValueOptions.contains(name) || kQtOptions.value(name, false);
        const bool flag = name == QLatin1String("--help") || name == QLatin1String("-h")
            || name == QLatin1String("--version") || (kQtOptions.contains(name) && !valueOption);
        if (!valueOption && !flag)
            return mistaken(QStringLiteral("unknown option \"%1\"").arg(argument));
        if (flag && equals >= 0)
            return mistaken(QStringLiteral("%1 takes no value").arg(name));
        if (given.contains(name))
            return mistaken(QStringLiteral("%1 is given more than once").arg(name));
        given << name;
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            commandLine.request = Request::Help;
            return commandLine;
        }
        if (name == QLatin1String("--version")) {
            commandLine.request = Request::Version;
            return commandLine;
        }
        if (!valueOption)
            continue;
        QString value;
        if (equals >= 0)
            value = argument.mid(equals + 1);
        else if (i + 1 < arguments.size() && !arguments.at(i + 1).startsWith('-'))
            value = arguments.at(++i);
        else
            return mistaken(QStringLiteral("%1 needs a value").arg(name));
        if (value.isEmpty())
            return mistaken(QStringLiteral("%1 was given an empty value").arg(name));
        if (kValueOptions.contains(name))
            commandLine.values.insert(name, value);
    }
    return commandLine;
}

QStringList CommandLine::argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

std::optional<QString> CommandLine::value(const QString& option) const
{
    const auto found = values.constFind(option);
    return found == values.cend() ? std::nullopt : std::optional(*found);
}

int CommandLine::answer() const
{
    switch (request) {
    case Request::Help:
        print(stdout, help());
        return 0;
    case Request::Version:
        print(stdout, version() + '\n');
        return 0;
    case Request::Mistake:
        print(stderr, QStringLiteral("quorvantelle: %1\n\n").arg(mistake) + help());
        return 2;
    case Request::Run:
        break;
    }
    return 0;
}

QString CommandLine::help()
{
    return QStringLiteral(
        "Usage: quorvantelle [option...] [file...]\n"
        "\n"
        "Opens Quorvantelle. Each file is a media file to import or, when its name ends in .fcpxml,\n"
        "a library to open; media files given while the program runs go to it.\n"
        "\n"
        "Options:\n"
        "  --service <address>        a running service, http or https (http://127.0.0.1:7450/);\n"
        "                             without one the program starts its own\n"
        "  --service-data <folder>    where the program's own service keeps its data\n"
        "  --telemetry <address>      the telemetry ingestion address, http on 127.0.0.1; usage\n"
        "                             data and crash reports are sent only when one is given\n"
        "  --telemetry-secret <id>    the application secret the telemetry is sent with\n"
        "  -h, --help                 print this help and exit\n"
        "  --version                  print the version and exit\n"
        "  --                         every argument after it is a file\n"
        "\n"
        "A value may also follow an \"=\" (--service=http://127.0.0.1:7450/). In place of the first\n"
        "four options the environment may set QV_SERVICE_URL, QV_SERVICE_DATA, QV_TELEMETRY_URL and\n"
        "QV_TELEMETRY_SECRET; an option given wins. Qt's own options (-platform, -style, -session\n"
        "and the others) are handed to Qt.\n");
}

QString CommandLine::version()
{
    return QStringLiteral("Quorvantelle %1 (%2)").arg(QStringLiteral(QV_VERSION), QStringLiteral(QV_BUILD));
}

}  // namespace qv::shell
