// 打印 and 打印预览 in the window: the actions, their keys and their place
// in the 文件 menu; the print dialog on the export's paper, a cancel that
// prints and changes nothing, a print to a file; the preview showing the
// document's pages. The dialogs are answered through PrintDialogs' runner.
#include "../export/exportfixture.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "export/exportconfig.h"
#include "export/printdialogs.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "shell/recentfiles.h"
#include "typeset/typesetter.h"
#include "windowfixture.h"

#include <QAction>
#include <QMenu>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>

class TestPrinting : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void actionsAndKeys();
    void disabledWithoutADocument();
    void cancelPrintsNothingAndChangesNothing();
    void ctrlPFromTheEditor();
    void printsToAFile();
    void previewShowsThePages_data();
    void previewShowsThePages();

private:
    QAction *action(const char *name) const { return windowfixture::action(m_window, name); }
    DocumentTab *openAria() {
        return windowfixture::openTab(
            m_window, QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"));
    }
    int typesetPageCount(PageStyle::Notation notation) const {
        PageStyle style = ExportConfig::instance()->pageStyle();
        style.notation = notation;
        Typesetter engine;
        engine.generate(style, m_window->currentEdit()->documentLines(), false);
        return engine.pages().size();
    }

    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
};

void TestPrinting::initTestCase() {
    windowfixture::useProgramDir(m_dir.filePath(QStringLiteral("program")));
}

