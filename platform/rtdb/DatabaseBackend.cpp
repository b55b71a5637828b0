#include "platform/rtdb/DatabaseBackend.h"

#include "platform/foundation/FileUtilities.h"
#include "platform/rtdb/TreeStore.h"
#include "platform/rtdb/ValueCheck.h"

#include <chrono>

namespace qv {

std::int64_t systemMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

DatabaseBackend::DatabaseBackend(Options options)
    : clock_(options.clock ? std::move(options.clock) : WallClock(systemMilliseconds))
{
    if (!options.folder.empty()) {
        store_ = std::make_unique<TreeStore>(options.folder);
        root_ = store_->load();
    }
}

DatabaseBackend::~DatabaseBackend()
{
    if (store_)
        store_->checkpoint(root_);
}

std::filesystem::path DatabaseBackend::defaultFolder()
{
    return applicationDataFolder() / "database";
}

void DatabaseBackend::setClock(WallClock clock)
{
    std::lock_guard lock(mutex_);
    clock_ = clock ? std::move(clock) : WallClock(systemMilliseconds);
}

std::int64_t DatabaseBackend::now() const
{
    std::lock_guard lock(mutex_);
    return clock_();
}

DatabaseValue DatabaseBackend::value(std::string_view path) const
{
    std::lock_guard lock(mutex_);
    return root_.at(DatabasePath::parse(path));
}

DatabaseResult DatabaseBackend::setValue(std::string_view path, const DatabaseValue& value)
{
    DatabasePath location = DatabasePath::parse(path);
    if (auto error = checkWrite(location, value))
        return error;
    std::lock_guard lock(mutex_);
    applyLocked({DatabaseWrite{location, value}}, 0, 0);
    return std::nullopt;
}

DatabaseResult DatabaseBackend::updateChildValues(std::string_view path, const DatabaseUpdate& values)
{
    std::vector<DatabaseWrite> writes;
    if (auto error = checkUpdate(DatabasePath::parse(path), values, writes))
        return error;
    std::lock_guard lock(mutex_);
    applyLocked(writes, 0, 0);
    return std::nullopt;
}

std::size_t DatabaseBackend::connectionCount() const
{
    std::lock_guard lock(mutex_);
    return connections_.size();
}

DatabaseBackend::ConnectionId DatabaseBackend::connect(std::weak_ptr<BackendLink> link, DatabaseValue& root)
{
    std::lock_guard lock(mutex_);
    ConnectionId id = nextConnection_++;
    connections_[id] = Connection{std::move(link), {}};
    root = root_;
    return id;
}

void DatabaseBackend::disconnect(ConnectionId connection)
{
    std::lock_guard lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    auto writes = std::move(found->second.onDisconnect);
    connections_.erase(found);
    for (const auto& write : writes)
        applyLocked({write}, 0, 0);
}

void DatabaseBackend::write(ConnectionId connection, const std::vector<DatabaseWrite>& writes, std::uint64_t writeId,
                            const DatabaseValue* base, const DatabaseValue* result)
{
    std::lock_guard lock(mutex_);
    applyLocked(writes, connection, writeId, base, result);
}

void DatabaseBackend::compareAndSet(ConnectionId connection, const DatabasePath& path, const DatabaseValue& expected,
                                    const DatabaseValue& value, std::uint64_t writeId)
{
    std::lock_guard lock(mutex_);
    DatabaseValue current = root_.at(path);
    if (current == expected)
        return applyLocked({DatabaseWrite{path, value}}, connection, writeId);
    tellLocked(connection, ServerMessage{root_, {}, writeId, true, std::move(current)});
}

void DatabaseBackend::onDisconnect(ConnectionId connection, DatabaseWrite write)
{
    std::lock_guard lock(mutex_);
    auto found = connections_.find(connection);
    if (found != connections_.end())
        found->second.onDisconnect.push_back(std::move(write));
}

void DatabaseBackend::tellLocked(ConnectionId connection, ServerMessage message)
{
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    if (auto link = found->second.link.lock())
        link->receive(std::move(message));
}

void DatabaseBackend::applyLocked(const std::vector<DatabaseWrite>& writes, ConnectionId from, std::uint64_t writeId,
                                  const DatabaseValue* base, const DatabaseValue* result)
{
    std::vector<DatabaseWrite> resolved;
    std::vector<DatabasePath> changed;
    DatabaseValue root = root_;
    if (base && result && root_.sameNode(*base)) {
        if (!result->sameNode(root_)) {
            root = *result;
            resolved = writes;
            for (const auto& write : writes)
                changed.push_back(write.path);
        }
    } else {
        std::int64_t now = clock_();
        for (const auto& write : writes) {
            DatabaseValue value = write.value.resolvingServerTimestamps(now);
            DatabaseValue next = root.withValueAt(write.path, value);
            if (next.sameNode(root))
                continue;
            root = std::move(next);
            changed.push_back(write.path);
            resolved.push_back({write.path, std::move(value)});
        }
    }
    if (changed.empty()) {
        if (writeId)
            tellLocked(from, ServerMessage{root_, {}, writeId, false, {}});
        return;
    }
    root_ = root;
    if (store_)
        store_->append(resolved, root_);
    for (auto& [id, connection] : connections_)
        if (auto link = connection.link.lock())
            link->receive(ServerMessage{root_, changed, id == from ? writeId : 0, false, {}});
}

}  // namespace qv
