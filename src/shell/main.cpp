#include "fonts/fontsubstitutions.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[]) {
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qorvel"));
    installChineseFontSubstitutions();
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Qorvel工尺谱"));
    window.resize(784, 561);
    window.show();
    return app.exec();
}
