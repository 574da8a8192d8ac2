// Autosave and crash recovery: the recovery file format, the files kept for
// modified tabs and their clean-up, two programs sharing the folder, and the
// offer at start-up with its dialog.
#include "dialogs/recoverydialog.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/recoverystore.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "shell/autosaver.h"
#include "shell/mainwindow.h"
#include "windowfixture.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QLockFile>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

using Choice = RecoveryStore::Choice;
using Entry = RecoveryStore::Entry;

class TestRecovery : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formatRoundTrip();
    void truncatedAndCorruptFilesAreDamaged();
    void filesAppearAfterTheInterval();
    void laterChangesAreWrittenAgain();
    void removedOnSaveButNotOnSaveAs();
    void removedOnCloseWithNo();
    void keptOnCloseCancelled();
    void removedOnNormalExit();
    void keptWhenTheWindowGoesWithUnsavedTabs();
    void secondInstanceLeavesFilesAlone();
    void deadOwnerIsAdopted();
    void damagedFileIsListedAndDiscarded();
    void restoredTabHasTextsPathAndModifiedFlag();
    void restoreMovesTheFileToThisProgram();
    void cancelledOfferKeepsEverything();
    void offeredOnceAfterShow();
    void dialogWithoutEventLoop();

private:
    QString recoveryDir() const { return m_programDir->path() + QStringLiteral("/cache/recovery"); }
    QStringList recoveryFiles() const {
        return QDir(recoveryDir()).entryList({QStringLiteral("*.qrec")}, QDir::Files);
    }
    QStringList lockFiles() const {
        return QDir(recoveryDir()).entryList({QStringLiteral("*.lock")}, QDir::Files);
    }
    static void quickAutosave(MainWindow *w) { w->autosaver()->setInterval(30); }
    // A window not shown yet.
    static MainWindow *newWindow() {
        auto *w = new MainWindow;
        quickAutosave(w);
        return w;
    }
    // A recovery file left by a program that is gone: written by a store that
    // is then destroyed (its lock goes, its file stays).
    QString orphan(const QString &path, const QString &lyric, const QString &score) {
        RecoveryStore old(recoveryDir());
        if (!old.write(1, path, lyric, score)) {
            return QString();
        }
        return old.fileFor(1);
    }

    std::unique_ptr<QTemporaryDir> m_programDir;
    MainWindow *m_window = nullptr;
};

void TestRecovery::initTestCase() {
    qRegisterMetaType<DocumentTab *>();
    // No dialog may block a test: every offer not given a chooser keeps all.
    RecoveryDialog::setResponder([](const QList<Entry> &) { return QList<Choice>(); });
}

void TestRecovery::init() {
    m_programDir = std::make_unique<QTemporaryDir>();
    windowfixture::useProgramDir(m_programDir->path());
    QVERIFY(windowfixture::openWindow(m_window, false, quickAutosave));
}

void TestRecovery::cleanup() {
    windowfixture::closeWindow(m_window);
    AppPaths::setProgramDirOverride(QString());
    m_programDir.reset();
}

void TestRecovery::formatRoundTrip() {
    const QString symbols = QString::fromUcs4(U"\U000F002C\U000F0000\n\U000F0030");
    QString lone = QStringLiteral("春");
    lone.append(QChar(0xD800)); // a lone surrogate comes back as it was
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(1700000000123, Qt::UTC);
    for (const auto &[path, lyric, score] :
         {std::make_tuple(QStringLiteral("/tmp/曲.gcp"), QStringLiteral("春香\n# 标题"), symbols),
          std::make_tuple(QStringLiteral("未命名"), QString(), QString()),
          std::make_tuple(QString(), lone, QStringLiteral("\n\n"))}) {
        const Entry e = RecoveryStore::decode(RecoveryStore::encode(when, path, lyric, score));
        QVERIFY(!e.damaged);
        QCOMPARE(e.filePath, path);
        QCOMPARE(e.lyric, lyric);
        QCOMPARE(e.score, score);
        QCOMPARE(e.savedAt, when);
    }
}

