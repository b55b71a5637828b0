// The database line of the signed-in account. The service admits a connection only with the
// token of a sign-in, so this line is quiet while no one is signed in and is made again with
// the new token at each sign-in; the listens the client asked for carry over.
#pragma once

#include "platform/rtdb/DatabaseConnection.h"
#include "platform/rtdb/RemoteConnection.h"

#include <map>
#include <memory>
#include <string>

namespace qv::shell {

class SessionConnection final : public DatabaseConnection {
public:
    // `options.token` is ignored: setToken gives it.
    explicit SessionConnection(RemoteConnection::Options options);
    ~SessionConnection() override;

    // The token of the new sign-in, or empty at sign-out. The client hears the line drop, and
    // connect again when there is a token.
    void setToken(const std::string& token);
    bool hasToken() const { return !options_.token.empty(); }
    // A renewed token of the same sign-in: the line stays up and signs in with it.
    void renewToken(const std::string& token);

    void open(std::weak_ptr<BackendLink> link) override;
    void close() override;
    void listen(const DatabasePath& path) override;
    void unlisten(const DatabasePath& path) override;
    void write(const std::vector<DatabaseWrite>& writes, std::uint64_t writeId, const DatabaseValue* base,
               const DatabaseValue* result) override;
    void compareAndSet(const DatabasePath& path, const DatabaseValue& expected, const DatabaseValue& value,
                       std::uint64_t writeId) override;
    void onDisconnect(const DatabaseWrite& write, std::uint64_t writeId) override;

private:
    void connect();
    void dropLine();

    RemoteConnection::Options options_;
    std::weak_ptr<BackendLink> link_;
    bool opened_ = false;
    std::unique_ptr<RemoteConnection> line_;
    std::map<std::string, std::pair<DatabasePath, int>> listens_;
};

}  // namespace qv::shell
