// 最近打开: the files last opened or saved, most recent first, ten at most,
// each once under its normalised path; kept in the settings, so a new window
// (a new start) lists them; a file that is gone is taken out with a message.
#include "editor/documenttab.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "shell/recentfiles.h"
#include "windowfixture.h"

#include <QAction>
#include <QMenu>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

class TestRecentFiles : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void keepsTenMostRecentFirst();
    void reopenedFileMovesToTheTop();
    void pathsAreNormalised();
    void clearEmptiesTheList();
    void openAndSaveAreRemembered();
    void listSurvivesARestart();
    void menuOpensAFile();
    void missingFileIsRemovedWithAMessage();
    void clearListFromTheMenu();

private:
    QString makeFile(const QString &name) {
        const QString path = m_files->filePath(name);
        if (!QFile::exists(path)) {
            writeScoreFile(path, QStringLiteral("春香"), QStringLiteral("\n"));
        }
        return QFileInfo(path).canonicalFilePath();
    }
    QMenu *recentMenu() const { return m_window->findChild<QMenu *>(QStringLiteral("recentMenu")); }
    // The files the menu offers, top to bottom.
    QStringList menuFiles() const {
        QStringList files;
        for (QAction *a : recentMenu()->actions()) {
            if (!a->data().toString().isEmpty()) {
                files << a->data().toString();
            }
        }
        return files;
    }
    QAction *menuAction(const QString &path) const {
        for (QAction *a : recentMenu()->actions()) {
            if (a->data().toString() == path) {
                return a;
            }
        }
        return nullptr;
    }

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_files;
    MainWindow *m_window = nullptr;
};

// Each test starts with settings of its own: an empty list.
void TestRecentFiles::init() {
    m_program = std::make_unique<QTemporaryDir>();
    m_files = std::make_unique<QTemporaryDir>();
    QVERIFY(m_program->isValid() && m_files->isValid());
    windowfixture::useProgramDir(m_program->path());
}

void TestRecentFiles::cleanup() {
    windowfixture::closeWindow(m_window);
}

void TestRecentFiles::keepsTenMostRecentFirst() {
    RecentFiles recent;
    QVERIFY(recent.files().isEmpty());
    QStringList added;
    for (int i = 0; i < 12; ++i) {
        added.prepend(makeFile(QStringLiteral("曲%1.gcp").arg(i)));
        recent.add(added.first());
    }
    QCOMPARE(RecentFiles::maxCount, 10);
    QCOMPARE(recent.files(), added.mid(0, 10));
    // In the settings file, where the next start reads them.
    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("RecentFiles/files")).toStringList(), added.mid(0, 10));
}

void TestRecentFiles::reopenedFileMovesToTheTop() {
    RecentFiles recent;
    const QString a = makeFile(QStringLiteral("a.gcp"));
    const QString b = makeFile(QStringLiteral("b.gcp"));
    const QString c = makeFile(QStringLiteral("c.gcp"));
    recent.add(a);
    recent.add(b);
    recent.add(c);
    QCOMPARE(recent.files(), QStringList({c, b, a}));
    recent.add(a);
    QCOMPARE(recent.files(), QStringList({a, c, b}));
    recent.add(a); // already on top: nothing changes
    QCOMPARE(recent.files(), QStringList({a, c, b}));
    recent.remove(c);
    QCOMPARE(recent.files(), QStringList({a, b}));
    recent.add(QString()); // nothing
    QCOMPARE(recent.files(), QStringList({a, b}));
}

void TestRecentFiles::pathsAreNormalised() {
    RecentFiles recent;
    const QString a = makeFile(QStringLiteral("a.gcp"));
    QVERIFY(QDir(m_files->path()).mkdir(QStringLiteral("sub")));
    recent.add(m_files->path() + QStringLiteral("/sub/../a.gcp"));
    recent.add(m_files->path() + QStringLiteral("//./a.gcp"));
    QVERIFY(QFile::link(a, m_files->filePath(QStringLiteral("link.gcp"))));
    recent.add(m_files->filePath(QStringLiteral("link.gcp")));
    const QString canonical = QFileInfo(a).canonicalFilePath();
    QCOMPARE(recent.files(), QStringList({canonical}));
    // Relative paths are taken from the working directory.
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_files->path());
    recent.add(QStringLiteral("a.gcp"));
    recent.add(QStringLiteral("gone.gcp")); // a missing file keeps its cleaned path
    QDir::setCurrent(before);
    QCOMPARE(recent.files(),
             QStringList({QDir::cleanPath(QFileInfo(m_files->path()).canonicalFilePath() +
                                          QStringLiteral("/gone.gcp")),
                          canonical}));
}

void TestRecentFiles::clearEmptiesTheList() {
    RecentFiles recent;
    recent.add(makeFile(QStringLiteral("a.gcp")));
    recent.clear();
    QVERIFY(recent.files().isEmpty());
    QVERIFY(RecentFiles().files().isEmpty());
}

