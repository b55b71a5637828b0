#include "export/tests/ExportFixture.h"

#include "platform/foundation/ManualDispatcher.h"

#include "speakers/SpeakerHost.h"
#include "speakers/SpeakersController.h"

#include <QProcess>

namespace qv {
namespace {

class NoTranscriptTable : public speakers::SpeakerHost {
public:
    std::int64_t numberOfTranscriptRows() override { return 0; }
    speakers::SpeakerRangeHeaderCell* existingHeaderCell(std::int64_t) override { return nullptr; }
    void beginTableUpdates() override {}
    void endTableUpdates() override {}
    void buildSpeakerMenu() override {}
    void searchForString(const QString&) override {}
    void resetFocus() override {}
    bool isOptionKeyDown() override { return false; }
};

class SpeakerColourExportTest : public test::ExportFixture {
protected:
    QByteArray documentXml(const QString& docx) {
        QProcess unzip;
        unzip.start("unzip", {"-p", docx, "word/document.xml"});
        EXPECT_TRUE(unzip.waitForFinished(30000));
        return unzip.readAllStandardOutput();
    }
    ManualDispatcher main;
    NoTranscriptTable host;
};

TEST_F(SpeakerColourExportTest, WordExportColoursSpeakerNamesFromThePalette) {
    speakers::SpeakersController speakerController(ad, main, alerts, host);
    ad.speakerServices = &speakerController;
    addRange("Host", 0, "red");
    addWord("Hello", 1000, 2000);
    addRange("Guest", 3000, "gray");
    addWord("Hi.", 3000, 3500);
    addRange("Caller", 4000, "no such colour");
    addWord("Yes.", 4000, 4500);

    const QString path = saveTo("words.docx");
    controller.exportToWord();
    const QByteArray xml = documentXml(path);
    EXPECT_TRUE(xml.contains("<w:color w:val=\"D64C4C\"/>"));
    EXPECT_TRUE(xml.contains("<w:color w:val=\"808080\"/>"));
    EXPECT_EQ(xml.count("<w:color "), 2) << "an unknown colour name gives no colour";
    ad.speakerServices = nullptr;
}

}  // namespace
}  // namespace qv
