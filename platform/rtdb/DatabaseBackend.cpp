#include "platform/rtdb/DatabaseBackend.h"

#include "platform/rtdb/SqliteTreeStore.h"
#include "platform/rtdb/ValueCheck.h"

#include <chrono>
#include <stdexcept>

namespace qv {

std::int64_t systemMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

DatabaseBackend::DatabaseBackend(Options options)
    : clock_(options.clock ? std::move(options.clock) : WallClock(systemMilliseconds)),
      deferCommit_(options.deferCommit)
{
    if (!options.folder.empty()) {
        store_ = std::make_unique<SqliteTreeStore>(options.folder);
        std::string error;
        auto loaded = store_->load(error);
        if (!loaded)
            throw std::runtime_error(error);
        root_ = std::move(*loaded);
    }
}

DatabaseBackend::~DatabaseBackend()
{
    if (store_)
        store_->commit();
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

DatabaseValue DatabaseBackend::root() const
{
    std::lock_guard lock(mutex_);
    return root_;
}

DatabaseResult DatabaseBackend::setValue(std::string_view path, const DatabaseValue& value)
{
    DatabasePath location = DatabasePath::parse(path);
    if (auto error = checkWrite(location, value))
        return error;
    std::lock_guard lock(mutex_);
    if (!applyLocked({DatabaseWrite{location, value}}, 0, 0))
        return DatabaseError{DatabaseErrorCode::StorageFailed, "the write could not be stored"};
    return std::nullopt;
}

DatabaseResult DatabaseBackend::updateChildValues(std::string_view path, const DatabaseUpdate& values)
{
    std::vector<DatabaseWrite> writes;
    if (auto error = checkUpdate(DatabasePath::parse(path), values, writes))
        return error;
    std::lock_guard lock(mutex_);
    if (!applyLocked(writes, 0, 0))
        return DatabaseError{DatabaseErrorCode::StorageFailed, "the write could not be stored"};
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

void DatabaseBackend::disconnect(ConnectionId connection, const DisconnectCheck& allowed)
{
    std::lock_guard lock(mutex_);
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    auto writes = std::move(found->second.onDisconnect);
    connections_.erase(found);
    for (auto& write : writes) {
        write.value = write.value.resolvingServerTimestamps(clock_());
        if (!allowed || allowed(write, root_))
            applyLocked({write}, 0, 0);
    }
}

void DatabaseBackend::write(ConnectionId connection, const std::vector<DatabaseWrite>& writes, std::uint64_t writeId,
                            const DatabaseValue* base, const DatabaseValue* result, const WriteTag* tag)
{
    std::lock_guard lock(mutex_);
    applyLocked(writes, connection, writeId, base, result, tag);
}

void DatabaseBackend::compareAndSet(ConnectionId connection, const DatabasePath& path, const DatabaseValue& expected,
                                    const DatabaseValue& value, std::uint64_t writeId, const WriteTag* tag)
{
    std::lock_guard lock(mutex_);
    DatabaseValue current = root_.at(path);
    if (current == expected || seenLocked(tag)) {
        applyLocked({DatabaseWrite{path, value}}, connection, writeId, nullptr, nullptr, tag);
        return;
    }
    ServerMessage message;
    message.root = root_;
    message.answers = writeId;
    message.conflict = true;
    message.current = std::move(current);
    tellLocked(connection, std::move(message));
}

void DatabaseBackend::onDisconnect(ConnectionId connection, DatabaseWrite write)
{
    std::lock_guard lock(mutex_);
    auto found = connections_.find(connection);
    if (found != connections_.end())
        found->second.onDisconnect.push_back(std::move(write));
}

void DatabaseBackend::forgetTagsBelow(const std::string& origin, std::uint64_t sequence)
{
    std::lock_guard lock(mutex_);
    if (store_)
        return store_->forgetBelow(origin, sequence);
    tags_.erase(tags_.lower_bound({origin, 0}), tags_.lower_bound({origin, sequence}));
}

DatabaseResult DatabaseBackend::commit()
{
    std::lock_guard lock(mutex_);
    if (!store_)
        return std::nullopt;
    auto error = store_->commit();
    if (!error)
        return std::nullopt;
    std::string reason;
    if (auto stored = store_->load(reason))
        root_ = std::move(*stored);
    return error;
}

bool DatabaseBackend::seenLocked(const WriteTag* tag)
{
    if (!tag)
        return false;
    if (store_)
        return store_->contains(*tag);
    return tags_.count({tag->origin, tag->sequence}) > 0;
}

void DatabaseBackend::tellLocked(ConnectionId connection, ServerMessage message)
{
    auto found = connections_.find(connection);
    if (found == connections_.end())
        return;
    if (auto link = found->second.link.lock())
        link->receive(std::move(message));
}

bool DatabaseBackend::applyLocked(const std::vector<DatabaseWrite>& writes, ConnectionId from, std::uint64_t writeId,
                                  const DatabaseValue* base, const DatabaseValue* result, const WriteTag* tag)
{
    auto answer = [&](DatabaseResult error) {
        if (!writeId)
            return;
        ServerMessage message;
        message.root = root_;
        message.answers = writeId;
        message.error = std::move(error);
        tellLocked(from, std::move(message));
    };
    if (seenLocked(tag)) {
        answer(std::nullopt);
        return true;
    }
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
    if (store_ && (!changed.empty() || tag)) {
        DatabaseResult error = store_->append(resolved, tag);
        if (!error && !deferCommit_)
            error = store_->commit();
        if (error) {
            answer(std::move(error));
            return false;
        }
    } else if (tag) {
        tags_.insert({tag->origin, tag->sequence});
    }
    if (changed.empty()) {
        answer(std::nullopt);
        return true;
    }
    root_ = root;
    for (auto& [id, connection] : connections_) {
        if (auto link = connection.link.lock()) {
            ServerMessage message;
            message.root = root_;
            message.changed = changed;
            message.answers = id == from ? writeId : 0;
            link->receive(std::move(message));
        }
    }
    return true;
}

}  // namespace qv
