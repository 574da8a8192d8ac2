// A file has one tab: opening it again by any path shows that tab, and save
// as never writes over another tab's file. Reloading a file changed on disk
// keeps the text it replaces; the prompts name the file.
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "model/backupstore.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "shell/mainwindow.h"
#include "testsupport.h"
#include "windowfixture.h"

#include <QFile>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestOneTabPerFile : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void sameFileByAnyPathHasOneTab();
    void droppedFileSwitchesToItsTab();
    void saveAsOntoAnotherTabsFileIsRefused();
    void unsavedPromptNamesTheFile();
    void saveDialogSuggestsTheTitle();
    void damagedFileWarningNamesTheFile();
    void reloadKeepsTheReplacedText();
    void exportNeverWritesOverAScore();

private:
    QTemporaryDir m_programDir;
    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
};

namespace {} // namespace

void TestOneTabPerFile::initTestCase() {
    windowfixture::useProgramDir(m_programDir.path());
}

void TestOneTabPerFile::init() {
    QVERIFY(windowfixture::openWindow(m_window));
    QVERIFY(m_window->isVisible());
}

void TestOneTabPerFile::cleanup() {
    windowfixture::closeWindow(m_window);
}

// 打开, 最近打开, the command line: the same file by another spelling or a
// link to it switches to its tab.
void TestOneTabPerFile::sameFileByAnyPathHasOneTab() {
    const QString path = m_dir.filePath(QStringLiteral("曲.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春香"), QStringLiteral("\n")));
    const QString other = m_dir.filePath(QStringLiteral("别.gcp"));
    QVERIFY(writeScoreFile(other, QStringLiteral("原来"), QStringLiteral("\n")));
    const QString link = m_dir.filePath(QStringLiteral("link.gcp"));
    QVERIFY(QFile::link(path, link));

    m_window->openDocument(path);
    DocumentTab *first = m_window->currentEdit();
    m_window->openDocument(other);
    QCOMPARE(m_window->tabWidget()->count(), 2);

    m_window->openDocument(m_dir.path() + QStringLiteral("/./sub/../曲.gcp"));
    QCOMPARE(m_window->tabWidget()->count(), 2);
    QCOMPARE(m_window->currentEdit(), first);

    m_window->openDocument(other);
    m_window->openDocument(link);
    QCOMPARE(m_window->currentEdit(), first);
    m_window->openDocument(other);
    m_window->openRecent(path);
    QCOMPARE(m_window->currentEdit(), first);
    m_window->openDocument(other);
    m_window->openFromArguments({QStringLiteral("qorvel"), path});
    QCOMPARE(m_window->currentEdit(), first);
    QCOMPARE(m_window->tabWidget()->count(), 2);
}

// A score file dropped on the window opens in a tab, or switches to the tab
// that holds it; anything else is not taken.
void TestOneTabPerFile::droppedFileSwitchesToItsTab() {
    const QString path = m_dir.filePath(QStringLiteral("拖.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春香"), QStringLiteral("\n")));
    const auto drop = [this](const QList<QUrl> &urls) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(m_window, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_window, &dropped);
        return dropped.isAccepted();
    };
    QVERIFY(drop({QUrl::fromLocalFile(path)}));
    DocumentTab *first = m_window->currentEdit();
    QVERIFY(first);
    QCOMPARE(first->filePath(), path);
    m_window->newAction();
    QVERIFY(m_window->currentEdit() != first);
    const int tabs = m_window->tabWidget()->count();
    QVERIFY(drop({QUrl::fromLocalFile(path)}));
    QCOMPARE(m_window->currentEdit(), first);
    QCOMPARE(m_window->tabWidget()->count(), tabs);
    QVERIFY(!drop({QUrl::fromLocalFile(m_dir.filePath(QStringLiteral("notes.txt")))}));
    QVERIFY(!drop({QUrl(QStringLiteral("https://example.org/a.gcp"))}));
    QCOMPARE(m_window->tabWidget()->count(), tabs);
}

