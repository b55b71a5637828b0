// What the intake's tests share: a widget application, waits on the real event loop (the
// network and the service's replies arrive there), and pending files of test media.
#pragma once

#include "intake/PendingFileFactory.h"
#include "model/QVFilePending.h"
#include "platform/media/tests/TestMedia.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

namespace intake_test {

// Seconds a wait may take before the test fails.
inline constexpr double kDeadline = 30;

// Ends the application when the tests end, before the static objects go (fonts and input
// devices are released with it).
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { delete QCoreApplication::instance(); }
};

inline void ensureWidgetsApplication()
{
    static int argc = 1;
    static char name[] = "qv_intake_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    new QApplication(argc, argv);
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
}

inline bool waitFor(const std::function<bool()>& done, double seconds = kDeadline)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000)
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// The pending file of test media `name` (see TestMedia.h), or of the file at `path`.
inline std::shared_ptr<QVFilePending> pendingFileAt(const QString& path)
{
    return createPendingFileFromURL(QUrl::fromLocalFile(path), {false, "en-US"});
}
inline std::shared_ptr<QVFilePending> pendingTestMedia(const std::string& name)
{
    return pendingFileAt(QString::fromStdString(qv::test::testMedia(name)));
}

}  // namespace intake_test
