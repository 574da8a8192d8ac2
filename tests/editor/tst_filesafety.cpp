// A score file is never silently lost: damaged files open with a warning and
// keep their original, changes made on disk by others are noticed, and every
// save keeps the version it replaces.
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "model/backupstore.h"
#include "model/scorefile.h"
#include "promptscript.h"
#include "testsupport.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Writes the file from another process, as another program would.
void writeFromOutside(const QString &path, const QString &lyric, const QString &score) {
    QTemporaryDir stage;
    const QString staged = stage.filePath(QStringLiteral("staged.gcp"));
    QVERIFY(writeScoreFile(staged, lyric, score));
    QCOMPARE(QProcess::execute(QStringLiteral("cp"), {staged, path}), 0);
}

// Types one character at the lyric cursor, which modifies the document.
void typeInto(DocumentTab &tab, const QString &c) {
    QTest::sendKeyEvent(QTest::Click, tab.lyricEditor(), Qt::Key_unknown, c, Qt::NoModifier);
}

// Delivers what is waiting: the watcher's notices and what they post.
void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

} // namespace

class TestFileSafety : public QObject {
    Q_OBJECT

private slots:
    void init();
    void damagedFileOpensWithWarningAndKeepsTheOriginal();
    void unmodifiedTabOffersToReload();
    void declinedReloadWarnsAtTheNextSave();
    void activatedProgramLooksAtTheFile();
    void hiddenTabAsksWhenItShows();
    void modifiedTabWarnsBeforeSaving_data();
    void modifiedTabWarnsBeforeSaving();
    void ownSavesAreNoChange();
    void deletedFileIsWrittenAgain();
    void savesKeepTheVersionsTheyReplace();
    void failedBackupStillSavesAndSaysSoOnce();

private:
    QString m_path;
    QTemporaryDir m_dir;
};

void TestFileSafety::init() {
    QDir(BackupStore::defaultDir()).removeRecursively();
    QFile::remove(BackupStore::defaultDir()); // a file left where the folder goes
    m_path = m_dir.filePath(QStringLiteral("游园.gcp"));
    QFile::remove(m_path);
    QVERIFY(writeScoreFile(m_path, QStringLiteral("原来"), QStringLiteral("a\nb")));
}

void TestFileSafety::damagedFileOpensWithWarningAndKeepsTheOriginal() {
    const QByteArray whole = readAll(m_path);
    const QByteArray damaged = whole.left(whole.size() - 2); // the last score unit cut off
    QVERIFY(writeFile(m_path, damaged));

    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    // The warning names the file.
    QVERIFY(prompts.last().text.startsWith(
        QStringLiteral("“%1”：文件已损坏，只读出了部分内容。").arg(QFileInfo(m_path).fileName())));
    QVERIFY(prompts.last().text.contains(QStringLiteral("3 个字符")));
    QCOMPARE(texts(&tab), qMakePair(QStringLiteral("原来"), QStringLiteral("a\n")));
    QVERIFY(tab.isModified());

    // The first save asks where; the damaged original stays as it was.
    const QString copy = m_dir.filePath(QStringLiteral("repaired.gcp"));
    prompts.answer(copy);
    QVERIFY(tab.save(false));
    QCOMPARE(prompts.last().kind, Prompt::Kind::SaveFile);
    QCOMPARE(readAll(m_path), damaged);
    QString lyric, score;
    ScoreFileDamage damage = ScoreFileDamage::Truncated;
    QVERIFY(readScoreFile(copy, &lyric, &score, &damage));
    QCOMPARE(damage, ScoreFileDamage::None);
    QCOMPARE(lyric, QStringLiteral("原来"));
    QCOMPARE(tab.filePath(), copy);
    QVERIFY(!tab.isModified());
    // From then on the tab saves to its new file without asking.
    const int shown = prompts.count();
    typeInto(tab, QStringLiteral("春"));
    QVERIFY(tab.save(false));
    QCOMPARE(prompts.count(), shown);
}

