#pragma once
// An open transcript in the application's state for the fcpxml tests: preferences in a
// temporary folder, a shell that records what is marked and counted, and a check of documents
// with xmllint.
#include "fcpx/KeywordRanges.h"
#include "model/AppDelegate.h"
#include "model/ExportShell.h"
#include "model/QVMediaFile.h"
#include "platform/foundation/Preferences.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace fcpx_test {

class RecordingShell : public qv::ExportShell {
public:
    void changeFile(const std::shared_ptr<QVFile>& file, int64_t status, bool updateUI) override
    {
        calls.push_back(QStringLiteral("status %1%2").arg(status).arg(updateUI ? " updateUI" : ""));
        if (file)
            file->status = status;
    }
    void incrementExportCountForType(int32_t type, const std::shared_ptr<QVFile>& file) override
    {
        calls.push_back(QStringLiteral("count %1%2").arg(type).arg(file ? "" : " no file"));
    }
    void logCaptionExportTypeIsAuto(bool) override { calls.push_back(QStringLiteral("caption")); }
    QStringList calls;
};

// xmllint's complaint about the document, empty when it is well formed; `options` are added to
// its command line.
inline QString wellFormednessProblems(const QByteArray& document, const QStringList& options = {})
{
    QProcess lint;
    lint.start(QStringLiteral(QV_XMLLINT), QStringList{QStringLiteral("--noout")} + options + QStringList{QStringLiteral("-")});
    if (!lint.waitForStarted())
        return QStringLiteral("xmllint did not start");
    lint.write(document);
    lint.closeWriteChannel();
    lint.waitForFinished();
    const QString problems = QString::fromLocal8Bit(lint.readAllStandardError());
    if (lint.exitCode() != 0 && problems.isEmpty())
        return QStringLiteral("xmllint ended with %1").arg(lint.exitCode());
    return problems;
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Public throughout, so that tables of cases can build on the fixture.
class FCPXFixture : public ::testing::Test {
public:
    FCPXFixture() : preferences(folder.filePath("preferences"))
    {
        preferences.registerDefaults({{kQVExportFCPXKeywordType, kKeywordTypeAuto}});
        file = std::make_shared<QVFile>();
        file->uuid = "F1";
        file->name = "Interview";
        file->status = 40;
        ad.currentFile = file;
        setMedia("/media/Interview.wav");
    }

    void setMedia(const QString& path)
    {
        auto media = std::make_shared<QVMediaFile>();
        media->url = QUrl::fromLocalFile(path);
        file->mediaFiles = {media};
    }

    void addRange(const QString& speakerName, std::int64_t start)
    {
        auto speaker = std::make_shared<QVSpeaker>();
        speaker->name = speakerName;
        auto range = std::make_shared<QVSpeakerRange>();
        range->speaker = speaker;
        range->start = start;
        ad.speakers.add(speaker);
        ad.speakerRanges.add(range);
    }

    std::shared_ptr<QVWord> addWord(const QString& name, std::int64_t start, std::int64_t end, bool favorite = false)
    {
        auto word = std::make_shared<QVWord>();
        word->setName(name);
        word->start = start;
        word->end = end;
        word->favorite = favorite;
        ad.words.add(word);
        return word;
    }

    QTemporaryDir folder;
    qv::Preferences preferences;
    RecordingShell shell;
    AppDelegate ad;
    std::shared_ptr<QVFile> file;
};

}  // namespace fcpx_test
