#include "fonts/fontsubstitutions.h"
#include "shell/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qorvel"));
    installChineseFontSubstitutions();

    MainWindow window;
    window.show();

    window.openFromArguments(QApplication::arguments());
    return app.exec();
}
