// The tool cursors as the program's own cursor resources (resources/cursors.rc), loaded with
// LoadCursor and handed to Qt as their picture with its hot spot.
#include "platform/tool_cursors.h"
#include "platform/win32/desktop/win32_screen.h"

#include <string>

std::optional<CursorResource> native_cursor_resource(const char* name) {
    const std::wstring wide = QString::fromLatin1(name).toStdWString(); // names ignore case
    // A shared cursor of the module: the system keeps it, nothing to destroy.
    const HCURSOR cursor = LoadCursorW(GetModuleHandleW(nullptr), wide.c_str());
    if (!cursor)
        return std::nullopt;
    auto picture = cursor_picture(cursor);
    if (!picture)
        return std::nullopt;
    return CursorResource{std::move(picture->pixels), picture->hot_spot};
}
