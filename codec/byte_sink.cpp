#include "codec/byte_sink.h"

#include "platform/core/atomic_file.h"
#include "platform/core/error.h"

#include <QFileDevice>
#include <QIODevice>

bool place_file(AtomicFile& file, Placement placement) {
    if (placement == Placement::OnlyIfFree)
        return file.commit_if_free();
    file.commit();
    return true;
}

void AtomicFileSink::write(const void* data, std::size_t size) {
    file_.write(data, size);
}

void DeviceSink::write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const qint64 written = device_.write(bytes, qint64(size));
        if (written <= 0) {
            auto* file = qobject_cast<QFileDevice*>(&device_);
            const QString name = file ? file->fileName() : QStringLiteral("le flux");
            throw KapError(msg_cannot_write(name) + QStringLiteral(". ") + device_.errorString());
        }
        bytes += written;
        size -= std::size_t(written);
    }
}

void MemorySink::write(const void* data, std::size_t size) {
    bytes_.append(static_cast<const char*>(data), qsizetype(size));
}
