#include "tools/kaptorama-image/commands.h"

#include "codec/bmp.h"
#include "platform/core/error.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

namespace {
const QString not_a_file = QStringLiteral("Ce n'est pas un fichier");
}

void check_output(const QString& path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir())
        throw KapError(msg_cannot_create(path, not_a_file));
}

// BMP files go through the program's own reader; anything else through Qt's.
QImage read_picture(const QString& path) {
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw KapError(msg_cannot_open(path, not_a_file));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw KapError(msg_cannot_open(path, file.errorString()));
    const bool bmp = file.peek(2) == "BM";
    file.close();
    QImage picture;
    if (bmp) {
        picture = read_bmp(path);
    } else {
        QImageReader reader(path);
        picture = reader.read();
        if (picture.isNull())
            throw KapError(msg_cannot_open(path, reader.errorString()));
    }
    // The program's pictures are 24-bit.
    return picture.convertToFormat(QImage::Format_BGR888);
}
