#include "platform/ui/PopUpButton.h"
#include "platform/ui/QtPresenters.h"
#include "platform/ui/ScriptedPresenters.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace qv {
namespace {

std::vector<PopUpItem> speakerItems() {
    return {{"None", "none"}, {"Name:", "name"}, {">> NAME:", "arrowsName"}};
}

TEST(PopUpButtonTest, SelectionAndAction) {
    PopUpButton popUp;
    EXPECT_EQ(popUp.selectedItem(), nullptr);
    popUp.setItems(speakerItems());
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);
    EXPECT_TRUE(popUp.selectItemWithRepresentedObject("arrowsName"));
    EXPECT_EQ(popUp.titleOfSelectedItem(), ">> NAME:");
    EXPECT_FALSE(popUp.selectItemWithRepresentedObject("other"));
    EXPECT_EQ(popUp.indexOfSelectedItem(), 2);
    popUp.selectItemAtIndex(7);
    EXPECT_EQ(popUp.indexOfSelectedItem(), 2);

    QString sent;
    popUp.setAction([&](PopUpButton& sender) { sent = sender.selectedItem()->representedObject; });
    popUp.selectItemAtIndex(0);
    EXPECT_TRUE(sent.isEmpty());  // code selecting sends nothing
    popUp.userSelectItemAtIndex(1);
    EXPECT_EQ(sent, "name");
    popUp.userSelectItemAtIndex(-1);
    EXPECT_EQ(popUp.indexOfSelectedItem(), 1);
}

TEST(ScriptedPresentersTest, SheetsAnswerFromTheScriptOrStayOpen) {
    PopUpButton popUp;
    popUp.setItems(speakerItems());
    QString stored;
    popUp.setAction([&](PopUpButton& sender) { stored = sender.selectedItem()->representedObject; });
    SavePanel panel{"Interview", {"srt"}, {{"Speakers:", &popUp}}, 0};

    ScriptedSavePanelPresenter presenter;
    presenter.script({{{&popUp, "Name:"}}, ModalResponse::Cancel, "/tmp/ignored.srt"});
    std::vector<std::pair<ModalResponse, QString>> results;
    const auto record = [&](ModalResponse response, const QString& path) { results.emplace_back(response, path); };
    presenter.beginSheet(panel, record);
    EXPECT_EQ(stored, "name");  // the pick sent the pop-up's action before the sheet ended
    presenter.beginSheet(panel, record);
    EXPECT_TRUE(presenter.hasOpenSheet());
    presenter.answerOpenSheet({{}, ModalResponse::OK, "/tmp/out.srt"});
    EXPECT_FALSE(presenter.hasOpenSheet());
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0], std::make_pair(ModalResponse::Cancel, QString()));
    EXPECT_EQ(results[1], std::make_pair(ModalResponse::OK, QString("/tmp/out.srt")));
    EXPECT_EQ(presenter.shownPanels().size(), 2u);

    ScriptedAlertPresenter alerts;
    std::vector<int> codes;
    alerts.script(1001);
    alerts.beginSheet({"Export error", "", AlertStyle::Critical, {"OK", "Cancel"}}, [&](int c) { codes.push_back(c); });
    alerts.beginSheet({"Second", "", AlertStyle::Critical, {}}, [&](int c) { codes.push_back(c); });
    alerts.setHoldUnscripted(true);
    alerts.beginSheet({"Third", "", AlertStyle::Critical, {}}, [&](int c) { codes.push_back(c); });
    EXPECT_TRUE(alerts.hasOpenAlert());
    alerts.answerOpenAlert(1002);
    EXPECT_EQ(codes, (std::vector<int>{1001, 1000, 1002}));
    EXPECT_EQ(alerts.shownAlerts().size(), 3u);
}

QApplication& application() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance()))
        return *existing;
    static int argc = 1;
    static char name[] = "qv_ui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

