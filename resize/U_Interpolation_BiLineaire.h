#pragma once
// The program's one scaling routine: resizes a 24-bit picture by blending, for each destination
// pixel, the source pixels around its position with weights that are the inverse of their
// distances. The arithmetic is fixed to the last bit (80-bit extended intermediates, doubles where
// values are stored, truncation toward zero), so pictures resized here come out byte for byte the
// same as in earlier versions of the program.
//
// The routine runs without a display; the progress window plugs in through ResampleProgress.

#include <QImage>
#include <QString>

// Receives the progress of one resampling. All calls come on the thread that called the
// resampler, in this order: resample_started once, row_reached for destination rows 0, 1, ...,
// height - 1 in order (not called when the new width is 0), then resample_finished once, also
// when the resampling fails after it started.
class ResampleProgress {
public:
    virtual ~ResampleProgress() = default;
    // `rows` >= 1 is the new height.
    virtual void resample_started(int rows) = 0;
    virtual void row_reached(int row) = 0;
    virtual void resample_finished() = 0;
};

// Resizes `picture` in place to new_width x new_height. The picture is first converted to
// QImage::Format_BGR888 (and stays converted even when the resize then fails).
//
// Throws KapError:
// - "Propriété TProgressBar hors limites" when new_height < 1 or new_width < 0, before any
//   pixel is computed; the picture keeps its size and content;
// - "Il n'y a pas de capture à redimensionner!" when the picture is empty but the result would
//   not be;
// - "Mémoire insuffisante" when the result cannot be allocated.
// A new width of 0 gives an empty (null) picture.
void InterpolationBiLineaire(QImage& picture, int new_width, int new_height,
                             ResampleProgress* progress = nullptr);

// The same resampling, leaving `source` untouched and returning the result.
QImage resample_bilinear(const QImage& source, int new_width, int new_height,
                         ResampleProgress* progress = nullptr);

// "Propriété <name> hors limites", the error of a property given a value outside its range.
QString msg_property_out_of_range(const QString& name);
