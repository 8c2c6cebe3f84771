#include "platform/win32/desktop/win32_screen.h"

#include "platform/backend.h"
#include "platform/core/error.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include <windows.h>

#include <dwmapi.h>

namespace {

// A memory drawing surface with a top-down DIB section selected into it, freed with the
// surface; bits() are the section's rows, each a multiple of 4 bytes long.
class DibSurface {
public:
    DibSurface(HDC like, int width, int height, int bits_per_pixel) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top row first, as in a QImage
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = WORD(bits_per_pixel);
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(like);
        if (dc_)
            bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        if (bitmap_)
            old_ = SelectObject(dc_, bitmap_);
    }
    ~DibSurface() {
        if (old_)
            SelectObject(dc_, old_);
        if (bitmap_)
            DeleteObject(bitmap_);
        if (dc_)
            DeleteDC(dc_);
    }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    bool ok() const { return old_ != nullptr && bits_ != nullptr; }
    HDC dc() const { return dc_; }
    const uchar* bits() const { return static_cast<const uchar*>(bits_); }
    uchar* bits() { return static_cast<uchar*>(bits_); }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    void* bits_ = nullptr;
};

// Bytes per row of a DIB: rounded up to whole 32-bit words.
qsizetype dib_stride(int width, int bits_per_pixel) {
    return ((qsizetype(width) * bits_per_pixel + 31) / 32) * 4;
}

using GetCursorInfoFn = BOOL(WINAPI*)(PCURSORINFO);

// GetCursorInfo from the already loaded "User32.dll", looked up by name; false when the module
// or the function is missing or the call fails.
bool get_cursor_info(CURSORINFO& info) {
    const HMODULE user32 = GetModuleHandleA("User32.dll");
    if (!user32)
        return false;
    const auto get = reinterpret_cast<GetCursorInfoFn>(
        reinterpret_cast<void*>(GetProcAddress(user32, "GetCursorInfo")));
    return get && get(&info);
}

// The size of a cursor's picture: its colour bitmap's, or half the height of its mask where it
// has none (a monochrome cursor's mask holds the AND and the XOR masks one above the other).
QSize icon_size(const ICONINFO& icon) {
    BITMAP bitmap{};
    if (icon.hbmColor && GetObjectW(icon.hbmColor, sizeof(bitmap), &bitmap))
        return QSize(bitmap.bmWidth, bitmap.bmHeight);
    if (icon.hbmMask && GetObjectW(icon.hbmMask, sizeof(bitmap), &bitmap))
        return QSize(bitmap.bmWidth, bitmap.bmHeight / 2);
    return {};
}

// Draws the cursor at its own size over a plain background of `fill`; a null picture on failure.
QImage draw_icon_over(HICON icon, QSize size, uchar fill) {
    const HDC screen_dc = GetDC(nullptr);
    if (!screen_dc)
        return {};
    DibSurface surface(screen_dc, size.width(), size.height(), 32);
    ReleaseDC(nullptr, screen_dc);
    if (!surface.ok())
        return {};
    const qsizetype stride = dib_stride(size.width(), 32);
    std::memset(surface.bits(), fill, size_t(stride * size.height()));
    if (!DrawIconEx(surface.dc(), 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL))
        return {};
    GdiFlush();
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(picture.scanLine(y), surface.bits() + stride * y, size_t(size.width()) * 4);
    return picture;
}

} // namespace

QImage cursor_from_backgrounds(const QImage& over_black, const QImage& over_white) {
    QImage result(over_black.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < result.height(); ++y) {
        const auto* b = reinterpret_cast<const uint32_t*>(over_black.constScanLine(y));
        const auto* w = reinterpret_cast<const uint32_t*>(over_white.constScanLine(y));
        auto* out = reinterpret_cast<uint32_t*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            // Over black a pixel shows the cursor's premultiplied colour; over white that plus
            // the share of white it lets through, 255 − alpha, in every channel.
            int through = 0;
            for (int shift = 0; shift < 24; shift += 8)
                through =
                    std::max(through, int((w[x] >> shift) & 0xFF) - int((b[x] >> shift) & 0xFF));
            const uint32_t alpha = uint32_t(255 - through);
            uint32_t pixel = alpha << 24;
            for (int shift = 0; shift < 24; shift += 8) {
                uint32_t c = (b[x] >> shift) & 0xFF;
                if (through == 0 && int((w[x] >> shift) & 0xFF) < int(c))
                    c = 255; // inverted: shown white
                pixel |= std::min(c, alpha) << shift;
            }
            out[x] = pixel;
        }
    }
    return result;
}