void TestRecentFiles::openAndSaveAreRemembered() {
    QVERIFY(windowfixture::openWindow(m_window));
    const QString a = makeFile(QStringLiteral("a.gcp"));
    m_window->openDocument(a);
    QCOMPARE(m_window->tabWidget()->count(), 1);
    QCOMPARE(m_window->recentFiles().files(), QStringList({a}));
    QCOMPARE(menuFiles(), QStringList({a}));

    // Save as: the copy is the most recent file.
    const QString copy = m_files->filePath(QStringLiteral("copy.gcp"));
    {
        PromptScript prompts;
        prompts.answer(copy);
        QVERIFY(m_window->currentEdit()->save(true));
    }
    QCOMPARE(menuFiles(), QStringList({RecentFiles::normalised(copy), a}));
    // A failed open is not remembered.
    {
        PromptScript prompts;
        m_window->openDocument(m_files->filePath(QStringLiteral("missing.gcp")));
        QCOMPARE(prompts.count(), 1);
    }
    QCOMPARE(menuFiles(), QStringList({RecentFiles::normalised(copy), a}));
    // Opened again: to the top, once.
    m_window->openDocument(a);
    QCOMPARE(menuFiles(), QStringList({a, RecentFiles::normalised(copy)}));
}

void TestRecentFiles::listSurvivesARestart() {
    QVERIFY(windowfixture::openWindow(m_window));
    QStringList opened;
    for (int i = 0; i < 3; ++i) {
        opened.prepend(makeFile(QStringLiteral("%1.gcp").arg(i)));
        m_window->openDocument(opened.first());
    }
    QVERIFY(windowfixture::openWindow(m_window)); // the next start, the tabs closed
    QCOMPARE(menuFiles(), opened);
    QCOMPARE(m_window->recentFiles().files(), opened);
    // The menu entries name the file, and show the whole path as a tip.
    QAction *first = menuAction(opened.first());
    QVERIFY(first);
    QVERIFY(first->text().startsWith(QStringLiteral("&1  2.gcp")));
    QCOMPARE(first->toolTip(), QDir::toNativeSeparators(opened.first()));
}

void TestRecentFiles::menuOpensAFile() {
    RecentFiles().add(makeFile(QStringLiteral("a.gcp")));
    QVERIFY(windowfixture::openWindow(m_window));
    QAction *a = menuAction(makeFile(QStringLiteral("a.gcp")));
    QVERIFY(a);
    PromptScript prompts;
    a->trigger();
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(m_window->tabWidget()->count(), 1);
    QCOMPARE(QFileInfo(m_window->currentEdit()->filePath()).fileName(), QStringLiteral("a.gcp"));
}

void TestRecentFiles::missingFileIsRemovedWithAMessage() {
    const QString kept = makeFile(QStringLiteral("kept.gcp"));
    const QString gone = makeFile(QStringLiteral("gone.gcp"));
    RecentFiles().add(kept);
    RecentFiles().add(gone);
    QVERIFY(windowfixture::openWindow(m_window));
    QCOMPARE(menuFiles(), QStringList({gone, kept}));
    QVERIFY(QFile::remove(gone));

    PromptScript prompts;
    QAction *a = menuAction(gone);
    QVERIFY(a);
    a->trigger();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().text, QStringLiteral("文件不存在，已从最近打开列表中移除：%1")
                                      .arg(QDir::toNativeSeparators(gone)));
    QCOMPARE(m_window->tabWidget()->count(), 0);
    QCOMPARE(menuFiles(), QStringList({kept}));
    QCOMPARE(RecentFiles().files(), QStringList({kept}));
    // Gone from the menu, so it cannot be chosen twice; the message came once.
    QVERIFY(!menuAction(gone));
    recentMenu()->popup(m_window->mapToGlobal(QPoint(10, 10))); // refreshed as it opens
    QVERIFY(recentMenu()->isVisible());
    QCOMPARE(menuFiles(), QStringList({kept}));
    recentMenu()->hide();
    QCOMPARE(prompts.count(), 1);
}

void TestRecentFiles::clearListFromTheMenu() {
    RecentFiles().add(makeFile(QStringLiteral("a.gcp")));
    QVERIFY(windowfixture::openWindow(m_window));
    QAction *clear = m_window->findChild<QAction *>(QStringLiteral("clearRecentAction"));
    QVERIFY(clear);
    QCOMPARE(clear->text(), QStringLiteral("清除列表"));
    QVERIFY(recentMenu()->actions().contains(clear));
    QVERIFY(clear->isEnabled());
    clear->trigger();
    QVERIFY(menuFiles().isEmpty());
    QVERIFY(!clear->isEnabled());
    QVERIFY(RecentFiles().files().isEmpty());
    // The submenu sits in the 文件 menu, after 打开.
    QCOMPARE(recentMenu()->title(), QStringLiteral("最近打开(&R)"));
    QMenu *fileMenu = qobject_cast<QMenu *>(recentMenu()->parentWidget());
    QVERIFY(fileMenu);
    QCOMPARE(fileMenu->title(), QStringLiteral("文件(&F)"));
    const QList<QAction *> items = fileMenu->actions();
    const int open = items.indexOf(m_window->findChild<QAction *>(QStringLiteral("openAction")));
    QCOMPARE(items.indexOf(recentMenu()->menuAction()), open + 1);
}

QTEST_MAIN(TestRecentFiles)
#include "tst_recentfiles.moc"
