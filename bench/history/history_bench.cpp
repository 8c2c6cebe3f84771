// The undo history on real screens: what a small edit costs to record and to keep, what an undo
// and a redo cost, and the memory of the whole history after 100 edits on a 4K capture. The
// edits are the program's own kinds: a highlighter stroke (squares ANDed into the picture), an
// arrow and a 200 x 100 rectangle outline, each at a new place of the screen.
//
//   record/<screen>/<edit>  push_snapshot after an edit; counter bytes_per_edit: History::bytes()
//                           per recorded edit, the plain entry shown left out
//   undo/<screen>           Dfaire's path (undo_step) from the last of 20 edits, per step;
//                           counters first_undo_ms and first_redo_ms: the very first undo and
//                           redo after the edits, which renew the picture
//   redo/<screen>           Rfaire's path (redo_step) back to the last, per step
//   big_steps/<screen>      History::at over steps with large links: the negative effect and a
//                           stroke, a resize to 3/4 and back; per step, counter worst_ms
//   resize_cycle/<screen>  a capture resized to 400 pixels wide, undone and redone: the time to
//                           record the result (record_ms), to undo and to redo it, and the
//                           history's size after the cycle (history_bytes), besides the plain
//                           pictures kept for immediate steps (compressed_bytes)
//   memory_100_edits/<screen>  100 edits recorded after a capture; counters: History::bytes(),
//                           VmRSS of /proc/self/status after the capture and after the edits,
//                           and the growth, without and with the allocator's free pages handed
//                           back to the system (malloc_trim)

#include "edit/history.h"
#include "edit/history_commands.h"
#include "tests/support/fake_main_window.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <map>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

const QImage& screen(const std::string& name) {
    static std::map<std::string, QImage> cache;
    auto it = cache.find(name);
    if (it == cache.end()) {
        QImage img(QStringLiteral(KAP_SHARED_DIR "/screens/") + QString::fromStdString(name) +
                   QStringLiteral(".png"));
        if (img.isNull())
            std::fprintf(stderr, "cannot read screen %s\n", name.c_str());
        it = cache.emplace(name, img.convertToFormat(QImage::Format_BGR888)).first;
    }
    return it->second;
}

enum class Edit { Highlighter, Arrow, Rectangle };

