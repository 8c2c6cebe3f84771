#include "app/kap_application.h"

#include "platform/core/error.h"
#include "platform/dialogs.h"

#include <QWidget>
#include <exception>
#include <new>

int KapApplication::qt_argc_ = 1;
char* KapApplication::qt_argv_[2] = {nullptr, nullptr};

int& KapApplication::program_name_only(int argc, char** argv) {
    static char fallback_name[] = "kaptorama";
    qt_argv_[0] = argc > 0 && argv && argv[0] ? argv[0] : fallback_name;
    qt_argv_[1] = nullptr;
    qt_argc_ = 1;
    return qt_argc_;
}

KapApplication::KapApplication(int& argc, char** argv)
    : QApplication(program_name_only(argc, argv), qt_argv_) {}

bool KapApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        report_escaped_error(qobject_cast<QWidget*>(receiver));
        return true;
    }
}

void report_escaped_error(QWidget* asker) {
    QString text;
    try {
        throw;
    } catch (const KapError& e) {
        text = e.message();
    } catch (const std::bad_alloc&) {
        text = QStringLiteral("Mémoire insuffisante");
    } catch (const std::exception& e) {
        text = QString::fromLocal8Bit(e.what());
    } catch (...) {
        text = QStringLiteral("Erreur inattendue");
    }
    try {
        show_error(text, asker);
    } catch (...) {
        // The error box itself failed: nothing more can be reported.
    }
}
