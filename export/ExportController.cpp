#include "export/ExportController.h"

#include "model/AppDelegate.h"
#include "export/CaptionWriters.h"
#include "export/ExportOptions.h"
#include "export/QVExportAvidScript.h"
#include "export/QVPrintingView.h"
#include "export/TextExport.h"
#include "export/WordDocument.h"
#include "model/OpenFileQueries.h"
#include "model/SpeakerServices.h"
#include "model/TimeUtilities.h"
#include "platform/foundation/LocalizedString.h"
#include "platform/foundation/Log.h"

#include <QBuffer>
#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>
#include <QSaveFile>

namespace qv {
namespace {

const QString kExportError = QStringLiteral("Export error");
const QString kFileCouldNotBeExported = QStringLiteral("File could not be exported");

std::vector<PopUpItem> rateItems(const std::vector<TimecodeRate>& rates) {
    std::vector<PopUpItem> items{{localizedString(kTimecodeRateNotSet), QString()}};
    for (const auto& rate : rates) items.push_back({rate.title, rate.title});
    return items;
}

// Selects the stored rate title, or "Not Set" when none or an unknown one is stored.
void selectStoredRate(PopUpButton& popUp, const Preferences& preferences, const QString& key) {
    const QString stored = preferences.stringForKey(key).value_or(QString());
    if (stored.isEmpty() || !popUp.selectItemWithRepresentedObject(stored)) popUp.selectItemAtIndex(0);
}

// Replaces the file at `path` with `data` in one step; the reason when that failed.
std::optional<QString> writeAtomically(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit()) return std::nullopt;
    return file.errorString();
}

// A frame duration the timecode arithmetic can divide by.
bool isUsableFrameDuration(const MediaTime& duration) {
    return duration.isValid() && duration.value > 0 && duration.timescale > 0;
}

}  // namespace

QSizeF defaultPaperSize(const QLocale& locale) {
    const auto id = locale.measurementSystem() == QLocale::ImperialUSSystem ? QPageSize::Letter : QPageSize::A4;
    return QPageSize(id).size(QPageSize::Point);
}

ExportController::ExportController(AppDelegate& ad, Preferences& preferences, SavePanelPresenter& savePanels,
                                   AlertPresenter& alerts, PrintPanelPresenter& printPanels, ExportShell& shell)
    : ad_(ad),
      preferences_(preferences),
      savePanels_(savePanels),
      alerts_(alerts),
      printPanels_(printPanels),
      shell_(shell),
      paperSize_(defaultPaperSize(QLocale::system())) {
    exportAvidDSCaptionPages.setAction([this](PopUpButton& b) { changeExportAvidDSCaptionPages(b); });
    exportAvidDSSpeakers.setAction([this](PopUpButton& b) { changeExportAvidDSSpeakers(b); });
    exportiTunesTimedTextSpeakers.setAction([this](PopUpButton& b) { changeExportiTunesTimedTextSpeakers(b); });
    exportTextTimeStamps.setAction([this](PopUpButton& b) { changeExportTextTimestamps(b); });
    exportSubRipCaptionPages.setAction([this](PopUpButton& b) { changeExportSubRipCaptionPages(b); });
    exportSubRipSpeakers.setAction([this](PopUpButton& b) { changeExportSubRipSpeakers(b); });
    exportSubRipTimestampSource.setAction([this](PopUpButton& b) { changeExportSubRipTimestampSource(b); });
}

