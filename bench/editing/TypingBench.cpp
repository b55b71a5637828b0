// Times typing during an inline edit on a transcript of 30,000 words, 40 speakers and 2,000
// speaker ranges: each keystroke as the row's text view receives it (the refusal rules, the
// change filter, the stored change) with the relayout of the row (target: 4 ms median), and the
// commit of the edit with its database writes and undo registration (target: 5 ms median).

#include "BenchTranscript.h"

#include "platform/foundation/UndoManager.h"
#include "transcript-view/QVTextView.h"
#include "transcript-view/TranscriptRowText.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

using bench::median;
using bench::timed;

constexpr int kRuns = 101;
constexpr double kKeystrokeTargetMs = 4;
constexpr double kCommitTargetMs = 5;
// Width of the row's text view, in points.
constexpr int kRowWidth = 700;

// What the user types into each edit: letters, a blank that splits the word, and a Delete.
struct Keystroke {
    Qt::Key key;
    const char* text;
};
constexpr Keystroke kKeystrokes[] = {
    {Qt::Key_A, "a"}, {Qt::Key_B, "b"}, {Qt::Key_Space, " "}, {Qt::Key_C, "c"}, {Qt::Key_D, "d"}, {Qt::Key_Backspace, ""},
};

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    bench::BenchTranscript transcript;
    AppDelegate& ad = transcript.ad;
    qv::ManualDispatcher& main = transcript.main;
    EditingController& editing = *transcript.editing;

    QVTextView textView(ad, main);
    QFont font = textView.defaultFont();
    font.setPointSizeF(14);
    textView.setDefaultFont(font);
    textView.setLineSpacing(8);
    textView.resize(kRowWidth, 200);
    editing.setCurrentTextViewModel([&textView] { return &textView.model(); });

    std::vector<double> keystrokes;
    std::vector<double> keystrokesCpu;
    std::vector<double> commits;
    std::vector<double> commitsCpu;
    double cpu = 0;
    for (int i = 0; i < kRuns; ++i) {
        // A different range each run, away from the ranges earlier runs edited; two words in its
        // middle are edited.
        const std::size_t rangeIndex = static_cast<std::size_t>(10 + i * 19);
        const auto range = ad.speakerRanges.at(rangeIndex);
        const std::int64_t end = ad.speakerRanges.at(rangeIndex + 1)->start;
        const auto row = qv::transcript::buildRowText(ad, range, end);
        if (!row) {
            std::fprintf(stderr, "typing_bench: range %zu has no words\n", rangeIndex);
            return 1;
        }
        textView.model().setString(row->string);
        textView.invalidateLayout();
        textView.usedHeight(kRowWidth);
        ad.currentTextView = &textView;
        ad.currentSpeakerRangeIndex = static_cast<std::int64_t>(rangeIndex);
        const auto first = static_cast<std::size_t>(range->start / 400) + 5;
        ad.currentWord = ad.words.at(first);
        ad.selectionWordStart = ad.words.at(first);
        ad.selectionWordEnd = ad.words.at(first + 1);
        editing.session.editWordsStartWithMode(WordEditingSession::kQVEditWordSelectAll);
        main.drain();
        if (!ad.isEditing) {
            std::fprintf(stderr, "typing_bench: the edit did not open\n");
            return 1;
        }

        for (const Keystroke& keystroke : kKeystrokes) {
            keystrokes.push_back(timed(main, [&] {
                QKeyEvent press(QEvent::KeyPress, keystroke.key, Qt::NoModifier, QString::fromUtf8(keystroke.text));
                QCoreApplication::sendEvent(&textView, &press);
                textView.usedHeight(kRowWidth);
            }, &cpu));
            keystrokesCpu.push_back(cpu);
        }
        commits.push_back(timed(main, [&] { editing.session.editWordsFinishWithResumePlayback(false); }, &cpu));
        commitsCpu.push_back(cpu);
        if (ad.isEditing || !ad.undoManager->canUndo()) {
            std::fprintf(stderr, "typing_bench: the edit was not committed\n");
            return 1;
        }
        ad.undoManager->undo();
        main.drain();
        ad.undoManager->removeAllActions();
    }

    std::printf("typing: %d words, %d speaker ranges (%s build%s)\n", bench::kWords, bench::kRanges, QV_BUILD_TYPE,
                std::string_view(QV_BUILD_TYPE) == "Release" ? "" : "; the targets are for a Release build");
    bool met = true;
    // The target is judged on the clock; the processor time beside it shows what a busy machine added.
    const auto report = [&](const char* name, const std::vector<double>& samples, const std::vector<double>& cpuSamples,
                            double target) {
        const double m = median(samples);
        met = met && m <= target;
        std::printf("  %-10s median %6.3f ms  (max %6.3f, %zu samples; processor time median %6.3f ms)  target %.0f ms: %s\n",
                    name, m, *std::max_element(samples.begin(), samples.end()), samples.size(), median(cpuSamples), target,
                    m <= target ? "met" : "MISSED");
    };
    report("keystroke", keystrokes, keystrokesCpu, kKeystrokeTargetMs);
    report("commit", commits, commitsCpu, kCommitTargetMs);
    return met ? 0 : 2;
}
