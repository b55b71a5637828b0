// The PDF of a 30,000-word transcript beside an office suite turning our own Word document of
// the same transcript into a PDF, timed in the same run. Prints both times, their ratio
// (target: ours at most 0.25 of theirs) and this process's peak memory (target: 200 MB).
#include "bench/export/LongTranscript.h"
#include "export/QVPrintingView.h"
#include "export/TextExport.h"
#include "export/WordDocument.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 5;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QByteArray pdfOf(const qv::ExportTranscript& transcript, const QSizeF& paper) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    writer.setPageSize(QPageSize(paper, QPageSize::Point, QString(), QPageSize::FuzzyMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    qv::QVPrintingView view(
        transcript, "Interview", [](int64_t ms) { return QString::number(ms / 1000); },
        [](const QString&) { return QColor(Qt::darkCyan); }, 12, 23);
    view.setPageSize(paper.width() - 2 * qv::kPrintMargin, paper.height() - 2 * qv::kPrintMargin);
    view.printTranscript();
    view.drawPages(writer);
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    const qv::ExportTranscript transcript = qv::bench::longTranscript();
    const QSizeF letter = QPageSize(QPageSize::Letter).size(QPageSize::Point);

    std::vector<double> ours;
    qsizetype bytes = 0;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        bytes = pdfOf(transcript, letter).size();
        ours.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    if (argc > 1) {
        QFile kept(QString::fromLocal8Bit(argv[1]));
        const QByteArray pdf = pdfOf(transcript, letter);
        if (!kept.open(QIODevice::WriteOnly) || kept.write(pdf) != pdf.size()) return 1;
    }
    std::printf("our PDF of 30,000 words: median %.1f ms of %d runs, %lld bytes, peak memory %.1f MB\n",
                median(ours), kRuns, static_cast<long long>(bytes), double(usage.ru_maxrss) / 1024.0);

    const QString office = QStandardPaths::findExecutable("soffice");
    if (office.isEmpty()) {
        std::printf("office suite (soffice) not installed: no comparison\n");
        return 0;
    }
    QTemporaryDir folder;
    const auto docx = qv::wordDocument(
        qv::wordDocumentRuns(transcript, "none", [](int64_t ms) { return QString::number(ms / 1000); }), 12, letter,
        [](const QString&) { return QColor(Qt::darkCyan); });
    QFile file(folder.filePath("Interview.docx"));
    if (!docx || !file.open(QIODevice::WriteOnly) || file.write(*docx) != docx->size()) return 1;
    file.close();
    std::vector<double> theirs;
    for (int run = 0; run < 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        QProcess process;
        process.start(office, {"-env:UserInstallation=file://" + folder.filePath("profile"), "--headless",
                               "--convert-to", "pdf", "--outdir", folder.path(), file.fileName()});
        if (!process.waitForFinished(600000) || process.exitCode() != 0) return 1;
        theirs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("office suite converting our .docx: median %.1f ms of 3 runs (first run included)\n", median(theirs));
    std::printf("ratio ours / theirs: %.3f (target at most 0.25)\n", median(ours) / median(theirs));
    return 0;
}
