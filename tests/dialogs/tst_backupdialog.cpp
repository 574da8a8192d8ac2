// The "恢复早期版本" dialog, and the window's command that offers the kept
// versions of the current file (or of all files) and opens the chosen one in
// a new tab.
#include "dialogs/backupdialog.h"
#include "model/backupstore.h"
#include "model/scorefile.h"
#include "promptscript.h"
#include "testsupport.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using Version = BackupStore::Version;

class TestBackupDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowsAndEmptyList();
    void openCancelAndDoubleClick();
    void openedVersionIsUntitledAndModified();
    void actionOffersTheCurrentFilesVersions();

private:
    // The events of a double click as a window system delivers them.
    static void doubleClick(QWidget *w, const QPoint &pos) {
        QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, pos);
        QMouseEvent event(QEvent::MouseButtonDblClick, pos, w->mapToGlobal(pos), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &event);
        QTest::mouseRelease(w, Qt::LeftButton, Qt::NoModifier, pos);
    }
    // Saves lyric into path and keeps that as a version.
    static bool keepVersion(const QString &path, const QString &lyric) {
        return writeScoreFile(path, lyric, QStringLiteral("\n")).ok() &&
               !BackupStore().keep(path).path().isEmpty();
    }

    QList<Version> m_versions;
    QTemporaryDir m_files;
    MainWindow *m_window = nullptr;
};

void TestBackupDialog::initTestCase() {
    QVERIFY(programDir().isValid());
    windowfixture::useProgramDir(programDir().path());
    for (const auto &[path, size] : {qMakePair(QStringLiteral("/曲谱/游园.gcp"), 512),
                                     qMakePair(QStringLiteral("/曲谱/旧/游园.gcp"), 3172),
                                     qMakePair(QStringLiteral("/惊梦.gcp"), 5 * 1024 * 1024)}) {
        Version v;
        v.path = QStringLiteral("/backups/%1.gcp").arg(m_versions.size());
        v.originalPath = path;
        v.originalName = QFileInfo(path).fileName();
        v.time = QDateTime::fromMSecsSinceEpoch(1765207812000 - 1000000 * m_versions.size());
        v.size = size;
        m_versions.append(v);
    }
}

void TestBackupDialog::init() {
    QVERIFY(QDir(BackupStore::defaultDir()).removeRecursively());
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestBackupDialog::cleanup() {
    BackupDialog::setResponder({});
    windowfixture::closeWindow(m_window);
}

void TestBackupDialog::rowsAndEmptyList() {
    BackupDialog dialog(m_versions);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("恢复早期版本"));
    QTreeWidget *list = dialog.findChild<QTreeWidget *>(QStringLiteral("versionList"));
    QCOMPARE(list->topLevelItemCount(), 3);
    const QStringList sizes = {QStringLiteral("512 字节"), QStringLiteral("3.1 KB"),
                               QStringLiteral("5.0 MB")};
    for (int row = 0; row < 3; ++row) {
        QTreeWidgetItem *item = list->topLevelItem(row);
        QCOMPARE(item->text(0), m_versions.at(row).originalName);
        QCOMPARE(item->text(1), m_versions.at(row).time.toLocalTime().toString(
                                    QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(item->text(2), sizes.at(row));
        QCOMPARE(item->toolTip(0), m_versions.at(row).originalPath);
    }
    QCOMPARE(dialog.selectedVersion().path, m_versions.first().path); // the newest
    QVERIFY(dialog.findChild<QPushButton *>(QStringLiteral("openBtn"))->isEnabled());

    BackupDialog empty({});
    QCOMPARE(empty.list()->topLevelItemCount(), 1);
    QTreeWidgetItem *item = empty.list()->topLevelItem(0);
    QCOMPARE(item->text(0), QStringLiteral("没有早期版本"));
    QVERIFY(!(item->flags() & (Qt::ItemIsEnabled | Qt::ItemIsSelectable)));
    QVERIFY(!empty.findChild<QPushButton *>(QStringLiteral("openBtn"))->isEnabled());
    empty.setSelectedRow(0);
    QVERIFY(empty.selectedVersion().path.isEmpty());
}

void TestBackupDialog::openCancelAndDoubleClick() {
    BackupDialog opened(m_versions);
    opened.show();
    QVERIFY(QTest::qWaitForWindowExposed(&opened));
    opened.setSelectedRow(2);
    QTest::mouseClick(opened.openButton(), Qt::LeftButton);
    QCOMPARE(opened.result(), int(QDialog::Accepted));
    QCOMPARE(opened.selectedVersion().originalPath, QStringLiteral("/惊梦.gcp"));

    BackupDialog cancelled(m_versions);
    cancelled.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cancelled));
    cancelled.list()->clearSelection();
    QVERIFY(!cancelled.openButton()->isEnabled());
    QTest::mouseClick(cancelled.findChild<QPushButton *>(QStringLiteral("cancelBtn")),
                      Qt::LeftButton);
    QVERIFY(!cancelled.isVisible());
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));

    BackupDialog clicked(m_versions);
    clicked.show();
    QVERIFY(QTest::qWaitForWindowExposed(&clicked));
    doubleClick(clicked.list()->viewport(),
                clicked.list()->visualItemRect(clicked.list()->topLevelItem(1)).center());
    QTRY_VERIFY(!clicked.isVisible());
    QCOMPARE(clicked.result(), int(QDialog::Accepted));
    QCOMPARE(clicked.selectedVersion().path, m_versions.at(1).path);

    BackupDialog empty({});
    empty.show();
    QVERIFY(QTest::qWaitForWindowExposed(&empty));
    doubleClick(empty.list()->viewport(),
                empty.list()->visualItemRect(empty.list()->topLevelItem(0)).center());
    QVERIFY(empty.isVisible());
}

