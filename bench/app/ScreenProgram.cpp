// qv-screen-program: the program in its window on the X display, with the service it starts for
// itself or against a service program of its own (--service), for screen_bench to type into and
// grab from another process.
//   qv-screen-program --write-account <folder> <words> [<ranges>]
//                                                         writes an account of one file of that
//                                                         many words in that many speaker ranges
//                                                         (one when not given)
//   qv-screen-program [--service <url>] <folder> <words> [<ranges>]
//                                                         signs in, opens the file, prints
//                                                         "ready <X window>" and then answers
//                                                         one line per request read from stdin:
//     word <i>       "word <x> <y> <width> <height> <visible>": the glyphs of word i, in the
//                    window's coordinates
//     current        "current <i>": the index of the current word
//     select <i>     makes word i the current word                             "ok <cpu>"
//     add-range | range-start | speaker-name | new-speaker | undo
//                    gives the command as its button, menu item or name field does "ok <cpu>",
//                    where <cpu> is the main thread's processor time for it and the work it
//                    queued (the repaint included), in ms
//     choose         closes the speaker menu that add-range opened by choosing another
//                    speaker in it, as a person does before giving the next command  "ok <cpu>"
//     shot <path>    saves the screen as a picture                                  "ok"
//     quit
#include "BenchAccount.h"

#include "app/shell/QVApplication.h"
#include "platform/foundation/UndoManager.h"
#include "speakers/SpeakerHeaderRows.h"
#include "speakers/SpeakerHost.h"
#include "speakers/SpeakersController.h"
#include "transcript-view/QVTextView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QWindow>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace qv;
using namespace qv::shell;

namespace {

const char* const kFileUuid = "00000000000000000000000000000001";
constexpr int kLateWorkMs = 400;

bench::TranscriptFile theFile(int words, int ranges)
{
    return {kFileUuid, words, ranges, std::to_string(words) + " words"};
}

// The ranges argument at `index`, one when it is not given.
int rangesArgument(int argc, char** argv, int index)
{
    return argc > index ? std::max(1, std::atoi(argv[index])) : 1;
}

// Processor time of the main thread, in ms: what a request cost the program, whatever else ran.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

class Requests {
public:
    Requests(QtDispatcher& queue, ApplicationShell& shell) : queue_(queue), shell_(shell) {}

    // Answers one request; false for "quit".
    bool answer(const std::string& line)
    {
        AppDelegate& ad = shell_.ad();
        auto& speakers = dynamic_cast<speakers::SpeakersController&>(*ad.speakerServices);
        const auto space = line.find(' ');
        const std::string name = line.substr(0, space);
        const long index = space == std::string::npos || name == "shot" ? -1 : std::stol(line.substr(space + 1));
        if (name == "quit")
            return false;
        if (name == "shot") {
            const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromStdString(line.substr(space + 1)));
            std::printf("%s\n", saved ? "ok" : "not saved");
        } else if (name == "current") {
            const auto current = ad.currentWord ? ad.words.indexOf(ad.currentWord) : std::nullopt;
            std::printf("current %lld\n", current ? static_cast<long long>(*current) : -1LL);
        } else if (name == "word") {
            const auto word = ad.words.at(std::size_t(index));
            QVTextView* row = word->speakerRange ? word->speakerRange->textView : nullptr;
            const QRectF glyphs = row ? row->boundingRectForRange({word->characterStart, word->name().size()}) : QRectF();
            const QRect inWindow(row ? row->mapTo(&shell_.window(), glyphs.topLeft().toPoint()) : QPoint(), glyphs.size().toSize());
            const bool visible = row && row->visibleRegion().contains(glyphs.center().toPoint());
            std::printf("word %d %d %d %d %d\n", inWindow.x(), inWindow.y(), inWindow.width(), inWindow.height(), int(visible));
        } else {
            const double cpu = threadMilliseconds();
            if (name == "select") {
                // What the last undo started late (seeks, scrolls) highlights the word at the
                // player's time, which the file without media keeps at its start: it is let
                // finish first, so that it does not take the current word back there.
                bench::waitFor([] { return false; }, kLateWorkMs);
                selected_ = ad.words.at(std::size_t(index));
                ad.currentWord = selected_;
                ad.currentWordIndex = index;
                ad.currentSpeakerRangeIndex = std::int64_t(ad.speakerRanges.indexOf(ad.currentWord->speakerRange).value_or(0));
            } else if (name == "add-range") {
                speakers.ranges().buttonPressedAddSpeakerRange();
            } else if (name == "range-start") {
                speakers.ranges().buttonPressedStartCurrentSpeakerRange();
            } else if (name == "speaker-name") {
                const auto speaker = selectedRange()->speaker;
                speakers.records().editSpeakerNameFinish(speaker, QStringLiteral("Renamed %1").arg(++renamed_));
            } else if (name == "new-speaker") {
                speakers.assignment().changeSpeakerRange(selectedRange(), nullptr,
                                                         speakers::kChangeNewSpeaker, false);
            } else if (name == "choose") {
                if (!chooseAnotherSpeaker(speakers)) {
                    std::printf("no speaker menu to choose in\n");
                    std::fflush(stdout);
                    return true;
                }
            } else if (name == "undo") {
                ad.undoManager->undo();
            } else {
                std::printf("unknown request %s\n", line.c_str());
                std::fflush(stdout);
                return true;
            }
            bench::settle(queue_);
            std::printf("ok %.3f\n", threadMilliseconds() - cpu);
        }
        std::fflush(stdout);
        return true;
    }

private:
    // The range of the word selected last: what the header a person clicks belongs to, even
    // where late work has since made the word at the player's time current.
    std::shared_ptr<QVSpeakerRange> selectedRange() const
    {
        return (selected_ ? selected_ : shell_.ad().currentWord)->speakerRange;
    }

