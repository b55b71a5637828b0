#include "RtdbTestSupport.h"

#include "platform/rtdb/ObserverIndex.h"

namespace qv::testing {
namespace {

// "handle:keys" per concerned observer, oldest first; "*" marks a change of it as a whole.
std::string describe(const std::map<ObserverHandle, ObserverIndex::Concern>& concerns)
{
    std::string text;
    for (const auto& [handle, concern] : concerns) {
        if (!text.empty())
            text += ' ';
        text += std::to_string(handle) + ':';
        if (concern.whole)
            text += '*';
        else
            for (std::size_t i = 0; i < concern.keys.size(); ++i)
                text += (i ? "," : "") + concern.keys[i];
    }
    return text;
}

std::vector<DatabasePath> paths(std::initializer_list<const char*> texts)
{
    std::vector<DatabasePath> parsed;
    for (const char* text : texts)
        parsed.push_back(DatabasePath::parse(text));
    return parsed;
}

class Index : public ::testing::Test {
protected:
    Index()
    {
        const char* registered[] = {"", "files", "files/a", "files/a/name", "files/ab", "files/a", "users/u/files",
                                    ".info/connected"};
        ObserverHandle handle = 0;
        for (const char* path : registered)
            index.add(DatabasePath::parse(path), ++handle);
    }
    ObserverIndex index;
};

TEST_F(Index, AChangeConcernsTheObserversAtItsPathAboveItAndBelowItOnly)
{
    const std::vector<std::pair<std::vector<DatabasePath>, std::string>> cases = {
        // Above: the child of each ancestor the change lies under; at and below: whole.
        {paths({"files/a"}), "1:files 2:a 3:* 4:* 6:*"},
        // "files/ab" shares the prefix of "files/a" but is a sibling of it.
        {paths({"files/ab/x"}), "1:files 2:ab 5:x"},
        {paths({"files/abc"}), "1:files 2:abc"},
        {paths({"files/a/name/deep/er"}), "1:files 2:a 3:name 4:deep 6:name"},
        {paths({"file"}), "1:file"},
        {paths({"users/u/other"}), "1:users"},
        {paths({""}), "1:* 2:* 3:* 4:* 5:* 6:* 7:* 8:*"},
        {paths({".info/connected"}), "1:.info 8:*"},
        // Several changes: each observer once, with the keys of every change below it, in order.
        {paths({"files/a/name", "files/ab", "files/a/name"}), "1:files,files,files 2:a,ab,a 3:name,name 4:* 5:* 6:name,name"},
        {paths({"files/a/name", "files"}), "1:files,files 2:* 3:* 4:* 5:* 6:*"},
        {{}, ""},
    };
    for (const auto& [changed, expected] : cases)
        EXPECT_EQ(describe(index.concerned(changed)), expected) << (changed.empty() ? "none" : changed.front().toString());
}

TEST_F(Index, RemovalTakesOnlyWhatWasRegisteredThere)
{
    EXPECT_FALSE(index.remove(DatabasePath::parse("files/a"), 4));  // registered one level deeper
    EXPECT_FALSE(index.remove(DatabasePath::parse("nowhere/at/all"), 1));
    EXPECT_TRUE(index.remove(DatabasePath::parse("files/a"), 3));
    EXPECT_FALSE(index.remove(DatabasePath::parse("files/a"), 3));
    EXPECT_EQ(describe(index.concerned(paths({"files/a"}))), "1:files 2:a 4:* 6:*");

    // Taking a location leaves what lies above and below it, and the location can be used again.
    EXPECT_EQ(index.takeAt(DatabasePath::parse("files/a")), (std::vector<ObserverHandle>{6}));
    EXPECT_TRUE(index.takeAt(DatabasePath::parse("files/a")).empty());
    EXPECT_TRUE(index.takeAt(DatabasePath::parse("files/q")).empty());
    EXPECT_EQ(describe(index.concerned(paths({"files/a"}))), "1:files 2:a 4:*");
    index.add(DatabasePath::parse("files/a"), 9);
    EXPECT_EQ(describe(index.concerned(paths({"files/a/name"}))), "1:files 2:a 4:* 9:name");

    // The root is a location like any other.
    EXPECT_EQ(index.takeAt(DatabasePath()), (std::vector<ObserverHandle>{1}));
    EXPECT_EQ(describe(index.concerned(paths({"files/ab"}))), "2:ab 5:*");
    index.clear();
    EXPECT_EQ(describe(index.concerned(paths({""}))), "");
}

TEST_F(Index, ObserversAtOneLocationComeInTheOrderTheyWereMade)
{
    ObserverIndex shared;
    const DatabasePath place = DatabasePath::parse("p");
    for (ObserverHandle handle : {5, 2, 9, 7})
        shared.add(place, handle);
    shared.remove(place, 9);
    EXPECT_EQ(shared.takeAt(place), (std::vector<ObserverHandle>{2, 5, 7}));
}

using ClientObservers = DatabaseFixture;

// Each write tells exactly the observers at, above and below the written location, once, in
// the order they were made; siblings that share a prefix hear nothing.
TEST_F(ClientObservers, EachWriteReachesTheObserversItConcernsOnce)
{
    auto client = makeClient();
    for (const char* path : {"", "files", "files/a", "files/a/name", "files/ab", "users"})
        (*path ? client->reference(path) : client->root()).observe(DatabaseEvent::Value, [this, path](const DataSnapshot&) {
            recorder.lines.push_back(*path ? path : "root");
        });
    client->reference("files").observe(DatabaseEvent::ChildAdded, recorder.callback("+files"));
    queue.drain();
    recorder.take();

    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"files/a/name", {"root", "files", "files/a", "files/a/name", "+files:a={\"name\":1}"}},
        {"files/ab", {"root", "files", "files/ab", "+files:ab=2"}},
        {"files/abc", {"root", "files", "+files:abc=3"}},
        {"files/a", {"root", "files", "files/a", "files/a/name"}},
        {"files/a/other", {"root", "files", "files/a"}},
        {"users/u", {"root", "users"}},
        {"elsewhere", {"root"}},
    };
    int value = 0;
    for (const auto& [path, heard] : cases) {
        client->reference(path).setValue(++value);
        queue.drain();
        EXPECT_EQ(recorder.take(), heard) << path;
    }