void ExportController::changeExportAvidDSCaptionPages(const PopUpButton& sender) {
    storeSelectedOption(preferences_, kQVExportAvidDSCaptionPages, sender);
}
void ExportController::changeExportAvidDSSpeakers(const PopUpButton& sender) {
    storeSelectedOption(preferences_, kQVExportAvidDSSpeakers, sender);
}
void ExportController::changeExportiTunesTimedTextSpeakers(const PopUpButton& sender) {
    storeSelectedOption(preferences_, kQVExportiTunesTimedTextSpeakers, sender);
}
void ExportController::changeExportTextTimestamps(const PopUpButton& sender) {
    storeSelectedOption(preferences_, kQVExportPlainTextTimestamps, sender);
}
void ExportController::changeExportSubRipCaptionPages(const PopUpButton& sender) {
    storeSelectedOption(preferences_, kQVExportSubRipCaptionPages, sender);
}
void ExportController::changeExportSubRipSpeakers(const PopUpButton& sender) {
    storeSelectedOption(preferences_, kQVExportSubRipSpeakers, sender);
}
void ExportController::changeExportSubRipTimestampSource(const PopUpButton& sender) {
    storeSelectedOption(preferences_, kQVExportSubRipTimestampSource, sender);
}

QString ExportController::selectedValue(const PopUpButton& popUp) const {
    const PopUpItem* item = popUp.selectedItem();
    return item ? item->representedObject : QString();
}

std::vector<QVCaptionPage> ExportController::buildPages(const QString& pageMode, const QString& speakerMode) const {
    const ExportTranscript transcript = exportTranscriptFromModel(ad_);
    QVCaptionPagesCreate creator(transcript);
    return creator.createCaptionPagesWithOptions({pageMode, speakerMode}, kCaptionMaxCharsPerLine,
                                                 kCaptionMaxLinesPerPage);
}

bool ExportController::writeExportFile(const QString& path, const QByteArray& data) {
    const std::optional<QString> error = writeAtomically(path, data);
    if (!error) return true;
    reportExportFailure(path, *error);
    return false;
}

void ExportController::reportExportFailure(const QString& path, const QString& reason) {
    alerts_.beep();
    logError(QStringLiteral("Could not write export %1: %2").arg(path, reason).toStdString());
    alerts_.beginSheet({localizedString(kFileCouldNotBeExported), reason, AlertStyle::Critical, {}}, {});
}

void ExportController::markExported(ExportType type) {
    shell_.changeFile(ad_.currentFile, kFileStatusExported, true);
    shell_.incrementExportCountForType(type, ad_.currentFile);
}

bool ExportController::settleFrameRate(FrameRate& rate, const PopUpButton& popUp,
                                       const std::vector<TimecodeRate>& rates, const QString& key,
                                       const QString& informativeText, void (ExportController::*reopen)()) {
    if (isUsableFrameDuration(rate.frameDuration)) return true;
    const int index = popUp.indexOfSelectedItem();
    if (index <= 0 || index > int(rates.size())) {
        alerts_.beep();
        savePanels_.orderOut();
        alerts_.beginSheet({localizedString(kExportError), localizedString(informativeText), AlertStyle::Critical, {}},
                           [this, reopen](int) { (this->*reopen)(); });
        return false;
    }
    const TimecodeRate& chosen = rates[size_t(index - 1)];
    rate.frameDuration = MediaTime(chosen.frameDurationValue, chosen.frameDurationTimescale);
    rate.dropFrame = chosen.dropFrame;
    preferences_.setObject(key, chosen.title);
    return true;
}

