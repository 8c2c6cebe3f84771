#include "platform/tool_cursors.h"

#include <QHash>
#include <QPixmap>
#include <QtGlobal>

void init_resources() {
    // Outside any namespace: the macro declares the registration function of resources.qrc.
    Q_INIT_RESOURCE(resources);
}

namespace {

struct CursorImage {
    const char* name;
    int hot_x;
    int hot_y;
};

constexpr CursorImage kCursors[] = {
    {"feutre_jaune", 14, 15}, {"feutre_vert", 14, 15}, {"feutre_bleu", 14, 15},
    {"feutre_rouge", 14, 15}, {"stylet", 0, 31},
};

} // namespace

QCursor tool_cursor(const QString& name) {
    // Cursors are user-interface objects: built and used on the user-interface thread only.
    static QHash<QString, QCursor> cache;
    const QString key = name.toLower();
    if (const auto it = cache.constFind(key); it != cache.constEnd())
        return *it;
    for (const CursorImage& c : kCursors) {
        if (key != QLatin1String(c.name))
            continue;
        if (const auto native = native_cursor_resource(c.name)) {
            const QCursor cursor(QPixmap::fromImage(native->image), native->hot_spot.x(),
                                 native->hot_spot.y());
            cache.insert(key, cursor);
            return cursor;
        }
        const QPixmap pixmap(QStringLiteral(":/cursors/%1.png").arg(key));
        if (pixmap.isNull())
            return QCursor(Qt::ArrowCursor); // not cached: resources may be registered later
        const QCursor cursor(pixmap, c.hot_x, c.hot_y);
        cache.insert(key, cursor);
        return cursor;
    }
    return QCursor(Qt::ArrowCursor);
}
