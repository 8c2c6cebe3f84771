#pragma once
// JPEG output through libjpeg: library defaults, the given quality with baseline tables
// (quantisation steps capped at 255), sequential mode, colour.

#include <QByteArray>
#include <QImage>
#include <QString>

// The whole JPEG file in memory. A fatal libjpeg error (an empty picture among them) throws
// KapError "Erreur JPEG #<code>"; warnings are ignored. Quality is 1..100 (clamped).
QByteArray encode_jpeg(const QImage& picture, int quality);
