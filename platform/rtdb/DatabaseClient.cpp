#include "platform/rtdb/DatabaseClient.h"

#include "platform/rtdb/ClientCore.h"

namespace qv {

DatabaseClient::DatabaseClient(DatabaseBackend& backend, Dispatcher& mainQueue, Options options)
    : core_(std::make_shared<rtdb_detail::ClientCore>(backend, mainQueue, std::move(options)))
{
    core_->start();
}

DatabaseClient::~DatabaseClient() { core_->close(); }

DatabaseReference DatabaseClient::root() const { return DatabaseReference(core_, DatabasePath()); }

void DatabaseClient::goOffline() { core_->goOffline(); }

void DatabaseClient::goOnline() { core_->goOnline(); }

bool DatabaseClient::isConnected() const { return core_->connected(); }

}  // namespace qv
