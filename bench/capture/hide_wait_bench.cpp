// What the wait for the hidden main window adds to a capture: the time the grab spends making
// sure the window is off the screen (its frame gone, a compositor's fade-out over) beyond the
// grab itself. Runs on the X server of $DISPLAY with a window manager, as the X11 tests do:
//
//   tests/run-under-x11.sh build/hide_wait_bench
//   KAP_X11_COMPOSITOR="xcompmgr -c -f" tests/run-under-x11.sh build/hide_wait_bench
//
//   remembered_region  a remembered-region capture with the cursor toggle up: no wait of its
//                      own, the grab follows the hide at once
//   desktop            a desktop capture, after its 200 ms wait
//
// Each iteration's time is the added wait; the counters give the mean and the slowest.

#include "app/Unit1.h"
#include "app/Unit5.h"
#include "app/kap_application.h"
#include "app/startup.h"
#include "capture/screen_grabber.h"
#include "platform/dialogs.h"
#include "platform/screen.h"
#include "platform/x11/x11_screen.h"
#include "tests/support/fake_dialogs.h"

#include <benchmark/benchmark.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// The real X11 screen, timing each grab.
class TimedScreen final : public Screen {
public:
    double last_grab_ms = 0;
    ScreenRect primary_display() override { return real.primary_display(); }
    ScreenRect virtual_desktop() override { return real.virtual_desktop(); }
    ScreenRect work_area() override { return real.work_area(); }
    void grab(QImage& raster, const ScreenRect& rect) override {
        const Clock::time_point start = Clock::now();
        real.grab(raster, rect);
        last_grab_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }
    std::optional<ScreenRect> foreground_window() override { return real.foreground_window(); }
    std::optional<CursorState> cursor() override { return real.cursor(); }
    void sync() override { real.sync(); }

private:
    X11Screen real;
};

TimedScreen* timed = nullptr;
const ScreenRect kRegion{100, 60, 760, 620};

void process_events_for(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
}

// Shows the main window inside the region and lets it settle on the screen (a compositor's
// fade-in included), so that every capture starts from the same state.
void show_main_window() {
    Form1->set_outer_size(QSize(436, 408));
    Form1->show();
    Form1->move(kRegion.left + 60, kRegion.top + 60);
    Form1->raise();
    process_events_for(600);
}

// The grab of the same rectangle with nothing hidden lately.
double plain_grab_ms(const ScreenRect& rect) {
    QImage raster;
    grab_rect(raster, rect);
    return timed->last_grab_ms;
}

void run(benchmark::State& state, bool desktop) {
    double total = 0, slowest = 0;
    const ScreenRect whole = ::screen().primary_display();
    for (auto _ : state) {
        state.PauseTiming();
        show_main_window();
        const double plain = plain_grab_ms(desktop ? whole : kRegion);
        state.ResumeTiming();
        if (desktop)
            Form1->Capture_bureauClick();
        else
            Form1->Capture_selectionClick();
        const double added = std::max(0.0, timed->last_grab_ms - plain);
        state.SetIterationTime(added / 1000);
        total += added;
        slowest = std::max(slowest, added);
    }
    state.counters["mean_ms"] = total / double(std::max<int64_t>(1, state.iterations()));
    state.counters["slowest_ms"] = slowest;
}

void bm_remembered_region(benchmark::State& state) {
    run(state, false);
}
void bm_desktop(benchmark::State& state) {
    run(state, true);
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    KapApplication app(argc, argv);
    QTemporaryDir temp;
    if (!temp.isValid())
        return 1;
    qputenv("TMPDIR", temp.path().toLocal8Bit());
    FakeDialogs dialogs;
    set_dialogs(&dialogs);
    TimedScreen screen;
    timed = &screen;
    set_screen(&screen);
    create_windows();
    Form5->resize->setChecked(false);
    Form5->x1->setText(QString::number(kRegion.left));
    Form5->x2->setText(QString::number(kRegion.right));
    Form5->y1->setText(QString::number(kRegion.top));
    Form5->y2->setText(QString::number(kRegion.bottom));
    Form5->memo_aera->setEnabled(true);
    Form5->memo_aera->setChecked(true);

    benchmark::RegisterBenchmark("remembered_region", bm_remembered_region)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(15);
    benchmark::RegisterBenchmark("desktop", bm_desktop)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(10);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    destroy_windows();
    set_screen(nullptr);
    set_dialogs(nullptr);
    for (const QString& error : dialogs.errors)
        std::fprintf(stderr, "%s\n", qPrintable(error));
    return dialogs.errors.isEmpty() ? 0 : 1;
}
