#include "platform/rtdb/SqliteTreeStore.h"

#include "platform/foundation/Log.h"
#include "platform/rtdb/DamagedFile.h"

#include <sqlite3.h>

namespace qv {

namespace {

// Path segments are joined with a byte no key may hold and that sorts before every key byte,
// so that the rows of one subtree are contiguous in key order: those of "a" lie between
// "a\x01" and "a\x02".
constexpr char kSeparator = '\x01';
constexpr char kPastSeparator = '\x02';

enum LeafKind { kBool = 1, kInt = 2, kDouble = 3, kString = 4 };

std::string storedPath(const DatabasePath& path)
{
    std::string text;
    for (const auto& segment : path.segments()) {
        if (!text.empty())
            text += kSeparator;
        text += segment;
    }
    return text;
}

bool damaged(int code)
{
    code &= 0xFF;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

// Builds the tree from leaves in stored-path order: one open map per level of the current path.
class TreeBuilder {
public:
    void add(std::string_view path, DatabaseValue leaf)
    {
        if (path.empty()) {
            rootLeaf_ = std::move(leaf);
            return;
        }
        std::vector<std::string_view> segments;
        for (std::size_t start = 0;;) {
            std::size_t end = path.find(kSeparator, start);
            segments.push_back(path.substr(start, end == std::string_view::npos ? end : end - start));
            if (end == std::string_view::npos)
                break;
            start = end + 1;
        }
        std::size_t common = 0;
        while (common + 1 < segments.size() && common + 1 < levels_.size() && levels_[common + 1].key == segments[common])
            ++common;
        while (levels_.size() > common + 1)
            closeLevel();
        for (std::size_t i = common; i + 1 < segments.size(); ++i)
            levels_.push_back(Level{std::string(segments[i]), {}});
        levels_.back().entries.emplace_back(std::string(segments.back()), std::move(leaf));
    }

    DatabaseValue finish()
    {
        while (levels_.size() > 1)
            closeLevel();
        DatabaseValue root = DatabaseValue::map(std::move(levels_.front().entries));
        return root.isNull() ? rootLeaf_ : root;
    }

private:
    struct Level {
        std::string key;
        std::vector<DatabaseValue::Entry> entries;
    };
    void closeLevel()
    {
        Level level = std::move(levels_.back());
        levels_.pop_back();
        levels_.back().entries.emplace_back(std::move(level.key), DatabaseValue::map(std::move(level.entries)));
    }

    std::vector<Level> levels_ = std::vector<Level>(1);
    DatabaseValue rootLeaf_;
};

}  // namespace

SqliteTreeStore::SqliteTreeStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

SqliteTreeStore::~SqliteTreeStore() { close(); }

void SqliteTreeStore::close()
{
    for (sqlite3_stmt** statement : {&deleteAt_, &deleteBelow_, &insert_, &findTag_, &addTag_, &forgetTags_}) {
        sqlite3_finalize(*statement);
        *statement = nullptr;
    }
    if (db_) {
        if (inBatch_)
            exec("ROLLBACK");
        sqlite3_close(db_);
    }
    db_ = nullptr;
    inBatch_ = false;
}

bool SqliteTreeStore::exec(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

sqlite3_stmt* SqliteTreeStore::prepare(const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr) != SQLITE_OK)
        return nullptr;
    return statement;
}

bool SqliteTreeStore::open(std::string& error)
{
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    auto file = folder_ / kFileName;
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr)
        != SQLITE_OK) {
        error = "cannot open " + file.string() + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // NORMAL in WAL mode: a commit is in the log file before a write is answered, so a killed
    // or crashed service loses nothing it acknowledged; only a crash of the whole machine may
    // cost the last commits. An fsync per commit (FULL) would add milliseconds to every write
    // that other clients wait to see.
    bool ready = exec("PRAGMA journal_mode=WAL") && exec("PRAGMA synchronous=NORMAL")
        && exec("CREATE TABLE IF NOT EXISTS leaves(path TEXT PRIMARY KEY, kind INTEGER NOT NULL, value) WITHOUT ROWID")
        && exec("CREATE TABLE IF NOT EXISTS applied(origin TEXT NOT NULL, seq INTEGER NOT NULL,"
                " PRIMARY KEY(origin, seq)) WITHOUT ROWID");
    if (ready) {
        deleteAt_ = prepare("DELETE FROM leaves WHERE path = ?1");
        deleteBelow_ = prepare("DELETE FROM leaves WHERE path > ?1 AND path < ?2");
        insert_ = prepare("INSERT OR REPLACE INTO leaves(path, kind, value) VALUES(?1, ?2, ?3)");
        findTag_ = prepare("SELECT 1 FROM applied WHERE origin = ?1 AND seq = ?2");
        addTag_ = prepare("INSERT OR IGNORE INTO applied(origin, seq) VALUES(?1, ?2)");
        forgetTags_ = prepare("DELETE FROM applied WHERE origin = ?1 AND seq < ?2");
        ready = deleteAt_ && deleteBelow_ && insert_ && findTag_ && addTag_ && forgetTags_;
    }
    if (!ready)
        error = "cannot prepare " + file.string() + ": " + sqlite3_errmsg(db_);
    return ready;
}

