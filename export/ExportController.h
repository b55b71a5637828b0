#pragma once
// The export menu actions: each shows a save panel with its format's options, builds the text
// or document from the open transcript, writes it, marks the file exported and counts the
// export. A write that fails is reported with an alert and marks and counts nothing; Timed
// Text keeps its own habit there: a beep and a log line, and the export is still counted. Also
// the actions of the option pop-ups, which store a choice the moment it is made.
#include "model/ExportShell.h"
#include "export/QVCaptionPagesCreate.h"
#include "export/TimecodeRates.h"
#include "platform/foundation/Preferences.h"
#include "platform/media/MediaTime.h"
#include "platform/ui/Alert.h"
#include "platform/ui/PrintPanel.h"
#include "platform/ui/SavePanel.h"

#include <QColor>
#include <QLocale>
#include <QSizeF>

#include <memory>

class AppDelegate;

namespace qv {

class QVPrintingView;

// Text size of printed and exported documents when none is set, points.
inline constexpr double kDefaultExportTextSize = 12;

// Accessory view heights, points: with and without the rate pop-up.
inline constexpr double kTimedTextOptionsHeight = 60;
inline constexpr double kTimedTextOptionsHeightWithRate = 91;
inline constexpr double kAvidDSOptionsHeight = 91;
inline constexpr double kAvidDSOptionsHeightWithRate = 122;

// The paper a user of `locale` expects, in points: US Letter where it measures in inches, else A4.
QSizeF defaultPaperSize(const QLocale& locale);

class ExportController {
public:
    // None of the arguments is owned; all outlive the controller.
    ExportController(AppDelegate& ad, Preferences& preferences, SavePanelPresenter& savePanels,
                     AlertPresenter& alerts, PrintPanelPresenter& printPanels, ExportShell& shell);
    ExportController(const ExportController&) = delete;
    ExportController& operator=(const ExportController&) = delete;

    // Menu actions.
    void exportToSubRip();
    void exportToiTunesTimedText();
    void exportToAvidDS();
    void exportToPlainText();
    void exportToWord();
    void exportToAvidScript();
    // The transcript on paper: the print panel, then the pages on the chosen printer. Counted
    // only when a job was sent; the file's status stays as it is.
    void printTranscript();
    // The same pages saved as a PDF file through the save panel.
    void exportToPDF();

    // Actions of the option pop-ups.
    void changeExportAvidDSCaptionPages(const PopUpButton& sender);
    void changeExportAvidDSSpeakers(const PopUpButton& sender);
    void changeExportiTunesTimedTextSpeakers(const PopUpButton& sender);
    void changeExportTextTimestamps(const PopUpButton& sender);
    void changeExportSubRipCaptionPages(const PopUpButton& sender);
    void changeExportSubRipSpeakers(const PopUpButton& sender);
    void changeExportSubRipTimestampSource(const PopUpButton& sender);

    // Paper size of Word and PDF documents, and the one the print panel proposes, in points; by
    // default the locale's (defaultPaperSize), then the paper of the last job sent to a printer.
    void setPaperSize(const QSizeF& size) { paperSize_ = size; }

    // The accessory pop-ups, filled afresh each time a panel opens.
    PopUpButton exportSubRipCaptionPages;
    PopUpButton exportSubRipSpeakers;
    PopUpButton exportSubRipTimestampSource;
    PopUpButton exportiTunesTimedTextSpeakers;
    PopUpButton exportiTunesTimedTextTimecode;
    PopUpButton exportAvidDSCaptionPages;
    PopUpButton exportAvidDSSpeakers;
    PopUpButton exportAvidDSTimecode;
    PopUpButton exportTextTimeStamps;

private:
    // The frame rate of a caption export: the file's own, or the one picked in its pop-up.
    struct FrameRate {
        bool dropFrame = false;
        MediaTime frameDuration = MediaTime(0, 1);  // zero: not known yet
    };

    // Text size of printed and exported documents, points.
    double exportTextSize() const;
    QColor speakerColor(const QString& colorName) const;
    // The open transcript laid out on pages of `paper` (points) less the margins.
    std::unique_ptr<QVPrintingView> makePrintingView(const QSizeF& paper) const;
    std::vector<QVCaptionPage> buildPages(const QString& pageMode, const QString& speakerMode) const;
    QString selectedValue(const PopUpButton& popUp) const;
    void showTextExportPanel(const QString& fileType, ExportType type);
    // Picks the rate from the pop-up when the file has none; false (after the "Not Set" alert,
    // which reopens the export when dismissed) when the user chose none.
    bool settleFrameRate(FrameRate& rate, const PopUpButton& popUp, const std::vector<TimecodeRate>& rates,
                         const QString& key, const QString& informativeText, void (ExportController::*reopen)());
    // Writes atomically; on failure beeps, logs and shows an alert, and returns false.
    bool writeExportFile(const QString& path, const QByteArray& data);
    // Beeps, logs and shows the "File could not be exported" alert with the reason.
    void reportExportFailure(const QString& path, const QString& reason);
    // Status Exported, then the counter.
    void markExported(ExportType type);

    AppDelegate& ad_;
    Preferences& preferences_;
    SavePanelPresenter& savePanels_;
    AlertPresenter& alerts_;
    PrintPanelPresenter& printPanels_;
    ExportShell& shell_;
    QSizeF paperSize_;
    FrameRate timedTextRate_;
    FrameRate avidDSRate_;
};

}  // namespace qv
