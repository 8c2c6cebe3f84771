#pragma once
// The picture as clipboard data: offered as "image/png" and "image/bmp", both lossless, so that
// every program can paste it with its pixels unchanged. Each form is encoded the first time a
// program asks for it, then kept.

#include <QImage>
#include <QMimeData>

class ClipboardImage : public QMimeData {
public:
    explicit ClipboardImage(QImage picture);

    QStringList formats() const override;
    bool hasFormat(const QString& mime_type) const override;
    const QImage& picture() const { return picture_; }

protected:
    QVariant retrieveData(const QString& mime_type, QMetaType type) const override;

private:
    QImage picture_;
    mutable QByteArray png_;
    mutable QByteArray bmp_;
};