    // One update touching several children: each observer once, child reports in key order.
    client->reference("files").updateChildValues({{"b/name", 1}, {"a/name", 2}, {"c", 3}});
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"root", "files", "files/a", "files/a/name", "+files:b={\"name\":1}",
                                                         "+files:c=3"}));
}

TEST_F(ClientObservers, ACallbackMayRemoveItselfOrAnotherObserver)
{
    auto client = makeClient();
    auto node = client->reference("files/a");
    ObserverHandle second = 0;
    ObserverHandle first = 0;
    first = node.observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) {
        recorder.lines.push_back("first:" + Recorder::describe(snapshot));
        if (snapshot.exists()) {
            node.removeObserver(first);
            node.removeObserver(second);
        }
    });
    second = node.observe(DatabaseEvent::Value, recorder.callback("second"));
    auto parent = client->reference("files");
    parent.observe(DatabaseEvent::Value, [&](const DataSnapshot& snapshot) {
        recorder.lines.push_back("files:" + Recorder::describe(snapshot));
        if (snapshot.exists())
            parent.removeAllObservers();
    });
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"first:a=null", "second:null", "files:files=null"}));

    // The second observer's report of this change was already queued: it is dropped.
    node.setValue(1);
    node.setValue(2);
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"first:a=1", "files:files={\"a\":1}"}));

    // A new observer at the emptied location works as before.
    node.observe(DatabaseEvent::Value, recorder.callback("again"));
    node.setValue(3);
    queue.drain();
    EXPECT_EQ(recorder.take(), (std::vector<std::string>{"again:a=2", "again:a=3"}));
}

}  // namespace
}  // namespace qv::testing
