// The service the application starts for itself when no service is configured, uploads and
// transcription included: on a free loopback port, with its data under the XDG data folder, on a
// thread of its own for as long as this object lives. The application shell makes one at start-up and points its database
// client and sign-in at url().
#pragma once

#include "services/hub/HubServer.h"

#include <QThread>
#include <QUrl>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

namespace qv::hub {

class EmbeddedService {
public:
    // <XDG data>/<bundle id>/service
    static std::filesystem::path defaultFolder();

    EmbeddedService() = default;
    ~EmbeddedService();
    EmbeddedService(const EmbeddedService&) = delete;
    EmbeddedService& operator=(const EmbeddedService&) = delete;

    // Starts the service with its data in `folder`; false with `error` set when it cannot
    // (the stores cannot be opened, no port is free). Call once.
    bool start(QString& error, const std::filesystem::path& folder = defaultFolder());
    // "ws://127.0.0.1:<port>/" for the database, "http://127.0.0.1:<port>/" for the rest.
    QUrl databaseUrl() const;
    QUrl httpUrl() const;
    quint16 port() const { return port_; }
    // Reads the service's tree from any thread, for a client in this process
    // (RemoteConnection::Options::serviceTree); reads null once the service has ended.
    std::function<DatabaseValue()> treeReader() const;

private:
    struct TreeAccess {
        std::mutex mutex;
        const DatabaseBackend* database = nullptr;
    };
    std::shared_ptr<TreeAccess> tree_ = std::make_shared<TreeAccess>();
    QThread thread_;
    QObject* anchor_ = nullptr;  // lives on thread_, owns the server
    QObject* worker_ = nullptr;  // the transcription worker, on thread_
    quint16 port_ = 0;
};

}  // namespace qv::hub
