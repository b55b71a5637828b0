// qv-hub-probe: one computer of the multi-process tests, as a separate process against a
// running service. Prints what it did, line by line, for the test to read.
//   qv-hub-probe peer <url> <token> <uid> <index> <peers> <writes> <increments>
//       writes 1..<writes> to users/<uid>/peers/<index>, makes <increments> counter
//       transactions, watches every peer's key; prints "ok" once all are complete, or
//       "out of order" when a peer's value ever went back.
//   qv-hub-probe presence <url> <token> <uid>
//       announces itself under users_online/<uid>, removed on disconnect; prints "present".
//   qv-hub-probe stream <url> <token> <uid>
//       writes users/<uid>/stream/<i> and counts users/<uid>/count by transaction, up to 16 at a
//       time, printing "acked <i>" for each pair answered and "connected" at each (re)connection;
//       on SIGTERM finishes what it sent
//       and prints "done <transactions committed>".
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/rtdb/RemoteConnection.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <map>
#include <string>

using namespace qv;

namespace {

volatile std::sig_atomic_t stopping = 0;

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

TransactionHandler increment()
{
    return [](const DatabaseValue& current) -> std::optional<DatabaseValue> { return DatabaseValue(current.toInt() + 1); };
}

int peer(DatabaseClient& client, ManualDispatcher& queue, const std::string& uid, int index, int peers, int writes,
         int increments)
{
    std::map<std::string, std::int64_t> last;
    bool ordered = true;
    client.reference("users/" + uid + "/peers").observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) {
        for (auto entry : snapshot.value().children()) {
            std::int64_t value = entry.value.toInt();
            if (value < last[entry.key])
                ordered = false;
            last[entry.key] = value;
        }
    });
    int committed = 0;
    for (int i = 1; i <= writes; ++i)
        client.reference("users/" + uid + "/peers/" + std::to_string(index)).setValue(i);
    for (int i = 0; i < increments; ++i)
        client.reference("stats/export_count/peers").runTransaction(increment(),
            [&](const DatabaseResult&, bool done, const DataSnapshot&) { committed += done; });
    bool complete = queue.runUntil([&] {
        if (committed < increments || static_cast<int>(last.size()) < peers)
            return false;
        for (const auto& [key, value] : last)
            if (value != writes)
                return false;
        return true;
    }, 60);
    say(!ordered ? "out of order" : complete ? "ok" : "incomplete");
    return complete && ordered ? 0 : 1;
}

int presence(DatabaseClient& client, ManualDispatcher& queue, const std::string& uid)
{
    auto entry = client.reference("users_online/" + uid).childByAutoId();
    entry.onDisconnectRemoveValue();
    bool present = false;
    entry.setValue("Mac App (1.0) [probe]", [&](const DatabaseResult& error) { present = !error; });
    if (!queue.runUntil([&] { return present; }, 60))
        return 1;
    say("present");
    queue.runUntil([] { return stopping != 0; }, 3600);
    return 0;
}

int stream(DatabaseClient& client, ManualDispatcher& queue, const std::string& uid)
{
    constexpr int kInFlight = 16;
    int sent = 0, answered = 0, committed = 0;
    std::map<int, int> halves;
    client.reference(".info/connected").observe(DatabaseEvent::Value, [](const DataSnapshot& snapshot) {
        if (snapshot.value().toBool())
            say("connected");
    });
    auto answer = [&](int i) {
        if (++halves[i] == 2) {
            ++answered;
            say("acked " + std::to_string(i));
        }
    };
    while (!stopping) {
        while (sent - answered < kInFlight) {
            int i = sent++;
            client.reference("users/" + uid + "/stream/" + std::to_string(i)).setValue(i, [&, i](const DatabaseResult& error) {
                if (!error)
                    answer(i);
            });
            client.reference("users/" + uid + "/count").runTransaction(increment(),
                [&, i](const DatabaseResult& error, bool done, const DataSnapshot&) {
                    committed += done;
                    if (!error && done)
                        answer(i);
                });
        }
        queue.runUntil([&] { return stopping || sent - answered < kInFlight; }, 1);
    }
    if (!queue.runUntil([&] { return answered == sent; }, 60))
        return 1;
    say("done " + std::to_string(committed));
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 5)
        return 2;
    std::signal(SIGTERM, [](int) { stopping = 1; });
    std::string mode = argv[1];
    ManualDispatcher queue;
    auto connection = std::make_unique<RemoteConnection>(RemoteConnection::Options{QUrl(argv[2]), argv[3]});
    DatabaseClient client(std::move(connection), queue, DatabaseClient::Options{});
    std::string uid = argv[4];
    if (mode == "peer" && argc == 9)
        return peer(client, queue, uid, std::stoi(argv[5]), std::stoi(argv[6]), std::stoi(argv[7]), std::stoi(argv[8]));
    if (mode == "presence")
        return presence(client, queue, uid);
    if (mode == "stream")
        return stream(client, queue, uid);
    return 2;
}
