// The Windows screen and clipboard under Wine on an X server: a window of known pixels is grabbed
// exactly and reported as the foreground window; the cursor is read with its hot spot and its
// transparent parts; the clipboard holds the bitmap forms alone, and
// a clipboard another thread holds open gives the French error; the tool cursors load from the
// program's cursor resources.
#include "codec/bmp.h"
#include "platform/core/error.h"
#include "platform/sharing.h"
#include "platform/tool_cursors.h"
#include "platform/win32/desktop/win32_screen.h"

#include <gtest/gtest.h>
#include <thread>

#include <windows.h>

namespace {

constexpr COLORREF kColour = RGB(0x20, 0x80, 0xC0);
const RECT kPlace{120, 90, 120 + 70, 90 + 50};

void pump(int milliseconds) {
    const DWORD end = GetTickCount() + DWORD(milliseconds);
    while (GetTickCount() < end) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(10);
    }
}

// A borderless window painted in one colour, in front.
HWND solid_window() {
    WNDCLASSW type{};
    type.lpfnWndProc = DefWindowProcW;
    type.hInstance = GetModuleHandleW(nullptr);
    type.hbrBackground = CreateSolidBrush(kColour);
    type.lpszClassName = L"KaptoramaSolid";
    RegisterClassW(&type);
    const HWND window =
        CreateWindowExW(WS_EX_TOPMOST, type.lpszClassName, L"solid", WS_POPUP | WS_VISIBLE,
                        kPlace.left, kPlace.top, kPlace.right - kPlace.left,
                        kPlace.bottom - kPlace.top, nullptr, nullptr, type.hInstance, nullptr);
    SetForegroundWindow(window);
    pump(1500);
    return window;
}

TEST(Win32Screen, GrabsAWindowOfKnownPixelsAndNamesItTheForegroundWindow) {
    const HWND window = solid_window();
    Win32Screen screen;
    EXPECT_EQ(screen.primary_display(),
              (ScreenRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
    const ScreenRect rect{kPlace.left - 5, kPlace.top, kPlace.right, kPlace.bottom};
    QImage raster(int(rect.width()), int(rect.height()), QImage::Format_BGR888);
    screen.grab(raster, rect);
    // Five columns of the desktop, then the window's colour to the right edge.
    EXPECT_EQ(raster.pixel(5, 0), qRgb(0x20, 0x80, 0xC0));
    EXPECT_EQ(raster.pixel(raster.width() - 1, raster.height() - 1), qRgb(0x20, 0x80, 0xC0));
    EXPECT_NE(raster.pixel(4, 0), qRgb(0x20, 0x80, 0xC0));
    EXPECT_EQ(screen.foreground_window(),
              (ScreenRect{kPlace.left, kPlace.top, kPlace.right, kPlace.bottom}));
    DestroyWindow(window);
}

TEST(Win32Screen, ReadsTheCursorsPositionHotSpotAndPicture) {
    // 32 × 32, hot spot (3, 4): the left half opaque white, the right half transparent.
    BYTE and_mask[32 * 4];
    BYTE xor_mask[32 * 4];
    for (int row = 0; row < 32; ++row) {
        for (int byte = 0; byte < 4; ++byte) {
            and_mask[row * 4 + byte] = byte < 2 ? 0x00 : 0xFF;
            xor_mask[row * 4 + byte] = byte < 2 ? 0xFF : 0x00;
        }
    }
    const HCURSOR cursor =
        CreateCursor(GetModuleHandleW(nullptr), 3, 4, 32, 32, and_mask, xor_mask);
    const HWND window = solid_window();
    SetCursorPos(150, 110);
    SetCursor(cursor);
    pump(300);
    const std::optional<CursorState> state = Win32Screen().cursor();
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->visible);
    EXPECT_EQ(state->position, QPoint(150, 110));
    EXPECT_EQ(state->image.hot_spot, QPoint(3, 4));
    ASSERT_EQ(state->image.pixels.size(), QSize(32, 32));
    EXPECT_EQ(state->image.pixels.pixel(15, 20), 0xFFFFFFFFu);
    EXPECT_EQ(qAlpha(state->image.pixels.pixel(16, 20)), 0);
    DestroyWindow(window);
    DestroyCursor(cursor);
}

TEST(Win32Clipboard, HoldsTheBitmapFormsAloneAndSaysWhenItIsBusy) {
    QImage picture(7, 3, QImage::Format_RGB888);
    picture.fill(qRgb(1, 2, 3));
    clipboard_service().put_image(picture, encode_bmp(picture));
    ASSERT_TRUE(OpenClipboard(nullptr));
    std::vector<UINT> formats;
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format))
        formats.push_back(format);
    CloseClipboard();
    ASSERT_FALSE(formats.empty());
    EXPECT_EQ(formats.front(), UINT(CF_BITMAP));
    for (const UINT format : formats)
        EXPECT_TRUE(format == CF_BITMAP || format == CF_DIB || format == CF_DIBV5) << format;

    HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread holder([&] {
        OpenClipboard(nullptr);
        SetEvent(opened);
        WaitForSingleObject(done, 10000);
        CloseClipboard();
    });
    WaitForSingleObject(opened, 10000);
    QString message;
    try {
        clipboard_service().put_image(picture, encode_bmp(picture));
    } catch (const KapError& error) {
        message = error.message();
    }
    SetEvent(done);
    holder.join();
    EXPECT_EQ(message, QStringLiteral("Impossible d'ouvrir le Presse-papiers"));
}

} // namespace

// LoadCursor finds each tool cursor by its lower-case name, with its hot spot and the very
// pixels and transparency of the cursor's image.
TEST(CursorResources, LoadWithTheirHotSpotsAndPixels) {
    init_resources();
    const std::pair<const char*, QPoint> cursors[] = {
        {"feutre_jaune", {14, 15}}, {"feutre_vert", {14, 15}}, {"feutre_bleu", {14, 15}},
        {"feutre_rouge", {14, 15}}, {"stylet", {0, 31}},
    };
    for (const auto& [name, hot] : cursors) {
        const auto cursor = native_cursor_resource(name);
        ASSERT_TRUE(cursor) << name;
        EXPECT_EQ(cursor->hot_spot, hot) << name;
        const QImage want = QImage(QStringLiteral(":/cursors/%1.png").arg(QLatin1String(name)))
                                .convertToFormat(QImage::Format_ARGB32);
        ASSERT_FALSE(want.isNull()) << name;
        EXPECT_EQ(cursor->image.convertToFormat(QImage::Format_ARGB32), want) << name;
    }
    EXPECT_FALSE(native_cursor_resource("feutre_noir"));
}
