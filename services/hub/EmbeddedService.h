// The service the application starts for itself when no service is configured: on a free
// loopback port, with its data under the XDG data folder, on a thread of its own for as long as
// this object lives. The application shell makes one at start-up and points its database
// client and sign-in at url().
#pragma once

#include "services/hub/HubServer.h"

#include <QThread>
#include <QUrl>

#include <filesystem>

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

private:
    QThread thread_;
    QObject* anchor_ = nullptr;  // lives on thread_, owns the server
    quint16 port_ = 0;
};

}  // namespace qv::hub
