// The program as a person sees it: qv-screen-program, a process of its own on the X display,
// typed into with X-level keystrokes (XTest) while its window is grabbed from this process
// until the change shows. The same figures for a file of 30,000 words in one speaker range (as
// the transcription worker writes it), of the same words in 2,000 ranges of 15, and of 16 words,
// each in a new process with the embedded service. Figures and targets:
//   keystroke to paint: key press sent to the typed character's pixels in the window, typing
//   inside a word (made the current word by the program, as a click would; the file has no
//   media, so a click cannot move the current word there)      <= 16 ms median, <= 24 ms p90
//   peak memory of the program from its start to the file open           <= 128 MB
//   (VmHWM of the program's process; beside it the same with the service as a program of its own,
//   qv-hub, as the peak is measured from outside: the program's alone)
//   Add Speaker Range, moving a range's start, a speaker's name, Add New Speaker: request
//   sent to the changed rows in the window, through the real table       <= 2 ms median each
// Needs an X server with XTest and MIT-SHM (Xvfb has both); meaningful only in an optimised build:
//   cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release
//   Xvfb :47 -screen 0 1600x1000x24 & DISPLAY=:47 build-release/bench/app/screen_bench
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kChangeDeadlineMs = 3'000;
constexpr double kQuietMs = 80;
constexpr int kKeystrokes = 40;
constexpr int kCommandRounds = 12;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::string loadAverage()
{
    QFile file("/proc/loadavg");
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').mid(0, 3).join(' ').toStdString() : "?";
}