std::optional<DatabaseValue> SqliteTreeStore::load(std::string& error)
{
    close();
    for (int attempt = 0; attempt < 2; ++attempt) {
        int code = SQLITE_OK;
        std::optional<DatabaseValue> tree;
        if (open(error)) {
            sqlite3_stmt* rows = prepare("SELECT path, kind, value FROM leaves ORDER BY path");
            TreeBuilder builder;
            while (rows && (code = sqlite3_step(rows)) == SQLITE_ROW) {
                auto path = reinterpret_cast<const char*>(sqlite3_column_text(rows, 0));
                std::string_view pathView(path ? path : "", static_cast<std::size_t>(sqlite3_column_bytes(rows, 0)));
                DatabaseValue leaf;
                switch (sqlite3_column_int(rows, 1)) {
                case kBool: leaf = DatabaseValue(sqlite3_column_int64(rows, 2) != 0); break;
                case kInt: leaf = DatabaseValue(sqlite3_column_int64(rows, 2)); break;
                case kDouble: leaf = DatabaseValue(sqlite3_column_double(rows, 2)); break;
                default: {
                    auto text = reinterpret_cast<const char*>(sqlite3_column_text(rows, 2));
                    leaf = DatabaseValue(std::string(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(rows, 2))));
                }
                }
                builder.add(pathView, std::move(leaf));
            }
            if (!rows)
                code = sqlite3_errcode(db_);
            sqlite3_finalize(rows);
            if (code == SQLITE_DONE)
                return builder.finish();
            error = std::string("cannot read the stored tree: ") + sqlite3_errstr(code);
        } else {
            code = db_ ? sqlite3_errcode(db_) : SQLITE_CANTOPEN;
        }
        close();
        if (!damaged(code) || attempt > 0)
            return std::nullopt;
        // A file SQLite cannot read: keep it (and its log) for whoever can recover it, start anew.
        std::string asideError;
        auto file = folder_ / kFileName;
        auto aside = setDamagedFileAside(file, asideError);
        if (aside.empty()) {
            error += "; " + asideError;
            return std::nullopt;
        }
        for (const char* suffix : {"-wal", "-shm"}) {
            auto companion = file;
            companion += suffix;
            if (std::filesystem::exists(companion)) {
                auto target = aside;
                target += suffix;
                std::error_code ec;
                std::filesystem::rename(companion, target, ec);
            }
        }
        logError("database: " + error + "; the damaged store is kept as " + aside.string());
    }
    return std::nullopt;
}

DatabaseError SqliteTreeStore::failure(const std::string& what) const
{
    return DatabaseError{DatabaseErrorCode::StorageFailed,
                         what + ": " + (db_ ? sqlite3_errmsg(db_) : "the store is not open")};
}