void TestRecovery::truncatedAndCorruptFilesAreDamaged() {
    const QByteArray good =
        RecoveryStore::encode(QDateTime::currentDateTimeUtc(), QStringLiteral("/x/春.gcp"),
                              QStringLiteral("春香"), QStringLiteral("\n"));
    for (int n = 0; n < good.size(); ++n) {
        QVERIFY2(RecoveryStore::decode(good.left(n)).damaged, qPrintable(QString::number(n)));
    }
    QRandomGenerator random(7);
    for (int i = 0; i < 200; ++i) {
        QByteArray bad = good;
        const int at = random.bounded(bad.size());
        bad[at] = char(bad.at(at) ^ (1 << random.bounded(8)));
        QVERIFY(RecoveryStore::decode(bad).damaged);
    }
    // Lengths far beyond the file, with a checksum that fits: still damaged.
    QByteArray huge = good.left(20);
    huge.append("\xfe\xff\xff\x7f", 4);
    huge.append(12, '\0');
    huge.append(QCryptographicHash::hash(huge, QCryptographicHash::Md5));
    const Entry e = RecoveryStore::decode(huge);
    QVERIFY(e.damaged);
    QCOMPARE(e.problem, QStringLiteral("内容不完整"));
    QCOMPARE(RecoveryStore::decode(QByteArray(4096, 'x')).problem, QStringLiteral("不是恢复文件"));
    QByteArray newer = good;
    newer[8] = 2;
    QCOMPARE(RecoveryStore::decode(newer).problem, QStringLiteral("版本不符"));
}

void TestRecovery::filesAppearAfterTheInterval() {
    m_window->autosaver()->setInterval(200);
    m_window->newAction();
    DocumentTab *untitled = m_window->currentEdit();
    QVERIFY(recoveryFiles().isEmpty()); // nothing before a change
    windowfixture::typeInto(untitled->lyricEditor(), QStringLiteral("春香"));
    QVERIFY(m_window->autosaver()->isPending(untitled));
    QVERIFY(recoveryFiles().isEmpty()); // not at once: after the interval
    QTRY_COMPARE(recoveryFiles().size(), 1);

    const Entry e = RecoveryStore::read(m_window->autosaver()->recoveryFileOf(untitled));
    QVERIFY(!e.damaged);
    QCOMPARE(e.filePath, QStringLiteral("未命名"));
    QCOMPARE(e.lyric, QStringLiteral("春香"));
    QCOMPARE(e.score, untitled->scoreEditor()->toPlainText());
    QVERIFY(qAbs(e.savedAt.secsTo(QDateTime::currentDateTimeUtc())) < 60);

    // A file tab gets its own, with its path.
    const QString path = m_programDir->filePath(QStringLiteral("曲.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("春"), QStringLiteral("\n")));
    m_window->openDocument(path);
    DocumentTab *file = m_window->currentEdit();
    QCOMPARE(recoveryFiles().size(), 1); // opening is no change
    windowfixture::typeInto(file->lyricEditor(), QStringLiteral("香"));
    QTRY_COMPARE(recoveryFiles().size(), 2);
    const Entry f = RecoveryStore::read(m_window->autosaver()->recoveryFileOf(file));
    QCOMPARE(f.filePath, path);
    QCOMPARE(f.lyric, file->lyricEditor()->toPlainText());
    QCOMPARE(lockFiles().size(), 1);
}

void TestRecovery::laterChangesAreWrittenAgain() {
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    QSignalSpy written(m_window->autosaver(), &Autosaver::written);
    windowfixture::typeInto(edit->lyricEditor(), QStringLiteral("春"));
    windowfixture::typeInto(edit->lyricEditor(), QStringLiteral("香"));
    QTRY_COMPARE(written.size(), 1); // one timer for both changes
    QVERIFY(!m_window->autosaver()->isPending(edit));
    windowfixture::typeInto(edit->lyricEditor(), QStringLiteral("好"));
    QVERIFY(m_window->autosaver()->isPending(edit));
    QTRY_COMPARE(written.size(), 2);
    QCOMPARE(written.at(1).at(1).toBool(), true);
    QCOMPARE(RecoveryStore::read(m_window->autosaver()->recoveryFileOf(edit)).lyric,
             QStringLiteral("春香好"));
    // Undo is a change too.
    edit->undo();
    QTRY_COMPARE(written.size(), 3);
    QCOMPARE(RecoveryStore::read(m_window->autosaver()->recoveryFileOf(edit)).lyric,
             edit->lyricEditor()->toPlainText());
}

void TestRecovery::removedOnSaveButNotOnSaveAs() {
    m_window->newAction();
    DocumentTab *edit = m_window->currentEdit();
    windowfixture::typeInto(edit->lyricEditor(), QStringLiteral("春"));
    QTRY_COMPARE(recoveryFiles().size(), 1);

    PromptScript prompts;
    prompts.answer(m_programDir->filePath(QStringLiteral("copy.gcp")));
    m_window->saveAsAction(); // a copy: the document stays as it was
    QVERIFY(edit->isModified());
    QCOMPARE(recoveryFiles().size(), 1);

    prompts.answer(m_programDir->filePath(QStringLiteral("saved.gcp")));
    m_window->saveAction();
    QVERIFY(!edit->isModified());
    QVERIFY(recoveryFiles().isEmpty());
    QVERIFY(!m_window->autosaver()->isPending(edit));

    // A save while a write is pending: nothing comes after it.
    m_window->autosaver()->setInterval(100);
    windowfixture::typeInto(edit->lyricEditor(), QStringLiteral("香"));
    QVERIFY(m_window->autosaver()->isPending(edit));
    m_window->saveAction(); // to its own file, no dialog
    QVERIFY(!m_window->autosaver()->isPending(edit));
    QTest::qWait(250);
    QVERIFY(recoveryFiles().isEmpty());
}

void TestRecovery::removedOnCloseWithNo() {
    m_window->newAction();
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("春"));
    m_window->newAction();
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("香"));
    QTRY_COMPARE(recoveryFiles().size(), 2);
    PromptScript prompts;
    prompts.answer(QMessageBox::No);
    QVERIFY(m_window->tabWidgetClose(1));
    QCOMPARE(recoveryFiles().size(), 1);
    QCOMPARE(RecoveryStore::read(QDir(recoveryDir()).filePath(recoveryFiles().first())).lyric,
             QStringLiteral("春"));
}

