// The transcript screen of the program with its window at the screen's right edge: the account
// button names the account, the speakers panel shows a count of a thousand ranges whole, search
// results can be read, and the "View Only" pop-over and the add-word menu open inside the window.
// Screenshots go to QV_SCREENSHOT_DIR.
#include "app/shell/ApplicationShell.h"
#include "app/shell/tests/EndToEndSupport.h"
#include "app/widgets/QVStringPopover.h"
#include "model/QVWord.h"
#include "platform/foundation/tests/EventLoopWait.h"
#include "search/QVCustomWordsViewController.h"
#include "search/QVSearchViewController.h"
#include "search/QVTableViewSearch.h"
#include "speakers/SpeakerColorButton.h"
#include "speakers/SpeakerPanelRow.h"
#include "speakers/SpeakersPanelView.h"

#include <QApplication>
#include <QDir>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace qv::shell {
namespace {

using qv::test::waitFor;

const std::string kFile = "EDGEFILE000000000000000000000001";

// 1,000 one-word ranges of Ann, then one of Bo; one word in eight is "harvest", the first half
// heard.
DatabaseValue transcript()
{
    std::vector<std::pair<std::string, DatabaseValue>> words;
    std::vector<std::pair<std::string, DatabaseValue>> ranges;
    const char* names[] = {"in", "autumn", "the", "harvest", "came", "early", "that", "year"};
    for (int i = 0; i <= 1000; ++i) {
        const std::string key = QStringLiteral("%1").arg(i, 5, 10, QChar('0')).toStdString();
        words.emplace_back("W" + key, DatabaseValue::object({{"name", names[i % 8]},
                                                             {"start", i * 500},
                                                             {"end", i * 500 + 400},
                                                             {"status", i < 500 ? 1 : 0}}));
        ranges.emplace_back("R" + key, DatabaseValue::object({{"start", i * 500}, {"speaker", i < 1000 ? "SA" : "SB"}}));
    }
    return DatabaseValue::object({
        {"words", DatabaseValue::map(words)},
        {"speakers", DatabaseValue::object({{"SA", DatabaseValue::object({{"name", "Ann"}, {"color", "blue"}})},
                                            {"SB", DatabaseValue::object({{"name", "Bo"}, {"color", "red"}})}})},
        {"speaker_ranges", DatabaseValue::map(ranges)},
    });
}

bool inside(const QRect& shown, const QRect& window)
{
    return shown.left() >= window.left() && shown.right() <= window.right();
}

class TranscriptScreenAtTheEdge : public ProgramOnService {};

TEST_F(TranscriptScreenAtTheEdge, EverythingShowsWholeAndInsideTheWindow)
{
    ApplicationShell& shell = *this->shell;
    hub::testing::RunningService& service = *this->service;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    shell.window().resize(std::min(1200, screen.width()), std::min(760, screen.height()));
    shell.applicationDidFinishLaunching();
    shell.window().move(screen.right() + 1 - shell.window().frameGeometry().width(), screen.top());
    ASSERT_TRUE(waitFor([&] { return shell.auth() != nullptr; }));
    AppDelegate& ad = shell.ad();
    shell.auth()->createUser("ann.lee@example.com", "Secret-password-1", {});
    ASSERT_TRUE(waitFor([&] { return ad.isLoggedIn && ad.currentMode == 1 && ad.currentUser; }));
    const std::string uid = ad.currentUser->uid;
    service.run([&](hub::HubServer& server) {
        server.serviceUpdate("users/" + uid, {{"first_name", "Ann"}, {"last_name", "Lee"}, {"email", "ann.lee@example.com"},
                                              {"status", 30}, {"mins_bal", 125}});
    });
    service.serviceWrite("files/" + kFile, DatabaseValue::object({{"owner", uid}, {"name", "Harvest"}, {"status", 40},
                                                                   {"created", 1'765'000'000'000}, {"duration", 501'000},
                                                                   {"file_type", 0}, {"language", "en-US"}}));
    service.serviceWrite("users/" + uid + "/files/" + kFile, DatabaseValue(true));
    service.serviceWrite("transcripts/" + kFile, transcript());
    // Another computer has the file open first: this one may only view it.
    service.serviceWrite("files/" + kFile + "/users_online/" + uid + "/-0000000000000000000", DatabaseValue("OTHERSYSTEM"));

    ASSERT_TRUE(waitFor([&] { return shell.filesList().filesSearchResults().size() == 1; }));
    shell.filesList().selectRow(0);
    shell.openSelectedFile();
    ASSERT_TRUE(waitFor([&] { return ad.currentMode == 2 && !shell.window().isCoverShown() && ad.words.size() == 1001; }));
    ASSERT_TRUE(waitFor([&] { return ad.isViewingOnly && shell.window().viewingOnlyButton()->isVisibleTo(&shell.window()); }));
    // The media are not on this computer: the warning comes and is answered.
    const auto warning = [&]() -> QMessageBox* {
        for (QMessageBox* box : shell.window().findChildren<QMessageBox*>())
            if (box->isVisible())
                return box;
        return nullptr;
    };
    ASSERT_TRUE(waitFor([&] { return warning() != nullptr; }));
    warning()->accept();

    // The account button names the account in the transcript screen.
    EXPECT_TRUE(waitFor([&] { return shell.window().accountButton()->text().startsWith("Ann Lee"); }))
        << shell.window().accountButton()->text().toStdString();

    // The count of a thousand ranges fits its button.
    auto* panel = dynamic_cast<speakers::SpeakersPanelView*>(shell.transcriptScreen().speakersPanel());
    ASSERT_TRUE(panel);
    ASSERT_TRUE(waitFor([&] { return panel->numberOfRows() == 2; }));
    const QAbstractButton* count = panel->row(0)->colorButton();
    EXPECT_EQ(count->text(), "1000");
    EXPECT_LE(QFontMetricsF(count->font()).horizontalAdvance(count->text()), count->width() - 2);
    // ... and the button is not cut off by the panel's edge.
    const QRect countShown(count->mapTo(panel->parentWidget(), QPoint(0, 0)), count->size());
    EXPECT_LE(countShown.right(), panel->parentWidget()->width() - 1) << countShown.right();

    // Search results, heard and not.
    shell.performAction("selectRightPanelTab:", 1);
    shell.transcriptScreen().search().searchField()->setText("harvest");
    ASSERT_TRUE(waitFor([&] { return shell.transcriptScreen().search().searchResults().size() > 100; }));
    // Where the results heard give way to those not heard yet.
    search::QVTableViewSearch* results = shell.transcriptScreen().search().tableView();
    waitFor([] { return false; }, 0.3);
    results->verticalScrollBar()->setValue(55 * search::QVTableViewSearch::kRowPitch);
    waitFor([] { return false; }, 0.3);
    EXPECT_GE(results->columnWidth(1), 140);
    shell.window().grab().save(shots + "/edge-search-results.png");

    // The "View Only" pop-over and the add-word menu stay inside the window.
    const QRect window = shell.window().geometry();
    shell.window().viewingOnlyButton()->click();
    QWidget* reason = shell.window().findChild<QWidget*>("viewingOnlyPopover");
    ASSERT_TRUE(reason && waitFor([&] { return reason->isVisible(); }));
    waitFor([] { return false; }, 0.3);
    EXPECT_TRUE(inside(reason->frameGeometry(), window)) << reason->frameGeometry().left() << ".." << reason->frameGeometry().right();
    QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/edge-view-only.png");
    shell.window().viewingOnlyButton()->click();

    shell.performAction("selectRightPanelTab:", 0);
    ad.currentWord = ad.words.at(1);
    search::QVCustomWordsViewController& customWords = shell.customWords();
    customWords.addWordsButton()->click();
    QMenu* menu = customWords.addWordsMenu();
    ASSERT_TRUE(waitFor([&] { return menu->isVisible(); }));
    waitFor([] { return false; }, 0.3);
    EXPECT_TRUE(inside(menu->geometry(), window)) << menu->geometry().left() << ".." << menu->geometry().right();
    QGuiApplication::primaryScreen()->grabWindow(0).save(shots + "/edge-add-word-menu.png");
    menu->hide();
    shell.window().grab().save(shots + "/edge-transcript-screen.png");
}

}  // namespace
}  // namespace qv::shell
