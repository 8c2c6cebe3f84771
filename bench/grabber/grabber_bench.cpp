// Screen grabbing through the X11 screen, on real screens: each picture of the shared screens
// folder is shown as the root window of an Xvfb server of its size, started by this program.
//
//   grab_screen/<file>         the whole grab as the capture commands call it (shared memory)
//   grab_screen_cursor/<file>  the same with the cursor drawn in
//   grab_plain/<file>          the grab with shared memory switched off
//   shm_get_image/<file>       the X server's copy into shared memory alone, for reference
//   convert/<file>             the 32-to-24-bit conversion alone, into an existing raster
//   floor/<file>               the floor of a grab: the server's copy into shared memory and the
//                              conversion into fresh memory in 2 MB pages, mapped and advised
//                              here, apart from the program's own allocator
// desktop-4320 is an 8K screen made of the 4K desktop four times.

#include "capture/screen_grabber.h"
#include "platform/x11/screen_pixels.h"
#include "platform/x11/x11_screen.h"

#include "bench/support/screens.h"
#include "tests/support/xvfb_server.h"

#include <benchmark/benchmark.h>

#include <QImage>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace {

// One screen under test: its server, a connection that keeps the root picture in place (the
// server resets when its last client leaves), and the X11 screen that grabs it.
struct Shown {
    std::string label;
    QImage picture; // BGR888, what the root window shows
    std::unique_ptr<XvfbServer> server;
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    std::unique_ptr<X11Screen> screen;
    std::unique_ptr<X11Screen> plain_screen;
};

bool show_on_root(Shown& s) {
    s.c = xcb_connect(s.server->name.c_str(), nullptr);
    if (xcb_connection_has_error(s.c))
        return false;
    xcb_screen_t* scr = xcb_setup_roots_iterator(xcb_get_setup(s.c)).data;
    s.root = scr->root;
    const int w = s.picture.width(), h = s.picture.height();
    xcb_pixmap_t pixmap = xcb_generate_id(s.c);
    xcb_create_pixmap(s.c, scr->root_depth, pixmap, s.root, uint16_t(w), uint16_t(h));
    xcb_gcontext_t gc = xcb_generate_id(s.c);
    xcb_create_gc(s.c, gc, pixmap, 0, nullptr);
    const QImage xrgb = s.picture.convertToFormat(QImage::Format_RGB32);
    // Bands of about 200 KB stay under the core request size limit.
    const int band = std::max(1, (200 * 1024) / (w * 4));
    std::vector<uint8_t> buffer;
    for (int y = 0; y < h; y += band) {
        const int rows = std::min(band, h - y);
        buffer.resize(size_t(w) * 4 * rows);
        for (int r = 0; r < rows; ++r)
            std::memcpy(buffer.data() + size_t(r) * w * 4, xrgb.constScanLine(y + r),
                        size_t(w) * 4);
        xcb_put_image(s.c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(w), uint16_t(rows), 0,
                      int16_t(y), 0, scr->root_depth, uint32_t(buffer.size()), buffer.data());
    }
    xcb_change_window_attributes(s.c, s.root, XCB_CW_BACK_PIXMAP, &pixmap);
    xcb_clear_area(s.c, 0, s.root, 0, 0, 0, 0);
    xcb_free_gc(s.c, gc);
    xcb_free_pixmap(s.c, pixmap);
    std::free(xcb_get_input_focus_reply(s.c, xcb_get_input_focus(s.c), nullptr));
    return true;
}

// The grab must give back the shown picture exactly, or the figures mean nothing.
bool grab_matches(Shown& s) {
    set_screen(s.screen.get());
    const QImage grabbed = grab_screen(false);
    set_screen(nullptr);
    if (grabbed.size() != s.picture.size() || !s.screen->last_grab_used_shared_memory())
        return false;
    for (int y = 0; y < grabbed.height(); ++y)
        if (std::memcmp(grabbed.constScanLine(y), s.picture.constScanLine(y),
                        size_t(grabbed.width()) * 3) != 0)
            return false;
    return true;
}

void bm_grab_screen(benchmark::State& state, Shown* s, bool with_cursor) {
    set_screen(s->screen.get());
    for (auto _ : state) {
        QImage raster = grab_screen(with_cursor);
        benchmark::DoNotOptimize(raster.constBits());
    }
    set_screen(nullptr);
    state.SetBytesProcessed(state.iterations() * int64_t(s->picture.sizeInBytes()));
}

void bm_grab_plain(benchmark::State& state, Shown* s) {
    set_screen(s->plain_screen.get());
    for (auto _ : state) {
        QImage raster = grab_screen(false);
        benchmark::DoNotOptimize(raster.constBits());
    }
    set_screen(nullptr);
}

// A shared-memory segment of the screen's size attached on both sides; `addr` is null when the
// server cannot share memory (the reason is then in `error`).
struct Segment {
    xcb_connection_t* c;
    void* addr = nullptr;
    xcb_shm_seg_t seg = 0;
    const char* error = nullptr;

