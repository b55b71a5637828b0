// The program in its window (offscreen) with a transcript of 30,000 words, against the service
// it starts for itself. Figures and targets:
//   peak memory of the program from sign-in to the file open, the transcript as the
//   transcription worker writes a file without pauses: one speaker range, one paragraph <= 128 MB
//   (shown too for the program against the service as a program of its own, qv-hub, which
//   then holds the service's copy of the account's files)
//   keystroke to paint while correcting a word in that one 30,000-word paragraph        <= 16 ms
//   editing commands (Add Speaker Range, moving a range's start, the word commands, and
//   their undo) in a transcript of 2,000 ranges, each with the work it queues on the main
//   queue, the table's reload and the service's answers, painting aside                 <= 2 ms median
// Meaningful only in an optimised build:
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
//   QT_QPA_PLATFORM=offscreen build-release/bench/app/long_transcript_bench
#include "BenchAccount.h"

#include "app/shell/ApplicationShell.h"
#include "app/shell/QVApplication.h"
#include "editing/EditingController.h"
#include "platform/foundation/QtDispatcher.h"
#include "platform/foundation/UndoManager.h"
#include "transcript-view/QVTextView.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace qv;
using namespace qv::shell;
using qv::bench::Launch;
using qv::bench::settle;
using qv::bench::statusMegabytes;
using qv::bench::waitFor;

