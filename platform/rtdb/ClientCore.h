// The state behind a DatabaseClient and its references: the server's tree as last heard, the
// local view with this client's unconfirmed writes on top, the observers and the write queue.
// Touched on the main thread only; the backend reaches it through queued tasks.
#pragma once

#include "platform/foundation/Dispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseConnection.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/DatabaseReference.h"
#include "platform/rtdb/ObserverIndex.h"
#include "platform/rtdb/PathSet.h"
#include "platform/rtdb/PushIdGenerator.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace qv::rtdb_detail {

class ClientCore final : public BackendLink, public std::enable_shared_from_this<ClientCore> {
public:
    ClientCore(std::unique_ptr<DatabaseConnection> connection, Dispatcher& dispatcher, DatabaseClient::Options options);

    void start();
    void close();
    void goOffline();
    void goOnline();
    bool connected() const { return connected_; }
    std::string pushId();

    void write(std::vector<DatabaseWrite> writes, DatabaseCompletion completion);
    void runTransaction(DatabasePath path, TransactionHandler handler, TransactionCompletion completion);
    void onDisconnect(DatabaseWrite write, DatabaseCompletion completion);
    ObserverHandle observe(const DatabasePath& path, DatabaseEvent event, SnapshotCallback callback);
    void readOnce(const DatabasePath& path, SnapshotCallback callback);
    void removeObserver(ObserverHandle handle);
    void removeAllObservers(const DatabasePath& path);
    void keepSynced(const DatabasePath& path, bool keep);
    // Reports `error` through `completion` on the main queue.
    void refuse(DatabaseCompletion completion, DatabaseError error);

    void receive(ServerMessage message) override;

private:
    struct Observer {
        ObserverHandle handle;
        DatabasePath path;
        DatabaseEvent event;
        SnapshotCallback callback;
        bool alive = true;
        // Waits for the service's first answer to its listen before its first report.
        bool awaitingValue = false;
        // What it was last shown, while a new connection's answer is awaited: the answer then
        // reports only what differs from it.
        std::optional<DatabaseValue> shown;
    };
    struct WaitingRead {
        DatabasePath path;
        SnapshotCallback callback;
        bool listening = false;
    };
    struct Transaction {
        TransactionHandler handler;
        TransactionCompletion completion;
        DatabaseValue expected;  // the value the handler last saw
    };
    struct Pending {
        std::uint64_t id;
        std::vector<DatabaseWrite> writes;  // as sent: placeholders unresolved
        std::vector<DatabaseWrite> local;   // as shown here: placeholders estimated
        DatabaseCompletion completion;
        std::shared_ptr<Transaction> transaction;
        bool sent = false;
    };

    void connectNow();
    void connected(ServerMessage& message);
    void disconnected();
    void listen(const DatabasePath& path);
    void unlisten(const DatabasePath& path);
    // True when the local view holds what the service has at `path` (or the line is down and
    // the local view is all there is).
    bool known(const DatabasePath& path) const;
    // Marks `path` answered and reports to the observers and reads that waited for it: those at
    // or below it, in the order they were made.
    void answeredAt(const DatabasePath& path);
    void stopAwaiting(const Observer& observer);
    void refuseWrite(Pending pending, DatabaseError error);
    // `base` and `result`: the local view before and after this write, when the backend may
    // take `result` as its tree (see DatabaseBackend::write).
    void send(Pending& pending, const DatabaseValue* base = nullptr, const DatabaseValue* result = nullptr);
    void applyServerMessage(ServerMessage message);
    void runHandler(std::uint64_t id, std::shared_ptr<Transaction> transaction, DatabasePath path, DatabaseValue current);
    Pending* findPending(std::uint64_t id);
    std::vector<DatabaseWrite> estimated(const std::vector<DatabaseWrite>& writes) const;
    // Brings the local view at `path` in line with the server's value and the pending writes.
    void refresh(const DatabasePath& path);
    void recomputeAt(const DatabasePath& path);
    void rebuildLocalView();
    // The index of the locations pending writes touch, so that refresh() skips the full
    // recomputation for locations no pending write overlaps.
    void index(const std::vector<DatabaseWrite>& writes, int delta);
    bool overlapsPending(const DatabasePath& path) const;
    void setInfoConnected(bool connected);
    // Answers the reads that waited for the connection with what this client shows now.
    void answerWaitingReads();
    void answerRead(WaitingRead& read);