void ExportController::exportToSubRip() {
    const auto file = ad_.currentFile;
    if (!file) return;
    fillOptionPopUp(exportSubRipCaptionPages, captionPagesItems(), preferences_, kQVExportSubRipCaptionPages);
    fillOptionPopUp(exportSubRipSpeakers, speakersItems(), preferences_, kQVExportSubRipSpeakers);
    const bool hasTimecode = file->timecodeStart.isValid();
    exportSubRipTimestampSource.setItems(subRipTimestampSourceItems());
    exportSubRipTimestampSource.setEnabled(hasTimecode);
    const bool timecodeStored =
        preferences_.stringForKey(kQVExportSubRipTimestampSource).value_or(QString()) == QLatin1String("timecode");
    exportSubRipTimestampSource.selectItemAtIndex(hasTimecode && timecodeStored ? 1 : 0);

    const SavePanel panel{file->name,
                          {QStringLiteral("srt")},
                          {{localizedString("Caption Pages:"), &exportSubRipCaptionPages},
                           {localizedString("Speakers:"), &exportSubRipSpeakers},
                           {localizedString("Timestamps:"), &exportSubRipTimestampSource}},
                          0};
    savePanels_.beginSheet(panel, [this](ModalResponse response, const QString& path) {
        const auto file = ad_.currentFile;
        if (response != ModalResponse::OK || !file) return;
        const QString pageMode = selectedValue(exportSubRipCaptionPages);
        auto pages = buildPages(pageMode, selectedValue(exportSubRipSpeakers));
        const bool timecodeMode =
            preferences_.stringForKey(kQVExportSubRipTimestampSource).value_or(QString()) == QLatin1String("timecode");
        std::optional<int64_t> offset;
        if (timecodeMode && file->timecodeStart.isValid()) offset = convertCMTimeToMilliseconds(file->timecodeStart);
        if (!writeExportFile(path, subRipText(pages, offset).toUtf8())) return;
        markExported(ExportTypeSubRip);
        shell_.logCaptionExportTypeIsAuto(pageMode == QLatin1String("auto"));
    });
}

void ExportController::exportToiTunesTimedText() {
    const auto file = ad_.currentFile;
    if (!file) return;
    fillOptionPopUp(exportiTunesTimedTextSpeakers, speakersItems(), preferences_, kQVExportiTunesTimedTextSpeakers);
    exportiTunesTimedTextTimecode.setItems(rateItems(timedTextTimecodeRates()));
    timedTextRate_ = FrameRate();
    const bool fileHasRate = file->timecodeFrameQuanta != 0 && file->timecodeFrameQuanta != 1000 &&
                             isUsableFrameDuration(file->timecodeFrameDuration);
    if (fileHasRate) {
        timedTextRate_ = {file->timecodeIsDropFrame, file->timecodeFrameDuration};
    } else {
        selectStoredRate(exportiTunesTimedTextTimecode, preferences_, kQVExportiTunesTimedTextTimecode);
    }
    exportiTunesTimedTextTimecode.setHidden(fileHasRate);

    const SavePanel panel{file->name,
                          {QStringLiteral("itt")},
                          {{localizedString("Speakers:"), &exportiTunesTimedTextSpeakers},
                           {localizedString("Timecode:"), &exportiTunesTimedTextTimecode}},
                          fileHasRate ? kTimedTextOptionsHeight : kTimedTextOptionsHeightWithRate};
    savePanels_.beginSheet(panel, [this](ModalResponse response, const QString& path) {
        const auto file = ad_.currentFile;
        if (response != ModalResponse::OK || !file) return;
        if (!settleFrameRate(timedTextRate_, exportiTunesTimedTextTimecode, timedTextTimecodeRates(),
                             kQVExportiTunesTimedTextTimecode,
                             QStringLiteral("Source file does not contain full timecode information so you must "
                                            "manually set the timecode type for export to iTunes Timed Text."),
                             &ExportController::exportToiTunesTimedText)) {
            return;
        }
        const FrameRate rate = timedTextRate_;
        const uint32_t frameRate = frameQuantaFromFrameDuration(rate.frameDuration);
        const auto pages = buildPages(QStringLiteral("auto"), selectedValue(exportiTunesTimedTextSpeakers));
        const QString document = timedTextDocument(
            pages, file->language, {rate.dropFrame, frameRate, rate.frameDuration.value == 1001}, [&](int64_t ms) {
                return timecodeFromCMTime(MediaTime(ms, 1000), rate.frameDuration, frameRate, rate.dropFrame,
                                          MediaTime::invalid(), false);
            });
        if (!writeAtomically(path, document.toUtf8())) {
            shell_.changeFile(file, kFileStatusExported, true);
        } else {
            alerts_.beep();
            logError("Could not write document out...");
        }
        shell_.incrementExportCountForType(ExportTypeiTunesTimedText, file);
    });
}

