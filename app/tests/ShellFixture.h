// Computers of one account on an in-process database: each has its own state record, windows
// (recording fakes), preferences, sign-in and database client, and the account shell wired to
// them. The main queue is driven by hand with a fake clock.
#pragma once

#include "TestComputer.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/AuthBackend.h"
#include "platform/rtdb/DatabaseBackend.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

class ShellFixture : public ::testing::Test {
protected:
    ShellFixture() : backend(qv::DatabaseBackend::Options{{}, [this] { return now; }}), accounts(accountOptions()) {}

    static qv::AuthBackend::Options accountOptions()
    {
        qv::AuthBackend::Options options;
        options.hashIterations = 1;
        return options;
    }

    // Every computer reads the test's clock, so push identifiers made later sort after.
    qv::DatabaseClient::Options clientOptions()
    {
        qv::DatabaseClient::Options options;
        options.clock = [this] { return now; };
        return options;
    }

    // A new computer of the account, signed in and connected, on the files list.
    Computer& addComputer(const QString& systemID)
    {
        auto& computer = *computers.emplace_back(std::make_unique<Computer>(
            std::make_unique<qv::DatabaseClient>(backend, queue, clientOptions()), accounts, queue, folder.path() + "/" + systemID,
            systemID, [this] { return now; }));
        computer.signIn(user);
        queue.drain();
        return computer;
    }

    // Opens the file on `computer` the way the document model does.
    void open(Computer& computer, const std::shared_ptr<QVFile>& file)
    {
        ++now;
        computer.open(file);
        queue.drain();
    }

    std::shared_ptr<QVFile> listed(Computer& computer, const QString& uuid)
    {
        for (const auto& file : computer.ad.files)
            if (file->uuid == uuid)
                return file;
        return nullptr;
    }

    std::int64_t now = kTestNow;
    QTemporaryDir folder;
    qv::ManualDispatcher queue;
    qv::DatabaseBackend backend;
    qv::AuthBackend accounts;
    qv::User user{"UID1", "editor@example.com", true};
    std::vector<std::unique_ptr<Computer>> computers;
};
