#include "edit/working_files.h"

#include "codec/bmp.h"
#include "platform/core/file_checks.h"
#include "platform/core/temp_dir.h"

#include <QCoreApplication>
#include <cstdint>
#include <exception>
#include <future>
#include <memory>
#include <system_error>
#include <utility>

QString current_picture_file() {
    return temp_dir() + QStringLiteral("kaptorama.bmp");
}
namespace {

QString grabbed_capture_path() {
    return temp_dir() + QStringLiteral("kaptoramao.bmp");
}

// One write of the grabbed capture file on a worker thread. The raster is kept here, and let go
// on the main thread, so that its pixels stay as they are while the worker reads them: drawing on
// the picture, which shares them, copies them first.
class GrabbedCaptureWrite {
public:
    GrabbedCaptureWrite(QImage raster, QString path, std::uint64_t number)
        : raster_(std::move(raster)), number_(number),
          done_(std::async(std::launch::async, [this, path] { run(path); })) {}
    // Waits for the worker: it reads the raster to the end.
    ~GrabbedCaptureWrite() { wait(); }
    GrabbedCaptureWrite(const GrabbedCaptureWrite&) = delete;
    GrabbedCaptureWrite& operator=(const GrabbedCaptureWrite&) = delete;

    void wait() const { done_.wait(); }
    std::uint64_t number() const { return number_; }
    // Once ended: what made it fail, if anything.
    std::exception_ptr error() const { return error_; }

private:
    void run(const QString& path);

    QImage raster_;
    std::uint64_t number_;
    std::exception_ptr error_;
    std::future<void> done_;
};

struct GrabbedCaptureState {
    std::unique_ptr<GrabbedCaptureWrite> write;
    std::uint64_t writes = 0; // started so far, numbering them
    // The failure of a write that a later one replaced before it could be reported.
    std::exception_ptr unreported;
};

GrabbedCaptureState& grabbed_capture_state() {
    static GrabbedCaptureState instance;
    return instance;
}

// On the main thread, once write `number` has told it is ending: that write is let go (its
// thread is then returning) and its failure thrown into the event loop, whose guard shows it in
// the error box. A later write may have taken its place meanwhile, keeping its failure aside.
void report_grabbed_capture_write(std::uint64_t number) {
    GrabbedCaptureState& state = grabbed_capture_state();
    std::exception_ptr error = std::exchange(state.unreported, nullptr);
    if (state.write && state.write->number() == number) {
        state.write->wait();
        if (!error)
            error = state.write->error();
        state.write.reset();
    }
    if (error)
        std::rethrow_exception(error);
}

void GrabbedCaptureWrite::run(const QString& path) {
    try {
        write_bmp(raster_, path);
    } catch (...) {
        error_ = std::current_exception();
    }
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [number = number_] { report_grabbed_capture_write(number); },
            Qt::QueuedConnection);
    }
}

} // namespace

QString grabbed_capture_file() {
    if (const auto& write = grabbed_capture_state().write)
        write->wait();
    return grabbed_capture_path();
}

void write_grabbed_capture_file(const QImage& raster) {
    GrabbedCaptureState& state = grabbed_capture_state();
    // The write before ends first: two writers must not race for the file.
    if (state.write) {
        state.write->wait();
        if (!state.unreported)
            state.unreported = state.write->error();
        state.write.reset();
    }
    try {
        state.write =
            std::make_unique<GrabbedCaptureWrite>(raster, grabbed_capture_path(), ++state.writes);
    } catch (const std::system_error&) {
        write_bmp(raster, grabbed_capture_path()); // no thread to be had: written here
    }
}

void forget_grabbed_capture_write() {
    GrabbedCaptureState& state = grabbed_capture_state();
    state.write.reset();
    state.unreported = nullptr;
}

QString full_colour_copy_file() {
    return temp_dir() + QStringLiteral("kaptorama1.bmp");
}
QString png_attachment_file() {
    return temp_dir() + QStringLiteral("kaptorama.png");
}
QString jpeg_attachment_file() {
    return temp_dir() + QStringLiteral("kaptorama.jpg");
}

QStringList working_files_in_deletion_order() {
    return {current_picture_file(), grabbed_capture_file(), png_attachment_file(),
            full_colour_copy_file(), jpeg_attachment_file()};
}

QImage read_working_file(const QString& path) {
    check_own_regular_file(path);
    return read_bmp(path);
}
