#pragma once
// The real 3840 x 2160 desktop screen of the shared material, as a 24-bit picture; a patterned
// picture of the same size where the shared material is not at hand.

#include <QImage>
#include <QString>
#include <cstring>

inline QImage desktop_2160() {
    QImage img(QStringLiteral(KAP_SHARED_DIR "/screens/desktop-2160.png"));
    if (img.isNull()) {
        img = QImage(3840, 2160, QImage::Format_BGR888);
        for (int y = 0; y < img.height(); ++y)
            for (int i = 0; i < img.width() * 3; ++i)
                img.scanLine(y)[i] = uchar(i * 7 + y * 13);
    }
    return img.convertToFormat(QImage::Format_BGR888);
}

// A shared screen by name (as 24-bit pixels), null when missing. "desktop-4320" is an 8K screen
// (7680 x 4320): the 4K desktop four times, side by side and one above the other.
inline QImage shared_screen(const QString& name) {
    if (name == QStringLiteral("desktop-4320")) {
        const QImage quarter = desktop_2160();
        QImage whole(quarter.width() * 2, quarter.height() * 2, QImage::Format_BGR888);
        const qsizetype row = qsizetype(quarter.width()) * 3;
        for (int y = 0; y < whole.height(); ++y) {
            const uchar* from = quarter.constScanLine(y % quarter.height());
            std::memcpy(whole.scanLine(y), from, size_t(row));
            std::memcpy(whole.scanLine(y) + row, from, size_t(row));
        }
        return whole;
    }
    return QImage(QStringLiteral(KAP_SHARED_DIR "/screens/%1.png").arg(name))
        .convertToFormat(QImage::Format_BGR888);
}
