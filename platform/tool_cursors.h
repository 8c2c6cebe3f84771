#pragma once
// Named tool cursors for the picture view, and the start-up registration of the program's
// embedded resources (toolbar glyphs and cursors).

#include <QCursor>
#include <QString>

// Registers the embedded resources (":/glyphs/...", ":/cursors/..."). They live in a static
// library, so the program and the tests call this once at start, before loading any of them.
void init_resources();

// The cursor named "feutre_jaune", "feutre_vert", "feutre_bleu", "feutre_rouge" or "stylet"
// (case ignored), with its hot spot: (14, 15) at the felt tip's nib, (0, 31) at the stylus
// point. Built once per name and then reused. Any other name, or a missing image, gives the
// default arrow pointer.
QCursor tool_cursor(const QString& name);
