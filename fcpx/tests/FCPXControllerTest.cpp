// Export and Send: the save panel, the temporary document, the hand-off to the partner editor
// with its fallback, the refusals and alerts, and what each marks and counts.
#include "fcpx/FCPXController.h"
#include "fcpx/tests/FCPXFixture.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QDir>
#include <QFileInfo>

namespace {

using fcpx_test::readAll;

class FCPXActions : public fcpx_test::FCPXFixture {
protected:
    FCPXActions()
    {
        addRange("Ann", 0);
        addWord("hello", 0, 500);
    }

    // A controller whose hand-off answers from `answers` by application, recording each call.
    std::unique_ptr<FCPXController> controller(std::map<QString, std::optional<HandOffError>> answers = {},
                                               std::optional<std::filesystem::path> data = std::nullopt)
    {
        return std::make_unique<FCPXController>(
            ad, preferences, panels, alerts, shell,
            FCPXController::Options{data ? data : std::optional(std::filesystem::path(folder.filePath("data").toStdString())),
                                    [this, answers](const QString& application, const QString& path) {
                                        handOffs.push_back(application + " " + path);
                                        const auto answer = answers.find(application);
                                        return answer == answers.end() ? std::nullopt : answer->second;
                                    }});
    }

    QStringList alertTexts() const
    {
        QStringList texts;
        for (const qv::Alert& alert : alerts.shownAlerts()) {
            EXPECT_EQ(alert.style, qv::AlertStyle::Critical);
            texts.append(alert.messageText + " | " + alert.informativeText);
        }
        return texts;
    }

    QString temporaryDocument() const { return folder.filePath("data/FCPX Temp Files/Quorvantelle.fcpxml"); }

