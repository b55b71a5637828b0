// The command line: the real program asked for its help or version, or given a mistaken option,
// with no display and an empty home, answers and leaves the home as it was; and how the
// arguments divide into the program's options, Qt's options and files.
#include "app/shell/CommandLine.h"
#include "export/tests/QStringPrinting.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

struct Answer {
    int status = -1;
    QString output;
    QString errors;
};

class ProgramWithoutDisplay : public ::testing::Test {
protected:
    // Runs the program without a display, or on the one `platform` names.
    Answer run(const QStringList& arguments, const QString& platform = {})
    {
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(variable);
        if (!platform.isEmpty())
            environment.insert("QT_QPA_PLATFORM", platform);
        environment.insert("HOME", home.path());
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
                                     "XDG_RUNTIME_DIR"})
            environment.insert(variable, home.path() + '/' + QString::fromLatin1(variable).toLower());
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(QV_PROGRAM), arguments);
        EXPECT_TRUE(program.waitForFinished(60'000));
        Answer result;
        result.status = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
        result.output = QString::fromLocal8Bit(program.readAllStandardOutput());
        result.errors = QString::fromLocal8Bit(program.readAllStandardError());
        return result;
    }

    QStringList homeContents() const
    {
        return QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    QTemporaryDir home;
};

TEST_F(ProgramWithoutDisplay, HelpAndVersionAnswerOnStandardOutputAndTouchNothing)
{
    const QString version = QStringLiteral("Quorvantelle %1 (%2)\n").arg(QV_VERSION, QV_BUILD);
    const struct {
        QStringList arguments;
        QString output;
    } cases[] = {
        {{"--help"}, CommandLine::help()},
        {{"-h"}, CommandLine::help()},
        {{"--version"}, version},
        // Files before do not send anything to a running program first.
        {{"interview.wav", "Edit.fcpxml", "--version"}, version},
        // The first request decides; a mistake after it is not reached.
        {{"--help", "--bogus"}, CommandLine::help()},
        {{"-platform", "xcb", "--service", "http://127.0.0.1:7450/", "--version"}, version},
    };
    for (const auto& [arguments, output] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Answer answered = run(arguments);
        EXPECT_EQ(answered.status, 0) << answered.errors.toStdString();
        EXPECT_EQ(answered.output, output);
        EXPECT_EQ(answered.errors, "");
        EXPECT_EQ(homeContents(), QStringList());
    }
    EXPECT_TRUE(CommandLine::help().contains("--telemetry-secret <id>"));

    // Where the program could start, it still only answers.
    const Answer answered = run({"--help"}, "offscreen");
    EXPECT_EQ(answered.status, 0);
    EXPECT_EQ(answered.output, CommandLine::help());
    EXPECT_EQ(homeContents(), QStringList());
}

TEST_F(ProgramWithoutDisplay, AMistakeIsNamedWithTheUsageOnStandardErrorAndTheProgramEnds)
{
    const struct {
        QStringList arguments;
        QString mistake;
    } cases[] = {
        {{"--bogus"}, "unknown option \"--bogus\""},
        {{"interview.wav", "-x"}, "unknown option \"-x\""},
        {{"--Service", "http://127.0.0.1:7450/"}, "unknown option \"--Service\""},
        {{"--bogus", "--help"}, "unknown option \"--bogus\""},
        {{"interview.wav", ""}, "an empty argument was given; it names no file and no option"},
        {{"--", ""}, "an empty argument was given; it names no file and no option"},
        {{"--service"}, "--service needs a value"},
        {{"--service", "--telemetry", "http://127.0.0.1:9000/"}, "--service needs a value"},
        {{"-platform"}, "-platform needs a value"},
        {{"--service-data="}, "--service-data was given an empty value"},
        {{"--telemetry-secret", ""}, "--telemetry-secret was given an empty value"},
        {{"--service", "http://127.0.0.1:1/", "--service=http://127.0.0.1:2/"}, "--service is given more than once"},
        {{"--help=please"}, "--help takes no value"},
        {{"-"}, "\"-\" (standard input) cannot be read; a file of that name is ./-"},
    };
    for (const auto& [arguments, mistake] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const Answer answered = run(arguments);
        EXPECT_EQ(answered.status, 2);
        EXPECT_EQ(answered.output, "");
        EXPECT_EQ(answered.errors, "quorvantelle: " + mistake + "\n\n" + CommandLine::help());
        EXPECT_EQ(homeContents(), QStringList());
    }
}

TEST(CommandLine, OptionsQtsOptionsAndFilesDivideTheArguments)
{
    const struct {
        QStringList arguments;
        QMap<QString, QString> values;
        QStringList files;
    } cases[] = {
        {{"a.wav", "--service", "http://127.0.0.1:7450/", "b roll.mov"},
         {{"--service", "http://127.0.0.1:7450/"}},
         {"a.wav", "b roll.mov"}},
        {{"--service-data=/srv/data=1", "--telemetry-secret", "s-1"},
         {{"--service-data", "/srv/data=1"}, {"--telemetry-secret", "s-1"}},
         {}},
        // After "--" everything is a file, "--" itself too the second time.
        {{"a.wav", "--", "--help", "-", "-x", "--"}, {}, {"a.wav", "--help", "-", "-x", "--"}},
        // Qt takes its own options and their values from the same arguments.
        {{"-platform", "offscreen", "-reverse", "-style=Fusion", "-session", "1234", "c.wav"}, {}, {"c.wav"}},
    };
    for (const auto& [arguments, values, files] : cases) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        const CommandLine commandLine = CommandLine::parse(QStringList{"quorvantelle"} + arguments);
        EXPECT_EQ(commandLine.request, CommandLine::Request::Run) << commandLine.mistake.toStdString();
        EXPECT_EQ(commandLine.values, values);
        EXPECT_EQ(commandLine.files, files);
    }
}

}  // namespace
}  // namespace qv::shell