void TestRecovery::keptOnCloseCancelled() {
    m_window->newAction();
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("春"));
    QTRY_COMPARE(recoveryFiles().size(), 1);
    PromptScript prompts;
    prompts.answer(QMessageBox::Cancel);
    QVERIFY(!m_window->tabWidgetClose(0));
    prompts.answer(QMessageBox::Yes);
    prompts.answer(QString()); // the save dialog cancelled
    QVERIFY(!m_window->tabWidgetClose(0));
    QCOMPARE(recoveryFiles().size(), 1);
}

void TestRecovery::removedOnNormalExit() {
    for (const QString &text : {QStringLiteral("春"), QStringLiteral("香"), QStringLiteral("好")}) {
        m_window->newAction();
        windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), text);
    }
    QTRY_COMPARE(recoveryFiles().size(), 3);
    QCOMPARE(lockFiles().size(), 1);
    {
        PromptScript prompts;
        prompts.answer(QMessageBox::No);
        prompts.answer(QMessageBox::No);
        prompts.answer(QMessageBox::No);
        m_window->exitAction();
        QCOMPARE(prompts.count(), 3);
    }
    QCOMPARE(m_window->tabWidget()->count(), 0);
    QVERIFY(recoveryFiles().isEmpty());
    delete m_window; // the program ends
    m_window = nullptr;
    QVERIFY(lockFiles().isEmpty());
    QVERIFY(QDir(recoveryDir()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestRecovery::keptWhenTheWindowGoesWithUnsavedTabs() {
    m_window->newAction();
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("春"));
    QTRY_COMPARE(recoveryFiles().size(), 1);
    delete m_window; // no closing protocol: nothing may be lost
    m_window = nullptr;
    QCOMPARE(recoveryFiles().size(), 1);
    QVERIFY(lockFiles().isEmpty());

    m_window = newWindow();
    QList<Entry> offered;
    QCOMPARE(m_window->offerRecovery([&](QWidget *, const QList<Entry> &entries) {
        offered = entries;
        return QList<Choice>{Choice::Restore};
    }),
             1);
    QCOMPARE(offered.size(), 1);
    QCOMPARE(m_window->currentEdit()->lyricEditor()->toPlainText(), QStringLiteral("春"));
}

void TestRecovery::secondInstanceLeavesFilesAlone() {
    // The first program: this window, with two modified tabs.
    m_window->newAction();
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("春"));
    m_window->newAction();
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("香"));
    QTRY_COMPARE(recoveryFiles().size(), 2);
    const QStringList firstFiles = recoveryFiles();

    // A second program on the same folder, also with a file of its own.
    MainWindow *second = newWindow();
    second->newAction();
    windowfixture::typeInto(second->currentEdit()->lyricEditor(), QStringLiteral("好"));
    QTRY_COMPARE(recoveryFiles().size(), 3);
    QCOMPARE(lockFiles().size(), 2);
    bool asked = false;
    QCOMPARE(second->offerRecovery([&](QWidget *, const QList<Entry> &) {
        asked = true;
        return QList<Choice>{Choice::Discard, Choice::Discard};
    }),
             0);
    QVERIFY(!asked); // the first program runs: nothing to offer
    QVERIFY(
        !second->autosaver()->store()->discard(QDir(recoveryDir()).filePath(firstFiles.first())));
    QVERIFY(second->autosaver()->store()->adoptOrphans().isEmpty());
    second->autosaver()->store()->releaseAdopted();

    // The second one exits normally: only its own file goes.
    windowfixture::closeWindow(second);
    QCOMPARE(recoveryFiles(), firstFiles);
    QCOMPARE(lockFiles().size(), 1);

    // And the first one still owns and writes its files.
    windowfixture::typeInto(m_window->currentEdit()->lyricEditor(), QStringLiteral("!"));
    QTRY_VERIFY(RecoveryStore::read(m_window->autosaver()->recoveryFileOf(m_window->currentEdit()))
                    .lyric.endsWith(QLatin1Char('!')));
}

