// quorvantelle: the desktop program. See LaunchConfiguration.h for its options.
#include "sdk/crashes/Forwarding/ZEApplicationForwarder.h"
#include "app/shell/ApplicationShell.h"
#include "app/shell/QVApplication.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"

int main(int argc, char** argv)
{
    qv::shell::QVApplication application(argc, argv);
    // Every road out goes through the quit request, which may ask first.
    application.setQuitOnLastWindowClosed(false);
    ze::ZEApplicationForwarder::registerForwarding();
    qv::QtDispatcher mainQueue;
    qv::Preferences preferences;
    qv::shell::ApplicationShell shell(mainQueue, preferences,
                                      qv::shell::LaunchConfiguration::fromArguments(application.arguments()));
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&shell] { shell.applicationWillTerminate(); });
    shell.applicationDidFinishLaunching();
    return application.exec();
}
