#include "app/shell/QVApplication.h"

#include "sdk/crashes/Forwarding/ZEApplicationForwarder.h"
#include "platform/foundation/Log.h"

#include <exception>

namespace qv::shell {

QVApplication::QVApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quorvantelle"));
    setOrganizationDomain(QStringLiteral("harrowfenlake.com"));
    setDesktopFileName(QStringLiteral("com.harrowfenlake.quorvantelle"));
}

bool QVApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        logError("an event handler ended with an exception");
        ze::ZEApplicationForwarder::reportException(std::current_exception());
        return false;
    }
}

}  // namespace qv::shell
