// kaptorama-clipboard: keeps the picture that Kaptorama left on the clipboard pasteable after
// Kaptorama has closed. Started detached by Kaptorama as it exits, with the path of a private BMP
// file holding the picture, which it reads and deletes. It takes the clipboard at once, then
//  - when a clipboard manager runs, hands the picture over to it (freedesktop SAVE_TARGETS, done
//    by Qt as this process ends) and ends;
//  - otherwise serves the picture until another program takes the clipboard, then ends.

#include "platform/x11/x11_selection.h"
#include "platform/xdg/clipboard_image.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <xcb/xcb.h>

namespace {

bool clipboard_manager_runs() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11)
        return false;
    xcb_connection_t* connection = x11->connection();
    const char name[] = "CLIPBOARD_MANAGER";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof name - 1, name), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t manager_atom = atom->atom;
    free(atom);
    if (manager_atom == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, manager_atom), nullptr);
    const bool runs = owner && owner->owner != XCB_NONE;
    free(owner);
    return runs;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    QGuiApplication app(argc, argv);
    const QString path = QFile::decodeName(argv[1]);
    QByteArray bytes;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
    }
    QFile::remove(path);
    // The picture is the program's own BMP file; pictures of any size are served.
    QImageReader::setAllocationLimit(0);
    const QImage picture = QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_BGR888);
    if (picture.isNull())
        return 1;

    QClipboard* clipboard = QGuiApplication::clipboard();
    refresh_x11_time();
    auto* data = new ClipboardImage(picture, bytes);
    clipboard->setMimeData(data, QClipboard::Clipboard);
    if (!x11_owns_clipboard())
        return 1;
    // Both forms ready before anyone asks: the manager reads them while Qt hands over.
    data->data(QStringLiteral("image/png"));
    data->data(QStringLiteral("image/bmp"));

    if (clipboard_manager_runs())
        return 0; // Qt's clipboard hands the picture to the manager as the application ends

    QObject::connect(clipboard, &QClipboard::changed, &app, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard())
            QCoreApplication::quit();
    });
    return app.exec();
}
