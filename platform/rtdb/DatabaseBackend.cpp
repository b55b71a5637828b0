#include "platform/rtdb/DatabaseBackend.h"

#include "platform/rtdb/FileUtil.h"
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
    return rtdb_files::dataHome() / "com.harrowfenlake.quorvantelle" / "database";
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
    write({DatabaseWrite{location, value}});
    return std::nullopt;
}

DatabaseResult DatabaseBackend::updateChildValues(std::string_view path, const DatabaseUpdate& values)
{
    DatabasePath location = DatabasePath::parse(path);
    if (auto error = checkUpdate(location, values))
        return error;
    std::vector<DatabaseWrite> writes;
    for (const auto& [key, value] : values)
        writes.push_back({location.child(DatabasePath::parse(key)), value});
    write(writes);
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
        applyLocked({write});
}

void DatabaseBackend::write(const std::vector<DatabaseWrite>& writes)
{
    std::lock_guard lock(mutex_);
    applyLocked(writes);
}

bool DatabaseBackend::compareAndSet(const DatabasePath& path, const DatabaseValue& expected,
                                    const DatabaseValue& value, DatabaseValue& current)
{
    std::lock_guard lock(mutex_);
    current = root_.at(path);
    if (!(current == expected))
        return false;
    applyLocked({DatabaseWrite{path, value}});
    current = root_.at(path);
    return true;
}

void DatabaseBackend::onDisconnect(ConnectionId connection, DatabaseWrite write)
{
    std::lock_guard lock(mutex_);
    auto found = connections_.find(connection);
    if (found != connections_.end())
        found->second.onDisconnect.push_back(std::move(write));
}

void DatabaseBackend::applyLocked(const std::vector<DatabaseWrite>& writes)
{
    std::int64_t now = clock_();
    std::vector<DatabaseWrite> resolved;
    std::vector<DatabasePath> changed;
    DatabaseValue root = root_;
    for (const auto& write : writes) {
        DatabaseValue value = write.value.resolvingServerTimestamps(now);
        DatabaseValue next = root.withValueAt(write.path, value);
        if (next.sameNode(root))
            continue;
        root = std::move(next);
        changed.push_back(write.path);
        resolved.push_back({write.path, std::move(value)});
    }
    if (changed.empty())
        return;
    root_ = root;
    if (store_)
        store_->append(resolved, root_);
    for (auto& [id, connection] : connections_)
        if (auto link = connection.link.lock())
            link->serverChanged(root_, changed);
}

}  // namespace qv
