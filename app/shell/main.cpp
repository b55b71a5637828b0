// quorvantelle: the desktop program. See CommandLine.h and LaunchConfiguration.h for its options.
#include "sdk/crashes/Forwarding/ZEApplicationForwarder.h"
#include "app/shell/ApplicationShell.h"
#include "app/shell/CommandLine.h"
#include "app/shell/QVApplication.h"
#include "app/shell/RunningInstance.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"

int main(int argc, char** argv)
{
    // Before the application, which needs a display, and before anything is made in the home folder.
    const auto commandLine = qv::shell::CommandLine::parse(qv::shell::CommandLine::argumentsOf(argc, argv));
    if (commandLine.request != qv::shell::CommandLine::Request::Run)
        return commandLine.answer();
    qv::shell::QVApplication application(argc, argv);
    // Every road out goes through the quit request, which may ask first.
    application.setQuitOnLastWindowClosed(false);
    ze::ZEApplicationForwarder::registerForwarding();
    auto config = qv::shell::LaunchConfiguration::fromCommandLine(commandLine);
    // Media files opened while the program runs go to the running one. The running one takes
    // media only: with a library among the files, this one opens them all itself.
    const QString channel = qv::shell::RunningInstance::channelName();
    if (!config.mediaFiles.isEmpty() && config.libraryFile.isEmpty()
        && qv::shell::RunningInstance::handOver(channel, config.mediaFiles))
        return 0;
    qv::QtDispatcher mainQueue;
    qv::Preferences preferences;
    qv::shell::ApplicationShell shell(mainQueue, preferences, std::move(config));
    qv::shell::RunningInstance instance(channel, [&shell](const QStringList& paths) { shell.openFiles(paths); });
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&shell] { shell.applicationWillTerminate(); });
    shell.applicationDidFinishLaunching();
    return application.exec();
}
