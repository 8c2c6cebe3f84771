#include "platform/qt_translations.h"

#include "platform/first_paint.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

bool loaded = false;

QTranslator& translator() {
    static QTranslator instance;
    return instance;
}

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
        after_first_paint(window, load_qt_translations);
}

bool qt_translations_loaded() {
    return loaded;
}

void forget_qt_translations() {
    QCoreApplication::removeTranslator(&translator());
    loaded = false;
}