void TestRecovery::deadOwnerIsAdopted() {
    // A session whose lock names a process that does not run.
    QDir().mkpath(recoveryDir());
    const QString id = QStringLiteral("s999999xdeadbeef");
    {
        QFile lock(recoveryDir() + QLatin1Char('/') + id + QStringLiteral(".lock"));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(999999) + "\nqorvel\n" +
                   QSysInfo::machineHostName().toUtf8() + "\n");
    }
    QFile file(recoveryDir() + QLatin1Char('/') + id + QStringLiteral("-3.qrec"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(RecoveryStore::encode(QDateTime::currentDateTimeUtc(), QStringLiteral("未命名"),
                                     QStringLiteral("春"), QStringLiteral("\n")));
    file.close();
    // And the temporary file of a write cut short.
    QFile partial(file.fileName() + QStringLiteral(".a1B2c3"));
    QVERIFY(partial.open(QIODevice::WriteOnly));
    partial.write("QORVELRC\x01");
    partial.close();

    QList<Entry> offered;
    m_window->offerRecovery([&](QWidget *, const QList<Entry> &entries) {
        offered = entries;
        return QList<Choice>{Choice::Discard};
    });
    QCOMPARE(offered.size(), 1);
    QVERIFY(!offered.first().damaged);
    QVERIFY(recoveryFiles().isEmpty());
    QVERIFY(!partial.exists());
    QVERIFY(lockFiles().isEmpty()); // the dead session is gone altogether
}

void TestRecovery::damagedFileIsListedAndDiscarded() {
    QDir().mkpath(recoveryDir());
    QVERIFY(
        writeFile(recoveryDir() + QStringLiteral("/s1x00000001-1.qrec"), QByteArray(100, '\xff')));
    const QString good = orphan(QStringLiteral("/x/好.gcp"), QStringLiteral("好"), QString());
    QFile truncated(recoveryDir() + QStringLiteral("/s2x00000002-1.qrec"));
    QVERIFY(truncated.open(QIODevice::WriteOnly));
    QFile source(good);
    QVERIFY(source.open(QIODevice::ReadOnly));
    truncated.write(source.readAll().left(30));
    truncated.close();

    QList<Entry> offered;
    QCOMPARE(m_window->offerRecovery([&](QWidget *, const QList<Entry> &entries) {
        offered = entries;
        // Restoring a damaged file is refused; it stays.
        return QList<Choice>{Choice::Keep, Choice::Discard, Choice::Restore};
    }),
             0);
    QCOMPARE(offered.size(), 3);
    QVERIFY(!offered.at(0).damaged); // readable ones first
    QVERIFY(offered.at(1).damaged);
    QVERIFY(offered.at(2).damaged);
    QVERIFY(!offered.at(1).problem.isEmpty());
    QCOMPARE(m_window->tabWidget()->count(), 0);
    QCOMPARE(recoveryFiles().size(), 2); // the discarded damaged one went

    // The dialog lists a damaged file as such, without a restore choice.
    RecoveryDialog dialog(offered);
    QVERIFY(dialog.list()->topLevelItem(1)->text(0).contains(QStringLiteral("已损坏")));
    dialog.setChoice(1, Choice::Restore);
    QCOMPARE(dialog.choice(1), Choice::Keep);
}

void TestRecovery::restoredTabHasTextsPathAndModifiedFlag() {
    const QString path = m_programDir->filePath(QStringLiteral("游园.gcp"));
    QVERIFY(writeScoreFile(path, QStringLiteral("旧"), QStringLiteral("\n")));
    const QString lyric = QStringLiteral("# 游园\n原来姹紫嫣红开遍");
    QString score;
    for (int i = 0; i < 8; ++i) {
        score += QString::fromUcs4(U"\U000F002C\U000F0000") + QLatin1Char('\n');
    }
    QVERIFY(!orphan(path, lyric, score).isEmpty());
    QVERIFY(
        !orphan(QStringLiteral("未命名"), QStringLiteral("春"), QStringLiteral("\n")).isEmpty());

    QCOMPARE(m_window->offerRecovery([](QWidget *, const QList<Entry> &entries) {
        return QVector<Choice>(entries.size(), Choice::Restore).toList();
    }),
             2);
    QCOMPARE(m_window->tabWidget()->count(), 2);
    auto *first = qobject_cast<DocumentTab *>(m_window->tabWidget()->widget(0));
    auto *second = qobject_cast<DocumentTab *>(m_window->tabWidget()->widget(1));
    DocumentTab *file = first->filePath() == path ? first : second;
    DocumentTab *untitled = file == first ? second : first;
    QCOMPARE(file->lyricEditor()->toPlainText(), lyric);
    QCOMPARE(file->scoreEditor()->toPlainText(), score);
    QCOMPARE(file->filePath(), path);
    QVERIFY(file->isModified());
    QCOMPARE(file->tabTitle(true), QStringLiteral("游园.gcp*"));
    QVERIFY(!file->canUndo()); // the recovered text is where history starts
    QCOMPARE(untitled->filePath(), QStringLiteral("未命名"));
    QVERIFY(untitled->isModified());
    // The score file itself is untouched until the user saves.
    QString onDisk, onDiskScore;
    QVERIFY(readScoreFile(path, &onDisk, &onDiskScore));
    QCOMPARE(onDisk, QStringLiteral("旧"));

    m_window->tabWidget()->setCurrentWidget(file);
    QCOMPARE(m_window->tabWidget()->tabText(m_window->tabWidget()->currentIndex()),
             QStringLiteral("游园.gcp*"));
    m_window->saveAction(); // an existing file: saved in place, no dialog
    QVERIFY(readScoreFile(path, &onDisk, &onDiskScore));
    QCOMPARE(onDisk, lyric);
    QCOMPARE(onDiskScore, score);
    QCOMPARE(recoveryFiles().size(), 1); // the untitled one's
}

void TestRecovery::restoreMovesTheFileToThisProgram() {
    const QString old =
        orphan(QStringLiteral("未命名"), QStringLiteral("春"), QStringLiteral("\n"));
    m_window->offerRecovery(
        [](QWidget *, const QList<Entry> &) { return QList<Choice>{Choice::Restore}; });
    QVERIFY(!QFile::exists(old));
    const QString now = m_window->autosaver()->recoveryFileOf(m_window->currentEdit());
    QVERIFY(QFile::exists(now)); // written at once, not after the interval
    QCOMPARE(RecoveryStore::read(now).lyric, QStringLiteral("春"));
    // Offered once: a second offer finds nothing of a program that is gone.
    QCOMPARE(m_window->offerRecovery(
                 [](QWidget *, const QList<Entry> &) { return QList<Choice>{Choice::Restore}; }),
             0);
    QCOMPARE(m_window->tabWidget()->count(), 1);
}

void TestRecovery::cancelledOfferKeepsEverything() {
    const QString old = orphan(QStringLiteral("/a/b.gcp"), QStringLiteral("春"), QString());
    QCOMPARE(m_window->offerRecovery(), 0); // the test responder: nothing decided
    QVERIFY(QFile::exists(old));
    QVERIFY(lockFiles().isEmpty()); // released again
    int offered = 0;
    m_window->offerRecovery([&](QWidget *, const QList<Entry> &entries) {
        offered = entries.size();
        return QList<Choice>{Choice::Keep};
    });
    QCOMPARE(offered, 1);
    QVERIFY(QFile::exists(old));
}

void TestRecovery::offeredOnceAfterShow() {
    delete m_window;
    m_window = nullptr;
    orphan(QStringLiteral("未命名"), QStringLiteral("春"), QStringLiteral("\n"));
    int calls = 0;
    bool visible = false;
    RecoveryDialog::setResponder([&](const QList<Entry> &entries) {
        ++calls;
        visible = m_window && m_window->isVisible();
        return QVector<Choice>(entries.size(), Choice::Restore).toList();
    });
    m_window = newWindow();
    QCOMPARE(calls, 0); // not while the window is built
    m_window->show();
    QTRY_COMPARE(m_window->tabWidget()->count(), 1);
    QCOMPARE(calls, 1);
    QVERIFY(visible);
    m_window->hide();
    m_window->show();
    QTest::qWait(50);
    QCOMPARE(calls, 1);
    RecoveryDialog::setResponder([](const QList<Entry> &) { return QList<Choice>(); });
}

void TestRecovery::dialogWithoutEventLoop() {
    Entry good;
    good.damaged = false;
    good.filePath = QStringLiteral("/home/曲/游园.gcp");
    good.savedAt = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::LocalTime).toUTC();
    good.recoveryFile = QStringLiteral("/r/s1x1-1.qrec");
    Entry untitled = good;
    untitled.filePath = QStringLiteral("未命名");
    Entry damaged;
    damaged.recoveryFile = QStringLiteral("/r/s1x1-2.qrec");
    damaged.problem = QStringLiteral("校验失败");

    RecoveryDialog dialog({good, untitled, damaged});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("恢复文档"));
    QTreeWidget *list = dialog.list();
    QCOMPARE(list->topLevelItemCount(), 3);
    QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("游园.gcp"));
    QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("/home/曲/游园.gcp"));
    QCOMPARE(list->topLevelItem(0)->text(2), QStringLiteral("2024-03-05 14:07:09"));
    QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("未命名"));
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("（尚未保存为文件）"));
    QCOMPARE(list->topLevelItem(2)->text(0), QStringLiteral("s1x1-2.qrec（已损坏：校验失败）"));
    QCOMPARE(dialog.choices(), (QList<Choice>{Choice::Restore, Choice::Restore, Choice::Keep}));

    dialog.findChild<QPushButton *>(QStringLiteral("discardAllBtn"))->click();
    QCOMPARE(dialog.choices(), (QList<Choice>{Choice::Discard, Choice::Discard, Choice::Discard}));
    dialog.findChild<QPushButton *>(QStringLiteral("restoreAllBtn"))->click();
    QCOMPARE(dialog.choices(), (QList<Choice>{Choice::Restore, Choice::Restore, Choice::Discard}));
    auto *combo = qobject_cast<QComboBox *>(list->itemWidget(list->topLevelItem(1), 3));
    QVERIFY(combo);
    combo->setCurrentIndex(combo->findText(QStringLiteral("暂不处理")));
    QCOMPARE(dialog.choice(1), Choice::Keep);

    QSignalSpy accepted(&dialog, &QDialog::accepted);
    auto *submit = dialog.findChild<QPushButton *>(QStringLiteral("submitBtn"));
    QCOMPARE(submit->text(), QStringLiteral("确定"));
    QVERIFY(submit->isDefault());
    submit->click();
    QCOMPARE(accepted.size(), 1);
    QCOMPARE(dialog.findChild<QPushButton *>(QStringLiteral("cancelBtn"))->text(),
             QStringLiteral("稍后处理"));
}

QTEST_MAIN(TestRecovery)
#include "tst_recovery.moc"