void ExportController::exportToAvidDS() {
    const auto file = ad_.currentFile;
    if (!file || !file->timecodeStart.isValid()) {
        alerts_.beginSheet({localizedString(kFileCouldNotBeExported),
                            localizedString("Avid DS caption format requires timecode in the imported file."),
                            AlertStyle::Critical,
                            {}},
                           {});
        return;
    }
    fillOptionPopUp(exportAvidDSCaptionPages, captionPagesItems(), preferences_, kQVExportAvidDSCaptionPages);
    fillOptionPopUp(exportAvidDSSpeakers, speakersItems(), preferences_, kQVExportAvidDSSpeakers);
    exportAvidDSTimecode.setItems(rateItems(avidDSTimecodeRates()));
    avidDSRate_ = FrameRate();
    const bool fileHasRate =
        file->timecodeFrameDuration != MediaTime(1, 1000) && isUsableFrameDuration(file->timecodeFrameDuration);
    if (fileHasRate) {
        avidDSRate_ = {file->timecodeIsDropFrame, file->timecodeFrameDuration};
    } else {
        selectStoredRate(exportAvidDSTimecode, preferences_, kQVExportAvidDSTimecode);
    }
    exportAvidDSTimecode.setHidden(fileHasRate);

    const SavePanel panel{file->name,
                          {QStringLiteral("txt")},
                          {{localizedString("Caption Pages:"), &exportAvidDSCaptionPages},
                           {localizedString("Speakers:"), &exportAvidDSSpeakers},
                           {localizedString("Timecode:"), &exportAvidDSTimecode}},
                          fileHasRate ? kAvidDSOptionsHeight : kAvidDSOptionsHeightWithRate};
    savePanels_.beginSheet(panel, [this](ModalResponse response, const QString& path) {
        const auto file = ad_.currentFile;
        if (response != ModalResponse::OK || !file) return;
        if (!settleFrameRate(avidDSRate_, exportAvidDSTimecode, avidDSTimecodeRates(), kQVExportAvidDSTimecode,
                             QStringLiteral("Source file does not contain full timecode information so you must "
                                            "manually set the timecode type for export to Avid DS Captions."),
                             &ExportController::exportToAvidDS)) {
            return;
        }
        const FrameRate rate = avidDSRate_;
        const QString pageMode = selectedValue(exportAvidDSCaptionPages);
        const auto pages = buildPages(pageMode, selectedValue(exportAvidDSSpeakers));
        const uint32_t quanta = frameQuantaFromFrameDuration(rate.frameDuration);
        const MediaTime start = file->timecodeStart;
        const QString text = avidDSText(pages, [&](int64_t ms) {
            return timecodeFromCMTime(MediaTime(ms, 1000), rate.frameDuration, quanta, rate.dropFrame, start, true);
        });
        if (!writeExportFile(path, text.toUtf8())) return;
        markExported(ExportTypeAvidDS);
        shell_.logCaptionExportTypeIsAuto(pageMode == QLatin1String("auto"));
    });
}

void ExportController::showTextExportPanel(const QString& fileType, ExportType type) {
    const auto file = ad_.currentFile;
    if (!file) return;
    fillOptionPopUp(exportTextTimeStamps, textTimestampsItems(), preferences_, kQVExportPlainTextTimestamps);
    const SavePanel panel{file->name, {fileType}, {{localizedString("Timestamps:"), &exportTextTimeStamps}}, 0};
    savePanels_.beginSheet(panel, [this, type](ModalResponse response, const QString& path) {
        if (response != ModalResponse::OK || !ad_.currentFile) return;
        const ExportTranscript transcript = exportTranscriptFromModel(ad_);
        const QString timestamps = selectedValue(exportTextTimeStamps);
        const StampText stamp = [this](int64_t ms) { return getTimeAsHMSText(ad_, MediaTime(ms, 1000)); };
        std::optional<QByteArray> data;
        if (type == ExportTypeWord) {
            data = wordDocument(wordDocumentRuns(transcript, timestamps, stamp), exportTextSize(), paperSize_,
                                [this](const QString& name) { return speakerColor(name); });
        } else {
            data = plainTextExport(transcript, timestamps, stamp).toUtf8();
        }
        if (!data) {
            reportExportFailure(path, QStringLiteral("The document could not be made."));
            return;
        }
        if (!writeExportFile(path, *data)) return;
        markExported(type);
    });
}

