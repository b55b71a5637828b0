#include "app/shell/QVApplication.h"

#include "sdk/crashes/Forwarding/ZEApplicationForwarder.h"
#include "platform/foundation/Log.h"

#include <malloc.h>

#include <exception>

namespace qv::shell {

namespace {

// The program's threads (the window's, the database line's, the embedded service's) each had a
// heap of their own, and every large buffer a message passed through stayed with the heap that
// freed it: with a long transcript open, more than half the program's memory was heap space
// holding nothing. Two heaps, and large buffers handed back to the system when freed.
void keepHeapsCompact()
{
    mallopt(M_ARENA_MAX, 2);
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

}  // namespace

QVApplication::QVApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    keepHeapsCompact();
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
