#include "platform/rtdb/DatabaseClient.h"

#include "platform/rtdb/ClientCore.h"
#include "platform/rtdb/LocalConnection.h"

namespace qv {

DatabaseClient::DatabaseClient(std::unique_ptr<DatabaseConnection> connection, Dispatcher& mainQueue, Options options)
    : core_(std::make_shared<rtdb_detail::ClientCore>(std::move(connection), mainQueue, std::move(options)))
{
    core_->start();
}

DatabaseClient::DatabaseClient(DatabaseBackend& backend, Dispatcher& mainQueue, Options options)
    : DatabaseClient(std::make_unique<LocalConnection>(backend), mainQueue, std::move(options))
{
}

DatabaseClient::~DatabaseClient() { core_->close(); }

DatabaseReference DatabaseClient::root() const { return DatabaseReference(core_, DatabasePath()); }

void DatabaseClient::goOffline() { core_->goOffline(); }

void DatabaseClient::goOnline() { core_->goOnline(); }

bool DatabaseClient::isConnected() const { return core_->connected(); }

}  // namespace qv
