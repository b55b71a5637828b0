// A library of 1,000 clips of the partner editor, half marked for import and half verified and
// marked for export: both passes of its drop, and its send-back with every exported clip's
// transcript read from the database. The target is 1 s for each. Beside it, the send-back of a
// 6 MB library whose one pending compound clip starts a chain of 30,000 media, each naming the
// next, the last naming the first: well under a second.
#include "fcpx/FCPXLibraryDrop.h"
#include "fcpx/FCPXSendBack.h"
#include "fcpx/KeywordRanges.h"
#include "model/AppDelegate.h"
#include "model/ExportShell.h"
#include "model/QVFile.h"
#include "platform/foundation/ManualDispatcher.h"
#include "platform/foundation/Preferences.h"
#include "platform/rtdb/DatabaseBackend.h"
#include "platform/rtdb/DatabaseClient.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ScriptedPresenters.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

constexpr int kClipCount = 1000;

class NoShell : public qv::ExportShell {
public:
    void changeFile(const std::shared_ptr<QVFile>&, int64_t, bool) override {}
    void incrementExportCountForType(int32_t, const std::shared_ptr<QVFile>&) override {}
    void logCaptionExportTypeIsAuto(bool) override {}
};

struct Library {
    Library() : backend(qv::DatabaseBackend::Options{}), client(backend, main, {}), preferences(folder.filePath("preferences"))
    {
        preferences.registerDefaults({{kQVExportFCPXKeywordType, kKeywordTypeAuto}});
        ad.currentMode = 1;
        ad.externalServiceStatus = 1;
        const QString media = folder.filePath("take.wav");
        QFile file(media);
        file.open(QIODevice::WriteOnly);
        file.write("RIFF");
        file.close();
        const QString bookmark = QString::fromLatin1(testBookmarkForPath(media).toBase64());
        QString resources = "<format id=\"r1\" frameDuration=\"1001/30000s\"/>";
        QString clips;
        for (int i = 0; i < kClipCount; ++i) {
            const QString id = QStringLiteral("a%1").arg(i);
            resources += QStringLiteral("<asset id=\"%1\" uid=\"UID-%1\" format=\"r1\" duration=\"60s\"><media-rep "
                                        "kind=\"original-media\"><bookmark>%2</bookmark></media-rep></asset>")
                             .arg(id, bookmark);
            const bool exported = i % 2 == 1;
            clips += QStringLiteral("<asset-clip name=\"Clip %1\" ref=\"%2\" duration=\"60s\"><keyword start=\"0s\" "
                                    "value=\"%3\"/><marker start=\"1s\" value=\"m\"/></asset-clip>")
                         .arg(i)
                         .arg(id, exported ? QStringLiteral("QV Processing") : QStringLiteral("QV Pending"));
            if (exported) {
                auto verified = std::make_shared<QVFile>();
                verified->uuid = QStringLiteral("F%1").arg(i);
                verified->name = QStringLiteral("Transcript %1").arg(i);
                verified->status = 40;
                verified->fcpxUID = QStringLiteral("UID-%1").arg(id);
                ad.files.push_back(verified);
                using V = qv::DatabaseValue;
                client.reference("transcripts").child(verified->uuid.toStdString()).setValue(V::object({
                    {"words", V::object({{"w1", V::object({{"name", "Hello"}, {"start", 100}, {"end", 500}})},
                                         {"w2", V::object({{"name", "there."}, {"start", 600}, {"end", 900}})}})},
                    {"speakers", V::object({{"s1", V::object({{"name", "Ann"}})}})},
                    {"speaker_ranges", V::object({{"r1", V::object({{"speaker", "s1"}, {"start", 0}})}})},
                }));
            }
        }
        main.drain();
        text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n<fcpxml version=\"1.6\">"
                              "<resources>%1</resources><library location=\"file:///Edit.fcpbundle/\">"
                              "<event name=\"Day 1\" uid=\"EV1\">%2</event></library></fcpxml>")
                   .arg(resources, clips);
        sheets.setHoldUnscripted(true);
        dropper.emplace(ad, dropServices());
        back.emplace(ad, sendBackServices());
    }

    FCPXLibraryDrop::Services dropServices()
    {
        FCPXLibraryDrop::Services services;
        services.sheetAlerts = &sheets;
        services.modalAlerts = &sheets;
        return services;
    }

    FCPXSendBack::Services sendBackServices()
    {
        FCPXSendBack::Services services;
        services.shell = &shell;
        services.preferences = &preferences;
        services.transcriptRef = [this](const QString& uuid) { return client.reference("transcripts").child(uuid.toStdString()); };
        services.dataFolder = folder.path().toStdString();
        services.openInApplication = [](const QString&, const QString&) { return std::optional<HandOffError>(); };
        return services;
    }

    // Drops the library: the sheet offering both stays open.
    void dropped()
    {
        ad.droppedXMLDoc.reset();
        qv::MemoryPasteboard drag;
        drag.addType(kFCPXPasteboardType, text);
        dropper->dropFromFCPX(drag);
    }

    qv::ManualDispatcher main;
    qv::DatabaseBackend backend;
    qv::DatabaseClient client;
    QTemporaryDir folder;
    qv::Preferences preferences;
    AppDelegate ad;
    qv::ScriptedAlertPresenter sheets;
    NoShell shell;
    QString text;
    std::optional<FCPXLibraryDrop> dropper;
    std::optional<FCPXSendBack> back;
};

