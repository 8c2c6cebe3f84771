// The annotation tools from the mouse event to the repainted pixels, on a 3840 x 2160 screen:
// a mouse move is sent to the real picture view, whose handler draws through the annotation
// commands and repaints the changed area at once (offscreen platform).
//
//   QT_QPA_PLATFORM=offscreen build/annotation_bench

#include "bench/support/screens.h"
#include "edit/annotation_commands.h"
#include "edit/picture_view.h"
#include "tests/support/fake_main_window.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMouseEvent>
#include <atomic>
#include <cstdlib>

// Every allocation of the process is counted, Qt's included: the C library's allocator is
// reached through these.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
}
namespace {
std::atomic<long> allocations{0};
}
extern "C" void* malloc(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(block, size);
}

namespace {

QImage screen_picture() {
    return desktop_2160();
}

// The main window's picture is a real picture view; everything else is the test fake.
class ViewWindow : public FakeMainWindow {
public:
    PictureView view;

    ViewWindow() {
        view.set_picture(screen_picture());
        view.show();
        QApplication::processEvents();
        left_held = true;
    }
    const QImage& picture() const override { return view.picture(); }
    QImage& picture_for_drawing() override { return view.picture_for_drawing(); }
    DrawingSurface& surface() override { return view.surface; }
    void set_picture(QImage picture) override { view.set_picture(std::move(picture)); }
    void repaint_picture(QRect area) override {
        if (area.isEmpty())
            view.repaint();
        else
            view.repaint(area);
    }
    void repaint_picture_region(const QRegion& area) override { view.repaint(area); }
};

struct Setup {
    ViewWindow window;
    ToolCommands tool_commands{window};
    ToolState& state = tool_commands.state();
    HistoryCommands history{window, window, window, window, tool_commands, [] {}};
    AnnotationCommands tools{state, history, window, window, window, window};
    Setup() {
        QObject::connect(&window.view, &PictureView::mouse_down,
                         [this](auto b, auto m, auto h, bool d, int x, int y) {
                             tools.press(b, m, h, d, QPoint(x, y));
                         });
        QObject::connect(&window.view, &PictureView::mouse_move,
                         [this](auto m, auto h, int x, int y) { tools.move(m, h, QPoint(x, y)); });
    }
    void send(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint at) {
        QMouseEvent event(type, QPointF(at), QPointF(window.view.mapToGlobal(at)), button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(&window.view, &event);
    }
};

void run_moves(benchmark::State& state, Setup& s, Qt::MouseButton button,
               QPoint (*point)(int step)) {
    s.send(QEvent::MouseButtonPress, button, button, point(0));
    int step = 1;
    for (auto _ : state)
        s.send(QEvent::MouseMove, Qt::NoButton, button, point(step++));
    s.send(QEvent::MouseButtonRelease, button, Qt::NoButton, point(step));
}

// A stroke across the picture, 4 pixels per move, back and forth.
QPoint across(int step) {
    const int x = 200 + (step * 4) % 3400;
    return {x, 1000 + (step % 7)};
}

void BM_HighlighterMove(benchmark::State& state) {
    Setup s;
    s.window.snapshot.size_surligneur = int(state.range(0));
    run_moves(state, s, Qt::LeftButton, across);
}
BENCHMARK(BM_HighlighterMove)->Arg(16)->Arg(100)->Unit(benchmark::kMicrosecond);

// A highlighter stroke of 100 moves over the 4K picture, straight on the commands (the picture
// view's repaint left out), with the allocations each move makes.
void BM_HighlighterStroke100(benchmark::State& state) {
    FakeEditing desk;
    desk.window.set_picture(screen_picture());
    desk.window.left_held = true;
    AnnotationCommands tools{desk.state,  desk.history, desk.window,
                             desk.window, desk.window,  desk.window};
    tools.press(Qt::LeftButton, {}, Qt::LeftButton, false, across(0));
    tools.move({}, Qt::LeftButton, across(1)); // the picture's pixels become its own here
    long moves = 0;
    const long before = allocations.load();
    for (auto _ : state) {
        for (int step = 0; step < 100; ++step)
            tools.move({}, Qt::LeftButton, across(2 + step % 50));
        moves += 100;
        desk.window.repainted.clear(); // the fake's record of repaints keeps its room
    }
    state.counters["allocations_per_move"] = double(allocations.load() - before) / double(moves);
}
BENCHMARK(BM_HighlighterStroke100)->Unit(benchmark::kMicrosecond);

void BM_StylusMove(benchmark::State& state) {
    Setup s;
    s.state.mode_highlighter = false;
    s.state.mode_stylus = true;
    s.window.snapshot.size_stylet = int(state.range(0));
    run_moves(state, s, Qt::LeftButton, across);
}
BENCHMARK(BM_StylusMove)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);

// A rubber band over nearly the whole picture, its corner moving a few pixels each time.
QPoint corner(int step) {
    return step == 0 ? QPoint(50, 50) : QPoint(3700 + step % 40, 2000 + step % 30);
}

void BM_RubberBandMove(benchmark::State& state) {
    Setup s;
    s.state.mode_highlighter = false;
    s.state.mode_rectangle = true;
    s.window.snapshot.size_stylet = int(state.range(0));
    run_moves(state, s, Qt::LeftButton, corner);
}
BENCHMARK(BM_RubberBandMove)->Arg(3)->Arg(10)->Unit(benchmark::kMicrosecond);

// The arrow's preview over the same distance.
void BM_ArrowPreviewMove(benchmark::State& state) {
    Setup s;
    s.state.mode_highlighter = false;
    s.state.mode_arrow = true;
    run_moves(state, s, Qt::LeftButton, corner);
}
BENCHMARK(BM_ArrowPreviewMove)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
