// What the end-to-end tests share: waiting on the real event loop, answering the sheets on the
// main window, and reading a transcript as the service stores it.
#pragma once

#include "app/shell/ApplicationShell.h"
#include "platform/foundation/tests/EventLoopWait.h"
#include "services/hub/tests/HubTestSupport.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

}  // namespace qv::shell
