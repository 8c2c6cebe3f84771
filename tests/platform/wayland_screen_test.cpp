// The parts of the Wayland screen that need no compositor: which screen a session gets, the
// portal's answers, the picture file it leaves, and the cut of a desktop-wide screenshot.

#include "platform/core/error.h"
#include "platform/sharing.h"
#include "platform/wayland/portal_screenshot.h"
#include "platform/wayland/wayland_screen.h"
#include "tests/support/private_bus.h"
#include "tests/support/test_pictures.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

// A fake portal on the test's private bus.
class FakePortal {
public:
    QProcess process;
    FakePortal(const QString& mode, const QString& picture, const QString& record) {
        process.start(KAP_BINARY_DIR "/fake_screenshot_portal", {mode, picture, record});
        process.waitForStarted();
        const QDeadlineTimer deadline(10000);
        while (!screenshot_portal_answers(500) && !deadline.hasExpired())
            QThread::msleep(20);
    }
    ~FakePortal() {
        process.kill();
        process.waitForFinished();
    }
};

QString message_of(const std::function<void()>& work) {
    try {
        work();
    } catch (const KapError& error) {
        return error.message();
    }
    return {};
}

TEST(ScreenshotPortal, AnswerHeardEvenBeforeTheCallReturnsAndSilenceIsBounded) {
    QTemporaryDir dir;
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    const QString picture = dir.filePath(QStringLiteral("Capture d'écran.png"));
    const QString record = dir.filePath(QStringLiteral("requests"));

    EXPECT_FALSE(screenshot_portal_answers(500));
    EXPECT_EQ(message_of([] { request_portal_screenshot(false, 1000); }), kNoScreenshotPortalText);
    {
        FakePortal portal(QStringLiteral("answer"), picture, record);
        ASSERT_TRUE(screenshot_portal_answers());
        const ScreenshotAnswer answer = request_portal_screenshot(true, 5000);
        EXPECT_EQ(answer.kind, ScreenshotAnswer::Kind::Picture);
        EXPECT_EQ(answer.file, picture);
        QFile file(record);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("parent= interactive=true modal=true\n"));
    }
    {
        FakePortal portal(QStringLiteral("cancel"), picture, record);
        EXPECT_EQ(request_portal_screenshot(false, 5000).kind, ScreenshotAnswer::Kind::Cancelled);
    }
    {
        FakePortal portal(QStringLiteral("refuse"), picture, record);
        EXPECT_EQ(request_portal_screenshot(false, 5000).kind, ScreenshotAnswer::Kind::Failed);
    }
    {
        // A portal that takes the request and never answers holds the program no longer than
        // the wait it was given.
        FakePortal portal(QStringLiteral("silent"), picture, record);
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(message_of([] { request_portal_screenshot(false, 700); }),
                  kScreenshotNoAnswerText);
        EXPECT_GE(timer.elapsed(), 600);
        EXPECT_LT(timer.elapsed(), 5000);
    }
}

TEST(WaylandSession, IsRecognisedAndGetsItsScreenOnlyWhereItCanWork) {
    EXPECT_TRUE(is_wayland_session(QStringLiteral("wayland-0"), QString()));
    EXPECT_TRUE(is_wayland_session(QString(), QStringLiteral("wayland")));
    EXPECT_FALSE(is_wayland_session(QString(), QStringLiteral("x11")));
    EXPECT_FALSE(is_wayland_session(QString(), QString()));

    int asked = 0;
    const auto answers = [&](bool yes) {
        return [&asked, yes] {
            ++asked;
            return yes;
        };
    };
    EXPECT_EQ(choose_screen_kind(false, QStringLiteral("xcb"), answers(true)), ScreenKind::X11);
    EXPECT_EQ(asked, 0) << "an X11 session does not look for the portal";
    // Qt on Wayland: X11 could reach nothing; the first grab tells whether the portal answers.
    EXPECT_EQ(choose_screen_kind(true, QStringLiteral("wayland"), answers(false)),
              ScreenKind::Wayland);
    EXPECT_EQ(asked, 0);
    // Qt on Xwayland: the portal decides.
    EXPECT_EQ(choose_screen_kind(true, QStringLiteral("xcb"), answers(true)), ScreenKind::Wayland);
    EXPECT_EQ(choose_screen_kind(true, QStringLiteral("xcb"), answers(false)), ScreenKind::X11);
    EXPECT_EQ(asked, 2);
}