namespace {

constexpr int kWords = 30'000;
constexpr int kRanges = 2'000;
const bench::TranscriptFile kParagraphFile{"00000000000000000000000000000001", kWords, 1, "One paragraph"};
const bench::TranscriptFile kRangesFile{"00000000000000000000000000000002", kWords, kRanges, "Many ranges"};

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of the main thread, in ms: on a busy machine the wall time also holds the
// time other processes had the processor.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// Wall and main-thread processor time of a measured step.
struct Sample {
    double wall = 0;
    double cpu = 0;
};

class Stopwatch {
public:
    Sample stop() const { return {msSince(wall_), threadMilliseconds() - cpu_}; }

private:
    Clock::time_point wall_ = Clock::now();
    double cpu_ = threadMilliseconds();
};

void report(const char* what, const std::vector<Sample>& samples, double target)
{
    if (samples.empty())
        return;
    std::vector<double> wall;
    std::vector<double> cpu;
    for (const Sample& sample : samples) {
        wall.push_back(sample.wall);
        cpu.push_back(sample.cpu);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    const double median = cpu[cpu.size() / 2];
    std::printf("%-52s cpu median %6.2f ms, p90 %6.2f ms; wall median %6.2f ms, worst %6.2f ms (target %s <= %.0f ms)\n",
                what, median, cpu[cpu.size() * 9 / 10], wall[wall.size() / 2], wall.back(),
                median <= target ? "met," : "MISSED,", target);
}

// Types into a word in the middle of the one paragraph: each key until the row is painted.
std::vector<Sample> keystrokes(QtDispatcher& queue, ApplicationShell& shell)
{
    AppDelegate& ad = shell.ad();
    const std::shared_ptr<QVWord> word = ad.words.at(kWords / 2);
    QVTextView* row = word->speakerRange ? word->speakerRange->textView : nullptr;
    if (!row)
        return {};
    const QRectF glyphs = row->boundingRectForRange({word->characterStart, word->name().size()});
    QTest::mouseClick(row, Qt::LeftButton, {}, glyphs.center().toPoint());
    if (!waitFor([&] { return ad.currentWord == word; }))
        return {};
    settle(queue);
    QTest::keyClicks(shell.window().focusWidget(), "x");
    if (!waitFor([&] { return ad.isEditing; }))
        return {};
    settle(queue);
    std::vector<Sample> times;
    const Qt::Key keys[] = {Qt::Key_A, Qt::Key_B, Qt::Key_C, Qt::Key_Backspace, Qt::Key_D, Qt::Key_Space, Qt::Key_E};
    for (int i = 0; i < 28; ++i) {
        QWidget* focus = shell.window().focusWidget();
        const Qt::Key key = keys[i % std::size(keys)];
        const Stopwatch watch;
        QTest::keyClick(focus, key);
        settle(queue);
        shell.window().repaint();
        times.push_back(watch.stop());
    }
    QTest::keyRelease(shell.window().focusWidget(), Qt::Key_Escape);
    settle(queue);
    return times;
}

// Times `command` and its undo at words in the middle of ranges across the transcript; the
// command is given the index of its word.
void timeCommand(QtDispatcher& queue, ApplicationShell& shell, const char* name,
                 const std::function<void(std::size_t)>& command)
{
    AppDelegate& ad = shell.ad();
    std::vector<Sample> doing;
    std::vector<Sample> undoing;
    for (int r = 1; r < kRanges; r += kRanges / 40) {
        const auto index = std::size_t(r) * (kWords / kRanges) + (kWords / kRanges) / 2;
        ad.currentWord = ad.words.at(index);
        ad.currentWordIndex = std::int64_t(index);
        ad.currentSpeakerRangeIndex = r;
        settle(queue);
        // Painting aside: the window paints what changed once the figure is taken.
        shell.window().setUpdatesEnabled(false);
        const Stopwatch watch;
        command(index);
        settle(queue);
        doing.push_back(watch.stop());
        const Stopwatch undoWatch;
        ad.undoManager->undo();
        settle(queue);
        undoing.push_back(undoWatch.stop());
        shell.window().setUpdatesEnabled(true);
        settle(queue);
    }
    report(name, doing, 2);
    report((std::string(name) + ", undone").c_str(), undoing, 2);
}

// Signs in and opens the one-paragraph transcript; prints the peak memory up to then.
bool openAndReportPeak(QtDispatcher& queue, ApplicationShell& shell, const char* what)
{
    if (!bench::signIn(shell))
        return std::printf("no sign-in\n"), false;
    if (!bench::open(shell, kParagraphFile, 2))
        return std::printf("the one-paragraph transcript did not open\n"), false;
    settle(queue);
    const double peak = statusMegabytes("VmHWM:");
    std::printf("%-52s %7.1f MB (target %s <= 128 MB; resident now %.1f MB)\n", what, peak,
                peak <= 128 ? "met," : "MISSED,", statusMegabytes("VmRSS:"));
    return true;
}

// The same program against the service program serving the account's data, each in a process
// of its own, so that the peak is the program's alone.
void reportPeakAgainstServiceProgram(const QString& folder)
{
    QProcess service;
    service.start(QStringLiteral(QV_HUB_PROGRAM), {"--data", folder + "/service", "--port", "0"});
    if (!service.waitForReadyRead(30'000))
        return (void)std::printf("the service program did not start\n");
    const QString listening = QString::fromUtf8(service.readLine()).trimmed();
    const QString url = "http://127.0.0.1:" + listening.section(':', -1) + "/";
    QProcess::execute(QCoreApplication::applicationFilePath(), {"--against-service", url, folder});
    service.terminate();
    service.waitForFinished(10'000);
}

// The word commands a user gives from the editing controls, on words from `index` on.
void wordCommands(QtDispatcher& queue, ApplicationShell& shell)
{
    AppDelegate& ad = shell.ad();
    auto& editing = dynamic_cast<EditingController&>(*ad.editingServices);
    auto words = [&ad](std::size_t index, int count) {
        QVOrderedSet<QVWord> chosen;
        for (int k = 0; k < count; ++k)
            chosen.add(ad.words.at(index + std::size_t(k)));
        return chosen;
    };
    const struct {
        const char* name;
        std::function<void(std::size_t)> run;
    } commands[] = {
        {"edit one word", [&](std::size_t i) { editing.editWords(words(i, 1), QStringLiteral("replaced")); }},
        {"delete ten words", [&](std::size_t i) { editing.deleteJoin.deleteWords(words(i, 10)); }},
        {"join three words", [&](std::size_t i) { editing.deleteJoin.joinWords(words(i, 3), QString()); }},
        {"upper case", [&](std::size_t i) { editing.caseCommands.editWordsToUppercaseAll(words(i, 3), true); }},
        {"punctuation", [&](std::size_t i) { editing.punctuation.editWordsWithPunctuation(words(i, 1), QStringLiteral(";")); }},
        {"wrap in quotes", [&](std::size_t i) { editing.wrap.wrapWords(WrapCommands::Kind::DoubleQuotes, words(i, 4)); }},
        {"paragraph break", [&](std::size_t i) { editing.paragraphs.addNewParagraphForWord(ad.words.at(i)); }},
    };
    for (const auto& command : commands)
        timeCommand(queue, shell, command.name, command.run);
}

}  // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    if (!qEnvironmentVariableIsSet("QV_BENCH_HOME")) {
        qputenv("QV_BENCH_HOME", home.path().toUtf8());
        qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    }
    QVApplication application(argc, argv);
    QtDispatcher queue;
    // The account is written by a process of its own, so that the peak below is the program's
    // from its start to the file open.
    if (argc == 3 && QByteArray(argv[1]) == "--write-account")
        return bench::writeAccount(queue, QString::fromLocal8Bit(argv[2]), {kParagraphFile, kRangesFile}) ? 0 : 1;
    if (argc == 4 && QByteArray(argv[1]) == "--against-service") {
        const QString folder = QString::fromLocal8Bit(argv[3]);
        Launch launch(queue, folder + "/program", QString::fromLocal8Bit(argv[2]));
        if (!bench::start(launch))
            return std::printf("the service program was not reached\n"), 1;
        return openAndReportPeak(queue, launch.shell, "peak memory, the same against qv-hub") ? 0 : 1;
    }
    const QString folder = home.path() + "/account";
    if (QProcess::execute(QCoreApplication::applicationFilePath(), {"--write-account", folder}) != 0)
        return std::printf("the account and its files could not be written\n"), 1;
    reportPeakAgainstServiceProgram(folder);

    Launch launch(queue, folder);
    ApplicationShell& shell = launch.shell;
    if (!bench::start(launch))
        return std::printf("the service was not reached\n"), 1;
    if (!openAndReportPeak(queue, shell, "peak memory, start to 30,000 words open"))
        return 1;

    report("keystroke to paint, one 30,000-word paragraph", keystrokes(queue, shell), 16);

    if (!bench::open(shell, kRangesFile, 2))
        return std::printf("the transcript of 2,000 ranges did not open\n"), 1;
    settle(queue);
    SpeakerServices& speakers = *shell.ad().speakerServices;
    timeCommand(queue, shell, "Add Speaker Range, 2,000 ranges", [&](std::size_t) { speakers.addSpeakerRangeAutoSelect(true); });
    timeCommand(queue, shell, "move a range's start, 2,000 ranges",
                [&](std::size_t) { speakers.changeSpeakerRangeStartToCurrentWord(); });
    wordCommands(queue, shell);
    return 0;
}
