// The book editor in the window: a book made from the menu, its scores added,
// a part put before them and moved, its whole pages set beside the list,
// saved, opened again and exported; books that cannot be read are refused
// with the reader's message, and unsaved changes are asked about.
#include "book/bookedition.h"
#include "book/bookfile.h"
#include "promptscript.h"
#include "shell/bookwindow.h"
#include "shell/mainwindow.h"
#include "testsupport.h"
#include "typeset/typesetter.h"
#include "windowfixture.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestBookWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void madeSavedAndOpenedAgain();
    void unreadableBookIsRefused_data();
    void unreadableBookIsRefused();
    void closingAsksAboutChanges();

private:
    QString score(const QString &name) const;

    QTemporaryDir m_programDir;
    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
};

void TestBookWindow::initTestCase() {
    windowfixture::useProgramDir(m_programDir.path());
}

void TestBookWindow::init() {
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestBookWindow::cleanup() {
    windowfixture::closeWindow(m_window);
}

// A copy of the sample aria in the test's folder.
QString TestBookWindow::score(const QString &name) const {
    const QString path = m_dir.filePath(name);
    QFile::remove(path);
    QFile::copy(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"), path);
    return path;
}

void TestBookWindow::madeSavedAndOpenedAgain() {
    windowfixture::action(m_window, "newBookAction")->trigger();
    auto *window = m_window->findChild<BookWindow *>();
    QVERIFY(window);
    QVERIFY(QTest::qWaitForWindowExposed(window));

    auto *list = window->findChild<QListWidget *>(QStringLiteral("itemList"));
    const QString first = score(QStringLiteral("甲.gcp"));
    const QString second = score(QStringLiteral("乙.gcp"));
    window->findChild<QLineEdit *>(QStringLiteral("titleEdit"))->setText(QStringLiteral("曲选"));
    {
        PromptScript prompts;
        prompts.answer(QStringList{first, second});
        window->findChild<QPushButton *>(QStringLiteral("addScoreBtn"))->click();
        QCOMPARE(prompts.last().kind, Prompt::Kind::OpenFiles);
    }
    // A part after the first score, then moved to the top.
    list->setCurrentRow(0);
    window->addPart(QStringLiteral("第一卷"));
    QCOMPARE(list->currentRow(), 1);
    window->findChild<QToolButton *>(QStringLiteral("upBtn"))->click();
    QVERIFY(window->isModified());
    QVERIFY(window->windowTitle().startsWith(QStringLiteral("新曲谱集*")));

    const QVector<BookFile::Item> items = window->book().items();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items.at(0).kind, BookFile::Item::Kind::Part);
    QCOMPARE(items.at(0).value, QStringLiteral("第一卷"));
    QCOMPARE(items.at(1).value, first);
    QCOMPARE(items.at(2).value, second);

    // The whole book is set beside the list a moment after the changes.
    QTRY_VERIFY_WITH_TIMEOUT(window->pagesCurrent(), 60000);
    const BookEdition *edition = window->edition();
    QCOMPARE(edition->pieces().size(), 2);
    QCOMPARE(window->typesetter()->pages().size(),
             edition->pieces().constLast().firstPage + edition->pieces().constLast().pageCount);

    // Saved beside its scores, which it names by their file names.
    const QString bookPath = m_dir.filePath(QStringLiteral("曲选.gcpbook"));
    {
        PromptScript prompts;
        prompts.answer(bookPath);
        QVERIFY(window->saveAs());
    }
    QVERIFY(!window->isModified());
    BookFile saved;
    QVERIFY(saved.read(bookPath).ok());
    QCOMPARE(saved.title(), QStringLiteral("曲选"));
    QCOMPARE(saved.items().at(1).value, QStringLiteral("甲.gcp"));
    QCOMPARE(saved.toText(), window->book().toText());

    // Exported as one PDF, whose text has the book's title (set vertically,
    // a character a line).
    const QString pdf = m_dir.filePath(QStringLiteral("曲选.pdf"));
    {
        PromptScript prompts;
        prompts.answer(pdf);
        QVERIFY(window->exportPdf());
    }
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    QVERIFY(QString::fromUtf8(text.readAllStandardOutput())
                .remove(QLatin1Char('\n'))
                .contains(QStringLiteral("曲选")));

    // Opened again, the open window is shown rather than a second one.
    QCOMPARE(m_window->openBook(bookPath), window);
    window->close();
    QTRY_VERIFY(!m_window->findChild<BookWindow *>());
    BookWindow *again = m_window->openBook(bookPath);
    QVERIFY(again);
    QCOMPARE(again->book().toText(), saved.toText());
    QVERIFY(!again->isModified());
}

void TestBookWindow::unreadableBookIsRefused_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("unknown key") << QByteArray("书名=曲选\n页码=3\n曲=甲.gcp\n");
    QTest::newRow("no scores") << QByteArray("书名=曲选\n");
    QTest::newRow("missing") << QByteArray();
}

void TestBookWindow::unreadableBookIsRefused() {
    QFETCH(QByteArray, content);
    const QString path = m_dir.filePath(QStringLiteral("坏.gcpbook"));
    QFile::remove(path);
    if (!content.isEmpty()) {
        QVERIFY(writeFile(path, content));
    }
    BookFile reader;
    const Outcome expected = reader.read(path);
    QVERIFY(!expected.ok());

    PromptScript prompts;
    QVERIFY(!m_window->openBook(path));
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().text, expected.message());
    QVERIFY(!m_window->findChild<BookWindow *>());
}

void TestBookWindow::closingAsksAboutChanges() {
    BookWindow *window = m_window->newBook();
    window->addScores({score(QStringLiteral("丙.gcp"))});
    PromptScript prompts;
    prompts.answer(QMessageBox::Cancel);
    QVERIFY(!window->close());
    QCOMPARE(prompts.last().kind, Prompt::Kind::Question);
    QVERIFY(window->isVisible());
    prompts.answer(QMessageBox::Discard);
    QVERIFY(window->close());
    QTRY_VERIFY(!m_window->findChild<BookWindow *>());
}

QTEST_MAIN(TestBookWindow)
#include "tst_bookwindow.moc"