TEST(PortalAnswer, ResponseCodesAndUris) {
    // The request object the answer comes from, known before the call.
    EXPECT_EQ(portal_request_path(QStringLiteral(":1.42"), QStringLiteral("kap7")),
              QStringLiteral("/org/freedesktop/portal/desktop/request/1_42/kap7"));

    const auto with_uri = [](const char* uri) {
        return QVariantMap{{QStringLiteral("uri"), QString::fromUtf8(uri)}};
    };
    ScreenshotAnswer answer =
        screenshot_answer_of(0, with_uri("file:///tmp/Capture%20d%C3%A9cran.png"));
    EXPECT_EQ(answer.kind, ScreenshotAnswer::Kind::Picture);
    EXPECT_EQ(answer.file, QStringLiteral("/tmp/Capture décran.png"));

    EXPECT_EQ(screenshot_answer_of(1, with_uri("file:///tmp/out.png")).kind,
              ScreenshotAnswer::Kind::Cancelled);
    EXPECT_EQ(screenshot_answer_of(2, with_uri("file:///tmp/out.png")).kind,
              ScreenshotAnswer::Kind::Failed);
    // A success that names no local file is of no use.
    EXPECT_EQ(screenshot_answer_of(0, {}).kind, ScreenshotAnswer::Kind::Failed);
    EXPECT_EQ(screenshot_answer_of(0, with_uri("https://example.org/shot.png")).kind,
              ScreenshotAnswer::Kind::Failed);
}

TEST(PortalFile, IsReadThenRemovedAndABadOneGivesTheMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QImage shot = position_pattern(QSize(64, 48));
    const QString good = dir.filePath(QStringLiteral("out.png"));
    ASSERT_TRUE(shot.save(good, "PNG"));
    EXPECT_EQ(take_screenshot_file(good).convertToFormat(QImage::Format_BGR888), shot);
    EXPECT_FALSE(QFile::exists(good));

    const QString corrupt = dir.filePath(QStringLiteral("corrupt.png"));
    {
        QFile file(corrupt);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n but no picture");
    }
    try {
        take_screenshot_file(corrupt);
        ADD_FAILURE() << "a corrupt file was taken for a picture";
    } catch (const KapError& error) {
        EXPECT_EQ(error.message(), kScreenshotUnreadableText);
    }
    EXPECT_FALSE(QFile::exists(corrupt));
    EXPECT_THROW(take_screenshot_file(dir.filePath(QStringLiteral("missing.png"))), KapError);

    // A link planted where the file should be is not followed; the target stays.
    const QString target = dir.filePath(QStringLiteral("private.png"));
    ASSERT_TRUE(shot.save(target, "PNG"));
    const QString link = dir.filePath(QStringLiteral("link.png"));
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_THROW(take_screenshot_file(link), KapError);
    EXPECT_TRUE(QFile::exists(target));
}

// A display 640 x 480 left of the primary 1024 x 768, whose top-left corner is (0, 0).
DisplayLayout two_displays() {
    DisplayLayout layout;
    layout.primary = QRect(0, 0, 1024, 768);
    layout.desktop = QRect(-640, 0, 1664, 768);
    layout.work = QRect(0, 0, 1024, 740);
    return layout;
}

QImage cut(const QImage& shot, const DisplayLayout& layout, const ScreenRect& rect) {
    QImage raster(int(rect.width()), int(rect.height()), QImage::Format_BGR888);
    cut_screenshot(shot, layout, rect, raster);
    return raster;
}

TEST(ScreenshotCut, TakesThePrimaryDisplayFromTheWholeDesktopBlackBeyondIt) {
    const DisplayLayout layout = two_displays();
    const QImage shot = position_pattern_never_black(layout.desktop.size());

    EXPECT_EQ(cut(shot, layout, {0, 0, 1024, 768}), shot.copy(640, 0, 1024, 768));
    EXPECT_EQ(cut(shot, layout, {-100, 10, 50, 90}), shot.copy(540, 10, 150, 80));

    // Across the bottom-right corner: what lies off the screen is black.
    const QImage corner = cut(shot, layout, {1000, 700, 1100, 800});
    EXPECT_EQ(corner.copy(0, 0, 24, 68), shot.copy(1640, 700, 24, 68));
    EXPECT_EQ(corner.pixel(24, 0), qRgb(0, 0, 0));
    EXPECT_EQ(corner.pixel(0, 68), qRgb(0, 0, 0));
    EXPECT_EQ(corner.pixel(99, 99), qRgb(0, 0, 0));
    EXPECT_EQ(cut(shot, layout, {2000, 0, 2010, 10}).pixel(5, 5), qRgb(0, 0, 0));

    // A back end that shoots the primary display alone.
    const QImage primary_only = window_pattern(layout.primary.size(), 1);
    EXPECT_EQ(cut(primary_only, layout, {0, 0, 1024, 768}), primary_only);
    EXPECT_EQ(cut(primary_only, layout, {100, 50, 300, 200}), primary_only.copy(100, 50, 200, 150));

    // A screenshot at twice the desktop's scale is brought back to its size.
    const QImage doubled =
        shot.scaled(shot.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    EXPECT_EQ(cut(doubled, layout, {0, 0, 1024, 768}), shot.copy(640, 0, 1024, 768));
}

class WaylandScreenTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    DisplayLayout layout = two_displays();
    QImage desktop = position_pattern_never_black(layout.desktop.size());
    std::vector<bool> requests; // interactive or not
    ScreenshotAnswer next;

    WaylandScreen make() {
        return WaylandScreen(
            [this](bool interactive) {
                requests.push_back(interactive);
                return next;
            },
            [this] { return layout; });
    }
    // The portal's answer with the picture written where the back end writes it.
    ScreenshotAnswer picture_file(const QImage& picture) {
        const QString path = dir.filePath(QStringLiteral("out.png"));
        EXPECT_TRUE(picture.save(path, "PNG"));
        return {ScreenshotAnswer::Kind::Picture, path};
    }
};

