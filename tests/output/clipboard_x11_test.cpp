// The clipboard on a real X server, read back by another program (xclip): while the program
// runs, after it has handed the picture over at exit, with and without a clipboard manager.
#include "codec/bmp.h"
#include "platform/core/error.h"
#include "platform/sharing.h"
#include "platform/xdg/clipboard_keeper.h"
#include "tests/codec/codec_test_util.h"
#include "tests/support/test_pictures.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>
#include <xcb/xcb.h>

namespace {

void put_picture(const QImage& picture) {
    clipboard_service().put_image(picture, encode_bmp(picture));
}

// Runs xclip on the clipboard while this program keeps answering the X server (it may be the
// clipboard's owner). Standard output, or nothing when xclip failed or took over 10 s.
QByteArray xclip(const QStringList& args, const QByteArray& input = {}) {
    QProcess process;
    process.start("xclip", QStringList{"-selection", "clipboard"} + args);
    if (!process.waitForStarted())
        return {};
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    const QDeadlineTimer deadline(10000);
    while (!process.waitForFinished(10) && !deadline.hasExpired())
        QCoreApplication::processEvents();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.exitCode() == 0 ? process.readAllStandardOutput() : QByteArray();
}

// Copies text with xclip, as another program would, and waits until the clipboard holds it
// (xclip takes the clipboard from a background process, a moment after it returns).
void copy_text(const QByteArray& text) {
    xclip({"-i"}, text);
    const QDeadlineTimer deadline(5000);
    while (xclip({"-o"}) != text && !deadline.hasExpired())
        QThread::msleep(20);
}

QStringList targets() {
    return QString::fromLatin1(xclip({"-o", "-t", "TARGETS"})).split('\n', Qt::SkipEmptyParts);
}

QImage pasted_png() {
    return libpng_decode(xclip({"-o", "-t", "image/png"})).convertToFormat(QImage::Format_BGR888);
}

bool process_ended(qint64 pid, int ms) {
    const QDeadlineTimer deadline(ms);
    do {
        QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return true;
        const QByteArray stat = status.readAll();
        const qsizetype close = stat.lastIndexOf(')');
        if (close > 0 && stat.mid(close + 2, 1) == "Z")
            return true;
        QCoreApplication::processEvents();
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return false;
}

// A clipboard manager reduced to what the hand-over needs: it owns CLIPBOARD_MANAGER; asked to
// SAVE_TARGETS, it reads the clipboard's PNG, takes the clipboard and serves that PNG. A silent
// one never answers.
class FakeClipboardManager {
public:
    explicit FakeClipboardManager(bool silent) : silent_(silent) {
        connection_ = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, 0, nullptr);
        manager_ = atom("CLIPBOARD_MANAGER");
        clipboard_ = atom("CLIPBOARD");
        save_targets_ = atom("SAVE_TARGETS");
        targets_ = atom("TARGETS");
        png_ = atom("image/png");
        property_ = atom("KAP_FAKE_MANAGER");
        xcb_set_selection_owner(connection_, window_, manager_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeClipboardManager() {
        stop_ = true;
        thread_.join();
        xcb_disconnect(connection_);
    }
    bool asked() const { return asked_; }

private:
    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, uint16_t(strlen(name)), name), nullptr);
        const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return result;
    }
    void notify(const xcb_selection_request_event_t* request, xcb_atom_t property) {
        xcb_selection_notify_event_t event{};
        event.response_type = XCB_SELECTION_NOTIFY;
        event.time = request->time;
        event.requestor = request->requestor;
        event.selection = request->selection;
        event.target = request->target;
        event.property = property;
        xcb_send_event(connection_, 0, request->requestor, 0, reinterpret_cast<char*>(&event));
        xcb_flush(connection_);
    }
    QByteArray fetch_png() {
        xcb_convert_selection(connection_, window_, clipboard_, png_, property_, XCB_CURRENT_TIME);
        xcb_flush(connection_);
        const QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired()) {
            xcb_generic_event_t* event = xcb_poll_for_event(connection_);
            if (!event) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            const bool done = (event->response_type & 0x7f) == XCB_SELECTION_NOTIFY;
            free(event);
            if (!done)
                continue;
            xcb_get_property_reply_t* reply =
                xcb_get_property_reply(connection_,
                                       xcb_get_property(connection_, 1, window_, property_,
                                                        XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 24),
                                       nullptr);
            QByteArray data;
            if (reply)
                data = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                                  xcb_get_property_value_length(reply));
            free(reply);
            return data;
        }
        return {};
    }
    void run() {
        while (!stop_) {
            xcb_generic_event_t* event = xcb_poll_for_event(connection_);
            if (!event) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
                const auto* request = reinterpret_cast<xcb_selection_request_event_t*>(event);
                if (request->selection == manager_ && request->target == save_targets_) {
                    asked_ = true;
                    if (!silent_) {
                        saved_ = fetch_png();
                        xcb_set_selection_owner(connection_, window_, clipboard_, XCB_CURRENT_TIME);
                        notify(request, request->property);
                    }
                } else if (request->selection == clipboard_ && request->target == targets_) {
                    const xcb_atom_t list[] = {targets_, png_};
                    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request->requestor,
                                        request->property, XCB_ATOM_ATOM, 32, 2, list);
                    notify(request, request->property);
                } else if (request->selection == clipboard_ && request->target == png_) {
                    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, request->requestor,
                                        request->property, png_, 8, uint32_t(saved_.size()),
                                        saved_.constData());
                    notify(request, request->property);
                } else {
                    notify(request, XCB_ATOM_NONE);
                }
            }
            free(event);
        }
    }

    bool silent_;
    xcb_connection_t* connection_;
    xcb_window_t window_;
    xcb_atom_t manager_, clipboard_, save_targets_, targets_, png_, property_;
    QByteArray saved_;
    std::atomic<bool> asked_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(ClipboardX11Test, ThePictureAloneIsPastedWithItsExactPixels) {
    copy_text("old text");
    ASSERT_TRUE(targets().contains("UTF8_STRING") || targets().contains("STRING"));

    const QImage one = position_pattern(QSize(1, 1));
    put_picture(one);
    const QStringList offered = targets();
    EXPECT_TRUE(offered.contains("image/png"));
    EXPECT_TRUE(offered.contains("image/bmp"));
    for (const QString& target : offered)
        EXPECT_FALSE(target.contains("STRING") || target.startsWith("text/"))
            << target.toStdString();
    EXPECT_EQ(pasted_png(), one);

    const QImage picture = random_bgr(301, 17, 5); // rows not a multiple of 4 bytes
    put_picture(picture);
    EXPECT_EQ(pasted_png(), picture);
    const QImage bmp = QImage::fromData(xclip({"-o", "-t", "image/bmp"}), "BMP");
    EXPECT_EQ(bmp.convertToFormat(QImage::Format_BGR888), picture);
    EXPECT_TRUE(QGuiApplication::clipboard()->ownsClipboard());
}

