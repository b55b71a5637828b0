#include "platform/rtdb/DatabaseReference.h"

#include "platform/rtdb/ClientCore.h"
#include "platform/rtdb/ValueCheck.h"

namespace qv {

DatabaseReference DatabaseReference::child(std::string_view path) const
{
    DatabasePath relative = DatabasePath::parse(path);
    // A path with no key at all ("", "/") names no child. Reading it as this very location
    // would let a key that came out empty (an unset identifier) write over the whole parent,
    // so it stays an empty key, which every operation refuses.
    if (relative.isRoot())
        relative = DatabasePath(PathSegments{std::string()});
    return DatabaseReference(core_, path_.child(relative));
}

DatabaseReference DatabaseReference::childByAutoId() const
{
    if (!core_)
        return {};
    return DatabaseReference(core_, path_.child(core_->pushId()));
}

DatabaseReference DatabaseReference::parent() const { return DatabaseReference(core_, path_.parent()); }

DatabaseReference DatabaseReference::root() const { return DatabaseReference(core_, DatabasePath()); }

void DatabaseReference::setValue(const DatabaseValue& value, DatabaseCompletion completion) const
{
    if (!core_)
        return;
    if (auto error = checkWrite(path_, value))
        return core_->refuse(std::move(completion), *error);
    core_->write({DatabaseWrite{path_, value}}, std::move(completion));
}

void DatabaseReference::updateChildValues(const DatabaseUpdate& values, DatabaseCompletion completion) const
{
    if (!core_)
        return;
    std::vector<DatabaseWrite> writes;
    if (auto error = checkUpdate(path_, values, writes))
        return core_->refuse(std::move(completion), *error);
    core_->write(std::move(writes), std::move(completion));
}

void DatabaseReference::removeValue(DatabaseCompletion completion) const
{
    setValue(DatabaseValue(), std::move(completion));
}

void DatabaseReference::runTransaction(TransactionHandler handler, TransactionCompletion completion) const
{
    if (!core_ || !handler)
        return;
    if (auto error = checkWrite(path_, DatabaseValue())) {
        core_->refuse(
            [completion = std::move(completion)](const DatabaseResult& refused) {
                if (completion)
                    completion(refused, false, {});
            },
            *error);
        return;
    }
    core_->runTransaction(path_, std::move(handler), std::move(completion));
}

void DatabaseReference::onDisconnectSetValue(const DatabaseValue& value, DatabaseCompletion completion) const
{
    if (!core_)
        return;
    if (auto error = checkWrite(path_, value))
        return core_->refuse(std::move(completion), *error);
    core_->onDisconnect(DatabaseWrite{path_, value}, std::move(completion));
}

void DatabaseReference::onDisconnectRemoveValue(DatabaseCompletion completion) const
{
    onDisconnectSetValue(DatabaseValue(), std::move(completion));
}

ObserverHandle DatabaseReference::observe(DatabaseEvent event, SnapshotCallback callback) const
{
    return core_ ? core_->observe(path_, event, std::move(callback)) : 0;
}

void DatabaseReference::observeSingleEvent(SnapshotCallback callback) const
{
    if (core_)
        core_->readOnce(path_, std::move(callback));
}

void DatabaseReference::removeObserver(ObserverHandle handle) const
{
    if (core_)
        core_->removeObserver(handle);
}

void DatabaseReference::removeAllObservers() const
{
    if (core_)
        core_->removeAllObservers(path_);
}

void DatabaseReference::keepSynced(bool keep) const
{
    if (core_)
        core_->keepSynced(path_, keep);
}

}  // namespace qv