bool SqliteTreeStore::writeOne(const DatabaseWrite& write)
{
    std::string path = storedPath(write.path);
    auto run = [](sqlite3_stmt* statement) {
        int code = sqlite3_step(statement);
        sqlite3_reset(statement);
        return code == SQLITE_DONE;
    };
    // A leaf at any location above the written one stops being a leaf.
    std::string ancestor;
    sqlite3_bind_text(deleteAt_, 1, "", 0, SQLITE_STATIC);
    if (!write.path.isRoot() && !run(deleteAt_))
        return false;
    for (std::size_t i = 0; i + 1 < write.path.depth(); ++i) {
        if (i)
            ancestor += kSeparator;
        ancestor += write.path.segments()[i];
        sqlite3_bind_text(deleteAt_, 1, ancestor.data(), static_cast<int>(ancestor.size()), SQLITE_STATIC);
        if (!run(deleteAt_))
            return false;
    }
    if (write.path.isRoot()) {
        if (!exec("DELETE FROM leaves"))
            return false;
    } else {
        sqlite3_bind_text(deleteAt_, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
        if (!run(deleteAt_))
            return false;
        std::string low = path + kSeparator;
        std::string high = path + kPastSeparator;
        sqlite3_bind_text(deleteBelow_, 1, low.data(), static_cast<int>(low.size()), SQLITE_STATIC);
        sqlite3_bind_text(deleteBelow_, 2, high.data(), static_cast<int>(high.size()), SQLITE_STATIC);
        if (!run(deleteBelow_))
            return false;
    }
    return insertLeaves(path, write.value);
}

bool SqliteTreeStore::insertLeaves(std::string& path, const DatabaseValue& value)
{
    switch (value.kind()) {
    case DatabaseValue::Kind::Null:
        return true;
    case DatabaseValue::Kind::Map:
        for (auto child : value.children()) {
            std::size_t size = path.size();
            if (!path.empty())
                path += kSeparator;
            path += child.key;
            bool stored = insertLeaves(path, child.value);
            path.resize(size);
            if (!stored)
                return false;
        }
        return true;
    case DatabaseValue::Kind::Bool:
        sqlite3_bind_int(insert_, 2, kBool);
        sqlite3_bind_int64(insert_, 3, value.toBool() ? 1 : 0);
        break;
    case DatabaseValue::Kind::Int:
        sqlite3_bind_int(insert_, 2, kInt);
        sqlite3_bind_int64(insert_, 3, value.toInt());
        break;
    case DatabaseValue::Kind::Double:
        sqlite3_bind_int(insert_, 2, kDouble);
        sqlite3_bind_double(insert_, 3, value.toDouble());
        break;
    case DatabaseValue::Kind::String: {
        const std::string* text = value.stringIfAny();
        sqlite3_bind_int(insert_, 2, kString);
        sqlite3_bind_text(insert_, 3, text->data(), static_cast<int>(text->size()), SQLITE_STATIC);
        break;
    }
    }
    sqlite3_bind_text(insert_, 1, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
    int code = sqlite3_step(insert_);
    sqlite3_reset(insert_);
    return code == SQLITE_DONE;
}

bool SqliteTreeStore::beginBatch()
{
    if (!inBatch_ && db_ && exec("BEGIN IMMEDIATE"))
        inBatch_ = true;
    return inBatch_;
}

DatabaseResult SqliteTreeStore::append(const std::vector<DatabaseWrite>& writes, const WriteTag* tag)
{
    if (!beginBatch())
        return failure("cannot start storing");
    if (!exec("SAVEPOINT w"))
        return failure("cannot store the write");
    bool stored = true;
    for (const auto& write : writes)
        stored = stored && writeOne(write);
    if (stored && tag) {
        sqlite3_bind_text(addTag_, 1, tag->origin.data(), static_cast<int>(tag->origin.size()), SQLITE_STATIC);
        sqlite3_bind_int64(addTag_, 2, static_cast<sqlite3_int64>(tag->sequence));
        stored = sqlite3_step(addTag_) == SQLITE_DONE;
        sqlite3_reset(addTag_);
    }
    if (stored && exec("RELEASE w"))
        return std::nullopt;
    DatabaseError error = failure("cannot store the write");
    exec("ROLLBACK TO w");
    exec("RELEASE w");
    return error;
}

bool SqliteTreeStore::contains(const WriteTag& tag)
{
    if (!db_)
        return false;
    sqlite3_bind_text(findTag_, 1, tag.origin.data(), static_cast<int>(tag.origin.size()), SQLITE_STATIC);
    sqlite3_bind_int64(findTag_, 2, static_cast<sqlite3_int64>(tag.sequence));
    bool found = sqlite3_step(findTag_) == SQLITE_ROW;
    sqlite3_reset(findTag_);
    return found;
}

void SqliteTreeStore::forgetBelow(const std::string& origin, std::uint64_t sequence)
{
    if (!beginBatch())
        return;
    sqlite3_bind_text(forgetTags_, 1, origin.data(), static_cast<int>(origin.size()), SQLITE_STATIC);
    sqlite3_bind_int64(forgetTags_, 2, static_cast<sqlite3_int64>(sequence));
    sqlite3_step(forgetTags_);
    sqlite3_reset(forgetTags_);
}

DatabaseResult SqliteTreeStore::commit()
{
    if (!inBatch_)
        return std::nullopt;
    inBatch_ = false;
    if (exec("COMMIT"))
        return std::nullopt;
    DatabaseError error = failure("cannot commit the stored writes");
    exec("ROLLBACK");
    return error;
}

}  // namespace qv
