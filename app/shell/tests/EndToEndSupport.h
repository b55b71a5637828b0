// What the end-to-end tests share: the program started against a service of the test's own,
// waiting on the real event loop, answering the sheets on the main window, and reading a
// transcript as the service stores it.
#pragma once

#include "app/shell/ApplicationShell.h"
#include "platform/foundation/Preferences.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/foundation/tests/EventLoopWait.h"
#include "services/hub/tests/HubTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace qv::shell {

// Seconds any step may take before the test fails.
inline constexpr double kStepDeadline = qv::test::kWaitDeadline;

using qv::test::waitFor;

// The message box open on the main window, if any.
inline QMessageBox* openMessageBox(QWidget* window)
{
    for (QMessageBox* box : window->findChildren<QMessageBox*>())
        if (box->isVisible())
            return box;
    return nullptr;
}

inline void pressButton(QMessageBox* box, const QString& title)
{
    for (QAbstractButton* button : box->buttons())
        if (button->text() == title) {
            button->click();
            return;
        }
    ADD_FAILURE() << "no button " << title.toStdString();
}

// The transcript as the service stores it: the names of the words not deleted, by start.
inline std::string storedTranscript(hub::testing::RunningService& service, const std::string& uuid)
{
    std::vector<std::pair<std::int64_t, std::string>> words;
    for (const DatabaseValue stored = service.value("transcripts/" + uuid + "/words"); const auto entry : stored.children())
        if (!entry.value.child("deleted").toBool())
            words.emplace_back(entry.value.child("start").toInt(), entry.value.child("name").toString());
    std::sort(words.begin(), words.end());
    std::string text;
    for (const auto& word : words)
        text += (text.empty() ? "" : " ") + word.second;
    return text;
}

// The program in a temporary home against a service of the test's own, not yet launched;
// screenshots go to QV_SCREENSHOT_DIR.
class ProgramOnService : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        shots = qEnvironmentVariable("QV_SCREENSHOT_DIR", QDir::currentPath() + "/screenshots");
        QDir().mkpath(shots);
        hub::HubServer::Options options;
        options.dataFolder = (home.path() + "/service").toStdString();
        options.hashIterations = 1000;
        service = std::make_unique<hub::testing::RunningService>(options);
        preferences = std::make_unique<Preferences>(home.path() + "/config");
        const QString http = QStringLiteral("http://127.0.0.1:%1/").arg(service->port());
        shell = std::make_unique<ApplicationShell>(
            queue, *preferences, LaunchConfiguration::fromArguments({"quorvantelle", "--service", http}));
    }

    void TearDown() override
    {
        shell.reset();
        service.reset();
    }

    QTemporaryDir home;
    QString shots;
    QtDispatcher queue;
    std::unique_ptr<hub::testing::RunningService> service;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ApplicationShell> shell;
};

}  // namespace qv::shell