TEST_F(WaylandScreenTest, GrabsCutTheDesktopAndFailuresCarryTheirMessages) {
    WaylandScreen screen = make();
    EXPECT_EQ(screen.primary_display(), (ScreenRect{0, 0, 1024, 768}));
    EXPECT_EQ(screen.virtual_desktop(), (ScreenRect{-640, 0, 1024, 768}));
    EXPECT_EQ(screen.work_area(), (ScreenRect{0, 0, 1024, 740}));

    next = picture_file(desktop);
    QImage raster(200, 150, QImage::Format_BGR888);
    screen.grab(raster, {100, 50, 300, 200});
    EXPECT_EQ(raster, desktop.copy(740, 50, 200, 150));
    EXPECT_EQ(requests, std::vector<bool>{false});
    EXPECT_FALSE(QFile::exists(next.file)) << "the portal's file is removed";

    const QImage before = raster;
    next = {ScreenshotAnswer::Kind::Cancelled, {}};
    EXPECT_EQ(message_of([&] {
                  screen.grab(raster, {100, 50, 300, 200});
              }),
              kScreenshotCancelledText);
    next = {ScreenshotAnswer::Kind::Failed, {}};
    EXPECT_EQ(message_of([&] {
                  screen.grab(raster, {100, 50, 300, 200});
              }),
              kScreenshotRefusedText);
    EXPECT_EQ(raster, before) << "a failed grab leaves the raster alone";
}

TEST_F(WaylandScreenTest, InteractivePickFallsBackOnlyWhenTheBackEndHasNone) {
    WaylandScreen screen = make();
    const QImage window = window_pattern(QSize(300, 200), 2);
    next = picture_file(window);
    std::optional<QImage> picked = screen.pick_interactively();
    ASSERT_TRUE(picked);
    EXPECT_EQ(*picked, window);
    EXPECT_EQ(picked->format(), QImage::Format_BGR888);
    EXPECT_EQ(requests, std::vector<bool>{true});

    next = {ScreenshotAnswer::Kind::Failed, {}};
    EXPECT_FALSE(screen.pick_interactively());
    next = {ScreenshotAnswer::Kind::Cancelled, {}};
    EXPECT_EQ(message_of([&] { screen.pick_interactively(); }), kScreenshotCancelledText);
}

TEST(OpenUriPortal, AWaylandDesktopWithoutAProgramForBmpOpensThePictureThroughThePortal) {
    // A desktop that registers no program at all; GIO reads it at its first use.
    QTemporaryDir dir;
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"})
        qputenv(name, QDir(dir.path()).filePath(QString::fromLatin1(name)).toLocal8Bit());
    qputenv("WAYLAND_DISPLAY", "wayland-kaptorama-test");
    PrivateBus bus;
    ASSERT_FALSE(bus.address.isEmpty());
    const QString record = dir.filePath(QStringLiteral("requests"));
    const QString picture = dir.filePath(QStringLiteral("kaptorama.bmp"));
    ASSERT_TRUE(position_pattern(QSize(4, 4)).save(picture, "BMP"));
    {
        FakePortal portal(QStringLiteral("answer"), picture, record);
        EXPECT_TRUE(desktop_service().open_with_default(picture));
    }
    qunsetenv("WAYLAND_DISPLAY");
    QFile file(record);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(file.readAll()), "openfile=" + picture + "\n");
}

} // namespace
