#include "app/shell/RunningInstance.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/foundation/Log.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

namespace qv::shell {

namespace {

// How long a start waits for the running program to take its files, in ms.
constexpr int kHandOverTimeoutMs = 3000;
// The running program's answer once it has the files.
constexpr char kTaken[] = "taken\n";

bool answers(const QString& channel)
{
    QLocalSocket probe;
    probe.connectToServer(channel);
    return probe.waitForConnected(kHandOverTimeoutMs);
}

}  // namespace

RunningInstance::RunningInstance(const QString& channel, std::function<void(const QStringList& paths)> opened)
    : server_(new QLocalServer(this))
{
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket there that nobody answers was left by a program that ended without closing it.
    // One that answers belongs to a running program (started without files): it keeps taking
    // files, and this one takes none.
    if (answers(channel)) {
        logInfo("instance: files opened by later starts go to the program that was running first");
        return;
    }
    QLocalServer::removeServer(channel);
    if (!server_->listen(channel))
        logWarning("instance: files opened by later starts cannot be taken: " + server_->errorString().toStdString());
    QObject::connect(server_, &QLocalServer::newConnection, this, [this, opened = std::move(opened)] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // One message: the paths, one a line, ending with an empty line.
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, opened] {
                const QByteArray received = socket->peek(socket->bytesAvailable());
                if (!received.endsWith("\n\n"))
                    return;
                socket->readAll();
                QStringList paths;
                for (const QByteArray& line : received.split('\n'))
                    if (!line.isEmpty())
                        paths << QString::fromUtf8(line);
                logInfo("instance: " + std::to_string(paths.size()) + " file(s) handed over by another start");
                socket->write(kTaken);
                socket->flush();
                if (opened)
                    opened(paths);
            });
        }
    });
}

RunningInstance::~RunningInstance() { server_->close(); }

QString RunningInstance::channelName()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    // Programs on other data folders (other users of one account, the tests) stay apart.
    const QByteArray data = QString::fromStdString(applicationDataFolder().string()).toUtf8();
    const QString key = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().left(12));
    return QDir(folder).filePath(QStringLiteral("quorvantelle-") + key);
}

bool RunningInstance::handOver(const QString& channel, const QStringList& paths)
{
    QLocalSocket socket;
    socket.connectToServer(channel);
    if (!socket.waitForConnected(kHandOverTimeoutMs))
        return false;
    QByteArray message;
    for (const QString& path : paths)
        message += QFileInfo(path).absoluteFilePath().toUtf8() + '\n';
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(kHandOverTimeoutMs))
        return false;
    QByteArray answer;
    while (answer.size() < qsizetype(sizeof kTaken - 1) && socket.waitForReadyRead(kHandOverTimeoutMs))
        answer += socket.readAll();
    if (answer == kTaken)
        return true;
    // Still connected without an answer: the program is alive but busy, and the files wait in
    // its socket until it reads them. Starting a second program here would open them twice.
    if (socket.state() == QLocalSocket::ConnectedState) {
        logInfo("instance: the running program is busy; it opens the files when it is free");
        return true;
    }
    return false;
}

}  // namespace qv::shell
