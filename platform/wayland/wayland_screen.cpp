#include "platform/wayland/wayland_screen.h"

#include "platform/backend.h"
#include "platform/core/error.h"
#include "platform/x11/x11_screen.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

QSize device_size(const QScreen* screen) {
    const qreal ratio = screen->devicePixelRatio();
    const QSize logical = screen->geometry().size();
    return QSize(int(std::lround(logical.width() * ratio)),
                 int(std::lround(logical.height() * ratio)));
}

} // namespace

DisplayLayout qt_display_layout() {
    const QScreen* primary = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    if (!primary)
        throw KapError(QStringLiteral("Aucun écran n'est connu dans cette session"));
    const QPoint origin = primary->geometry().topLeft();
    const qreal ratio = primary->devicePixelRatio();
    DisplayLayout layout;
    layout.primary = QRect(QPoint(0, 0), device_size(primary));
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QPoint offset = screen->geometry().topLeft() - origin;
        layout.desktop |= QRect(
            QPoint(int(std::lround(offset.x() * ratio)), int(std::lround(offset.y() * ratio))),
            device_size(screen));
    }
    const QRect available = primary->availableGeometry().translated(-origin);
    layout.work =
        QRect(int(std::lround(available.x() * ratio)), int(std::lround(available.y() * ratio)),
              int(std::lround(available.width() * ratio)),
              int(std::lround(available.height() * ratio))) &
        layout.primary;
    if (layout.work.isEmpty())
        layout.work = layout.primary;
    return layout;
}

void cut_screenshot(const QImage& shot, const DisplayLayout& layout, const ScreenRect& rect,
                    QImage& raster) {
    raster.fill(Qt::black);
    if (shot.isNull())
        return;
    QImage source;
    QPoint origin = layout.desktop.topLeft();
    if (shot.size() == layout.desktop.size()) {
        source = shot.convertToFormat(QImage::Format_BGR888);
    } else if (shot.size() == layout.primary.size()) {
        source = shot.convertToFormat(QImage::Format_BGR888);
        origin = layout.primary.topLeft();
    } else {
        source = shot.scaled(layout.desktop.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation)
                     .convertToFormat(QImage::Format_BGR888);
    }
    // The part of the rectangle the screenshot covers, in the screenshot's coordinates.
    const int64_t left = std::max<int64_t>(int64_t(rect.left) - origin.x(), 0);
    const int64_t top = std::max<int64_t>(int64_t(rect.top) - origin.y(), 0);
    const int64_t right = std::min<int64_t>(int64_t(rect.right) - origin.x(), source.width());
    const int64_t bottom = std::min<int64_t>(int64_t(rect.bottom) - origin.y(), source.height());
    if (left >= right || top >= bottom)
        return;
    const int64_t dx = left + origin.x() - rect.left;
    const int64_t dy = top + origin.y() - rect.top;
    for (int64_t y = top; y < bottom; ++y)
        std::memcpy(raster.scanLine(int(y - top + dy)) + dx * 3,
                    source.constScanLine(int(y)) + left * 3, size_t(right - left) * 3);
}

bool is_wayland_session(const QString& wayland_display, const QString& session_type) {
    return !wayland_display.isEmpty() || session_type.compare(QLatin1String("wayland")) == 0;
}

bool is_wayland_session() {
    return is_wayland_session(qEnvironmentVariable("WAYLAND_DISPLAY"),
                              qEnvironmentVariable("XDG_SESSION_TYPE"));
}

ScreenKind choose_screen_kind(bool wayland_session, const QString& qt_platform,
                              const std::function<bool()>& portal_answers) {
    if (!wayland_session)
        return ScreenKind::X11;
    if (qt_platform.startsWith(QLatin1String("wayland")))
        return ScreenKind::Wayland;
    return portal_answers && portal_answers() ? ScreenKind::Wayland : ScreenKind::X11;
}

void prefer_wayland_platform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && is_wayland_session())
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
}

WaylandScreen::WaylandScreen(Shooter shooter, Layout layout)
    : shooter_(std::move(shooter)), layout_(std::move(layout)) {
    if (!shooter_)
        shooter_ = [](bool interactive) {
            return request_portal_screenshot(interactive,
                                             interactive ? kPortalPickWaitMs : kPortalShotWaitMs);
        };
    if (!layout_)
        layout_ = qt_display_layout;
}

ScreenRect WaylandScreen::primary_display() {
    return ScreenRect::from_qrect(layout_().primary);
}

ScreenRect WaylandScreen::virtual_desktop() {
    return ScreenRect::from_qrect(layout_().desktop);
}

ScreenRect WaylandScreen::work_area() {
    return ScreenRect::from_qrect(layout_().work);
}

QImage WaylandScreen::picture_of(const ScreenshotAnswer& answer) {
    switch (answer.kind) {
    case ScreenshotAnswer::Kind::Picture:
        return take_screenshot_file(answer.file);
    case ScreenshotAnswer::Kind::Cancelled:
        throw KapError(kScreenshotCancelledText);
    case ScreenshotAnswer::Kind::Failed:
        break;
    }
    throw KapError(kScreenshotRefusedText);
}

void WaylandScreen::grab(QImage& raster, const ScreenRect& rect) {
    const DisplayLayout layout = layout_();
    const QImage shot = picture_of(shooter_(false));
    cut_screenshot(shot, layout, rect, raster);
}

std::optional<QImage> WaylandScreen::pick_interactively() {
    const ScreenshotAnswer answer = shooter_(true);
    // A back end without an interactive tool fails the request: the caller falls back to the
    // whole display. A cancelled pick is the user's answer and ends the capture.
    if (answer.kind == ScreenshotAnswer::Kind::Failed)
        return std::nullopt;
    return picture_of(answer).convertToFormat(QImage::Format_BGR888);
}

void WaylandScreen::sync() {
    // A round trip to the compositor: every request sent so far (a window hidden) is done.
    if (qGuiApp)
        QGuiApplication::sync();
}

// Chosen once, at the first use: the Wayland screen in a Wayland session where the desktop
// portal can take screenshots, the X11 one elsewhere.
std::unique_ptr<Screen> make_real_screen() {
    const QString platform = qGuiApp ? QGuiApplication::platformName() : QString();
    if (choose_screen_kind(is_wayland_session(), platform,
                           [] { return screenshot_portal_answers(); }) == ScreenKind::Wayland)
        return std::make_unique<WaylandScreen>();
    return std::make_unique<X11Screen>();
}