void BM_LibraryDropPasses(benchmark::State& state)
{
    Library library;
    for (auto _ : state) {
        library.dropped();
        if (library.ad.droppedClipsToImport.size() != kClipCount / 2 || library.ad.droppedClipsToExport.size() != kClipCount / 2)
            state.SkipWithError("the clips were not all sorted");
    }
}
BENCHMARK(BM_LibraryDropPasses)->Unit(benchmark::kMillisecond);

void BM_LibrarySendBack(benchmark::State& state)
{
    Library library;
    for (auto _ : state) {
        state.PauseTiming();
        library.dropped();
        state.ResumeTiming();
        library.back->sendBackDroppedXML();
        library.main.drain();
        if (library.ad.droppedXMLDoc)
            state.SkipWithError("the send-back did not finish");
    }
}
BENCHMARK(BM_LibrarySendBack)->Unit(benchmark::kMillisecond);

void BM_ChainedLibrarySendBack(benchmark::State& state)
{
    constexpr int kMedia = 30000;
    Library library;
    QString chain;
    for (int n = 0; n < kMedia; ++n)
        chain += QStringLiteral("<media id=\"m%1\" name=\"Compound clip %1\" uid=\"UID-MEDIA-%1\"><sequence format=\"r1\" "
                                "duration=\"10s\" tcStart=\"0s\" tcFormat=\"NDF\"><spine><ref-clip ref=\"m%2\" offset=\"0s\" "
                                "duration=\"10s\" name=\"Inner clip %1\"/></spine></sequence></media>")
                     .arg(n)
                     .arg((n + 1) % kMedia);
    library.text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE fcpxml>\n<fcpxml version=\"1.6\">"
                                  "<resources><format id=\"r1\"/>%1</resources><library location=\"file:///Edit.fcpbundle/\">"
                                  "<event name=\"Day 1\" uid=\"EV1\"><ref-clip name=\"Compound\" ref=\"m0\" format=\"r1\" "
                                  "duration=\"60s\"><keyword start=\"0s\" value=\"QV Pending\"/></ref-clip></event></library>"
                                  "</fcpxml>")
                       .arg(chain);
    for (auto _ : state) {
        state.PauseTiming();
        library.dropped();
        if (library.ad.droppedClipsToImport.size() != 1)
            state.SkipWithError("the compound clip was not taken");
        state.ResumeTiming();
        library.back->sendBackDroppedXML();
        library.main.drain();
        if (library.ad.droppedXMLDoc)
            state.SkipWithError("the send-back did not finish");
    }
    state.counters["bytes"] = double(library.text.toUtf8().size());
}
BENCHMARK(BM_ChainedLibrarySendBack)->Unit(benchmark::kMillisecond);

}  // namespace
