#include "sdk/telemetry/Internals/Storage/ZEWalCheckpointer.h"

#include <sqlite3.h>

namespace ze {

ZEWalCheckpointer::ZEWalCheckpointer(std::function<sqlite3*()> open)
    : open_(std::move(open))
{
}

ZEWalCheckpointer::~ZEWalCheckpointer()
{
    stop();
}

void ZEWalCheckpointer::request()
{
    std::lock_guard lock(mutex_);
    requested_ = true;
    if (!worker_.joinable()) {
        stopping_ = false;
        worker_ = std::thread([this] { run(); });
    } else {
        wake_.notify_one();
    }
}

void ZEWalCheckpointer::stop()
{
    {
        std::lock_guard lock(mutex_);
        if (!worker_.joinable()) {
            return;
        }
        stopping_ = true;
    }
    wake_.notify_one();
    worker_.join();
    worker_ = std::thread();
}

void ZEWalCheckpointer::run()
{
    sqlite3* db = nullptr;
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return requested_ || stopping_; });
        if (!requested_) {
            break;
        }
        requested_ = false;
        lock.unlock();
        if (!db && (db = open_())) {
            // A connection finds the write-ahead log only once it has read the file; before
            // that, a checkpoint does nothing.
            sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr);
        }
        if (db) {
            // Busy only when another checkpoint runs, which does the same work.
            sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        }
        lock.lock();
    }
    lock.unlock();
    if (db) {
        sqlite3_close(db);
    }
}

} // namespace ze
