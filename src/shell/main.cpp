#include "fonts/fontsubstitutions.h"
#include "model/atomicfile.h"
#include "shell/commandlineexport.h"
#include "shell/mainwindow.h"
#include "shell/qttranslations.h"

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
    // The command line reports in English; the windows speak Chinese.
    installQtTranslations();

    MainWindow window;
    window.show();
    window.openFromArguments(QApplication::arguments());
    return app.exec();
}
