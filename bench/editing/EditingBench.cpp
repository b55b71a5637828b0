// Times the word commands on a transcript of 30,000 words, 40 speakers and 2,000 speaker
// ranges held in the in-process database: each command with its database write and undo
// registration, its undo and its redo (targets: 2 ms median each), and a copy of 5,000
// selected words (target: 20 ms).

#include "BenchTranscript.h"

#include "platform/foundation/UndoManager.h"

#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string_view>
#include <vector>

namespace {

using bench::kRanges;
using bench::kSpeakers;
using bench::kWords;
using bench::median;
using bench::timed;

constexpr int kRuns = 101;
constexpr double kCommandTargetMs = 2;
constexpr double kCopyTargetMs = 20;
constexpr int kCopiedWords = 5'000;

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    bench::BenchTranscript transcript;
    AppDelegate& ad = transcript.ad;
    qv::ManualDispatcher& main = transcript.main;
    EditingController& editing = *transcript.editing;

    // A word in the middle of a range, at run `i`, away from the words earlier runs touched.
    auto wordAt = [&](int i) { return ad.words.at(static_cast<std::size_t>(200 + i * 140)); };
    auto wordsFrom = [&](const std::shared_ptr<QVWord>& first, int count) {
        QVOrderedSet<QVWord> words;
        auto index = *ad.words.indexOf(first);
        for (int k = 0; k < count; ++k)
            words.add(ad.words.at(index + static_cast<std::size_t>(k)));
        return words;
    };
    auto single = [](const std::shared_ptr<QVWord>& word) {
        QVOrderedSet<QVWord> words;
        words.add(word);
        return words;
    };

    struct Command {
        const char* name;
        std::function<void(int)> run;
    };
    const Command commands[] = {
        {"edit one word", [&](int i) {
             ad.currentSpeakerRangeIndex = static_cast<std::int64_t>(*ad.speakerRanges.indexOf(wordAt(i)->speakerRange));
             editing.editWords(single(wordAt(i)), "replaced");
         }},
        {"delete ten words", [&](int i) { editing.deleteJoin.deleteWords(wordsFrom(wordAt(i), 10)); }},
        {"join", [&](int i) { editing.deleteJoin.joinWords(wordsFrom(wordAt(i), 3), ""); }},
        {"case", [&](int i) { editing.caseCommands.editWordsToUppercaseAll(wordsFrom(wordAt(i), 3), true); }},
        {"punctuation", [&](int i) { editing.punctuation.editWordsWithPunctuation(single(wordAt(i)), ";"); }},
        {"wrap", [&](int i) { editing.wrap.wrapWords(WrapCommands::Kind::DoubleQuotes, wordsFrom(wordAt(i), 4)); }},
        {"paragraph break", [&](int i) { editing.paragraphs.addNewParagraphForWord(wordAt(i)); }},
    };

    std::printf("editing commands: %d words, %d speakers, %d speaker ranges (%s build%s)\n", kWords, kSpeakers, kRanges,
                QV_BUILD_TYPE, std::string_view(QV_BUILD_TYPE) == "Release" ? "" : "; the targets are for a Release build");
    bool met = true;
    auto report = [&](const char* name, const char* phase, const std::vector<double>& samples, double target) {
        const double m = median(samples);
        met = met && m <= target;
        std::printf("  %-18s %-8s median %6.3f ms  (max %6.3f)  target %.0f ms: %s\n", name, phase, m,
                    *std::max_element(samples.begin(), samples.end()), target, m <= target ? "met" : "MISSED");
    };
    for (const Command& command : commands) {
        std::vector<double> doing;
        std::vector<double> undoing;
        std::vector<double> redoing;
        for (int i = 0; i < kRuns; ++i) {
            doing.push_back(timed(main, [&] { command.run(i); }));
            if (!ad.undoManager->canUndo()) {
                std::fprintf(stderr, "editing_bench: \"%s\" changed nothing\n", command.name);
                return 1;
            }
            undoing.push_back(timed(main, [&] { ad.undoManager->undo(); }));
            redoing.push_back(timed(main, [&] { ad.undoManager->redo(); }));
            ad.undoManager->undo();
            main.drain();
        }
        ad.undoManager->removeAllActions();
        report(command.name, "command", doing, kCommandTargetMs);
        report(command.name, "undo", undoing, kCommandTargetMs);
        report(command.name, "redo", redoing, kCommandTargetMs);
    }

    std::vector<double> copying;
    for (int i = 0; i < 21; ++i) {
        ad.selectionWordStart = ad.words.at(static_cast<std::size_t>(i * 100));
        ad.selectionWordEnd = ad.words.at(static_cast<std::size_t>(i * 100 + kCopiedWords - 1));
        copying.push_back(timed(main, [&] { editing.selection.copy(); }));
    }
    report("copy 5,000 words", "copy", copying, kCopyTargetMs);
    return met ? 0 : 2;
}
