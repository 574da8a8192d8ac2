// Music comes into the window as a new untitled document: from 导入…, or
// dropped on the window beside score files. The import's report shows in its
// own dock while that document is current; a file that cannot be read is
// refused with a warning and opens nothing.
#include "../music/musicfixture.h"
#include "editor/documenttab.h"
#include "editor/importreportdock.h"
#include "editor/lyricedit.h"
#include "promptscript.h"
#include "shell/mainwindow.h"
#include "testsupport.h"
#include "windowfixture.h"

#include <QListWidget>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestImportWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void importOpensAnUntitledDocument();
    void droppedMusicIsImported();
    void unreadableFileOpensNothing_data();
    void unreadableFileOpensNothing();

private:
    ImportReportDock *dock() const { return m_window->findChild<ImportReportDock *>(); }

    QTemporaryDir m_programDir;
    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
};

void TestImportWindow::initTestCase() {
    windowfixture::useProgramDir(m_programDir.path());
}

void TestImportWindow::init() {
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestImportWindow::cleanup() {
    windowfixture::closeWindow(m_window);
}

// A tune written by our own MusicXML writer. The report follows its tab.
void TestImportWindow::importOpensAnUntitledDocument() {
    const QString path = m_dir.filePath(QStringLiteral("春来.musicxml"));
    QVERIFY(musicfixture::writeTuneXml(path));
    PromptScript prompts;
    prompts.answer(path);
    windowfixture::action(m_window, "importAction")->trigger();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().title, QStringLiteral("导入"));
    DocumentTab *imported = m_window->currentEdit();
    QVERIFY(imported);
    QCOMPARE(imported->filePath(), QStringLiteral("未命名"));
    QVERIFY(imported->isModified());
    QVERIFY(imported->lyricEditor()->toPlainText().contains(QStringLiteral("春来花满枝头")));
    QVERIFY(dock()->isVisible());
    QCOMPARE(dock()->windowTitle(), ImportReportDock::titleFor(dock()->remarks().size()));

    m_window->newAction();
    QVERIFY(!dock()->isVisible());
    m_window->tabWidget()->setCurrentWidget(imported);
    QVERIFY(dock()->isVisible());
}

void TestImportWindow::droppedMusicIsImported() {
    const QString path = m_dir.filePath(QStringLiteral("拖.musicxml"));
    QVERIFY(musicfixture::writeTuneXml(path));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_window, &dropped);
    QVERIFY(dropped.isAccepted());
    QCOMPARE(m_window->tabWidget()->count(), 1);
    QVERIFY(m_window->currentEdit()->lyricEditor()->toPlainText().contains(
        QStringLiteral("春来花满枝头")));
}

void TestImportWindow::unreadableFileOpensNothing_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("malformed xml") << "坏.musicxml" << QByteArray("<score-partwise><part>");
    QTest::newRow("not music") << "文本.xml" << QByteArray("<html><body/></html>");
    QTest::newRow("cut midi") << "断.mid" << QByteArray("MThd\0\0\0\6\0", 9);
    QTest::newRow("empty") << "空.mid" << QByteArray();
}

void TestImportWindow::unreadableFileOpensNothing() {
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    const QString path = m_dir.filePath(name);
    QVERIFY(writeFile(path, bytes));
    PromptScript prompts;
    QVERIFY(!m_window->importMusic(path));
    QCOMPARE(m_window->tabWidget()->count(), 0);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().title, QStringLiteral("导入失败"));
    QVERIFY(prompts.last().text.startsWith(QStringLiteral("“%1”：").arg(name)));
}

QTEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
