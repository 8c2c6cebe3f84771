#pragma once
// The drawing state a picture carries from one command to the next, until the picture object
// itself is replaced.

#include <QFont>
#include <QPoint>

enum class PenMode { Copy, NotXor };
enum class BrushStyle { Solid, Clear };
enum class CopyMode { Plain, And };

struct DrawingSurface {
    unsigned pen_colour = 0x00000000; // 0x00BBGGRR
    int pen_width = 1;
    PenMode pen_mode = PenMode::Copy;
    unsigned brush_colour = 0x00FFFFFF;
    BrushStyle brush_style = BrushStyle::Solid;
    QFont font;
    CopyMode copy_mode = CopyMode::Plain;
    QPoint current_position{0, 0};
};