ScreenRect Win32Screen::primary_display() {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

ScreenRect Win32Screen::virtual_desktop() {
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    return {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
            top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

ScreenRect Win32Screen::work_area() {
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        return primary_display();
    return {work.left, work.top, work.right, work.bottom};
}

void Win32Screen::grab(QImage& raster, const ScreenRect& rect) {
    const int width = raster.width();
    const int height = raster.height();
    const HWND desktop = GetDesktopWindow();
    const HDC screen_dc = GetWindowDC(desktop);
    if (!screen_dc)
        throw KapError(QStringLiteral("Impossible de lire l'écran"));
    bool copied = false;
    {
        // One block copy, of equal source and destination sizes, straight into a section laid
        // out as the raster's rows; the rectangle is not clipped (off the screen is black).
        DibSurface surface(screen_dc, width, height, 24);
        if (surface.ok()) {
            std::memset(surface.bits(), 0, size_t(dib_stride(width, 24) * height));
            copied = StretchBlt(surface.dc(), 0, 0, width, height, screen_dc, rect.left, rect.top,
                                width, height, SRCCOPY);
            GdiFlush();
        }
        if (copied) {
            const qsizetype stride = dib_stride(width, 24);
            for (int y = 0; y < height; ++y)
                std::memcpy(raster.scanLine(y), surface.bits() + stride * y, size_t(width) * 3);
        }
    }
    ReleaseDC(desktop, screen_dc);
    if (!copied)
        throw KapError(QStringLiteral("Impossible de lire l'écran"));
}

std::optional<ScreenRect> Win32Screen::foreground_window() {
    const HWND window = GetForegroundWindow();
    RECT outer{};
    if (!window || !GetWindowRect(window, &outer))
        return std::nullopt;
    return ScreenRect{outer.left, outer.top, outer.right, outer.bottom};
}

std::optional<CursorState> Win32Screen::cursor() {
    CURSORINFO info{};
    info.cbSize = sizeof(info);
    if (!get_cursor_info(info))
        return std::nullopt;
    CursorState state;
    state.visible = info.flags == CURSOR_SHOWING;
    state.position = QPoint(info.ptScreenPos.x, info.ptScreenPos.y);
    if (!state.visible || !info.hCursor)
        return state;
    const HICON copy = CopyIcon(info.hCursor);
    if (!copy)
        return state;
    if (auto picture = cursor_picture(copy))
        state.image = std::move(*picture);
    DestroyIcon(copy);
    return state;
}

std::optional<CursorImage> cursor_picture(HICON cursor) {
    ICONINFO icon{};
    if (!GetIconInfo(cursor, &icon))
        return std::nullopt;
    std::optional<CursorImage> picture;
    const QSize size = icon_size(icon);
    if (!size.isEmpty()) {
        const QImage black = draw_icon_over(cursor, size, 0x00);
        const QImage white = black.isNull() ? QImage() : draw_icon_over(cursor, size, 0xFF);
        if (!white.isNull())
            picture = CursorImage{QPoint(int(icon.xHotspot), int(icon.yHotspot)),
                                  cursor_from_backgrounds(black, white)};
    }
    // Both bitmaps of the icon record are the caller's to delete, whatever happened above.
    if (icon.hbmMask)
        DeleteObject(icon.hbmMask);
    if (icon.hbmColor)
        DeleteObject(icon.hbmColor);
    return picture;
}

void Win32Screen::sync() {
    GdiFlush();
    // The desktop composition shows a window just hidden until its next frame.
    DwmFlush();
}

std::unique_ptr<Screen> make_real_screen() {
    return std::make_unique<Win32Screen>();
}
