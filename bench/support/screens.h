#pragma once
// The real 3840 x 2160 desktop screen of the shared material, as a 24-bit picture; a patterned
// picture of the same size where the shared material is not at hand.

#include <QImage>
#include <QString>

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
