// The program's command line, read before anything else starts: --help and --version are answered
// and a mistaken option refused without a display and without touching the home folder.
//
// Options begin with "-"; every other argument is a file (see LaunchConfiguration.h), and so is
// every argument after "--". A value is given as the next argument or after "=" (--service=URL);
// a next argument that begins with "-" does not count as a value. An option given twice, an
// unknown option, an option without its value or with an empty one, an empty argument and "-"
// (standard input, which the program cannot read) are mistakes. Qt's own options (-platform, -style,
// -session and the others in kQtOptions) are left for Qt to take from the same arguments.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace qv::shell {

struct CommandLine {
    enum class Request { Run, Help, Version, Mistake };

    // Run unless an argument asked for the help or the version, or was a mistake: the first such
    // argument decides.
    Request request = Request::Run;
    // For Mistake, what was wrong, in one line.
    QString mistake;
    // The values of the program's options given, by the option's name ("--service").
    QMap<QString, QString> values;
    // The arguments that name files, in order.
    QStringList files;

    // `arguments` as the program got them, its name first.
    static CommandLine parse(const QStringList& arguments);
    static QStringList argumentsOf(int argc, char** argv);
    std::optional<QString> value(const QString& option) const;

    // Prints the help or the version on standard output (status 0), or the mistake and the help on
    // standard error (status 2); answers the exit status.
    int answer() const;
    static QString help();
    // "Quorvantelle <version> (<build>)".
    static QString version();
};

}  // namespace qv::shell
