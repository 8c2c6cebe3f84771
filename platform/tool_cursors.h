#pragma once
// Named tool cursors for the picture view, and the start-up registration of the program's
// embedded resources (toolbar glyphs and cursors).

#include <QCursor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <optional>

// Registers the embedded resources (":/glyphs/...", ":/cursors/..."). They live in a static
// library, so the program and the tests call this once at start, before loading any of them.
void init_resources();

// The cursor named "feutre_jaune", "feutre_vert", "feutre_bleu", "feutre_rouge" or "stylet"
// (case ignored), with its hot spot: (14, 15) at the felt tip's nib, (0, 31) at the stylus
// point. Built once per name and then reused. Any other name, or a missing image, gives the
// default arrow pointer.
QCursor tool_cursor(const QString& name);

// The program's own cursor resource of that name, loaded the system's way where the system has
// such resources (LoadCursor on the program's module on Windows, the image read back with its
// mask as transparency); nothing elsewhere, or when it is missing.
struct CursorResource {
    QImage image;
    QPoint hot_spot;
};
std::optional<CursorResource> native_cursor_resource(const char* name);
