#include "app/kap_application.h"

#include "platform/dialogs.h"
#include "platform/error.h"

#include <QWidget>
#include <exception>
#include <new>

KapApplication::KapApplication(int& argc, char** argv) : QApplication(argc, argv) {}

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
