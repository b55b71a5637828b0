#include "platform/rtdb/TreeStore.h"

#include "platform/foundation/Log.h"
#include "platform/foundation/FileUtilities.h"
#include "platform/rtdb/ValueJson.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qv {

namespace {

const char* const kSnapshotName = "tree.json";
const char* const kLogName = "writes.log";

// A log line: [sequence, [[path, value], ...]]; arrays read back as maps keyed by index.
std::string encodeLogLine(std::uint64_t sequence, const std::vector<DatabaseWrite>& writes)
{
    std::string line(1, '[');
    line.append(std::to_string(sequence)).append(1, ',');
    encodeWrites(writes, line);
    line += "]\n";
    return line;
}

}  // namespace

TreeStore::TreeStore(std::filesystem::path folder) : folder_(std::move(folder)) {}

TreeStore::~TreeStore()
{
    if (log_ >= 0)
        ::close(log_);
}

DatabaseValue TreeStore::load()
{
    DatabaseValue root;
    auto snapshotPath = folder_ / kSnapshotName;
    if (auto bytes = readFile(snapshotPath)) {
        auto decoded = decodeValue(*bytes);
        if (decoded && decoded->child("seq").isInt()) {
            sequence_ = static_cast<std::uint64_t>(decoded->child("seq").toInt());
            root = decoded->child("root");
        } else {
            std::error_code ec;
            auto aside = snapshotPath;
            aside += ".damaged";
            std::filesystem::rename(snapshotPath, aside, ec);
            logError("database: the stored tree " + snapshotPath.string() + " cannot be read; moved aside");
        }
    }
    if (auto bytes = readFile(folder_ / kLogName)) {
        std::string_view rest = *bytes;
        while (!rest.empty()) {
            std::size_t end = rest.find('\n');
            if (end == std::string_view::npos)
                break;  // a torn last line: that write never completed
            auto record = decodeValue(rest.substr(0, end));
            rest.remove_prefix(end + 1);
            auto writes = record ? writesFromValue(record->child("1")) : std::nullopt;
            if (!writes || !record->child("0").isInt())
                break;
            auto sequence = static_cast<std::uint64_t>(record->child("0").toInt());
            if (sequence <= sequence_)
                continue;  // already in the snapshot
            for (const auto& write : *writes)
                root = root.withValueAt(write.path, write.value);
            sequence_ = sequence;
        }
    }
    checkpoint(root);
    return root;
}

void TreeStore::append(const std::vector<DatabaseWrite>& writes, const DatabaseValue& root)
{
    if (log_ < 0)
        openLog();
    std::string line = encodeLogLine(++sequence_, writes);
    bool written = log_ >= 0;
    off_t start = written ? ::lseek(log_, 0, SEEK_END) : -1;
    std::size_t done = 0;
    while (written && done < line.size()) {
        ssize_t n = ::write(log_, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            written = false;
        else
            done += static_cast<std::size_t>(n);
    }
    if (!written) {
        logError(std::string("database: cannot append to the write log: ") + std::strerror(errno));
        // A part of a line left behind would run into the next line appended, and the log
        // would end there at the next open: every later write would be lost with this one.
        if (done > 0 && (start < 0 || ::ftruncate(log_, start) != 0))
            logError(std::string("database: cannot cut the torn line off the write log: ") + std::strerror(errno));
        checkpoint(root);
        return;
    }
    logBytes_ += done;
    if (logBytes_ >= kCheckpointBytes)
        checkpoint(root);
}

void TreeStore::checkpoint(const DatabaseValue& root)
{
    std::string text = "{\"seq\":" + std::to_string(sequence_) + ",\"root\":";
    encodeValue(root, text);
    text += "}";
    std::string error = replaceFile(folder_ / kSnapshotName, text);
    if (!error.empty()) {
        logError("database: " + error);
        return;
    }
    if (log_ >= 0)
        ::close(log_);
    log_ = -1;
    std::error_code ec;
    std::filesystem::remove(folder_ / kLogName, ec);
    logBytes_ = 0;
}

void TreeStore::openLog()
{
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    auto path = folder_ / kLogName;
    log_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (log_ < 0)
        logError("database: cannot open " + path.string() + ": " + std::strerror(errno));
}

}  // namespace qv
