#include "platform/qt_translations.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QTranslator>
#include <QWidget>

namespace {

bool loaded = false;

QTranslator& translator() {
    static QTranslator instance;
    return instance;
}

// Waits for the first paint of a window, which comes once the window is on the screen, then
// loads the translation at the next turn of the event loop, after that paint.
class FirstPaint final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, QCoreApplication::instance(), load_qt_translations);
            deleteLater();
        }
        return false;
    }
};

} // namespace

void load_qt_translations() {
    if (loaded)
        return;
    loaded = true;
    // Compiled into the program where Qt is (Windows), else in Qt's own folder.
    for (const QString& folder :
         {QStringLiteral(":/translations"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)}) {
        if (translator().load(QLocale(QLocale::French), QStringLiteral("qtbase"),
                              QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(&translator());
            return;
        }
    }
}

void load_qt_translations_once_shown(QWidget* window) {
    if (!loaded)
        window->installEventFilter(new FirstPaint(window));
}

bool qt_translations_loaded() {
    return loaded;
}

void forget_qt_translations() {
    QCoreApplication::removeTranslator(&translator());
    loaded = false;
}
