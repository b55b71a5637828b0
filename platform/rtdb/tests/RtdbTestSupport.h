// Shared set-up of the database tests: a fake main queue and clock, a backend, and a temporary
// folder removed afterwards.
#pragma once

#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseClient.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qv::testing {

class TemporaryFolder {
public:
    TemporaryFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qv-rtdb-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Records what observers report, as "label:value" lines in arrival order.
class Recorder {
public:
    SnapshotCallback callback(std::string label)
    {
        return [this, label](const DataSnapshot& snapshot) {
            lines.push_back(label + ":" + (snapshot.exists() ? describe(snapshot) : "null"));
        };
    }
    static std::string describe(const DataSnapshot& snapshot);
    std::vector<std::string> take() { return std::exchange(lines, {}); }

    std::vector<std::string> lines;
};

class DatabaseFixture : public ::testing::Test {
protected:
    DatabaseBackend::Options backendOptions()
    {
        return DatabaseBackend::Options{{}, [this] { return clockMs; }};
    }
    DatabaseClient::Options clientOptions()
    {
        DatabaseClient::Options options;
        options.clock = [this] { return clockMs; };
        return options;
    }
    std::unique_ptr<DatabaseClient> makeClient() { return std::make_unique<DatabaseClient>(backend, queue, clientOptions()); }

    std::int64_t clockMs = 1'700'000'000'000;
    ManualDispatcher queue;
    DatabaseBackend backend{backendOptions()};
    Recorder recorder;
};

}  // namespace qv::testing
