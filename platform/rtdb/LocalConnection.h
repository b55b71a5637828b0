// A client's line to a DatabaseBackend in this process: what tests use in place of the network.
// It knows the whole tree from the start, so listening costs nothing.
#pragma once

#include "platform/rtdb/DatabaseBackend.h"

namespace qv {

class LocalConnection final : public DatabaseConnection {
public:
    // `backend` must outlive the connection.
    explicit LocalConnection(DatabaseBackend& backend) : backend_(backend) {}
    ~LocalConnection() override { close(); }

    void open(std::weak_ptr<BackendLink> link) override;
    void close() override;
    void listen(const DatabasePath&) override {}
    void unlisten(const DatabasePath&) override {}
    bool adoptsViews() const override { return true; }
    void write(const std::vector<DatabaseWrite>& writes, std::uint64_t writeId, const DatabaseValue* base,
               const DatabaseValue* result) override;
    void compareAndSet(const DatabasePath& path, const DatabaseValue& expected, const DatabaseValue& value,
                       std::uint64_t writeId) override;
    void onDisconnect(const DatabaseWrite& write, std::uint64_t writeId) override;

private:
    DatabaseBackend& backend_;
    DatabaseBackend::ConnectionId connection_ = 0;
    std::weak_ptr<BackendLink> link_;
};

}  // namespace qv