void TestPrinting::init() {
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestPrinting::cleanup() {
    PrintDialogs::setRunner({});
    ExportConfig::instance()->restoreDefaults();
    windowfixture::closeWindow(m_window);
}

void TestPrinting::actionsAndKeys() {
    QAction *print = action("printAction");
    QAction *preview = action("printPreviewAction");
    QVERIFY(print && preview);
    QCOMPARE(print->text(), QStringLiteral("打印"));
    QCOMPARE(print->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    QCOMPARE(print->toolTip(), QStringLiteral("打印曲谱 Ctrl+P"));
    QCOMPARE(preview->text(), QStringLiteral("打印预览"));
    QCOMPARE(preview->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+P")));
    // In the 文件 menu, after 导出.
    QMenu *fileMenu = nullptr;
    for (QMenu *m : m_window->findChildren<QMenu *>()) {
        if (m->title() == QStringLiteral("文件(&F)")) {
            fileMenu = m;
        }
    }
    QVERIFY(fileMenu);
    const QList<QAction *> items = fileMenu->actions();
    const int exportAt = items.indexOf(action("exportAction"));
    QVERIFY(exportAt >= 0);
    QCOMPARE(items.indexOf(print), exportAt + 1);
    QCOMPARE(items.indexOf(preview), exportAt + 2);
    // No key of the window's is taken twice, with a document open or not.
    for (int round = 0; round < 2; ++round) {
        QHash<QKeySequence, QString> seen;
        for (QAction *a : m_window->findChildren<QAction *>()) {
            if (qobject_cast<DocumentTab *>(a->parent())) {
                continue; // the tabs' own context menu actions go through the tab
            }
            for (const QKeySequence &k : a->shortcuts()) {
                QVERIFY2(!seen.contains(k),
                         qPrintable(QStringLiteral("%1: %2 and %3")
                                        .arg(k.toString(), seen.value(k), a->objectName())));
                seen.insert(k, a->objectName());
            }
        }
        m_window->newAction();
    }
}

void TestPrinting::disabledWithoutADocument() {
    int runs = 0;
    PrintDialogs::setRunner([&](QDialog &) {
        ++runs;
        return int(QDialog::Rejected);
    });
    QVERIFY(!action("printAction")->isEnabled());
    QVERIFY(!action("printPreviewAction")->isEnabled());
    m_window->printAction();
    m_window->printPreviewAction();
    QCOMPARE(runs, 0);
    m_window->newAction();
    QVERIFY(action("printAction")->isEnabled());
    QVERIFY(action("printPreviewAction")->isEnabled());
}

void TestPrinting::cancelPrintsNothingAndChangesNothing() {
    DocumentTab *tab = openAria();
    QVERIFY(tab);
    const QString lyric = tab->lyricEditor()->toPlainText();
    const int undoIndex = tab->undoStack()->index();
    const QStringList recent = m_window->recentFiles().files();
    m_window->statusBar()->showMessage(QStringLiteral("before"));
    const QString pdf = m_dir.filePath(QStringLiteral("cancelled.pdf"));

    QStringList seen;
    PrintDialogs::setRunner([&](QDialog &dialog) {
        auto *printDialog = qobject_cast<QPrintDialog *>(&dialog);
        if (!printDialog) {
            return int(QDialog::Accepted); // anything else would be wrong
        }
        seen << dialog.windowTitle();
        QPrinter *printer = printDialog->printer();
        // On the export's paper, every page offered.
        const QSizeF paper = printer->pageLayout().fullRectPoints().size();
        seen << QStringLiteral("%1x%2").arg(paper.width()).arg(paper.height());
        seen << QStringLiteral("%1-%2").arg(printDialog->minPage()).arg(printDialog->maxPage());
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        return int(QDialog::Rejected);
    });
    PromptScript prompts;
    action("printAction")->trigger();
    const int pages = typesetPageCount(PageStyle::Notation::Gongche);
    QCOMPARE(seen, QStringList({QStringLiteral("打印"), QStringLiteral("595x842"),
                                QStringLiteral("1-%1").arg(pages)}));
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(prompts.count(), 0);
    QVERIFY(!tab->isModified());
    QCOMPARE(tab->lyricEditor()->toPlainText(), lyric);
    QCOMPARE(tab->undoStack()->index(), undoIndex);
    QCOMPARE(m_window->recentFiles().files(), recent);
    QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("before"));
    QCOMPARE(m_window->tabWidget()->count(), 1);
}

void TestPrinting::ctrlPFromTheEditor() {
    DocumentTab *tab = openAria();
    QVERIFY(tab);
    QStringList titles;
    PrintDialogs::setRunner([&](QDialog &dialog) {
        titles << dialog.windowTitle();
        return int(QDialog::Rejected);
    });
    tab->lyricEditor()->setFocus();
    QTest::keyClick(tab->lyricEditor(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(titles, QStringList({QStringLiteral("打印")}));
    QTest::keyClick(tab->lyricEditor(), Qt::Key_P, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(titles, QStringList({QStringLiteral("打印"), QStringLiteral("打印预览")}));
    // From the score editor too, past its input method.
    tab->scoreEditor()->setFocus();
    QTest::keyClick(tab->scoreEditor(), Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(titles.size(), 3);
    QCOMPARE(titles.last(), QStringLiteral("打印"));
    QVERIFY(!tab->isModified());
}

void TestPrinting::printsToAFile() {
    // Landscape in the export settings: the printer gets landscape paper.
    ExportConfig::instance()->setIsLandscape(true);
    QVERIFY(openAria());
    const QString pdf = m_dir.filePath(QStringLiteral("printed.pdf"));
    PrintDialogs::setRunner([&](QDialog &dialog) {
        QPrinter *printer = qobject_cast<QPrintDialog *>(&dialog)->printer();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        return int(QDialog::Accepted);
    });
    PromptScript prompts;
    action("printAction")->trigger();
    QCOMPARE(prompts.count(), 0);
    QVERIFY(QFileInfo(pdf).size() > 0);
    QCOMPARE(m_window->statusBar()->currentMessage(),
             QStringLiteral("已打印到 %1").arg(QDir::toNativeSeparators(pdf)));
    if (haveTool(QStringLiteral("pdfinfo"))) {
        const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {pdf}));
        QVERIFY2(info.contains(
                     QRegularExpression(QStringLiteral("Pages:\\s+%1\n")
                                            .arg(typesetPageCount(PageStyle::Notation::Gongche)))),
                 qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression(
                     QStringLiteral("Page size:\\s+84[12](\\.\\d+)? x 59[56](\\.\\d+)? pts"))),
                 qPrintable(info));
    }

    // A file that cannot be written: a warning.
    PrintDialogs::setRunner([&](QDialog &dialog) {
        QPrinter *printer = qobject_cast<QPrintDialog *>(&dialog)->printer();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(m_dir.filePath(QStringLiteral("no/such/dir/x.pdf")));
        return int(QDialog::Accepted);
    });
    action("printAction")->trigger();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QVERIFY(prompts.last().text.startsWith(QStringLiteral("无法打印")));
}

void TestPrinting::previewShowsThePages_data() {
    QTest::addColumn<bool>("jianpu");
    QTest::newRow("gongche") << false;
    QTest::newRow("jianpu") << true;
}

void TestPrinting::previewShowsThePages() {
    QFETCH(bool, jianpu);
    ExportConfig::instance()->setNotation(jianpu ? PageStyle::Notation::Jianpu
                                                 : PageStyle::Notation::Gongche);
    DocumentTab *tab = openAria();
    QVERIFY(tab);
    const int pages =
        typesetPageCount(jianpu ? PageStyle::Notation::Jianpu : PageStyle::Notation::Gongche);
    QVERIFY(pages >= 2);
    QString title;
    int shown = -1;
    QSizeF paper;
    PrintDialogs::setRunner([&](QDialog &dialog) {
        auto *preview = qobject_cast<QPrintPreviewDialog *>(&dialog);
        auto *view = dialog.findChild<QPrintPreviewWidget *>();
        if (preview && view) {
            title = dialog.windowTitle();
            view->updatePreview();
            shown = view->pageCount();
            paper = preview->printer()->pageLayout().fullRectPoints().size();
        }
        return int(QDialog::Rejected);
    });
    PromptScript prompts;
    action("printPreviewAction")->trigger();
    QCOMPARE(title, QStringLiteral("打印预览"));
    QCOMPARE(shown, pages);
    QCOMPARE(paper, QSizeF(595, 842));
    QCOMPARE(prompts.count(), 0);
    QVERIFY(!tab->isModified());
}

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