TEST(QtPresentersTest, SavePanelShowsTheAccessoryPopUps) {
    application();
    QWidget window;
    PopUpButton speakers;
    speakers.setItems(speakerItems());
    speakers.selectItemAtIndex(2);
    PopUpButton hidden;
    hidden.setItems({{"Not Set", ""}});
    hidden.setHidden(true);
    QString stored;
    speakers.setAction([&](PopUpButton& sender) { stored = sender.selectedItem()->representedObject; });

    QtSavePanelPresenter presenter(&window);
    std::optional<ModalResponse> response;
    presenter.beginSheet({"Interview", {"srt"}, {{"Speakers:", &speakers}, {"Timecode:", &hidden}}, 91},
                         [&](ModalResponse r, const QString&) { response = r; });
    QFileDialog* dialog = presenter.currentDialog();
    ASSERT_NE(dialog, nullptr);
    const auto combos = dialog->findChildren<QComboBox*>();
    QComboBox* speakerCombo = nullptr;
    QComboBox* hiddenCombo = nullptr;
    for (auto* combo : combos) {
        if (combo->count() == 3 && combo->itemText(2) == ">> NAME:") speakerCombo = combo;
        if (combo->count() == 1 && combo->itemText(0) == "Not Set") hiddenCombo = combo;
    }
    ASSERT_NE(speakerCombo, nullptr);
    ASSERT_NE(hiddenCombo, nullptr);
    EXPECT_EQ(speakerCombo->currentIndex(), 2);
    EXPECT_TRUE(hiddenCombo->isHidden());
    emit speakerCombo->activated(1);
    EXPECT_EQ(stored, "name");
    dialog->reject();
    EXPECT_EQ(response, ModalResponse::Cancel);
}

TEST(QtPresentersTest, AlertAnswersWithTheReturnCodeOfItsButton) {
    application();
    QWidget window;
    QtAlertPresenter presenter(&window);
    int code = 0;
    presenter.beginSheet({"Export error", "Details.", AlertStyle::Critical, {"OK", "Cancel"}}, [&](int c) { code = c; });
    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), "Export error");
    EXPECT_EQ(box->informativeText(), "Details.");
    QPushButton* cancel = nullptr;
    for (auto* button : box->findChildren<QPushButton*>()) {
        if (button->text() == "Cancel") cancel = button;
    }
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_EQ(code, 1001);
}

TEST(QtPresentersTest, ASheetKeepsALineOfItsTextWholeAndGivesTheKeyboardBackToTheWindow) {
    application();
    QWidget window;
    window.resize(900, 600);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QtAlertPresenter presenter(&window);
    const QString line = "Total duration is 1m so your remaining time will be 875999h 59m";
    presenter.beginSheet({"Transcribe 1 file?", line, AlertStyle::Informational, {"Transcribe", "Cancel"}}, [](int) {});
    auto* box = window.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    auto* informative = box->findChild<QLabel*>("qt_msgbox_informativelabel");
    ASSERT_NE(informative, nullptr);
    EXPECT_GE(informative->width(), informative->fontMetrics().horizontalAdvance(line));

    // Closed with the mouse, the sheet leaves the window active (with no window manager to do it,
    // the window asks for it).
    for (auto* button : box->findChildren<QPushButton*>())
        if (button->text() == "Cancel")
            QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
}

TEST(QtPresentersTest, SavePanelOpensAwayFromTheWorkingFolderThenWhereTheLastSaveWent) {
    application();
    QWidget window;
    QtSavePanelPresenter presenter(&window);
    const auto open = [&] {
        presenter.beginSheet({"Interview", {"srt"}, {}, 0}, [](ModalResponse, const QString&) {});
        return presenter.currentDialog();
    };
    QFileDialog* first = open();
    ASSERT_NE(first, nullptr);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString expected = QFileInfo(documents).isDir() ? documents : QDir::homePath();
    EXPECT_EQ(QFileInfo(first->directory().absolutePath()).canonicalFilePath(), QFileInfo(expected).canonicalFilePath());

    QTemporaryDir chosen;
    ASSERT_TRUE(chosen.isValid());
    first->setDirectory(chosen.path());
    first->selectFile(chosen.filePath("Interview.srt"));
    static_cast<QDialog*>(first)->accept();

    QFileDialog* second = open();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(QFileInfo(second->directory().absolutePath()).canonicalFilePath(), QFileInfo(chosen.path()).canonicalFilePath());
    second->reject();
}

}  // namespace
}  // namespace qv