TEST(ClipboardX11Test, WithoutManagerTheKeeperServesThePictureUntilAnotherProgramCopies) {
    const QImage picture = random_bgr(64, 33, 9);
    put_picture(picture);
    const qint64 keeper = hand_clipboard_to_keeper();
    ASSERT_GT(keeper, 0) << clipboard_keeper_program().toStdString();
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_EQ(pasted_png(), picture);
    EXPECT_FALSE(process_ended(keeper, 300)); // still serving

    copy_text("new text");
    EXPECT_TRUE(process_ended(keeper, 5000));
    EXPECT_EQ(xclip({"-o"}), "new text");
}

TEST(ClipboardX11Test, AClipboardManagerReceivesThePictureAtExit) {
    FakeClipboardManager manager(false);
    const QImage picture = random_bgr(40, 30, 3);
    put_picture(picture);
    const qint64 keeper = hand_clipboard_to_keeper();
    ASSERT_GT(keeper, 0);
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_TRUE(process_ended(keeper, 5000)); // the manager holds the picture now
    EXPECT_TRUE(manager.asked());
    EXPECT_EQ(pasted_png(), picture);
}

TEST(ClipboardX11Test, ASilentManagerNeverHoldsTheProgramBack) {
    FakeClipboardManager manager(true);
    put_picture(random_bgr(8, 8, 1));
    const qint64 keeper = hand_clipboard_to_keeper();
    ASSERT_GT(keeper, 0);
    // The program no longer owns the clipboard: its own exit has nothing to hand over and no
    // answer to wait for. The keeper waits for the manager on its own.
    EXPECT_FALSE(QGuiApplication::clipboard()->ownsClipboard());
    EXPECT_TRUE(process_ended(keeper, 10000));
}

TEST(ClipboardX11Test, NothingIsHandedOverOnceAnotherProgramHasTheClipboard) {
    put_picture(random_bgr(8, 8, 2));
    copy_text("someone else");
    const QDeadlineTimer deadline(2000);
    while (QGuiApplication::clipboard()->ownsClipboard() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(hand_clipboard_to_keeper(), 0);
    EXPECT_EQ(xclip({"-o"}), "someone else");
}

} // namespace
