#pragma once
// Full-size pictures in fresh memory. The first write to each 4 kB page of new memory costs the
// system a fault, and on some systems (virtual machines above all) a 4K or 8K picture's worth of
// faults costs more than the work that fills it: a grab at 8K spent most of its time there.
// Every new full frame of the program (the grab, the copy a picture needs before an effect
// changes it in place, a rebuilt history entry, the resampler's result) comes from here, in
// memory aligned to and advised for 2 MB pages where the system has them (Linux), which makes
// those faults a few hundred; and the last frame let go is kept for the next one of its size,
// whose pages are then already in place (on Windows too, where the heap hands large blocks back
// to the system at once).
//
// The pictures are ordinary QImages: shared, copied and freed as any other. Small pictures get
// Qt's own memory.

#include <QImage>
#include <QRect>
#include <QSize>

// A new picture of the given size and format; its pixels hold whatever the memory held, for the
// caller to write every one. Null when the memory cannot be had or the size is invalid.
QImage new_frame(QSize size, QImage::Format format = QImage::Format_BGR888);

// A copy of `area` of `picture` in a new frame, black where the area leaves the picture (as
// QImage::copy); for formats of whole bytes per pixel. Null when the memory cannot be had.
QImage copy_to_frame(const QImage& picture, QRect area);

// Makes `picture` the only owner of its pixels before they are changed in place: when it shares
// them with another QImage, it gets a copy in a new frame (the other keeps the pixels). False
// when that memory cannot be had; the picture is then unchanged.
bool own_frame(QImage& picture);

// Whether `picture` owns its pixels alone (writing to them changes no other QImage).
inline bool owns_frame(const QImage& picture) {
    return picture.isNull() || picture.isDetached();
}
