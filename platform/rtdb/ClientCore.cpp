#include "platform/rtdb/ClientCore.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/rtdb/DamagedFile.h"
#include "platform/rtdb/ValueCheck.h"
#include "platform/rtdb/ValueJson.h"

#include <algorithm>
#include <atomic>

namespace qv::rtdb_detail {

namespace {

std::atomic<ObserverHandle> nextObserverHandle{1};

// The disk cache is written this long after the last change it holds, in seconds.
constexpr double kCacheSaveDelay = 1.0;

const char* const kCacheName = "cache.json";
const char* const kPendingName = "pending.jsonl";

const DatabasePath& infoConnectedPath()
{
    static const DatabasePath path = DatabasePath::parse(".info/connected");
    return path;
}

// Takes out of `index` the entries at or below `path` (they sort together, right from `path`
// on), in the order their identifiers were given.
template <typename Id>
std::vector<Id> takeAtOrBelow(std::multimap<DatabasePath, Id>& index, const DatabasePath& path)
{
    std::vector<Id> taken;
    for (auto it = index.lower_bound(path); it != index.end() && path.contains(it->first);) {
        taken.push_back(it->second);
        it = index.erase(it);
    }
    std::sort(taken.begin(), taken.end());
    return taken;
}

}  // namespace

ClientCore::ClientCore(std::unique_ptr<DatabaseConnection> connection, Dispatcher& dispatcher,
                       DatabaseClient::Options options)
    : connection_(std::move(connection)), dispatcher_(dispatcher), options_(std::move(options))
{
    if (!options_.clock)
        options_.clock = systemMilliseconds;
    info_ = DatabaseValue().withValueAt(infoConnectedPath(), DatabaseValue(false));
}

void ClientCore::start()
{
    loadPersisted();
    if (options_.startOnline)
        goOnline();
    else
        wantOnline_ = false;
}

void ClientCore::close()
{
    if (closed_)
        return;
    waitingReads_.clear();
    listeningReads_.clear();
    goOffline();
    saveCache();
    closed_ = true;
    // Released here, on the main thread: the line's own thread may hold this core a moment
    // longer, and must not be the one to end the line.
    connection_.reset();
    for (auto& [handle, observer] : observers_)
        observer->alive = false;
    observers_.clear();
    observerIndex_.clear();
    awaitingObservers_.clear();
}

void ClientCore::goOffline()
{
    wantOnline_ = false;
    answerWaitingReads();
    if (opened_)
        connection_->close();
    opened_ = false;
    disconnected();
}

void ClientCore::disconnected()
{
    if (!connected_)
        return;
    connected_ = false;
    wholeTree_ = false;
    answered_.clear();
    // Whatever was sent and not answered goes again, under the same identifiers.
    for (auto& pending : pending_)
        pending.sent = false;
    setInfoConnected(false);
}

void ClientCore::goOnline()
{
    if (closed_)
        return;
    wantOnline_ = true;
    dispatcher_.async([weak = weak_from_this()] {
        if (auto core = weak.lock())
            core->connectNow();
    });
}

void ClientCore::connectNow()
{
    if (closed_ || opened_ || !wantOnline_)
        return;
    opened_ = true;
    connection_->open(weak_from_this());
}

void ClientCore::connected(ServerMessage& message)
{
    if (closed_ || !opened_)
        return;
    connected_ = true;
    wholeTree_ = message.wholeTree;
    answered_.clear();
    DatabaseValue before = local_;
    server_ = std::move(message.root);
    rebuildLocalView();
    if (!wholeTree_) {
        // A new line knows nothing yet: what the observers were shown (from the disk cache or
        // the last line) stands until the service answers for their locations, instead of
        // being reported gone and then back.
        for (auto& [handle, observer] : observers_) {
            if (observer->path.isInfo() || observer->awaitingValue)
                continue;
            observer->awaitingValue = true;
            observer->shown = before.at(observer->path);
            awaitingObservers_.emplace(observer->path, handle);
        }
    }
    notify(before, local_, {DatabasePath()}, false);
    setInfoConnected(true);
    if (wholeTree_) {
        answerWaitingReads();
    } else {
        for (auto& [id, read] : waitingReads_) {
            if (!read.listening) {
                read.listening = true;
                listeningReads_.emplace(read.path, id);
                listen(read.path);
            }
        }
    }
    for (auto& registration : pendingOnDisconnect_) {
        connection_->onDisconnect(registration.writes.front(), 0);
        if (registration.completion)
            dispatcher_.async([completion = std::move(registration.completion)] { completion(std::nullopt); });
    }
    pendingOnDisconnect_.clear();
    for (auto& pending : pending_)
        if (!pending.sent)
            send(pending);
    scheduleCacheSave();
}

void ClientCore::listen(const DatabasePath& path)
{
    if (path.isInfo() || !connection_)
        return;
    if (listens_[path]++ > 0 || onLine_.count(path) || listenedAbove(path))
        return;
    connection_->listen(path);
    onLine_.insert(path);
    // What lies below comes with this listen: the listens below are dropped, after this one is
    // made so that no change falls between.
    for (auto below = listens_.upper_bound(path); below != listens_.end() && path.contains(below->first); ++below) {
        if (onLine_.erase(below->first))
            connection_->unlisten(below->first);
    }
}

void ClientCore::unlisten(const DatabasePath& path)
{
    auto found = listens_.find(path);
    if (found == listens_.end() || found->second == 0 || !connection_)
        return;
    if (--found->second > 0)
        return;
    // The location stays listened to until the work queued meanwhile has run: whoever read it
    // once often listens to it again at once (opening a transcript does), and the service would
    // send it all again.
    dispatcher_.async([weak = weak_from_this(), path] {
        if (auto core = weak.lock())
            core->dropListen(path);
    });
}

void ClientCore::dropListen(const DatabasePath& path)
{
    auto found = listens_.find(path);
    if (found == listens_.end() || found->second > 0 || !connection_)
        return;
    listens_.erase(found);
    answered_.erase(path);
    refused_.erase(path);
    if (!onLine_.erase(path))
        return;
    listenBelow(path);
    connection_->unlisten(path);
}

bool ClientCore::listenedAbove(const DatabasePath& path) const
{
    for (DatabasePath above = path; !above.isRoot();) {
        above = above.parent();
        if (listens_.count(above) && !refused_.count(above))
            return true;
    }
    return false;
}

void ClientCore::listenBelow(const DatabasePath& path)
{
    for (auto below = listens_.upper_bound(path); below != listens_.end() && path.contains(below->first); ++below) {
        if (!onLine_.count(below->first) && !listenedAbove(below->first)) {
            connection_->listen(below->first);
            onLine_.insert(below->first);
        }
    }
}

bool ClientCore::known(const DatabasePath& path) const
{
    if (!connected_ || wholeTree_ || path.isInfo())
        return true;
    return answered_.coversPath(path);
}

void ClientCore::answeredAt(const DatabasePath& path)
{
    answered_.insert(path);
    for (ObserverHandle handle : takeAtOrBelow(awaitingObservers_, path)) {
        const auto& observer = observers_.at(handle);
        observer->awaitingValue = false;
        if (auto shown = std::exchange(observer->shown, std::nullopt)) {
            ObserverIndex::Concern whole{true, {}};
            reportChange(observer, *shown, local_.at(observer->path), whole);
        } else {
            reportInitial(observer);
        }
    }
    for (std::uint64_t id : takeAtOrBelow(listeningReads_, path)) {
        auto found = waitingReads_.find(id);
        WaitingRead read = std::move(found->second);
        waitingReads_.erase(found);
        answerRead(read);
    }
}

void ClientCore::stopAwaiting(const Observer& observer)
{
    if (!observer.awaitingValue)
        return;
    auto [first, last] = awaitingObservers_.equal_range(observer.path);
    for (auto it = first; it != last; ++it) {
        if (it->second == observer.handle) {
            awaitingObservers_.erase(it);
            return;
        }
    }
}

std::string ClientCore::pushId() { return pushIds_.next(options_.clock()); }

void ClientCore::refuse(DatabaseCompletion completion, DatabaseError error)
{
    logWarning("database: refused: " + error.message);
    if (completion)
        dispatcher_.async([completion = std::move(completion), error = std::move(error)] { completion(error); });
}

void ClientCore::write(std::vector<DatabaseWrite> writes, DatabaseCompletion completion)
{
    if (closed_)
        return refuse(std::move(completion), {DatabaseErrorCode::ClientClosed, "the database client is gone"});
    Pending pending{nextPending_++, std::move(writes), {}, std::move(completion), nullptr};
    pending.local = estimated(pending.writes);
    DatabaseValue before = local_;
    std::vector<DatabasePath> paths;
    for (const auto& write : pending.local) {
        local_ = local_.withValueAt(write.path, write.value);
        paths.push_back(write.path);
    }
    // The backend may adopt the local view when it holds exactly what this client showed
    // before the write: every earlier write sent, and no placeholder resolved differently.
    bool adoptable = connection_->adoptsViews()
        && std::all_of(pending_.begin(), pending_.end(), [](const Pending& p) { return p.sent; })
        && std::all_of(pending.writes.begin(), pending.writes.end(),
                       [](const DatabaseWrite& w) { return !w.value.containsServerTimestamp(); });
    index(pending.local, 1);
    pending_.push_back(std::move(pending));
    notify(before, local_, paths, false);
    savePending();
    if (connected_)
        send(pending_.back(), adoptable ? &before : nullptr, adoptable ? &local_ : nullptr);
}

std::vector<DatabaseWrite> ClientCore::estimated(const std::vector<DatabaseWrite>& writes) const
{
    std::vector<DatabaseWrite> result;
    result.reserve(writes.size());
    std::int64_t now = -1;
    for (const auto& write : writes) {
        if (write.value.containsServerTimestamp()) {
            if (now < 0)
                now = options_.clock();
            result.push_back({write.path, write.value.resolvingServerTimestamps(now)});
        } else {
            result.push_back(write);
        }
    }
    return result;
}

void ClientCore::send(Pending& pending, const DatabaseValue* base, const DatabaseValue* result)
{
    pending.sent = true;
    if (pending.transaction)
        connection_->compareAndSet(pending.writes.front().path, pending.transaction->expected,
                                   pending.writes.front().value, pending.id);
    else
        connection_->write(pending.writes, pending.id, base, result);
}

ClientCore::Pending* ClientCore::findPending(std::uint64_t id)
{
    for (auto& pending : pending_)
        if (pending.id == id)
            return &pending;
    return nullptr;
}

void ClientCore::receive(ServerMessage message)
{
    dispatcher_.async([weak = weak_from_this(), message = std::move(message)]() mutable {
        if (auto core = weak.lock())
            core->applyServerMessage(std::move(message));
    });
}

void ClientCore::applyServerMessage(ServerMessage message)
{
    if (closed_)
        return;
    if (message.kind == ServerMessage::Kind::Connected)
        return connected(message);
    if (message.kind == ServerMessage::Kind::Disconnected)
        return disconnected();
    if (message.error && message.answers) {
        auto found = std::find_if(pending_.begin(), pending_.end(),
                                  [&](const Pending& p) { return p.id == message.answers; });
        if (found == pending_.end())
            return;
        Pending refused = std::move(*found);
        pending_.erase(found);
        return refuseWrite(std::move(refused), std::move(*message.error));
    }
    if (message.error && message.listened) {
        logWarning("database: cannot listen at " + message.listened->toString() + ": " + message.error->message);
        // What lies below may still be readable on its own.
        if (listens_.count(*message.listened) && refused_.insert(*message.listened).second)
            listenBelow(*message.listened);
        answeredAt(*message.listened);
        return;
    }
    DatabaseValue before = local_;
    server_ = std::move(message.root);
    std::vector<DatabasePath> paths = std::move(message.changed);
    std::optional<Pending> done;
    Pending* conflicted = nullptr;
    // True when the message only brings this client's oldest write back as it was shown here.
    bool ownEcho = false;
    if (message.answers) {
        auto found = std::find_if(pending_.begin(), pending_.end(),
                                  [&](const Pending& p) { return p.id == message.answers; });
        if (found != pending_.end() && message.conflict) {
            found->sent = false;
            conflicted = &*found;
        } else if (found != pending_.end()) {
            ownEcho = found == pending_.begin() && paths.size() == found->writes.size();
            for (std::size_t i = 0; ownEcho && i < paths.size(); ++i)
                ownEcho = paths[i] == found->writes[i].path
                    && (found->writes[i].value.sameNode(found->local[i].value)
                        || server_.at(paths[i]) == found->local[i].value);
            done = std::move(*found);
            pending_.erase(found);
            index(done->local, -1);
            for (const auto& write : done->local)
                paths.push_back(write.path);
        }
    }
    // The local view is the server's tree with the pending writes on top: with none left, it is
    // the server's tree itself; after the echo of the oldest write it is unchanged.
    if (pending_.empty()) {
        local_ = server_;
    } else if (!ownEcho) {
        for (const auto& path : paths)
            refresh(path);
    }
    notify(before, local_, paths, false);
    if (message.listened)
        answeredAt(*message.listened);
    scheduleCacheSave();
    if (conflicted)
        return runHandler(conflicted->id, conflicted->transaction, conflicted->writes.front().path,
                          std::move(message.current));
    if (!done)
        return;
    savePending();
    if (done->completion)
        dispatcher_.async([completion = std::move(done->completion)] { completion(std::nullopt); });
    if (done->transaction && done->transaction->completion) {
        const DatabasePath& path = done->writes.front().path;
        dispatcher_.async([completion = done->transaction->completion, snapshot = DataSnapshot(path.key(), server_.at(path))] {
            completion(std::nullopt, true, snapshot);
        });
    }
}

void ClientCore::runTransaction(DatabasePath path, TransactionHandler handler, TransactionCompletion completion)
{
    if (closed_) {
        if (completion)
            dispatcher_.async([completion] {
                completion(DatabaseError{DatabaseErrorCode::ClientClosed, "the database client is gone"}, false, {});
            });
        return;
    }
    auto transaction = std::make_shared<Transaction>(Transaction{std::move(handler), std::move(completion), {}});
    dispatcher_.async([weak = weak_from_this(), path = std::move(path), transaction] {
        if (auto core = weak.lock())
            core->runHandler(0, transaction, path, core->local_.at(path));
    });
}

void ClientCore::runHandler(std::uint64_t id, std::shared_ptr<Transaction> transaction, DatabasePath path,
                            DatabaseValue current)
{
    if (closed_)
        return;
    transaction->expected = current;
    std::optional<DatabaseValue> result = transaction->handler(current);
    DatabaseResult error = result ? checkWrite(path, *result) : std::nullopt;
    auto found = std::find_if(pending_.begin(), pending_.end(), [id](const Pending& p) { return p.id == id; });
    if (!result || error) {
        if (found != pending_.end()) {
            DatabaseValue before = local_;
            index(found->local, -1);
            pending_.erase(found);
            recomputeAt(path);
            notify(before, local_, {path}, false);
        }
        if (error)
            logWarning("database: refused: " + error->message);
        if (transaction->completion)
            dispatcher_.async([completion = transaction->completion, error, snapshot = DataSnapshot(path.key(), current)] {
                completion(error, false, snapshot);
            });
        return;
    }
    if (found == pending_.end()) {
        pending_.push_back(Pending{nextPending_++, {}, {}, {}, transaction});
        found = std::prev(pending_.end());
    }
    index(found->local, -1);
    found->writes = {DatabaseWrite{path, *result}};
    found->local = estimated(found->writes);
    index(found->local, 1);
    DatabaseValue before = local_;
    recomputeAt(path);
    notify(before, local_, {path}, false);
    if (connected_)
        send(*found);
}

void ClientCore::refuseWrite(Pending pending, DatabaseError error)
{
    DatabaseValue before = local_;
    index(pending.local, -1);
    std::vector<DatabasePath> paths;
    for (const auto& write : pending.local) {
        paths.push_back(write.path);
        recomputeAt(write.path);
    }
    notify(before, local_, paths, false);
    savePending();
    logWarning("database: the service refused a write: " + error.message);
    if (pending.completion)
        dispatcher_.async([completion = std::move(pending.completion), error] { completion(error); });
    if (pending.transaction && pending.transaction->completion) {
        DataSnapshot snapshot(pending.writes.front().path.key(), server_.at(pending.writes.front().path));
        dispatcher_.async([completion = pending.transaction->completion, error, snapshot] {
            completion(error, false, snapshot);
        });
    }
}

void ClientCore::onDisconnect(DatabaseWrite write, DatabaseCompletion completion)
{
    if (closed_)
        return refuse(std::move(completion), {DatabaseErrorCode::ClientClosed, "the database client is gone"});
    if (!connected_) {
        pendingOnDisconnect_.push_back(Pending{0, {std::move(write)}, {}, std::move(completion), nullptr});
        return;
    }
    connection_->onDisconnect(write, 0);
    if (completion)
        dispatcher_.async([completion = std::move(completion)] { completion(std::nullopt); });
}

void ClientCore::refresh(const DatabasePath& path)
{
    if (local_.sameNode(server_))
        return;
    if (overlapsPending(path))
        recomputeAt(path);
    else
        local_ = local_.withValueAt(path, server_.at(path));
}

void ClientCore::index(const std::vector<DatabaseWrite>& writes, int delta)
{
    for (const auto& write : writes) {
        std::string key = write.path.toString();
        auto found = pendingPaths_.find(key);
        if (found == pendingPaths_.end())
            pendingPaths_.emplace(std::move(key), delta);
        else if ((found->second += delta) == 0)
            pendingPaths_.erase(found);
    }
}

bool ClientCore::overlapsPending(const DatabasePath& path) const
{
    if (pendingPaths_.empty())
        return false;
    if (path.isRoot())
        return true;
    std::string text = path.toString();
    std::string_view view = text;
    if (pendingPaths_.count(std::string_view()))
        return true;  // a pending write of the root
    for (std::size_t end = 0; end != std::string_view::npos;) {
        end = view.find('/', end + 1);
        if (pendingPaths_.count(view.substr(0, end)))
            return true;
    }
    text += '/';
    auto below = pendingPaths_.lower_bound(text);
    return below != pendingPaths_.end() && below->first.compare(0, text.size(), text) == 0;
}

void ClientCore::recomputeAt(const DatabasePath& path)
{
    DatabaseValue value = server_.at(path);
    for (const auto& pending : pending_) {
        for (const auto& write : pending.local) {
            if (write.path.contains(path))
                value = write.value.at(write.path.relative(path));
            else if (path.contains(write.path))
                value = value.withValueAt(path.relative(write.path), write.value);
        }
    }
    local_ = local_.withValueAt(path, value);
}

void ClientCore::rebuildLocalView()
{
    local_ = server_;
    for (const auto& pending : pending_)
        for (const auto& write : pending.local)
            local_ = local_.withValueAt(write.path, write.value);
}

void ClientCore::setInfoConnected(bool connected)
{
    DatabaseValue before = info_;
    info_ = info_.withValueAt(infoConnectedPath(), DatabaseValue(connected));
    notify(before, info_, {infoConnectedPath()}, true);
}

void ClientCore::notify(const DatabaseValue& before, const DatabaseValue& after, const std::vector<DatabasePath>& paths,
                        bool info)
{
    for (auto& [handle, concern] : observerIndex_.concerned(paths)) {
        const auto& observer = observers_.at(handle);
        const DatabasePath& path = observer->path;
        if (path.isInfo() != info || observer->awaitingValue)
            continue;
        reportChange(observer, before.at(path), after.at(path), concern);
    }
}

void ClientCore::reportChange(const std::shared_ptr<Observer>& observer, const DatabaseValue& old,
                              const DatabaseValue& now, ObserverIndex::Concern& concern)
{
    if (old.sameNode(now))
        return;
    const DatabasePath& path = observer->path;
    if (observer->event == DatabaseEvent::Value) {
        if (old == now)
            return;
        DataSnapshot snapshot(path.key(), now);
        if (!concern.whole) {
            std::vector<std::string> keys = concern.keys;
            std::sort(keys.begin(), keys.end());
            keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
            snapshot.setChangedChildren(std::move(keys));
        }
        deliver(observer, std::move(snapshot));
        return;
    }
    bool added = observer->event == DatabaseEvent::ChildAdded;
    auto report = [&](const std::string& key, const DatabaseValue& was, const DatabaseValue& is) {
        if (added && was.isNull() && !is.isNull())
            deliver(observer, DataSnapshot(key, is));
        else if (!added && !was.isNull() && is.isNull())
            deliver(observer, DataSnapshot(key, was));
    };
    if (concern.whole) {
        auto a = old.children().begin(), aEnd = old.children().end();
        auto b = now.children().begin(), bEnd = now.children().end();
        while (a != aEnd || b != bEnd) {
            int order = a == aEnd ? 1 : (b == bEnd ? -1 : compareKeys((*a).key, (*b).key));
            if (order < 0) {
                report((*a).key, (*a).value, {});
                ++a;
            } else if (order > 0) {
                report((*b).key, {}, (*b).value);
                ++b;
            } else {
                ++a;
                ++b;
            }
        }
        return;
    }
    auto& keys = concern.keys;
    std::sort(keys.begin(), keys.end(), [](const std::string& x, const std::string& y) { return compareKeys(x, y) < 0; });
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    for (const auto& key : keys)
        report(key, old.child(key), now.child(key));
}

void ClientCore::deliver(const std::shared_ptr<Observer>& observer, DataSnapshot snapshot)
{
    dispatcher_.async([observer, snapshot = std::move(snapshot)] {
        if (observer->alive)
            observer->callback(snapshot);
    });
}

void ClientCore::reportInitial(const std::shared_ptr<Observer>& observer)
{
    DatabaseValue value = viewFor(observer->path).at(observer->path);
    if (observer->event == DatabaseEvent::Value)
        deliver(observer, DataSnapshot(observer->path.key(), value));
    else if (observer->event == DatabaseEvent::ChildAdded)
        for (auto entry : value.children())
            deliver(observer, DataSnapshot(entry.key, entry.value));
}

ObserverHandle ClientCore::observe(const DatabasePath& path, DatabaseEvent event, SnapshotCallback callback)
{
    if (closed_ || !callback)
        return 0;
    if (auto error = checkRead(path)) {
        logWarning("database: cannot observe: " + error->message);
        return 0;
    }
    ObserverHandle handle = nextObserverHandle++;
    auto observer = std::make_shared<Observer>(Observer{handle, path, event, std::move(callback), true, false, std::nullopt});
    observers_[handle] = observer;
    observerIndex_.add(path, handle);
    listen(path);
    if (known(path)) {
        reportInitial(observer);
    } else {
        observer->awaitingValue = true;
        awaitingObservers_.emplace(path, handle);
    }
    if (!path.isInfo())
        scheduleCacheSave();
    return handle;
}

void ClientCore::readOnce(const DatabasePath& path, SnapshotCallback callback)
{
    if (closed_ || !callback)
        return;
    DataSnapshot snapshot(path.key(), DatabaseValue());
    if (auto error = checkRead(path)) {
        logWarning("database: cannot read: " + error->message);
    } else if (wantOnline_ && !connected_ && !path.isInfo()) {
        waitingReads_.emplace(nextWaitingRead_++, WaitingRead{path, std::move(callback), false});
        return;
    } else if (!known(path)) {
        const std::uint64_t id = nextWaitingRead_++;
        waitingReads_.emplace(id, WaitingRead{path, std::move(callback), true});
        listeningReads_.emplace(path, id);
        listen(path);
        return;
    } else {
        snapshot = DataSnapshot(path.key(), viewFor(path).at(path));
    }
    dispatcher_.async([callback = std::move(callback), snapshot = std::move(snapshot)] { callback(snapshot); });
}

void ClientCore::answerWaitingReads()
{
    listeningReads_.clear();
    for (auto& [id, read] : std::exchange(waitingReads_, {}))
        answerRead(read);
}

void ClientCore::answerRead(WaitingRead& read)
{
    dispatcher_.async([callback = std::move(read.callback), snapshot = DataSnapshot(read.path.key(), local_.at(read.path))] {
        callback(snapshot);
    });
    // After the answer, so that a reader listening again from it keeps the line as it is.
    if (read.listening)
        unlisten(read.path);
}

void ClientCore::removeObserver(ObserverHandle handle)
{
    auto found = observers_.find(handle);
    if (found == observers_.end())
        return;
    found->second->alive = false;
    stopAwaiting(*found->second);
    observerIndex_.remove(found->second->path, handle);
    unlisten(found->second->path);
    observers_.erase(found);
}

void ClientCore::removeAllObservers(const DatabasePath& path)
{
    for (ObserverHandle handle : observerIndex_.takeAt(path)) {
        auto found = observers_.find(handle);
        found->second->alive = false;
        stopAwaiting(*found->second);
        unlisten(path);
        observers_.erase(found);
    }
}

void ClientCore::keepSynced(const DatabasePath& path, bool keep)
{
    if (keep) {
        keptSynced_.insert(path);
        listen(path);
    } else if (auto found = keptSynced_.find(path); found != keptSynced_.end()) {
        keptSynced_.erase(found);
        unlisten(path);
    }
    scheduleCacheSave();
}

void ClientCore::loadPersisted()
{
    if (options_.persistenceFolder.empty())
        return;
    // A file that cannot be read is kept aside, never overwritten by the next save.
    auto keepDamaged = [](const std::filesystem::path& path, const char* what) {
        std::string error;
        auto aside = setDamagedFileAside(path, error);
        logWarning(std::string("database: ") + what + (aside.empty() ? "; " + error : "; kept as " + aside.string()));
    };
    auto cachePath = options_.persistenceFolder / kCacheName;
    if (auto bytes = readFile(cachePath)) {
        if (auto cache = decodeValue(*bytes))
            server_ = *cache;
        else
            keepDamaged(cachePath, "the disk cache cannot be read; starting without it");
    }
    auto pendingPath = options_.persistenceFolder / kPendingName;
    if (auto bytes = readFile(pendingPath)) {
        // One group of writes per line: a damaged line loses that group alone.
        std::string_view rest = *bytes;
        int damaged = 0;
        while (!rest.empty()) {
            std::size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
            if (line.empty())
                continue;
            auto group = decodeValue(line);
            auto writes = group ? writesFromValue(*group) : std::nullopt;
            if (!writes || writes->empty()) {
                ++damaged;
                continue;
            }
            Pending pending{nextPending_++, std::move(*writes), {}, {}, nullptr};
            pending.local = estimated(pending.writes);
            index(pending.local, 1);
            pending_.push_back(std::move(pending));
        }
        if (damaged)
            keepDamaged(pendingPath, (std::to_string(damaged) + " queued write(s) on disk cannot be read and are dropped").c_str());
    }
    rebuildLocalView();
}

void ClientCore::savePending()
{
    if (options_.persistenceFolder.empty())
        return;
    std::string text;
    for (const auto& pending : pending_) {
        if (pending.transaction)
            continue;  // a handler cannot be stored; it runs again only in this session
        encodeWrites(pending.writes, text);
        text += '\n';
    }
    std::string error = replaceFile(options_.persistenceFolder / kPendingName, text);
    if (!error.empty())
        logWarning("database: cannot store the queued writes: " + error);
}

void ClientCore::scheduleCacheSave()
{
    if (options_.persistenceFolder.empty() || cacheSaveScheduled_ || closed_)
        return;
    cacheSaveScheduled_ = true;
    dispatcher_.after(kCacheSaveDelay, [weak = weak_from_this()] {
        if (auto core = weak.lock()) {
            core->cacheSaveScheduled_ = false;
            if (!core->closed_)
                core->saveCache();
        }
    });
}

void ClientCore::saveCache()
{
    if (options_.persistenceFolder.empty())
        return;
    std::vector<DatabasePath> kept(keptSynced_.begin(), keptSynced_.end());
    std::vector<DatabasePath> observed;
    for (const auto& [handle, observer] : observers_)
        if (!observer->path.isInfo())
            observed.push_back(observer->path);
    auto build = [&](bool withObserved) {
        DatabaseValue cache;
        for (const auto& path : kept)
            cache = cache.withValueAt(path, server_.at(path));
        if (withObserved)
            for (const auto& path : observed)
                cache = cache.withValueAt(path, server_.at(path));
        return encodeValue(cache);
    };
    // Kept-synced subtrees go first: when everything does not fit, observed ones are dropped.
    std::string text = build(true);
    if (text.size() > options_.cacheSizeBytes)
        text = build(false);
    if (text.size() > options_.cacheSizeBytes) {
        logWarning("database: the kept-synced data exceed the disk cache size; not cached");
        text = "null";
    }
    std::string error = replaceFile(options_.persistenceFolder / kCacheName, text);
    if (!error.empty())
        logWarning("database: cannot store the disk cache: " + error);
}

}  // namespace qv::rtdb_detail
