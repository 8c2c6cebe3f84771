#include "platform/xdg/clipboard_image.h"

#include <QBuffer>
#include <QImageWriter>

namespace {
const QString kPng = QStringLiteral("image/png");
const QString kBmp = QStringLiteral("image/bmp");
} // namespace

ClipboardImage::ClipboardImage(QImage picture, QByteArray bmp)
    : picture_(std::move(picture)), bmp_(std::move(bmp)) {}

QStringList ClipboardImage::formats() const {
    return {kPng, kBmp};
}

bool ClipboardImage::hasFormat(const QString& mime_type) const {
    return mime_type == kPng || mime_type == kBmp;
}

QVariant ClipboardImage::retrieveData(const QString& mime_type, QMetaType) const {
    if (mime_type == kPng) {
        if (png_.isEmpty()) {
            QBuffer buffer(&png_);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "png");
            // Light compression: the clipboard is read once, soon, and often by a program on
            // the same machine; a 4K screen should not keep the paste waiting.
            writer.setQuality(70);
            writer.write(picture_);
        }
        return png_;
    }
    if (mime_type == kBmp)
        return bmp_;
    return {};
}
