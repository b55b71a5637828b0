// Copies a store's write-ahead log back into its file on a thread of its own, through a connection
// of its own. A checkpoint syncs the log and the file, which on a busy disk takes milliseconds:
// run inside a commit, as SQLite does by default, it held up that commit's caller and everyone
// queued behind it. A passive checkpoint here lets commits go on meanwhile.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

struct sqlite3;

namespace ze {

class ZEWalCheckpointer {
public:
    // `open` opens a connection to the store's file; nothing when it cannot.
    explicit ZEWalCheckpointer(std::function<sqlite3*()> open);
    ~ZEWalCheckpointer();
    ZEWalCheckpointer(const ZEWalCheckpointer&) = delete;
    ZEWalCheckpointer& operator=(const ZEWalCheckpointer&) = delete;

    // Asks for a checkpoint; returns at once.
    void request();
    // Lets a requested checkpoint end, then closes the connection and ends the thread: before
    // the file is moved, deleted or closed. A later request starts them again.
    void stop();

private:
    void run();

    std::function<sqlite3*()> open_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool requested_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

} // namespace ze
