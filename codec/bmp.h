#pragma once
// BMP files: the working files in the temporary folder and the BMP save format.
//
// The writer produces the plain Windows device-independent bitmap file: 14-byte file header,
// 40-byte info header, the colour table when the picture has one, then the rows bottom row
// first, each padded with zeros to a multiple of 4 bytes. The picture keeps its own depth:
//   Format_BGR888   -> 24 bits, blue, green, red
//   Format_RGB32    -> 32 bits, blue, green, red, unused (0)
//   Format_Indexed8 -> 8 bits, colour table of (blue, green, red, 0) entries
// Any other format is written as 24 bits.
//
// The reader gives back those same formats (24 -> Format_BGR888, 32 -> Format_RGB32,
// 8 -> Format_Indexed8) for what the writer writes and for ordinary uncompressed files of other
// programs: bottom-up or top-down rows, 12/40/52/56/108/124-byte headers, any legal colour table,
// 32-bit colour masks of 8 bits each. Anything else is refused with a French reason.

#include "codec/byte_sink.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <cstddef>

// The whole file in memory; an empty array for a null picture or one too large for the format.
QByteArray encode_bmp(const QImage& image);

// Creates or replaces the file through AtomicFile, in one pass (rows without padding go out
// straight from the picture in one gathered write). Throws KapError "Impossible de créer le
// fichier "<path>". <reason>" when the file cannot be created or written (a full disk), or the
// picture is empty or too large; the former file is then left as it was. With
// Placement::OnlyIfFree the file takes the path only where nothing stands: false when something
// does (nothing is then written there).
bool write_bmp(const QImage& image, const QString& path, Placement placement = Placement::Replace);

// Decodes a BMP file held in memory. Returns a null picture and sets *reason (when given) to a
// French explanation, without a final full stop, for anything refused. Never reads outside
// [data, data + size) and never allocates much more than the pixel data the file really holds.
QImage decode_bmp(const char* data, std::size_t size, QString* reason);

// Reads and decodes a file. Throws KapError "Impossible d'ouvrir le fichier "<path>". <reason>"
// when the file cannot be read or is refused.
QImage read_bmp(const QString& path);