double statusMegabytes(const char* field, qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// A band of a window, read from the X server through shared memory.
class Band {
public:
    Band(Display* display, Window window, QRect rect) : display_(display), window_(window)
    {
        XWindowAttributes attributes{};
        XGetWindowAttributes(display, window, &attributes);
        rect_ = rect.intersected(QRect(0, 0, attributes.width, attributes.height));
        image_ = XShmCreateImage(display, attributes.visual, unsigned(attributes.depth), ZPixmap, nullptr, &segment_,
                                 unsigned(rect_.width()), unsigned(rect_.height()));
        segment_.shmid = shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * std::size_t(image_->height), IPC_CREAT | 0600);
        segment_.shmaddr = image_->data = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
        segment_.readOnly = False;
        XShmAttach(display, &segment_);
        XSync(display, False);
        shmctl(segment_.shmid, IPC_RMID, nullptr);
    }
    ~Band()
    {
        XShmDetach(display_, &segment_);
        XSync(display_, False);
        XDestroyImage(image_);
        shmdt(segment_.shmaddr);
    }
    Band(const Band&) = delete;
    Band& operator=(const Band&) = delete;

    std::vector<char> grab()
    {
        XShmGetImage(display_, window_, image_, rect_.x(), rect_.y(), AllPlanes);
        return {image_->data, image_->data + std::size_t(image_->bytes_per_line) * std::size_t(image_->height)};
    }
    // Grabs until the band differs from `before`: ms since `start`, none past the deadline.
    std::optional<double> waitForChange(const std::vector<char>& before, Clock::time_point start)
    {
        const std::size_t size = before.size();
        while (msSince(start) < kChangeDeadlineMs) {
            XShmGetImage(display_, window_, image_, rect_.x(), rect_.y(), AllPlanes);
            if (std::memcmp(image_->data, before.data(), size) != 0)
                return msSince(start);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        return std::nullopt;
    }
    // The band once it has not changed for a while: what the next change is seen against.
    std::vector<char> quiet()
    {
        std::vector<char> last = grab();
        auto still = Clock::now();
        const auto start = Clock::now();
        while (msSince(still) < kQuietMs && msSince(start) < kChangeDeadlineMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::vector<char> now = grab();
            if (now != last) {
                last = std::move(now);
                still = Clock::now();
            }
        }
        return last;
    }

private:
    Display* display_;
    Window window_;
    QRect rect_;
    XShmSegmentInfo segment_{};
    XImage* image_ = nullptr;
};

// The program with a file of `words` words open, in its own process on this display; with the
// service it starts for itself, or against the one at `service`.
class Program {
public:
    Program(const QString& executable, const QString& folder, int words, int ranges, const QString& service = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList file{folder, QString::number(words), QString::number(ranges)};
        process_.start(executable, service.isEmpty() ? file : QStringList{"--service", service} + file);
    }
    ~Program()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.write("quit\n");
            if (!process_.waitForFinished(30'000))
                process_.kill();
        }
    }
    qint64 pid() const { return process_.processId(); }

    // The next line the program prints; empty once it has ended or after two minutes.
    std::string line()
    {
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(120'000))
                return {};
        return process_.readLine().trimmed().toStdString();
    }
    void send(const std::string& request)
    {
        process_.write((request + "\n").c_str());
        process_.waitForBytesWritten(1'000);
    }
    std::string ask(const std::string& request)
    {
        send(request);
        return line();
    }

private:
    QProcess process_;
};

struct Figures {
    double peakMegabytes = -1;
    // The same with the service in a process of its own.
    double peakApartMegabytes = -1;
    std::vector<double> keystrokes;
    int keystrokesUnseen = 0;
    std::map<std::string, std::vector<double>> commands;
    // The program's main-thread processor time for each command, what the machine's load adds
    // least to.
    std::map<std::string, std::vector<double>> commandsCpu;
    std::map<std::string, int> commandsUnseen;
};

double percentile(std::vector<double> values, int percent)
{
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    return values[values.size() * std::size_t(percent) / 100];
}

class Input {
public:
    explicit Input(Display* display) : display_(display) {}

    void key(KeySym symbol)
    {
        const KeyCode code = XKeysymToKeycode(display_, symbol);
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
        XFlush(display_);
    }
    Display* display() const { return display_; }

private:
    Display* display_;
};

std::optional<QRect> wordRect(Program& program, int index)
{
    const QStringList answer = QString::fromStdString(program.ask("word " + std::to_string(index))).split(' ');
    if (answer.size() != 6 || answer[0] != "word" || answer[5] != "1")
        return std::nullopt;
    return QRect(answer[1].toInt(), answer[2].toInt(), answer[3].toInt(), answer[4].toInt());
}

// Types into `word`: each key from its press to its pixels on the word's line.
bool typeInto(Input& input, Program& program, Window window, int word, Figures& figures)
{
    // The rows are placed once the window has stopped changing.
    Band(input.display(), window, QRect(0, 0, 100'000, 100'000)).quiet();
    const auto rect = wordRect(program, word);
    if (!rect)
        return std::printf("word %d is not on the screen\n", word), false;
    Band line(input.display(), window, QRect(0, rect->y() - 2, 100'000, rect->height() + 4));
    std::vector<char> before = line.quiet();
    program.ask("select " + std::to_string(word));
    before = line.quiet();
    if (program.ask("current") != "current " + std::to_string(word))
        return std::printf("the click did not make word %d the current word (%s)\n", word, program.ask("current").c_str()), false;
    // The first character starts the edit; those after it are typed inside the word.
    input.key(XK_x);
    line.waitForChange(before, Clock::now());
    const KeySym keys[] = {XK_a, XK_b, XK_c, XK_BackSpace, XK_d, XK_e, XK_BackSpace, XK_f};
    for (int i = 0; i < kKeystrokes; ++i) {
        before = line.quiet();
        const auto start = Clock::now();
        input.key(keys[i % std::size(keys)]);
        if (const auto time = line.waitForChange(before, start))
            figures.keystrokes.push_back(*time);
        else
            ++figures.keystrokesUnseen;
    }
    input.key(XK_Escape);
    line.quiet();
    return true;
}

const char* const kCommands[] = {"add-range", "range-start", "speaker-name", "new-speaker"};

// Gives the four range commands at words from `first` on, each timed from the request sent to
// the rows around the word changed in the window (the new range given another speaker in its
// menu before the next command), then undoes them.
bool giveRangeCommands(Input& input, Program& program, Window window, int first, int step, Figures& figures)
{
    for (int round = 0; round < kCommandRounds; ++round) {
        const int word = first + (round % 4) * step;
        const auto rect = wordRect(program, word);
        if (!rect)
            return std::printf("word %d is not on the screen\n", word), false;
        // The rows from two lines above the word to two below: the new header, the moved one
        // and the renamed one all fall in them.
        Band rows(input.display(), window, QRect(0, rect->y() - 3 * rect->height(), 100'000, 7 * rect->height()));
        for (const char* command : kCommands) {
            if (command == std::string("add-range") || command == std::string("range-start"))
                program.ask("select " + std::to_string(command == std::string("add-range") ? word : word + 2));
            const std::vector<char> before = rows.quiet();
            const auto start = Clock::now();
            program.send(command);
            const auto time = rows.waitForChange(before, start);
            const std::string done = program.line();
            if (done.rfind("ok ", 0) != 0)
                return std::printf("%s was not done\n", command), false;
            figures.commandsCpu[command].push_back(std::stod(done.substr(3)));
            if (time)
                figures.commands[command].push_back(*time);
            else
                ++figures.commandsUnseen[command];
            // A person closes the menu that Add Speaker Range opens before the next command:
            // one left open would take the next menu over it.
            if (command == std::string("add-range") && program.ask("choose").rfind("ok ", 0) != 0)
                return std::printf("no speaker could be chosen for the new range\n"), false;
        }
        for (int undo = 0; undo < 4; ++undo)
            program.ask("undo");
        rows.quiet();
    }
    return true;
}

std::optional<Figures> measure(Input& input, const QString& executable, const QString& folder, int words, int ranges)
{
    Figures figures;
    Program program(executable, folder, words, ranges);
    const std::string ready = program.line();
    if (ready.rfind("ready ", 0) != 0)
        return std::printf("%d words: the program did not open the file (%s)\n", words, ready.c_str()), std::nullopt;
    figures.peakMegabytes = statusMegabytes("VmHWM:", program.pid());
    const Window window = std::stoul(ready.substr(6));
    XSetInputFocus(input.display(), window, RevertToParent, CurrentTime);
    XSync(input.display(), False);
    const int typed = words < 100 ? words / 2 : 40;
    if (!typeInto(input, program, window, typed, figures))
        return std::nullopt;
    const int first = words < 100 ? 3 : 41;
    const int step = words < 100 ? 2 : 25;
    if (!giveRangeCommands(input, program, window, first, step, figures))
        return std::nullopt;
    return figures;
}

// The program's peak from its start to the file open, against the account's service run as
// qv-hub in a process of its own: what the program itself holds, as measured from outside.
double peakAgainstServiceProgram(const QString& executable, const QString& folder, int words, int ranges)
{
    QProcess service;
    service.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service.start(QStringLiteral(QV_HUB_PROGRAM), {"--data", folder + "/service", "--port", "0"});
    double peak = -1;
    if (service.waitForReadyRead(30'000)) {
        const QString listening = QString::fromUtf8(service.readLine()).trimmed();
        Program program(executable, folder, words, ranges, "http://127.0.0.1:" + listening.section(':', -1) + "/");
        const std::string ready = program.line();
        if (ready.rfind("ready ", 0) == 0)
            peak = statusMegabytes("VmHWM:", program.pid());
        else
            std::printf("%d words against qv-hub: the program did not open the file (%s)\n", words, ready.c_str());
    } else {
        std::printf("qv-hub did not start\n");
    }
    service.terminate();
    if (!service.waitForFinished(10'000))
        service.kill();
    return peak;
}

void row(const char* what, const std::vector<std::string>& columns, const char* target)
{
    std::printf("%-44s", what);
    for (const std::string& column : columns)
        std::printf(" %-22s", column.c_str());
    std::printf(" %s\n", target);
}

std::string format(const char* pattern, double a, double b = 0)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    Display* display = XOpenDisplay(nullptr);
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!display)
        return std::printf("no X display: run with DISPLAY set (Xvfb)\n"), 1;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor) || !XShmQueryExtension(display))
        return std::printf("the X server lacks XTest or MIT-SHM\n"), 1;
    XkbSetDetectableAutoRepeat(display, True, nullptr);
    Input input(display);

    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    const QString executable = QCoreApplication::applicationDirPath() + "/qv-screen-program";
    const struct {
        int words;
        int ranges;
        const char* title;
    } files[] = {{16, 1, "16 words"}, {30'000, 1, "30,000 words"}, {30'000, 2'000, "30,000 in 2,000 ranges"}};
    std::vector<Figures> figures;
    const std::string loadBefore = loadAverage();
    for (const auto& file : files) {
        const QString folder = home.path() + QStringLiteral("/account-%1-%2").arg(file.words).arg(file.ranges);
        QProcess writer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        writer.setProcessEnvironment(environment);
        writer.setProcessChannelMode(QProcess::ForwardedChannels);
        writer.start(executable, {"--write-account", folder, QString::number(file.words), QString::number(file.ranges)});
        if (!writer.waitForFinished(300'000) || writer.exitCode() != 0)
            return std::printf("the account of %s could not be written\n", file.title), 1;
        auto measured = measure(input, executable, folder, file.words, file.ranges);
        if (!measured)
            return 1;
        measured->peakApartMegabytes = peakAgainstServiceProgram(executable, folder, file.words, file.ranges);
        figures.push_back(*measured);
    }
    std::printf("screen_bench on %s, load average %s before, %s after\n", DisplayString(display), loadBefore.c_str(),
                loadAverage().c_str());
    auto columns = [&figures](const std::function<std::string(const Figures&)>& column) {
        std::vector<std::string> all;
        for (const Figures& f : figures)
            all.push_back(column(f));
        return all;
    };
    std::vector<std::string> titles;
    for (const auto& file : files)
        titles.emplace_back(file.title);
    row("", titles, "target");
    row("keystroke to paint, median / p90 (ms)", columns([](const Figures& f) {
            return format("%.1f / %.1f", percentile(f.keystrokes, 50), percentile(f.keystrokes, 90))
                + (f.keystrokesUnseen ? format(" (%.0f unseen)", f.keystrokesUnseen) : "");
        }),
        "<= 16 / 24");
    row("peak memory, start to the file open (MB)", columns([](const Figures& f) { return format("%.1f", f.peakMegabytes); }),
        "<= 128 (30,000 words)");
    row("  the same, the service apart (qv-hub) (MB)",
        columns([](const Figures& f) { return format("%.1f", f.peakApartMegabytes); }), "<= 128 (30,000 words)");
    const char* names[] = {"Add Speaker Range, median (ms)", "move a range's start, median (ms)",
                           "a speaker's name, median (ms)", "Add New Speaker, median (ms)"};
    for (std::size_t i = 0; i < std::size(kCommands); ++i) {
        row(names[i], columns([i](const Figures& f) {
                const auto found = f.commands.find(kCommands[i]);
                const auto cpu = f.commandsCpu.find(kCommands[i]);
                const auto unseen = f.commandsUnseen.find(kCommands[i]);
                return (found == f.commands.end()
                            ? std::string("unseen")
                            : format("%.2f (cpu %.2f)", percentile(found->second, 50), percentile(cpu->second, 50)))
                       + (unseen == f.commandsUnseen.end() ? "" : format(" (%.0f unseen)", unseen->second));
            }),
            "<= 2");
    }
    XCloseDisplay(display);
    return 0;
}
