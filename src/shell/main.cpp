#include "fonts/fontsubstitutions.h"
#include "model/atomicfile.h"
#include "shell/commandlineexport.h"
#include "shell/mainwindow.h"
#include "shell/qttranslations.h"
#include "shell/singleinstance.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    // A write past the file size limit fails and is reported, instead of
    // ending the program.
    AtomicFile::ignoreFileSizeSignal();
    // Before the application object: the command-line export chooses its
    // platform (offscreen without a display) and keeps standard error quiet.
    const bool commandLine = CommandLineExport::wanted(argc, argv);
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("qorvel"));
    installChineseFontSubstitutions();
    if (commandLine) {
        return CommandLineExport::run(QApplication::arguments());
    }
    // One window per user: a later launch hands its files to it and ends.
    const QStringList files = QApplication::arguments().mid(1);
    SingleInstance instance;
    if (instance.handOver(files)) {
        return 0;
    }
    // The command line reports in English; the windows speak Chinese.
    installQtTranslations();

    MainWindow window;
    window.show();
    window.openFiles(files);
    instance.listen();
    QObject::connect(&instance, &SingleInstance::filesReceived, &window,
                     [&window](const QStringList &handed) {
                         window.openFiles(handed);
                         if (window.isMinimized()) {
                             window.showNormal();
                         }
                         window.raise();
                         window.activateWindow();
                     });
    return app.exec();
}