    explicit Segment(Shown* s) : c(s->c) {
        const size_t bytes = size_t(s->picture.width()) * s->picture.height() * 4;
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        void* at = id >= 0 ? shmat(id, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (at == reinterpret_cast<void*>(-1)) {
            error = "no shared memory";
            return;
        }
        seg = xcb_generate_id(c);
        xcb_generic_error_t* refused = xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 0));
        shmctl(id, IPC_RMID, nullptr);
        if (refused) {
            std::free(refused);
            shmdt(at);
            error = "the server cannot attach shared memory";
            return;
        }
        addr = at;
    }
    ~Segment() {
        if (!addr)
            return;
        xcb_shm_detach(c, seg);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        shmdt(addr);
    }
    // The server's copy of the whole root window into the segment.
    void fill(Shown* s) const {
        std::free(xcb_shm_get_image_reply(c,
                                          xcb_shm_get_image(c, s->root, 0, 0,
                                                            uint16_t(s->picture.width()),
                                                            uint16_t(s->picture.height()), ~0u,
                                                            XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
                                          nullptr));
    }
};

void bm_shm_get_image(benchmark::State& state, Shown* s) {
    const Segment segment(s);
    if (!segment.addr) {
        state.SkipWithError(segment.error);
        return;
    }
    for (auto _ : state)
        segment.fill(s);
}

void bm_floor(benchmark::State& state, Shown* s) {
    const Segment segment(s);
    if (!segment.addr) {
        state.SkipWithError(segment.error);
        return;
    }
    const int w = s->picture.width(), h = s->picture.height();
    constexpr size_t kLarge = size_t{2} << 20;
    const qsizetype stride = (qsizetype(w) * 3 + 3) / 4 * 4;
    const size_t length = (size_t(stride) * h + kLarge - 1) / kLarge * kLarge;
    // The program keeps its segment from one grab to the next: its pages are in place.
    segment.fill(s);
    for (auto _ : state) {
        segment.fill(s);
        void* raw = mmap(nullptr, length + kLarge, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        auto* start = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(raw) + kLarge - 1) /
                                                 kLarge * kLarge);
        madvise(start, length, MADV_HUGEPAGE);
        xrgb32_to_bgr888(static_cast<const uint8_t*>(segment.addr), qsizetype(w) * 4, start, stride,
                         w, h);
        benchmark::ClobberMemory();
        munmap(raw, length + kLarge);
    }
}

void bm_convert(benchmark::State& state, Shown* s) {
    const QImage xrgb = s->picture.convertToFormat(QImage::Format_RGB32);
    QImage raster(xrgb.size(), QImage::Format_BGR888);
    for (auto _ : state) {
        xrgb32_to_bgr888(xrgb.constBits(), xrgb.bytesPerLine(), raster.bits(),
                         raster.bytesPerLine(), raster.width(), raster.height());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * int64_t(raster.sizeInBytes()));
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* files[] = {"web-1080", "docs-1080",    "desktop-1080",
                           "web-2160", "desktop-2160", "desktop-4320"};
    std::vector<std::unique_ptr<Shown>> shown;
    for (const char* file : files) {
        auto s = std::make_unique<Shown>();
        s->label = file;
        s->picture = shared_screen(QString::fromLatin1(file));
        if (s->picture.isNull()) {
            std::fprintf(stderr, "cannot read %s\n", file);
            return 1;
        }
        s->server = std::make_unique<XvfbServer>(std::to_string(s->picture.width()) + "x" +
                                                 std::to_string(s->picture.height()) + "x24");
        if (s->server->name.empty() || !show_on_root(*s)) {
            std::fprintf(stderr, "cannot start Xvfb for %s\n", file);
            return 1;
        }
        s->screen = std::make_unique<X11Screen>(QByteArray::fromStdString(s->server->name));
        s->plain_screen = std::make_unique<X11Screen>(QByteArray::fromStdString(s->server->name));
        s->plain_screen->set_shared_memory_allowed(false);
        if (!grab_matches(*s)) {
            std::fprintf(stderr, "the grab of %s differs from the picture shown\n", file);
            return 1;
        }
        shown.push_back(std::move(s));
    }
    for (auto& s : shown) {
        Shown* p = s.get();
        benchmark::RegisterBenchmark(("grab_screen/" + p->label).c_str(), bm_grab_screen, p, false)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("grab_screen_cursor/" + p->label).c_str(), bm_grab_screen, p,
                                     true)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("grab_plain/" + p->label).c_str(), bm_grab_plain, p)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("shm_get_image/" + p->label).c_str(), bm_shm_get_image, p)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("convert/" + p->label).c_str(), bm_convert, p)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("floor/" + p->label).c_str(), bm_floor, p)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto& s : shown) {
        s->screen.reset();
        s->plain_screen.reset();
        xcb_disconnect(s->c);
    }
    return 0;
}
