// The desktop capture of the main window on real screens: each picture of the shared screens
// folder is shown as the root window of an Xvfb server of its size, started by this program,
// and the program's own windows run on that server (one child process per screen, since a Qt
// application talks to one display for its whole life).
//
//   capture_to_shown/<screen>  Capture_bureauClick from the end of the mandated wait to the
//                              picture painted on the screen: grab, grabbed capture file,
//                              window fitted, picture assigned and repainted, first snapshot
//   grab/<screen>              grab_screen alone
//   write_bmp/<screen>         the grabbed capture file alone
//   show/<screen>              the picture assigned to the picture view and painted
//   push_snapshot/<screen>     recording the first snapshot
//   history/<screen>           memory of one history entry after an edit: History::bytes() per
//                              entry and the process's resident-memory growth per edit, over ten
//                              edits that each draw on the picture
//
//   negative/<screen>          the negative effect from its menu item to the picture painted, on
//                              the capture as it comes (its pixels shared with the history):
//                              the effect, the repaint and the snapshot; counter in_place_ms: the
//                              effect alone on pixels the picture owns, in the same run
//   undo/<screen>              an undo from its menu item to the picture painted, after a
//                              highlighter stamp recorded; counter history_ms: the history's own
//                              work for the same step (History::at), in the same run
//
// Environment: KAP_CAPTURE_BENCH_SCREENS, a comma-separated list of screen names of the shared
// folder (default "desktop-1080,desktop-2160"); "desktop-4320" is an 8K screen (the 4K desktop
// four times).

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/startup.h"
#include "bench/support/screens.h"
#include "capture/screen_grabber.h"
#include "codec/bmp.h"
#include "edit/history.h"
#include "edit/history_commands.h"
#include "edit/picture_view.h"
#include "edit/raster.h"
#include "edit/working_files.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "platform/wait.h"
#include "platform/x11/x11_screen.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/x_desktop.h"
#include "tests/support/xvfb_server.h"

#include <benchmark/benchmark.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QWindow>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const char* const child_variable = "KAP_CAPTURE_BENCH_SCREEN";

// --- Parent: one Xvfb per screen, one child per server ----------------------------------------

