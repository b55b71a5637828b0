#pragma once
// An open transcript in the application's state, with preferences in a temporary folder,
// scripted panels and alerts, and a shell that records what the exports ask of it.
#include "model/AppDelegate.h"
#include "export/ExportController.h"
#include "export/ExportOptions.h"
#include "export/tests/TestFiles.h"
#include "platform/ui/ScriptedPresenters.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace qv::test {

class RecordingShell : public ExportShell {
public:
    void changeFile(const std::shared_ptr<QVFile>& file, int64_t status, bool updateUI) override {
        calls.push_back(QStringLiteral("status %1%2").arg(status).arg(updateUI ? " updateUI" : ""));
        if (file) file->status = status;
    }
    void incrementExportCountForType(int32_t type, const std::shared_ptr<QVFile>& file) override {
        calls.push_back(QStringLiteral("count %1%2").arg(type).arg(file ? "" : " no file"));
    }
    void logCaptionExportTypeIsAuto(bool isAuto) override {
        calls.push_back(isAuto ? QStringLiteral("caption auto") : QStringLiteral("caption sentences"));
    }
    QStringList calls;
};

class ExportFixture : public ::testing::Test {
protected:
    ExportFixture() : preferences(folder.filePath("preferences")), controller(ad, preferences, panels, alerts, printPanels, shell) {
        preferences.registerDefaults(exportPreferenceDefaults());
        file = std::make_shared<QVFile>();
        file->uuid = "F1";
        file->name = "Interview";
        file->language = "en-US";
        file->duration = 10000;
        file->status = 40;
        ad.currentFile = file;
    }

    void addRange(const QString& speakerName, int64_t start, const QString& color = "blue") {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->name = speakerName;
        speaker->color = color;
        auto range = std::make_shared<QVSpeakerRange>();
        range->speaker = speaker;
        range->start = start;
        ad.speakers.add(speaker);
        ad.speakerRanges.add(range);
    }

    std::shared_ptr<QVWord> addWord(const QString& name, int64_t start, int64_t end) {
        auto word = std::make_shared<QVWord>();
        word->setName(name);
        word->start = start;
        word->end = end;
        ad.words.add(word);
        return word;
    }

    // The two-word transcript whose one caption runs from 1000 to 3500 ms.
    void addHelloThere() {
        addRange("Host", 0);
        addWord("Hello", 1000, 2000);
        addWord("there.", 2500, 3500);
    }

    // Answers the next save panel with OK and a path in the temporary folder.
    QString saveTo(const QString& name, std::vector<std::pair<PopUpButton*, QString>> picks = {}) {
        const QString path = folder.filePath(name);
        panels.script({std::move(picks), ModalResponse::OK, path});
        return path;
    }

    static QByteArray contents(const QString& path) { return readFile(path); }

    QTemporaryDir folder;
    Preferences preferences;
    AppDelegate ad;
    ScriptedSavePanelPresenter panels;
    ScriptedAlertPresenter alerts;
    ScriptedPrintPanelPresenter printPanels;
    RecordingShell shell;
    ExportController controller;
    std::shared_ptr<QVFile> file;
};

}  // namespace qv::test