void TestBackupDialog::openedVersionIsUntitledAndModified() {
    const QString path = m_files.filePath(QStringLiteral("游园.gcp"));
    const QString lyric = QStringLiteral("# 游园\n原来姹紫嫣红开遍");
    const QString score = sym(0xF002C) + sym(0xF0000) + QStringLiteral("\n");
    QVERIFY(writeScoreFile(path, lyric, score));
    QVERIFY(!BackupStore().keep(path).path().isEmpty());
    QVERIFY(writeScoreFile(path, QStringLiteral("新版"), QString()));
    m_window->openDocument(path);

    const Version v = BackupStore().versionsOf(path).first();
    PromptScript prompts;
    QVERIFY(m_window->openBackupVersion(v));
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(m_window->tabWidget()->count(), 2);
    DocumentTab *tab = m_window->currentEdit();
    QCOMPARE(texts(tab).first, lyric);
    QCOMPARE(texts(tab).second, score);
    QVERIFY(tab->isModified());
    QCOMPARE(tab->filePath(), DocumentTab().filePath()); // untitled, as a new document
    QCOMPARE(m_window->tabWidget()->tabText(1), DocumentTab().filePath() + QStringLiteral("*"));
    QString onDisk, onDiskScore;
    QVERIFY(readScoreFile(path, &onDisk, &onDiskScore));
    QCOMPARE(onDisk, QStringLiteral("新版"));

    // A version that cannot be read: a warning, no tab.
    QVERIFY(QFile::remove(v.path));
    QVERIFY(!m_window->openBackupVersion(v));
    QCOMPARE(m_window->tabWidget()->count(), 2);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().title, QStringLiteral("错误"));
}

void TestBackupDialog::actionOffersTheCurrentFilesVersions() {
    auto *action = m_window->findChild<QAction *>(QStringLiteral("actionRestoreVersion"));
    auto *saveAs = m_window->findChild<QAction *>(QStringLiteral("saveAsAction"));
    QCOMPARE(action->text(), QStringLiteral("恢复早期版本…"));
    QMenu *fileMenu = nullptr;
    for (QWidget *w : saveAs->associatedWidgets()) {
        fileMenu = fileMenu ? fileMenu : qobject_cast<QMenu *>(w);
    }
    QVERIFY(fileMenu);
    QCOMPARE(fileMenu->title(), QStringLiteral("文件(&F)"));
    QCOMPARE(fileMenu->actions().indexOf(action), fileMenu->actions().indexOf(saveAs) + 1);

    const QString one = m_files.filePath(QStringLiteral("one.gcp"));
    const QString two = m_files.filePath(QStringLiteral("two.gcp"));
    QVERIFY(keepVersion(one, QStringLiteral("一之一")));
    QVERIFY(keepVersion(two, QStringLiteral("二之一")));
    QVERIFY(keepVersion(one, QStringLiteral("一之二")));

    // No document: every file's versions, and the real dialog; the oldest opened.
    int rows = 0;
    QTimer opener;
    connect(&opener, &QTimer::timeout, this, [&] {
        if (auto *dialog = qobject_cast<BackupDialog *>(QApplication::activeModalWidget())) {
            opener.stop();
            rows = dialog->list()->topLevelItemCount();
            dialog->setSelectedRow(2);
            dialog->openButton()->click();
        }
    });
    opener.start(10);
    action->trigger();
    QCOMPARE(rows, 3);
    QCOMPARE(m_window->tabWidget()->count(), 1);
    QCOMPARE(texts(m_window->currentEdit()).first, QStringLiteral("一之一"));

    // A document with a file: only its own versions; cancelled.
    QList<Version> offered;
    BackupDialog::setResponder([&](const QList<Version> &versions) {
        offered = versions;
        return -1;
    });
    m_window->openDocument(two);
    action->trigger();
    QCOMPARE(offered.size(), 1);
    QCOMPARE(offered.first().originalPath, QFileInfo(two).canonicalFilePath());
    QCOMPARE(m_window->tabWidget()->count(), 2);
}

QTEST_MAIN(TestBackupDialog)
#include "tst_backupdialog.moc"