    // What a person's click on another speaker in the pending range's open menu does: the menu
    // closes and the choice is handed to the header rows.
    bool chooseAnotherSpeaker(speakers::SpeakersController& speakers)
    {
        AppDelegate& ad = shell_.ad();
        const auto range = ad.pendingNewSpeakerRange;
        const auto index = range ? ad.speakerRanges.indexOf(range) : std::nullopt;
        auto* cell = index ? speakers.host().existingHeaderCell(2 * std::int64_t(*index)) : nullptr;
        if (!cell)
            return false;
        const speakers::SpeakerMenu menu = speakers.headerRows().menuForRange(std::int64_t(*index));
        const auto other = std::find_if(menu.items.begin(), menu.items.end(), [&range](const speakers::SpeakerMenuItem& item) {
            return item.tag == speakers::kTagSpeaker && item.speaker && item.speaker != range->speaker;
        });
        if (other == menu.items.end())
            return false;
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        speakers.headerRows().changedSpeakerPopup(cell, *other);
        return true;
    }

    QtDispatcher& queue_;
    ApplicationShell& shell_;
    int renamed_ = 0;
    std::shared_ptr<QVWord> selected_;
};

}  // namespace

int main(int argc, char** argv)
{
    QVApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    QtDispatcher queue;
    if ((argc == 4 || argc == 5) && QByteArray(argv[1]) == "--write-account") {
        const bench::TranscriptFile file = theFile(std::atoi(argv[3]), rangesArgument(argc, argv, 4));
        return bench::writeAccount(queue, QString::fromLocal8Bit(argv[2]), {file}) ? 0 : 1;
    }
    QString service;
    if (argc > 2 && QByteArray(argv[1]) == "--service") {
        service = QString::fromLocal8Bit(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc != 3 && argc != 4)
        return std::fprintf(stderr, "usage: qv-screen-program [--write-account | --service <url>] <folder> <words> [<ranges>]\n"), 2;
    const bench::TranscriptFile file = theFile(std::atoi(argv[2]), rangesArgument(argc, argv, 3));
    bench::Launch launch(queue, QString::fromLocal8Bit(argv[1]), service);
    // The file has no media: the warning about it would cover the words, as though a user had
    // not yet said not to show it again.
    launch.preferences.setObject("QVShowMissingMediaWarning", false);
    ApplicationShell& shell = launch.shell;
    if (!bench::start(launch) || !bench::signIn(shell) || !bench::open(shell, file, 1))
        return std::printf("the file did not open\n"), 1;
    MainWindow& window = shell.window();
    window.activateWindow();
    if (!bench::waitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }))
        return std::printf("the window was not shown\n"), 1;
    bench::settle(queue);
    std::printf("ready %llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);

    Requests requests(queue, shell);
    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t read = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (read <= 0)
            return QApplication::quit();
        pending.append(buffer, std::size_t(read));
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!requests.answer(line))
                return QApplication::quit();
        }
    });
    return application.exec();
}