    qv::ScriptedSavePanelPresenter panels;
    qv::ScriptedAlertPresenter alerts;
    QStringList handOffs;
};

const QString kMissingMedia = "Final Cut Pro X XML file could not be generated because the media file is missing | "
                              "Relink the media file and try again.";
const QString kCouldNotSave =
    "Transcript file could not be saved | For assistance, please submit a support ticket from the Help menu.";

TEST_F(FCPXActions, ExportSavesWhereTheUserChoosesThenMarksAndCounts)
{
    const QString path = folder.filePath("Interview.fcpxml");
    panels.script({{}, qv::ModalResponse::OK, path});
    controller()->exportToFinalCutProXXML();
    ASSERT_EQ(panels.shownPanels().size(), 1u);
    EXPECT_EQ(panels.shownPanels()[0].nameFieldStringValue, "Interview");
    EXPECT_EQ(panels.shownPanels()[0].allowedFileTypes, QStringList{"fcpxml"});
    EXPECT_TRUE(readAll(path).contains("note=\"hello\""));
    EXPECT_EQ(shell.calls, (QStringList{"status 50 updateUI", "count 2"}));
    EXPECT_TRUE(handOffs.isEmpty());

    // Cancel writes and counts nothing.
    shell.calls.clear();
    panels.script({{}, qv::ModalResponse::Cancel, {}});
    controller()->exportToFinalCutProXXML();
    EXPECT_TRUE(shell.calls.isEmpty());
    EXPECT_EQ(QDir(folder.path()).entryList({"*.fcpxml"}), QStringList{"Interview.fcpxml"});
}

TEST_F(FCPXActions, ExportThatCannotWriteAlertsAndCountsNothing)
{
    panels.script({{}, qv::ModalResponse::OK, folder.filePath("no such folder/Interview.fcpxml")});
    controller()->exportToFinalCutProXXML();
    EXPECT_EQ(alerts.beepCount(), 1);
    ASSERT_EQ(alerts.shownAlerts().size(), 1u);
    EXPECT_EQ(alerts.shownAlerts()[0].messageText, "File could not be exported");
    EXPECT_TRUE(shell.calls.isEmpty());
    EXPECT_EQ(file->status, 40);
}

TEST_F(FCPXActions, MissingMediaBlocksBothActions)
{
    file->mediaFiles.clear();
    auto actions = controller();
    actions->exportToFinalCutProXXML();
    actions->sendToFinalCutProX();
    EXPECT_EQ(alertTexts(), (QStringList{kMissingMedia, kMissingMedia}));
    EXPECT_TRUE(panels.shownPanels().empty());
    EXPECT_TRUE(handOffs.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(temporaryDocument()));
}

TEST_F(FCPXActions, SendWritesTheTemporaryDocumentAndHandsItOff)
{
    controller()->sendToFinalCutProX();
    EXPECT_TRUE(alerts.shownAlerts().empty());
    EXPECT_EQ(handOffs, QStringList{"com.apple.FinalCut " + temporaryDocument()});
    EXPECT_TRUE(readAll(temporaryDocument()).contains("note=\"hello\""));
    EXPECT_EQ(shell.calls, (QStringList{"status 50 updateUI", "status 50 updateUI", "count 2"}));

    // The next send overwrites it.
    ad.words.first()->setName("goodbye");
    controller()->sendToFinalCutProX();
    EXPECT_TRUE(readAll(temporaryDocument()).contains("note=\"goodbye\""));
}

TEST_F(FCPXActions, SendFallsBackOnTheTrialEditionOnlyWhenTheEditorDoesNotExist)
{
    const HandOffError missing{kHandOffNoSuchApplication, "no editor"};
    const HandOffError refused{-1, "refused"};
    const struct {
        const char* title;
        std::map<QString, std::optional<HandOffError>> answers;
        QStringList applications;
        QStringList alerts;
    } cases[] = {
        {"trial edition only", {{kPartnerApplication, missing}}, {kPartnerApplication, kPartnerTrialApplication}, {}},
        {"no editor at all",
         {{kPartnerApplication, missing}, {kPartnerTrialApplication, HandOffError{kHandOffNoSuchApplication, "no trial"}}},
         {kPartnerApplication, kPartnerTrialApplication},
         {"Transcript could not be sent to Final Cut Pro X | no trial"}},
        {"editor refuses", {{kPartnerApplication, refused}}, {kPartnerApplication}, {"Transcript could not be sent to Final Cut Pro X | refused"}},
    };
    for (const auto& c : cases) {
        handOffs.clear();
        shell.calls.clear();
        alerts = qv::ScriptedAlertPresenter();
        controller(c.answers)->sendToFinalCutProX();
        QStringList applications;
        for (const QString& call : handOffs)
            applications.append(call.section(' ', 0, 0));
        EXPECT_EQ(applications, c.applications) << c.title;
        QStringList texts;
        for (const qv::Alert& alert : alerts.shownAlerts())
            texts.append(alert.messageText + " | " + alert.informativeText);
        EXPECT_EQ(texts, c.alerts) << c.title;
        // Counted only once the editor has the document.
        EXPECT_EQ(shell.calls.contains("count 2"), c.alerts.isEmpty()) << c.title;
    }
}

TEST_F(FCPXActions, SendRefusesFilesFromALibrary)
{
    file->fcpxUID = "ASSET-UID";
    controller()->sendToFinalCutProX();
    EXPECT_EQ(alertTexts(), QStringList{"This file was imported from Final Cut Pro X and can't be sent back directly. | "
                                        "To export the transcript with keywords on the clip,\ndrag the library to the "
                                        "Quorvantelle icon."});
    EXPECT_FALSE(QFileInfo::exists(temporaryDocument()));
    EXPECT_TRUE(handOffs.isEmpty());
    EXPECT_TRUE(shell.calls.isEmpty());
}

TEST_F(FCPXActions, SendThatCannotWriteHandsOffNothing)
{
    // An earlier send's document is not handed off again when the new one cannot be written.
    QFile blocker(folder.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    controller({}, std::filesystem::path(folder.filePath("blocker").toStdString()))->sendToFinalCutProX();
    EXPECT_EQ(alertTexts(), QStringList{kCouldNotSave});
    EXPECT_EQ(alerts.beepCount(), 1);
    EXPECT_TRUE(handOffs.isEmpty());
    EXPECT_TRUE(shell.calls.isEmpty());

    // Without a data folder at all.
    alerts = qv::ScriptedAlertPresenter();
    controller({}, std::filesystem::path())->sendToFinalCutProX();
    EXPECT_EQ(alertTexts(), QStringList{kCouldNotSave});
    EXPECT_TRUE(handOffs.isEmpty());
}

// A script that records its arguments, one a line.
QString recordingScript(const QString& folder, int status, const QString& complaint = {})
{
    const QString path = folder + "/editor.sh";
    QFile script(path);
    EXPECT_TRUE(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> \"%1/arguments\"; done\n"
                                "echo '%2' >&2\nexit %3\n")
                     .arg(folder, complaint)
                     .arg(status)
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

TEST(PartnerCommand, RunsTheConfiguredProgramWithThePathAsOneArgument)
{
    QTemporaryDir folder;
    const QString script = recordingScript(folder.path(), 0);
    // Nothing in the path reaches a shell: quotes, blanks and substitutions stay text.
    const QString path = folder.path() + "/it's \"my\" $(touch pwned) `x` ;.fcpxml";
    EXPECT_FALSE(runPartnerCommand("\"" + script + "\" --import", path));
    EXPECT_EQ(QString::fromUtf8(readAll(folder.filePath("arguments"))), "--import\n" + path + "\n");
    EXPECT_FALSE(QFileInfo::exists(folder.filePath("pwned")));
    EXPECT_FALSE(QFileInfo::exists("pwned"));
}

TEST(PartnerCommand, FailuresCarryANumberAndTheCommandsOwnMessage)
{
    QTemporaryDir folder;
    const auto missing = runPartnerCommand(folder.filePath("no-such-editor"), "/tmp/doc.fcpxml");
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->number, kHandOffNoSuchApplication);
    EXPECT_TRUE(missing->message.contains("no-such-editor")) << missing->message.toStdString();

    const auto empty = runPartnerCommand("  ", "/tmp/doc.fcpxml");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->number, kHandOffNoSuchApplication);

    const auto refused = runPartnerCommand(recordingScript(folder.path(), 3, "cannot import this"), "/tmp/doc.fcpxml");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->number, 3);
    EXPECT_EQ(refused->message, "cannot import this");
}

TEST(PartnerCommand, TheTrialCommandServesWhenTheEditorsProgramIsMissing)
{
    QTemporaryDir folder;
    qv::Preferences preferences(folder.filePath("preferences"));
    preferences.setObject(kQVPartnerEditorCommand, folder.filePath("no-such-editor"));
    preferences.setObject(kQVPartnerEditorTrialCommand, recordingScript(folder.path(), 0));
    EXPECT_FALSE(openInPartnerEditor(partnerCommandsFromPreferences(preferences), "/tmp/doc.fcpxml"));
    EXPECT_EQ(readAll(folder.filePath("arguments")), "/tmp/doc.fcpxml\n");
}

}  // namespace
