// The program's Qt application object. An exception that escapes an event handler would be
// swallowed by the event loop and never reported; this one hands it to the crash service first.
#pragma once

#include <QApplication>

namespace qv::shell {

class QVApplication final : public QApplication {
public:
    QVApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace qv::shell
