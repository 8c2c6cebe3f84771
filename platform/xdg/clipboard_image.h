#pragma once
// The picture as clipboard data: offered as "image/png" and "image/bmp", both lossless, so that
// every program can paste it with its pixels unchanged. The BMP file is given; the PNG one is
// encoded the first time a program asks for it, then kept.

#include <QImage>
#include <QMimeData>

class ClipboardImage : public QMimeData {
public:
    // `bmp` is the picture as a BMP file.
    ClipboardImage(QImage picture, QByteArray bmp);

    QStringList formats() const override;
    bool hasFormat(const QString& mime_type) const override;
    const QImage& picture() const { return picture_; }

protected:
    QVariant retrieveData(const QString& mime_type, QMetaType type) const override;

private:
    QImage picture_;
    mutable QByteArray png_;
    QByteArray bmp_;
};