// Draws edit number `n` of the given kind into `picture`, at a place that moves with n.
void draw(QImage& picture, Edit kind, int n) {
    const int x = 40 + (n * 397) % std::max(1, picture.width() - 500);
    const int y = 40 + (n * 211) % std::max(1, picture.height() - 300);
    switch (kind) {
    case Edit::Highlighter: {
        // A horizontal stroke of 20-pixel squares ANDed with yellow, as the highlighter stamps.
        for (int sx = x; sx < x + 300; sx += 3)
            for (int row = y; row < y + 20; ++row) {
                uchar* p = picture.scanLine(row) + 3 * sx;
                for (int i = 0; i < 20; ++i) {
                    p[3 * i] &= 0x00; // blue
                    p[3 * i + 1] &= 0xFF;
                    p[3 * i + 2] &= 0xFF;
                }
            }
        break;
    }
    case Edit::Arrow: {
        QPainter painter(&picture);
        painter.setPen(QPen(Qt::red, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::red);
        painter.drawLine(x, y, x + 250, y + 150);
        QPainterPath head;
        head.moveTo(x + 250, y + 150);
        head.lineTo(x + 225, y + 150);
        head.lineTo(x + 240, y + 128);
        head.closeSubpath();
        painter.drawPath(head);
        break;
    }
    case Edit::Rectangle: {
        QPainter painter(&picture);
        painter.setPen(QPen(Qt::blue, 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(x, y, 200, 100);
        break;
    }
    }
}

// The main window's picture and history, without the window.
struct Desk : FakeEditing {
    HistoryCommands& commands = FakeEditing::history;
    History& history = commands.history();

    explicit Desk(const QImage& capture) {
        window.set_picture(capture.copy());
        commands.push_snapshot();
    }
    void edit(Edit kind, int n) { draw(window.picture_for_drawing(), kind, n); }
};

long vm_rss_kib() {
    long kib = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "VmRSS: %ld kB", &kib) == 1)
                break;
        std::fclose(f);
    }
    return kib;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void bm_record(benchmark::State& state, std::string name, Edit kind) {
    const QImage& capture = screen(name);
    Desk desk(capture);
    int n = 0;
    for (auto _ : state) {
        desk.edit(kind, n++);
        const auto t0 = Clock::now();
        desk.commands.push_snapshot();
        state.SetIterationTime(seconds(Clock::now() - t0));
    }
    // The entry shown is plain (and shares the picture's pixels); the others are differences.
    state.counters["bytes_per_edit"] =
        double(desk.history.bytes() - capture.sizeInBytes()) / (desk.history.count() - 1);
}

void bm_undo_redo(benchmark::State& state, std::string name, bool redo) {
    Desk desk(screen(name));
    for (int n = 0; n < 20; ++n) {
        desk.edit(Edit(n % 3), n);
        desk.commands.push_snapshot();
    }
    // The first undo renews the picture and meets fresh memory; reported on its own.
    const auto t0 = Clock::now();
    desk.commands.undo();
    const auto t1 = Clock::now();
    desk.commands.redo();
    const auto t2 = Clock::now();
    state.counters["first_undo_ms"] = seconds(t1 - t0) * 1000;
    state.counters["first_redo_ms"] = seconds(t2 - t1) * 1000;
    double worst = 0;
    for (auto _ : state) {
        // Two steps back, two forward; each one rebuilds an entry from the one shown.
        Clock::duration spent{};
        for (int i = 0; i < 2; ++i) {
            const auto t0 = Clock::now();
            desk.commands.undo();
            const auto d = Clock::now() - t0;
            if (!redo) {
                spent += d;
                worst = std::max(worst, seconds(d));
            }
        }
        for (int i = 0; i < 2; ++i) {
            const auto t0 = Clock::now();
            desk.commands.redo();
            const auto d = Clock::now() - t0;
            if (redo) {
                spent += d;
                worst = std::max(worst, seconds(d));
            }
        }
        state.SetIterationTime(seconds(spent) / 2);
    }
    state.counters["worst_ms"] = worst * 1000;
}

// Steps whose links are large: the negative effect followed by a stroke (the link covers the
// whole picture) and a resize to three quarters and back (no link across a change of size: whole
// copies on either side). History::at alone, walked from the last entry to the first and back.
void bm_big_steps(benchmark::State& state, std::string name) {
    const QImage& capture = screen(name);
    History history;
    QImage picture = capture.copy();
    history.append(picture);
    picture.invertPixels();
    draw(picture, Edit::Rectangle, 1);
    history.append(picture);
    picture = picture.scaled(picture.width() * 3 / 4, picture.height() * 3 / 4);
    history.append(picture);
    draw(picture, Edit::Arrow, 2);
    history.append(picture);
    picture = picture.scaled(capture.size());
    history.append(picture);
    QImage shown = picture;
    picture = QImage();
    double worst = 0;
    for (auto _ : state) {
        Clock::duration spent{};
        int steps = 0;
        for (int i = history.count() - 2; i >= 0; --i, ++steps) {
            const auto t0 = Clock::now();
            shown = history.at(i);
            const auto d = Clock::now() - t0;
            spent += d;
            worst = std::max(worst, seconds(d));
        }
        for (int i = 1; i < history.count(); ++i, ++steps) {
            const auto t0 = Clock::now();
            shown = history.at(i);
            const auto d = Clock::now() - t0;
            spent += d;
            worst = std::max(worst, seconds(d));
        }
        state.SetIterationTime(seconds(spent) / steps);
    }
    state.counters["worst_ms"] = worst * 1000;
    state.counters["history_bytes"] = double(history.bytes());
}

void bm_resize_cycle(benchmark::State& state, std::string name) {
    const QImage& capture = screen(name);
    const QImage resized = capture
                               .scaled(400, capture.height() * 400 / capture.width(),
                                       Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                               .convertToFormat(QImage::Format_BGR888);
    for (auto _ : state) {
        Desk desk(capture);
        const auto t0 = Clock::now();
        desk.window.set_picture(resized);
        desk.commands.push_snapshot();
        const auto t1 = Clock::now();
        desk.commands.undo();
        const auto t2 = Clock::now();
        desk.commands.redo();
        const auto t3 = Clock::now();
        state.SetIterationTime(seconds(t1 - t0));
        state.counters["record_ms"] = seconds(t1 - t0) * 1000;
        state.counters["undo_ms"] = seconds(t2 - t1) * 1000;
        state.counters["redo_ms"] = seconds(t3 - t2) * 1000;
        state.counters["history_bytes"] = double(desk.history.bytes());
        state.counters["compressed_bytes"] =
            double(desk.history.bytes() - capture.sizeInBytes() - resized.sizeInBytes());
    }
}

void bm_memory(benchmark::State& state, std::string name) {
    for (auto _ : state) {
        malloc_trim(0);
        Desk desk(screen(name));
        malloc_trim(0);
        const long before = vm_rss_kib();
        for (int n = 0; n < 100; ++n) {
            desk.edit(Edit(n % 3), n);
            desk.commands.push_snapshot();
        }
        const long after = vm_rss_kib();
        malloc_trim(0);
        const long trimmed = vm_rss_kib();
        state.counters["history_bytes"] = double(desk.history.bytes());
        state.counters["history_bytes_besides_shown"] =
            double(desk.history.bytes() - desk.window.picture().sizeInBytes());
        state.counters["rss_after_capture_kB"] = double(before);
        state.counters["rss_after_100_kB"] = double(after);
        state.counters["rss_growth_kB"] = double(after - before);
        state.counters["rss_growth_trimmed_kB"] = double(trimmed - before);
    }
}

int register_all() {
    const char* screens[] = {"web-1080", "docs-1080", "desktop-1080", "web-2160", "desktop-2160"};
    const std::pair<const char*, Edit> edits[] = {
        {"highlighter", Edit::Highlighter}, {"arrow", Edit::Arrow}, {"rectangle", Edit::Rectangle}};
    for (const char* s : screens) {
        for (const auto& [label, kind] : edits)
            benchmark::RegisterBenchmark(("record/" + std::string(s) + "/" + label).c_str(),
                                         bm_record, std::string(s), kind)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond)
                ->Iterations(60);
        benchmark::RegisterBenchmark(("undo/" + std::string(s)).c_str(), bm_undo_redo,
                                     std::string(s), false)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(20);
        benchmark::RegisterBenchmark(("redo/" + std::string(s)).c_str(), bm_undo_redo,
                                     std::string(s), true)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(20);
    }
    for (const char* s : {"web-2160", "desktop-2160"})
        benchmark::RegisterBenchmark(("big_steps/" + std::string(s)).c_str(), bm_big_steps,
                                     std::string(s))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(5);
    for (const char* s : {"web-2160", "desktop-2160"})
        benchmark::RegisterBenchmark(("resize_cycle/" + std::string(s)).c_str(), bm_resize_cycle,
                                     std::string(s))
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    for (const char* s : {"web-2160", "desktop-2160"})
        benchmark::RegisterBenchmark(("memory_100_edits/" + std::string(s)).c_str(), bm_memory,
                                     std::string(s))
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
