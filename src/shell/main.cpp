#include "fonts/fontsubstitutions.h"
#include "shell/commandlineexport.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[]) {
    // Decided before the application exists: an export needs no display.
    const bool commandLine = CommandLineExport::wanted(argc, argv);
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qorvel"));
    installChineseFontSubstitutions();
    if (commandLine) {
        return CommandLineExport::run(QApplication::arguments());
    }
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Qorvel工尺谱"));
    window.resize(784, 561);
    window.show();
    return app.exec();
}