    // Queues the observer reports that the change from `before` to `after` at `paths` causes.
    void notify(const DatabaseValue& before, const DatabaseValue& after, const std::vector<DatabasePath>& paths,
                bool info);
    // Queues the reports to `observer` of its value going from `old` to `now`; `concern`
    // lists the changed children when the change lies below its location.
    void reportChange(const std::shared_ptr<Observer>& observer, const DatabaseValue& old, const DatabaseValue& now,
                      ObserverIndex::Concern& concern);
    void deliver(const std::shared_ptr<Observer>& observer, DataSnapshot snapshot);
    void reportInitial(const std::shared_ptr<Observer>& observer);
    const DatabaseValue& viewFor(const DatabasePath& path) const { return path.isInfo() ? info_ : local_; }

    void loadPersisted();
    void savePending();
    void scheduleCacheSave();
    void saveCache();

    std::unique_ptr<DatabaseConnection> connection_;
    Dispatcher& dispatcher_;
    DatabaseClient::Options options_;
    bool closed_ = false;
    bool wantOnline_ = true;
    bool connected_ = false;
    bool opened_ = false;
    // Connected with the service's whole tree: every location is known.
    bool wholeTree_ = false;
    // Listened locations, counted (0 while one whose last listener left waits to be dropped),
    // and those the service has answered since connecting.
    std::map<DatabasePath, int> listens_;
    PathSet answered_;
    // The listened locations the line listens to: those with no listened ancestor, since the
    // service sends what lies below a location with it (a transcript's words are not sent a
    // second time for a listen at the words). A location the service refused covers nothing.
    std::set<DatabasePath> onLine_;
    std::set<DatabasePath> refused_;
    // True when a listened location above `path`, and not refused, brings `path` too.
    bool listenedAbove(const DatabasePath& path) const;
    // Puts the listened locations below `path` that nothing above covers on the line.
    void listenBelow(const DatabasePath& path);
    // Stops listening at `path` unless it was listened to again since its last listener left.
    void dropListen(const DatabasePath& path);

    DatabaseValue server_;  // the backend's tree as last heard (or as cached on disk)
    DatabaseValue local_;   // server_ with the pending writes applied
    DatabaseValue info_;    // the ".info" tree of this client
    std::deque<Pending> pending_;
    std::map<std::string, int, std::less<>> pendingPaths_;
    std::vector<Pending> pendingOnDisconnect_;
    std::uint64_t nextPending_ = 1;

    std::map<ObserverHandle, std::shared_ptr<Observer>> observers_;
    // The same observers by location, so that a change or a removal reaches only those it concerns.
    ObserverIndex observerIndex_;
    // Single reads made while the connection is being made: answered once it is (or once the
    // client gives up connecting), so that they do not report a tree not yet received.
    // By arrival; those listening are also indexed by path, as are the observers awaiting a
    // value, so that an answer reaches only the ones it concerns.
    std::map<std::uint64_t, WaitingRead> waitingReads_;
    std::uint64_t nextWaitingRead_ = 1;
    std::multimap<DatabasePath, std::uint64_t> listeningReads_;
    std::multimap<DatabasePath, ObserverHandle> awaitingObservers_;
    std::multiset<DatabasePath> keptSynced_;
    PushIdGenerator pushIds_;
    bool cacheSaveScheduled_ = false;
};

}  // namespace qv::rtdb_detail
