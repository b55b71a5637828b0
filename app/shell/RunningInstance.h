// One program per user and data folder: a start given media files while the program already
// runs hands the files to the running one, through a local socket in the user's runtime folder,
// and ends. The running one listens there and opens what it is handed as files opened with the
// program. A socket left by a program that ended without closing it answers nobody: the next
// start takes its place. A socket that answers is never taken over, even when its program is too
// busy to reply at once: it reads the files when it is free.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace qv::shell {

class RunningInstance final : public QObject {
public:
    // Listens on `channel`; `opened` receives the absolute paths each later start hands over.
    RunningInstance(const QString& channel, std::function<void(const QStringList& paths)> opened);
    ~RunningInstance() override;

    // The channel of this user and data folder: a socket in the user's runtime folder.
    static QString channelName();
    // Hands `paths` (made absolute) to the program listening on `channel`; false when none
    // answers or it closes without taking them, and the caller then starts as usual.
    static bool handOver(const QString& channel, const QStringList& paths);

private:
    QLocalServer* server_;
};

}  // namespace qv::shell
