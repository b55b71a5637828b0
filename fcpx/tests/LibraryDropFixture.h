#pragma once
// A drop of a library and its send-back in the application's state: the alerts scripted, the
// database in process, the documents handed to the editor kept for the test to read.
#include "fcpx/FCPXLibraryDrop.h"
#include "fcpx/FCPXSendBack.h"
#include "fcpx/tests/FCPXFixture.h"
#include "fcpx/tests/LibraryFixture.h"
#include "model/QVFile.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace fcpx_test {

class LibraryDropTest : public ::testing::Test {
public:
    LibraryDropTest()
        : backend(qv::DatabaseBackend::Options{}), client(backend, main, {}), preferences(folder.filePath("preferences")),
          drop(ad, dropServices()), sendBack(ad, sendBackServices())
    {
        preferences.registerDefaults({{kQVExportFCPXKeywordType, kKeywordTypeSpeakerRange}});
        ad.currentMode = 1;
        ad.externalServiceStatus = 1;
    }

    FCPXLibraryDrop::Services dropServices()
    {
        FCPXLibraryDrop::Services services;
        services.sheetAlerts = &sheets;
        services.modalAlerts = &modal;
        services.transitionToFiles = [this] { ad.currentMode = 1; };
        services.addClipsToPendingList = [this](const std::vector<std::shared_ptr<QVXMLElement>>& clips) { added = clips; };
        services.sendBackDroppedXML = [this] { sendBack.sendBackDroppedXML(); };
        services.showRelinkSynchronizedClipsWindow = [this] { ++relinkSheets; };
        services.writeDiagnosticTrace = [this](const QString& trace) { traces.append(trace); };
        services.appVersion = QStringLiteral("1.0");
        return services;
    }

    FCPXSendBack::Services sendBackServices()
    {
        FCPXSendBack::Services services;
        services.alerts = &modal;
        services.shell = &shell;
        services.preferences = &preferences;
        services.transcriptRef = [this](const QString& uuid) { return client.reference("transcripts").child(uuid.toStdString()); };
        services.reloadFiles = [this] { ++reloads; };
        services.dataFolder = folder.path().toStdString();
        services.openInApplication = [this](const QString&, const QString& path) -> std::optional<HandOffError> {
            handedOff.append(readAll(path));
            return std::nullopt;
        };
        return services;
    }

    void dropText(const QString& text)
    {
        qv::MemoryPasteboard drag;
        drag.addType(kFCPXPasteboardType, text);
        drop.dropFromFCPX(drag);
    }

    // Drops a library file's bytes as opening the file does: read in their encoding, or carrying
    // no text when they cannot be.
    void dropBytes(const QByteArray& bytes)
    {
        qv::MemoryPasteboard drag;
        drag.addType(kFCPXPasteboardType, QVXMLDocument::decodedText(bytes));
        drop.dropFromFCPX(drag);
    }

    std::shared_ptr<QVFile> verifiedFile(const QString& uuid, const QString& name)
    {
        auto file = std::make_shared<QVFile>();
        file->uuid = uuid;
        file->name = name;
        file->status = 40;
        ad.files.push_back(file);
        return file;
    }

    QStringList clipNames(const std::vector<std::shared_ptr<QVXMLElement>>& clips) const
    {
        QStringList names;
        for (const auto& clip : clips)
            names.append(clip->attributeText("name"));
        names.sort();
        return names;
    }

    qv::Alert lastSheet() const { return sheets.shownAlerts().empty() ? qv::Alert{} : sheets.shownAlerts().back(); }

    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client;
    QTemporaryDir folder;
    qv::Preferences preferences;
    AppDelegate ad;
    qv::ScriptedAlertPresenter sheets;
    qv::ScriptedAlertPresenter modal;
    RecordingShell shell;
    std::vector<std::shared_ptr<QVXMLElement>> added;
    QStringList traces;
    QList<QByteArray> handedOff;
    int relinkSheets = 0;
    int reloads = 0;
    FCPXLibraryDrop drop;
    FCPXSendBack sendBack;
};

}  // namespace fcpx_test