int run_parent(char** argv) {
    const QByteArray list = qEnvironmentVariableIsSet("KAP_CAPTURE_BENCH_SCREENS")
                                ? qgetenv("KAP_CAPTURE_BENCH_SCREENS")
                                : QByteArray("desktop-1080,desktop-2160");
    int status_all = 0;
    for (const QByteArray& name : list.split(',')) {
        const QImage picture = shared_screen(QString::fromLatin1(name));
        if (picture.isNull()) {
            std::fprintf(stderr, "cannot read the screen %s\n", name.constData());
            return 1;
        }
        XvfbServer server(std::to_string(picture.width()) + "x" + std::to_string(picture.height()) +
                          "x24");
        if (server.name.empty()) {
            std::fprintf(stderr, "cannot start Xvfb for %s\n", name.constData());
            return 1;
        }
        // Kept open while the child runs: the root picture stays in place.
        XDesktop desktop(server.name.c_str());
        if (!desktop.ok()) {
            std::fprintf(stderr, "cannot connect to Xvfb for %s\n", name.constData());
            return 1;
        }
        desktop.show_on_root(picture);
        std::fflush(stdout);
        const pid_t child = fork();
        if (child == 0) {
            setenv("DISPLAY", server.name.c_str(), 1);
            setenv(child_variable, name.constData(), 1);
            execv("/proc/self/exe", argv);
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            status_all = 1;
    }
    return status_all;
}

// --- Child: the program's windows on one screen -----------------------------------------------

// The real X11 screen, noting when the capture asks it for what: the grab's start and end,
// and the work area, which the capture asks for once the grabbed capture file is written.
class TimedScreen final : public Screen {
public:
    Clock::time_point grab_start, grab_end, work_area_asked;
    ScreenRect primary_display() override { return real.primary_display(); }
    ScreenRect virtual_desktop() override { return real.virtual_desktop(); }
    ScreenRect work_area() override {
        work_area_asked = Clock::now();
        return real.work_area();
    }
    void grab(QImage& raster, const ScreenRect& rect) override {
        grab_start = Clock::now();
        real.grab(raster, rect);
        grab_end = Clock::now();
    }
    std::optional<ScreenRect> foreground_window() override { return real.foreground_window(); }
    std::optional<CursorState> cursor() override { return real.cursor(); }
    void sync() override { real.sync(); }

private:
    X11Screen real;
};

TimedScreen* timed_screen = nullptr;

double ms(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Notes when the picture view paints.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

PaintWatch* paint_watch = nullptr;
Clock::time_point wait_end;

// Processes events until the picture view has painted, then makes sure the server has what
// was sent to it. False when no paint came within two seconds.
bool until_painted() {
    QElapsedTimer timer;
    timer.start();
    while (!paint_watch->painted) {
        if (timer.elapsed() > 2000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    QGuiApplication::sync();
    return true;
}

// The wait before the grab ends at once (after its round trip to the server, which the real
// wait makes before sleeping) and notes the moment.
void install_instant_wait() {
    set_waiter([](int) {
        ::screen().sync();
        paint_watch->painted = false;
        wait_end = Clock::now();
    });
}

void bm_capture_to_shown(benchmark::State& state) {
    install_instant_wait();
    set_screen(timed_screen);
    // Where the time goes, summed over the iterations: the grab (the wait's end to the grab's
    // end), the grabbed capture file (to the window's fitting), the window fitted, the picture
    // assigned and recorded (to the end of the click handler), and the paint.
    double grab = 0, file = 0, show = 0, paint = 0;
    for (auto _ : state) {
        Form1->Capture_bureauClick();
        const Clock::time_point returned = Clock::now();
        if (!until_painted()) {
            state.SkipWithError("the picture was never painted");
            break;
        }
        const Clock::time_point painted = Clock::now();
        state.SetIterationTime(ms(wait_end, painted) / 1000);
        grab += ms(wait_end, timed_screen->grab_end);
        file += ms(timed_screen->grab_end, timed_screen->work_area_asked);
        show += ms(timed_screen->work_area_asked, returned);
        paint += ms(returned, painted);
    }
    set_screen(nullptr);
    set_waiter({});
    const double n = double(std::max<benchmark::IterationCount>(1, state.iterations()));
    state.counters["grab_ms"] = grab / n;
    state.counters["file_ms"] = file / n;
    state.counters["show_ms"] = show / n;
    state.counters["paint_ms"] = paint / n;
}

void bm_grab(benchmark::State& state) {
    for (auto _ : state) {
        QImage raster = grab_screen(false);
        benchmark::DoNotOptimize(raster.constBits());
    }
}

void bm_write_bmp(benchmark::State& state) {
    const QImage raster = grab_screen(false);
    for (auto _ : state)
        write_bmp(raster, grabbed_capture_file());
    state.SetBytesProcessed(state.iterations() * raster.sizeInBytes());
}

void bm_show(benchmark::State& state) {
    const QImage raster = grab_screen(false);
    QImage other = raster.copy();
    other.invertPixels();
    bool flip = false;
    for (auto _ : state) {
        paint_watch->painted = false;
        Form1->Image1->assign_pixels(flip ? raster : other);
        Form1->Image1->picture_changed();
        flip = !flip;
        if (!until_painted()) {
            state.SkipWithError("the picture was never painted");
            break;
        }
    }
}

void bm_push_snapshot(benchmark::State& state) {
    for (auto _ : state) {
        Form1->commands().history.history().clear();
        Form1->commands().history.push_snapshot();
    }
}

// A fresh capture on the screen, painted; false when it was not.
bool fresh_capture() {
    install_instant_wait();
    Form1->Capture_bureauClick();
    set_waiter({});
    return until_painted();
}

void bm_negative(benchmark::State& state) {
    if (!fresh_capture()) {
        state.SkipWithError("the capture was never painted");
        return;
    }
    double in_place = 0;
    for (auto _ : state) {
        // The picture as a capture (or the negative before) leaves it: its pixels shared with
        // the history.
        paint_watch->painted = false;
        const auto t0 = Clock::now();
        Form1->Effetngatif1Click();
        if (!until_painted()) {
            state.SkipWithError("the picture was never painted");
            break;
        }
        state.SetIterationTime(ms(t0, Clock::now()) / 1000);
        QImage own = Form1->Image1->picture().copy();
        const auto t1 = Clock::now();
        negate_picture(own);
        in_place += ms(t1, Clock::now());
    }
    state.counters["in_place_ms"] =
        in_place / double(std::max<benchmark::IterationCount>(1, state.iterations()));
}

void bm_undo(benchmark::State& state) {
    if (!fresh_capture()) {
        state.SkipWithError("the capture was never painted");
        return;
    }
    HistoryCommands& commands = Form1->commands().history;
    double history_work = 0;
    int n = 0;
    for (auto _ : state) {
        // A highlighter stamp, recorded as the tool records it.
        const QRect stamp(40 + (n * 397) % 1200, 40 + (n * 211) % 800, 300, 20);
        ++n;
        Form1->repaint_picture(stamp_and(Form1->Image1->picture_for_drawing(), stamp.x(), stamp.y(),
                                         stamp.width(), stamp.height(), 0x0000FFFF));
        commands.record_change();
        paint_watch->painted = false;
        const auto t0 = Clock::now();
        Form1->Dfaire1Click();
        if (!until_painted()) {
            state.SkipWithError("the picture was never painted");
            break;
        }
        state.SetIterationTime(ms(t0, Clock::now()) / 1000);
        Form1->Rfaire1Click();
        // The same step back through the history alone, then forth again.
        History& history = commands.history();
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(history.at(history.count() - 2).constBits());
        history_work += ms(t1, Clock::now());
        Form1->Image1->picture_for_drawing() = history.at(history.count() - 1);
    }
    state.counters["history_ms"] =
        history_work / double(std::max<benchmark::IterationCount>(1, state.iterations()));
}

long resident_bytes() {
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

void bm_history(benchmark::State& state) {
    constexpr int kEdits = 10;
    install_instant_wait();
    for (auto _ : state) {
        Form1->Capture_bureauClick();
        until_painted();
        set_waiter({});
        // Free memory kept by the allocator would hide the growth: hand it back first.
        malloc_trim(0);
        const long before = resident_bytes();
        for (int i = 0; i < kEdits; ++i) {
            // An edit as the tools make one: draw on the picture, then record it.
            {
                QPainter painter(&Form1->Image1->picture_for_drawing());
                painter.setPen(QPen(Qt::red, 5));
                painter.drawLine(10 + i * 20, 10, 200 + i * 20, 300);
            }
            Form1->Image1->picture_changed();
            Form1->commands().history.push_snapshot();
        }
        const long after = resident_bytes();
        const QImage& picture = Form1->Image1->picture();
        state.counters["entries"] = Form1->commands().history.history().count();
        state.counters["bytes_per_entry"] = double(Form1->commands().history.history().bytes()) /
                                            Form1->commands().history.history().count();
        state.counters["rss_per_edit"] = double(after - before) / kEdits;
        state.counters["raw_24bit"] = double(picture.width()) * picture.height() * 3;
    }
}

bool same_pixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    const size_t row = size_t(a.width()) * size_t(a.depth() / 8);
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), row) != 0)
            return false;
    return true;
}

int run_child(int argc, char** argv) {
    const QString name = QString::fromLocal8Bit(qgetenv(child_variable));
    qputenv("QT_QPA_PLATFORM", "xcb");
    KapApplication app(argc, argv);
    QTemporaryDir temp;
    if (!temp.isValid())
        return 1;
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    FakeDialogs dialogs;
    set_dialogs(&dialogs);
    create_windows();
    Form5->resize->setChecked(false);
    Form1->show();
    PaintWatch watch;
    paint_watch = &watch;
    TimedScreen timed;
    timed_screen = &timed;
    Form1->Image1->installEventFilter(&watch);
    QElapsedTimer timer;
    timer.start();
    while (!(Form1->windowHandle() && Form1->windowHandle()->isExposed()) && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    // The capture must give back the root picture exactly (the main window absent), or the
    // figures mean nothing.
    const QImage expected = shared_screen(name);
    install_instant_wait();
    Form1->Capture_bureauClick();
    set_waiter({});
    if (!until_painted() || !same_pixels(Form1->Image1->picture(), expected) ||
        !dialogs.errors.isEmpty()) {
        std::fprintf(stderr, "the capture of %s differs from the screen shown\n", qPrintable(name));
        return 1;
    }

    const std::string suffix = "/" + name.toStdString();
    benchmark::RegisterBenchmark(("capture_to_shown" + suffix).c_str(), bm_capture_to_shown)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark(("grab" + suffix).c_str(), bm_grab)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("write_bmp" + suffix).c_str(), bm_write_bmp)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("show" + suffix).c_str(), bm_show)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("push_snapshot" + suffix).c_str(), bm_push_snapshot)
        ->Unit(benchmark::kMicrosecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark(("negative" + suffix).c_str(), bm_negative)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark(("undo" + suffix).c_str(), bm_undo)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime();
    benchmark::RegisterBenchmark(("history" + suffix).c_str(), bm_history)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    Form1->Image1->removeEventFilter(&watch);
    destroy_windows();
    set_dialogs(nullptr);
    return dialogs.errors.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsSet(child_variable)) {
        benchmark::Initialize(&argc, argv);
        return run_child(argc, argv);
    }
    return run_parent(argv);
}
