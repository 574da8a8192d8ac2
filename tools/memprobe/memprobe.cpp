// memprobe FILE.gcp [open|edit|export]
//   open    read the file into a document tab
//   edit    also type, paste and undo in it
//   export  also typeset every page with the saved export settings
// Prints the number of pages and bytes typeset.
#include "editor/insertlyriccommand.h"
#include "editor/insertscorecommand.h"
#include "editor/lyricedit.h"
#include "editor/documenttab.h"
#include "editor/scoreedit.h"
#include "export/exportconfig.h"
#include "typeset/typesetter.h"

#include <QApplication>
#include <QTextBlock>
#include <QUndoStack>
#include <cstdio>
#include <memory>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: memprobe FILE.gcp [open|edit|export]\n");
        return 2;
    }
    const QString stage = argc > 2 ? QString::fromLatin1(argv[2]) : QStringLiteral("export");
    auto tab = std::make_unique<DocumentTab>();
    if (!tab->open(QFile::decodeName(argv[1]))) {
        return 1;
    }
    if (stage != QLatin1String("open")) {
        // Edits spread over the document: at the start of every 50th block a
        // line of lyric, and a symbol into the score line it pairs with.
        LyricEdit *lyric = tab->lyricEditor();
        const int blocks = lyric->document()->blockCount();
        for (int b = 0; b < blocks; b += 50) {
            QTextCursor c(lyric->document()->findBlockByNumber(b));
            lyric->setTextCursor(c);
            tab->runCommand(new InsertLyricCommand(tab.get(), QStringLiteral("春香\n")));
            tab->runCommand(new InsertScoreCommand(tab.get(), QString::fromUcs4(U"\U000F0010"),
                                                   Qt::NoModifier));
        }
        while (tab->canUndo()) {
            tab->undo();
        }
        while (tab->canRedo()) {
            tab->redo();
        }
    }
    if (stage == QLatin1String("export")) {
        Typesetter engine;
        engine.generate(ExportConfig::instance()->pageStyle(), tab->documentLines(), false);
        qint64 bytes = 0;
        for (const QByteArray &page : engine.pages()) {
            bytes += page.size();
        }
        printf("%d pages, %lld bytes of SVG\n", int(engine.pages().size()), bytes);
    } else {
        printf("%d lyric blocks\n", tab->lyricEditor()->document()->blockCount());
    }
    return 0;
}
