// The yardstick of the program's start-up: a bare Qt Widgets window with a tool bar of ten
// buttons and a status bar, which does nothing else. It stays until it is closed or killed.

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QToolBar>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Fenêtre nue"));
    QToolBar* bar = window.addToolBar(QStringLiteral("Outils"));
    for (int i = 1; i <= 10; ++i)
        bar->addAction(QStringLiteral("B%1").arg(i));
    window.statusBar()->showMessage(QStringLiteral("Prêt"));
    window.resize(428, 380);
    window.show();
    return app.exec();
}