void TestFileSafety::unmodifiedTabOffersToReload() {
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    prompts.answer(QMessageBox::Yes);
    writeFromOutside(m_path, QStringLiteral("良辰美景"), QStringLiteral("1\n2\n3\n4"));
    QTRY_COMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Question);
    QCOMPARE(prompts.last().title, QStringLiteral("文件已更改"));
    QCOMPARE(prompts.last().text, QStringLiteral("“游园.gcp”已被其他程序修改。\n是否重新载入？"));
    QCOMPARE(texts(&tab), qMakePair(QStringLiteral("良辰美景"), QStringLiteral("1\n2\n3\n4")));
    QVERIFY(!tab.isModified());
    // A reloaded file is known again: saving it asks nothing.
    QVERIFY(tab.save(false));
    QCOMPARE(prompts.count(), 1);
}

void TestFileSafety::declinedReloadWarnsAtTheNextSave() {
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    prompts.answer(QMessageBox::No);
    writeFromOutside(m_path, QStringLiteral("良辰"), QStringLiteral("1\n2"));
    QTRY_COMPARE(prompts.count(), 1);
    QCOMPARE(texts(&tab).first, QStringLiteral("原来"));
    // Checking again (the window activated) does not ask about the same change twice.
    tab.checkDisk();
    QCOMPARE(prompts.count(), 1);
    prompts.answer(QMessageBox::Cancel);
    QVERIFY(!tab.save(false));
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Question);
    QCOMPARE(readAll(m_path), encodeScoreFile(QStringLiteral("良辰"), QStringLiteral("1\n2")));
}

// Back from another program, the tab looks at its file at once, before any
// notice of the change has come.
void TestFileSafety::activatedProgramLooksAtTheFile() {
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    settle();
    prompts.answer(QMessageBox::Yes);
    writeFromOutside(m_path, QStringLiteral("良辰美景"), QStringLiteral("1\n2\n3\n4"));
    emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().title, QStringLiteral("文件已更改"));
    QCOMPARE(texts(&tab).first, QStringLiteral("良辰美景"));
}

// A tab out of sight (behind another tab) asks nothing until it shows, and
// then once.
void TestFileSafety::hiddenTabAsksWhenItShows() {
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    prompts.answer(QMessageBox::Yes);
    writeFromOutside(m_path, QStringLiteral("良辰美景"), QStringLiteral("1\n2\n3\n4"));
    emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
    settle();
    QCOMPARE(prompts.count(), 0);
    QCOMPARE(texts(&tab).first, QStringLiteral("原来"));
    tab.show();
    QTRY_COMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().title, QStringLiteral("文件已更改"));
    QCOMPARE(texts(&tab).first, QStringLiteral("良辰美景"));
    settle();
    QCOMPARE(prompts.count(), 1);
}

void TestFileSafety::modifiedTabWarnsBeforeSaving_data() {
    QTest::addColumn<bool>("saveElsewhere");
    QTest::newRow("save under another name") << true;
    QTest::newRow("overwrite") << false;
}

