#pragma once
// Recording, undoing and redoing steps of the working picture.

#include "edit/drawing_surface.h"

#include <QImage>
#include <QSize>

class History;
class PictureView;

// Records the picture shown by `view` as the newest entry and moves the position to it.
void push_snapshot(History& history, const PictureView& view, int& history_index);

// Steps back one entry. The first undo after start-up or after a highlighter press renews the
// picture (a fresh one, with a plain block-copy mode) before restoring.
void undo_step(History& history, PictureView& view, int& history_index, bool& undo_picture_reset);

// Steps forward one entry.
void redo_step(History& history, PictureView& view, int& history_index);

// Paints `entry` over the whole picture of `view`, scaled to its size, with the surface's
// block-copy mode. The picture keeps its size.
void restore_entry(const QImage& entry, PictureView& view);