void ExportController::exportToPlainText() {
    showTextExportPanel(QStringLiteral("txt"), ExportTypePlainText);
}

void ExportController::exportToWord() {
    showTextExportPanel(QStringLiteral("docx"), ExportTypeWord);
}

void ExportController::exportToAvidScript() {
    const auto file = ad_.currentFile;
    if (!file) return;
    savePanels_.beginSheet({file->name, {QStringLiteral("txt")}, {}, 0},
                           [this](ModalResponse response, const QString& path) {
                               if (response != ModalResponse::OK || !ad_.currentFile) return;
                               const ExportTranscript transcript = exportTranscriptFromModel(ad_);
                               const QString script = QVExportAvidScript(transcript).exportCurrentFile();
                               if (!writeExportFile(path, script.toUtf8())) return;
                               markExported(ExportTypeAvidScript);
                           });
}

double ExportController::exportTextSize() const {
    return ad_.textSizeExport > 0 ? ad_.textSizeExport : kDefaultExportTextSize;
}

QColor ExportController::speakerColor(const QString& colorName) const {
    return ad_.speakerServices ? ad_.speakerServices->colorForColorName(colorName) : QColor();
}

std::unique_ptr<QVPrintingView> ExportController::makePrintingView(const QSizeF& paper) const {
    const double size = exportTextSize();
    const double lineHeight = ad_.lineHeightExport > 0 ? ad_.lineHeightExport : size + 11;
    auto view = std::make_unique<QVPrintingView>(
        exportTranscriptFromModel(ad_), ad_.currentFile->name,
        [this](int64_t ms) { return getTimeAsHMSText(ad_, MediaTime(ms, 1000)); },
        [this](const QString& name) { return speakerColor(name); }, size, lineHeight);
    view->setPageSize(paper.width() - 2 * kPrintMargin, paper.height() - 2 * kPrintMargin);
    view->printTranscript();
    return view;
}

void ExportController::printTranscript() {
    if (!ad_.currentFile) return;
    const bool sent = printPanels_.runModal(paperSize_, [this](QPagedPaintDevice& device, const QSizeF& paper) {
        // The paper of a sent job becomes the shared one: the PDF and Word exports and the next
        // print start from it.
        paperSize_ = paper;
        return ad_.currentFile && makePrintingView(paper)->drawPages(device);
    });
    if (sent) shell_.incrementExportCountForType(ExportTypePrint, ad_.currentFile);
}

void ExportController::exportToPDF() {
    const auto file = ad_.currentFile;
    if (!file) return;
    savePanels_.beginSheet({file->name, {QStringLiteral("pdf")}, {}, 0}, [this](ModalResponse response,
                                                                                 const QString& path) {
        if (response != ModalResponse::OK || !ad_.currentFile) return;
        // Made whole in memory first: a failed or cut-short document never reaches the path.
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        bool painted = false;
        {
            QPdfWriter writer(&buffer);
            writer.setResolution(72);
            writer.setPageSize(QPageSize(paperSize_, QPageSize::Point, QString(), QPageSize::FuzzyMatch));
            writer.setPageMargins(QMarginsF(0, 0, 0, 0));
            writer.setTitle(ad_.currentFile->name);
            painted = makePrintingView(paperSize_)->drawPages(writer);
        }
        if (!painted || data.isEmpty()) {
            reportExportFailure(path, QStringLiteral("The document could not be made."));
            return;
        }
        if (!writeExportFile(path, data)) return;
        markExported(ExportTypePDF);
    });
}

}  // namespace qv