void TestFileSafety::modifiedTabWarnsBeforeSaving() {
    QFETCH(bool, saveElsewhere);
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    typeInto(tab, QStringLiteral("春"));
    QVERIFY(tab.isModified());
    const QByteArray theirs = encodeScoreFile(QStringLiteral("良辰"), QStringLiteral("1\n2"));
    writeFromOutside(m_path, QStringLiteral("良辰"), QStringLiteral("1\n2"));
    // Nothing is asked while the user has unsaved work...
    settle();
    tab.checkDisk();
    QCOMPARE(prompts.count(), 0);
    // ...but the save asks first.
    const QString elsewhere = m_dir.filePath(QStringLiteral("mine.gcp"));
    prompts.answer(saveElsewhere ? QMessageBox::Yes : QMessageBox::No);
    if (saveElsewhere) {
        prompts.answer(elsewhere);
    }
    QVERIFY(tab.save(false));
    QCOMPARE(prompts.shown().first().kind, Prompt::Kind::Question);
    QCOMPARE(
        prompts.shown().first().text,
        QStringLiteral("“游园.gcp”已被其他程序修改，保存将覆盖这些修改。\n是否另存为其他文件？"));
    const QByteArray mine = encodeScoreFile(texts(&tab).first, texts(&tab).second);
    if (saveElsewhere) {
        QCOMPARE(readAll(m_path), theirs);
        QCOMPARE(readAll(elsewhere), mine);
        QCOMPARE(tab.filePath(), elsewhere);
    } else {
        QCOMPARE(readAll(m_path), mine);
        // What was overwritten is kept as a backup.
        const QList<BackupStore::Version> versions = BackupStore().versionsOf(m_path);
        QVERIFY(!versions.isEmpty());
        QCOMPARE(readAll(versions.first().path), theirs);
    }
    QVERIFY(!tab.isModified());
}

void TestFileSafety::ownSavesAreNoChange() {
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    for (int i = 0; i < 3; ++i) {
        typeInto(tab, QStringLiteral("春"));
        QVERIFY(tab.save(false));
    }
    // The watcher has seen the writes: deliver what it reports, then look again.
    settle();
    tab.checkDisk();
    QCOMPARE(prompts.count(), 0);
}

void TestFileSafety::deletedFileIsWrittenAgain() {
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    tab.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tab));
    QVERIFY(QFile::remove(m_path));
    tab.checkDisk();
    QCOMPARE(tab.filePath(), m_path); // the tab stays
    typeInto(tab, QStringLiteral("春"));
    QVERIFY(tab.save(false));
    QCOMPARE(prompts.count(), 0); // no file name asked
    QCOMPARE(readAll(m_path), encodeScoreFile(texts(&tab).first, texts(&tab).second));
}

void TestFileSafety::savesKeepTheVersionsTheyReplace() {
    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    QList<QByteArray> saved = {readAll(m_path)};
    for (int i = 0; i < 7; ++i) {
        typeInto(tab, QStringLiteral("春"));
        QVERIFY(tab.save(false));
        saved.append(readAll(m_path));
    }
    const QList<BackupStore::Version> versions = BackupStore().versionsOf(m_path);
    QCOMPARE(versions.size(), BackupStore::defaultMaxPerFile);
    // Newest first: the versions before the last save, back to the fifth-last.
    for (int k = 0; k < versions.size(); ++k) {
        QCOMPARE(readAll(versions.at(k).path), saved.at(saved.size() - 2 - k));
        QVERIFY(versions.at(k).path.startsWith(BackupStore::defaultDir()));
    }
    QCOMPARE(prompts.count(), 0);
}

void TestFileSafety::failedBackupStillSavesAndSaysSoOnce() {
    // A file where the backup folder should be: no backup can be written.
    QDir().mkpath(QFileInfo(BackupStore::defaultDir()).absolutePath());
    QVERIFY(writeFile(BackupStore::defaultDir(), QByteArray()));

    PromptScript prompts;
    DocumentTab tab;
    QVERIFY(tab.open(m_path));
    typeInto(tab, QStringLiteral("春"));
    QVERIFY(tab.save(false));
    QCOMPARE(readAll(m_path), encodeScoreFile(texts(&tab).first, texts(&tab).second));
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().text, QStringLiteral("无法保存早期版本。文件已照常保存。"));
    typeInto(tab, QStringLiteral("香"));
    QVERIFY(tab.save(false));
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(readAll(m_path), encodeScoreFile(texts(&tab).first, texts(&tab).second));
    QFile::remove(BackupStore::defaultDir());
}

QTEST_MAIN(TestFileSafety)
#include "tst_filesafety.moc"
