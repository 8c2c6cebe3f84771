#include "platform/backend.h"
#include "platform/core/error.h"
#include "platform/sharing.h"
#include "platform/x11/x11_selection.h"
#include "platform/xdg/clipboard_image.h"
#include "platform/xdg/clipboard_keeper.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QThread>
#include <utility>

#include "platform/core/temp_dir.h"

namespace {

// How long closing may wait for the keeper to take the clipboard.
constexpr int kKeeperWaitMs = 700;

// The picture on the clipboard as a BMP file, for the keeper.
QByteArray& kept_bmp() {
    static QByteArray bmp;
    return bmp;
}

class QtClipboard : public ClipboardService {
public:
    void put_image(const QImage& picture, const QByteArray& bmp) override {
        QClipboard* clipboard = QGuiApplication::clipboard();
        refresh_x11_time();
        auto* data = new ClipboardImage(picture, bmp);
        clipboard->setMimeData(data, QClipboard::Clipboard);
        // Taking the clipboard can fail on X11 (the server refuses the ownership to a stale
        // timestamp); only a clipboard really ours holds the picture.
        const bool taken = QGuiApplication::platformName() == QLatin1String("xcb")
                               ? x11_owns_clipboard()
                               : clipboard->mimeData() == data;
        if (!taken)
            throw KapError(QStringLiteral("Impossible d'ouvrir le Presse-papiers"));
        keep_clipboard_at_exit(bmp);
    }
};

} // namespace

ClipboardService& real_clipboard_service() {
    static QtClipboard real;
    return real;
}

void keep_clipboard_at_exit(const QByteArray& bmp) {
    static bool connected = false;
    kept_bmp() = bmp;
    if (!connected && QCoreApplication::instance()) {
        connected = true;
        QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                         [] { hand_clipboard_to_keeper(); });
    }
}

QString clipboard_keeper_program() {
    // Beside the program in the build folder and in a copy made by hand; in the program's own
    // libexec folder once installed, found from where the executable lies so that a prefix
    // moved elsewhere keeps working.
    const QDir program_dir(QCoreApplication::applicationDirPath());
    const QString beside = program_dir.filePath(QStringLiteral("kaptorama-clipboard"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(program_dir.filePath(QStringLiteral(KAP_CLIPBOARD_KEEPER_FROM_BIN)));
}

qint64 hand_clipboard_to_keeper() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (kept_bmp().isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb") ||
        !clipboard->ownsClipboard() || !x11_owns_clipboard() ||
        !dynamic_cast<const ClipboardImage*>(clipboard->mimeData()))
        return 0;
    const QByteArray bmp = std::exchange(kept_bmp(), QByteArray());
    // The picture travels in a private file of the temporary folder, which the keeper deletes
    // once it has read it.
    QTemporaryFile file(temp_dir() + QStringLiteral("kaptorama-clipboard-XXXXXX.bmp"));
    if (!file.open() || file.write(bmp) != bmp.size() || !file.flush())
        return 0;
    file.setAutoRemove(false);
    const QString path = file.fileName();
    file.close();
    qint64 pid = 0;
    QProcess keeper;
    keeper.setProgram(clipboard_keeper_program());
    keeper.setArguments({path});
    keeper.setStandardInputFile(QProcess::nullDevice());
    if (!keeper.startDetached(&pid)) {
        QFile::remove(path);
        return 0;
    }
    // The keeper takes the clipboard; the program sees it lose the ownership. Until then Qt
    // would, at exit, wait seconds for a clipboard manager that may never answer.
    const QDeadlineTimer deadline(kKeeperWaitMs);
    while (clipboard->ownsClipboard() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        QThread::msleep(5);
    }
    return pid;
}