// Save as onto a file another tab holds is refused with a message naming
// it; the file stays as it was.
void TestOneTabPerFile::saveAsOntoAnotherTabsFileIsRefused() {
    const QString path = m_dir.filePath(QStringLiteral("占用.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春香"), QStringLiteral("\n")));
    const QByteArray before = readAll(path);
    m_window->openDocument(path);
    DocumentTab *holder = m_window->currentEdit();
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    edit->restore(QStringLiteral("原来"), QStringLiteral("\n"), QString());

    PromptScript prompts;
    prompts.answer(path);
    QVERIFY(!edit->save(true));
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QVERIFY2(prompts.last().text.contains(QStringLiteral("“占用.gcp”已在另一个标签页中打开")),
             qPrintable(prompts.last().text));
    QCOMPARE(readAll(path), before);

    // The tab's own file saves as usual, and so does save as onto itself.
    prompts.answer(path);
    QVERIFY(holder->save(true));
}

void TestOneTabPerFile::unsavedPromptNamesTheFile() {
    const QString path = m_dir.filePath(QStringLiteral("改.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春香"), QStringLiteral("\n")));
    m_window->openDocument(path);
    DocumentTab *edit = m_window->currentEdit();
    edit->restore(QStringLiteral("原来"), QStringLiteral("\n"), path); // modified
    QVERIFY(edit->isModified());
    QVERIFY(m_window->isWindowModified());
    PromptScript prompts;
    prompts.answer(QMessageBox::Cancel);
    QVERIFY(!m_window->tabWidgetClose(m_window->tabWidget()->currentIndex()));
    QCOMPARE(prompts.last().text, QStringLiteral("\"改.gcp\"未保存，是否保存？"));
}

// The save dialog is titled 保存 and offers the document's title, "·" and all.
void TestOneTabPerFile::saveDialogSuggestsTheTitle() {
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    edit->restore(QStringLiteral("# 牡丹亭·游园\n原来"), QStringLiteral("\n\n"), QString());
    PromptScript prompts;
    QVERIFY(!edit->save(false)); // cancelled
    QCOMPARE(prompts.last().kind, Prompt::Kind::SaveFile);
    QCOMPARE(prompts.last().title, QStringLiteral("保存"));
    QVERIFY2(prompts.last().text.endsWith(QStringLiteral("牡丹亭·游园.gcp")),
             qPrintable(prompts.last().text));
}

void TestOneTabPerFile::damagedFileWarningNamesTheFile() {
    const QString whole = m_dir.filePath(QStringLiteral("whole.gcp"));
    QVERIFY(writeScoreFile(whole, QStringLiteral("春香"), QStringLiteral("\n")));
    QByteArray bytes = readAll(whole);
    bytes.chop(2);
    const QString path = m_dir.filePath(QStringLiteral("损坏.gcp"));
    QVERIFY(writeFile(path, bytes));
    PromptScript prompts;
    m_window->openDocument(path);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QVERIFY2(prompts.last().text.startsWith(QStringLiteral("“损坏.gcp”：")),
             qPrintable(prompts.last().text));
}

// Answering 是 to the reload keeps the text being replaced as a backup, the
// one 恢复早期版本… lists.
void TestOneTabPerFile::reloadKeepsTheReplacedText() {
    const QString path = m_dir.filePath(QStringLiteral("重载.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("原来"), QStringLiteral("\n")));
    m_window->openDocument(path);
    DocumentTab *edit = m_window->currentEdit();
    const int before = BackupStore().versionsOf(path).size();

    QVERIFY(writeScoreFile(path, QStringLiteral("良辰"), QStringLiteral("\n")));
    PromptScript prompts;
    prompts.answer(QMessageBox::Yes);
    edit->checkDisk();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(edit->lyricEditor()->toPlainText(), QStringLiteral("良辰"));

    const QList<BackupStore::Version> versions = BackupStore().versionsOf(path);
    QCOMPARE(versions.size(), before + 1);
    QString lyric, score;
    QVERIFY(BackupStore().read(versions.first(), &lyric, &score));
    QCOMPARE(lyric, QStringLiteral("原来"));
}

// 导出 onto the open score (or any score) is refused in a message box; the
// score stays as it was.
void TestOneTabPerFile::exportNeverWritesOverAScore() {
    const QString path = m_dir.filePath(QStringLiteral("导出.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("原来"), QStringLiteral("\n")));
    const QByteArray before = readAll(path);
    m_window->openDocument(path);
    PromptScript prompts;
    prompts.answer(path); // the file chooser of the PDF export
    m_window->exportAction();
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QVERIFY2(prompts.last().text.contains(QStringLiteral("不能导出到“导出.gcp”")),
             qPrintable(prompts.last().text));
    QCOMPARE(readAll(path), before);
}

QTEST_MAIN(TestOneTabPerFile)
#include "tst_onetabperfile.moc"
