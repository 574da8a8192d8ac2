// The score library's index: searches by each field find the right file and
// place; files added, changed, renamed and deleted while the library runs are
// reflected through the folder watcher; the start-up check of modification
// times; a corrupt or foreign index file is moved aside and built anew;
// unreadable score files are listed with their reason.
#include "gongcheshorthand.h"
#include "library/libraryindex.h"
#include "library/scorelibrary.h"
#include "model/scorefile.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(LibraryQuery::Field)

namespace {

constexpr int settle = 20000; // the longest wait for the watcher, in ms

// One sung character per score line: the score in short hand, one "/" per
// character, padded with 上 up to the number of sung characters.
QString scoreFor(const QString &lyric, const QString &shortHand) {
    int characters = 0;
    for (const QString &line : lyric.split(QLatin1Char('\n'))) {
        if (!isDirectiveLine(line)) {
            characters += sungCharCount(line);
        }
    }
    QStringList lines = gongcheShortHand(shortHand).split(QLatin1Char('\n'));
    while (lines.size() < characters) {
        lines.append(gongcheShortHand(QStringLiteral("上")));
    }
    return lines.join(QLatin1Char('\n'));
}

bool writeScore(const QString &path, const QString &lyric, const QString &shortHand = QString()) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return writeScoreFile(path, lyric, scoreFor(lyric, shortHand)).ok();
}

const char *const youYuan = "# 牡丹亭·游园\n"
                            "【皂罗袍】(仙吕)\n"
                            "; 笛色=小工调 板式=一板三眼\n"
                            "原来，姹紫嫣红开遍\n"
                            "良辰美景奈何天";
const char *const shanPo = "# 山坡羊\n"
                           "【山坡羊】(商调)\n"
                           "; 笛色=尺字调 板式=一板一眼\n"
                           "没乱里春情难遣";

// The files of every library test: two folders, one with a subfolder.
void writeLibrary(const QString &root) {
    // 原来，姹紫嫣红开遍: 工尺上 sung over 来姹紫 (score lines 1-3).
    writeScore(root + QStringLiteral("/a/youyuan.gcp"), QString::fromUtf8(youYuan),
               QStringLiteral("六|/工o/尺*/上o/凡|"));
    // The same turn a fourth higher: 五六凡 over 里春情.
    writeScore(root + QStringLiteral("/a/sub/shanpo.gcp"), QString::fromUtf8(shanPo),
               QStringLiteral("上|/尺o/五'*/六'o/凡'|"));
    writeScore(root + QStringLiteral("/b/other.gcp"),
               QStringLiteral("# 别集\n【山坡羊】\n没乱里春情难遣"));
}

QStringList fileNames(const QVector<LibraryHit> &hits) {
    QStringList names;
    for (const LibraryHit &h : hits) {
        names.append(QFileInfo(h.path).fileName());
    }
    names.removeDuplicates();
    return names;
}

} // namespace

class TestLibraryIndex : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void searches_data();
    void searches();
    void searchesStayInTheirFolders();
    void malformedQueriesSaySo_data();
    void malformedQueriesSaySo();
    void keptInStepWhileRunning();
    void startUpChecksModificationTimes();
    void corruptIndexIsRebuilt_data();
    void corruptIndexIsRebuilt();
    void unreadableFilesAreListed();
    void pruneDropsOtherFolders();

private:
    QTemporaryDir m_dir;
    LibraryIndex m_index;
};

void TestLibraryIndex::initTestCase() {
    QVERIFY(m_dir.isValid());
    writeLibrary(m_dir.path());
    QVERIFY(m_index.open(m_dir.filePath(QStringLiteral("index.sqlite"))).ok());
    const LibraryIndex::UpdateReport report =
        m_index.update({m_dir.filePath(QStringLiteral("a")), m_dir.filePath(QStringLiteral("b"))});
    QCOMPARE(report.added, 3);
    QVERIFY(report.unreadable.isEmpty());
    QCOMPARE(report.directories.size(), 3);
}

void TestLibraryIndex::searches_data() {
    using F = LibraryQuery::Field;
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("file"); // of the first hit
    QTest::addColumn<LibraryQuery::Field>("field");
    QTest::addColumn<int>("lyricLine");
    QTest::addColumn<int>("lyricColumn");
    QTest::addColumn<int>("scoreLine");
    QTest::addColumn<QString>("matched"); // the highlighted part of the context
    QTest::addColumn<int>("hits");

    QTest::newRow("title") << "标题:游园"
                           << "youyuan.gcp" << F::Title << 0 << 0 << -1 << "游园" << 1;
    QTest::newRow("曲牌") << "曲牌:皂罗袍"
                          << "youyuan.gcp" << F::QuPai << 1 << 0 << -1 << "皂罗袍" << 1;
    QTest::newRow("曲牌 in two files") << "曲牌:山坡羊"
                                       << "shanpo.gcp" << F::QuPai << 1 << 0 << -1 << "山坡羊" << 2;
    QTest::newRow("宫调") << "宫调:商调"
                          << "shanpo.gcp" << F::GongDiao << 1 << 0 << -1 << "商调" << 1;
    QTest::newRow("笛色") << "笛色:尺字调"
                          << "shanpo.gcp" << F::DiSe << 1 << 0 << -1 << "尺字调" << 1;
    QTest::newRow("笛色 by default") << "笛色:小工调"
                                     << "youyuan.gcp" << F::DiSe << 1 << 0 << -1 << "小工调" << 2;
    QTest::newRow("板式") << "板式:一板一眼"
                          << "shanpo.gcp" << F::BanShi << 1 << 0 << -1 << "一板一眼" << 1;
    QTest::newRow("words, trigram") << "词:姹紫嫣红"
                                    << "youyuan.gcp" << F::Lyric << 3 << 3 << 2 << "姹紫嫣红" << 1;
    QTest::newRow("words over punctuation")
        << "词:来姹紫"
        << "youyuan.gcp" << F::Lyric << 3 << 1 << 1 << "来，姹紫" << 1;
    QTest::newRow("words, two characters")
        << "词:奈何"
        << "youyuan.gcp" << F::Lyric << 4 << 4 << 12 << "奈何" << 1;
    QTest::newRow("words, one character") << "嫣"
                                          << "youyuan.gcp" << F::Lyric << 3 << 5 << 4 << "嫣" << 1;
    QTest::newRow("bare finds title and tune")
        << "山坡羊"
        << "shanpo.gcp" << F::Title << 0 << 0 << -1 << "山坡羊" << 3;
    QTest::newRow("melody") << "腔:工尺上"
                            << "youyuan.gcp" << F::Melody << 3 << 1 << 1 << "来，姹紫" << 1;
    QTest::newRow("melody in another octave form") << "腔:工尺四上"
                                                   << "" << F::Melody << -1 << 0 << -1 << "" << 0;
    QTest::newRow("intervals") << "音程:工尺上"
                               << "shanpo.gcp" << F::Interval << 3 << 2 << 2 << "里春情" << 2;
    QTest::newRow("two terms") << "曲牌:皂罗袍 词:奈何"
                               << "youyuan.gcp" << F::QuPai << 1 << 0 << -1 << "皂罗袍" << 2;
    QTest::newRow("two terms, no file has both") << "曲牌:皂罗袍 词:没乱"
                                                 << "" << F::Any << -1 << 0 << -1 << "" << 0;
    QTest::newRow("near miss in the words") << "词:姹紫红"
                                            << "" << F::Any << -1 << 0 << -1 << "" << 0;
}

void TestLibraryIndex::searches() {
    QFETCH(QString, query);
    QFETCH(QString, file);
    QFETCH(LibraryQuery::Field, field);
    QFETCH(int, lyricLine);
    QFETCH(int, lyricColumn);
    QFETCH(int, scoreLine);
    QFETCH(QString, matched);
    QFETCH(int, hits);

    LibraryIndex::SearchInfo info;
    const QVector<LibraryHit> found = m_index.search(
        query, {m_dir.filePath(QStringLiteral("a")), m_dir.filePath(QStringLiteral("b"))}, &info);
    QVERIFY2(info.error.isEmpty(), qPrintable(info.error));
    QCOMPARE(found.size(), hits);
    if (hits == 0) {
        return;
    }
    const LibraryHit &h = found.first();
    QCOMPARE(QFileInfo(h.path).fileName(), file);
    QCOMPARE(h.field, field);
    QCOMPARE(h.lyricLine, lyricLine);
    QCOMPARE(h.lyricColumn, lyricColumn);
    QCOMPARE(h.scoreLine, scoreLine);
    QCOMPARE(h.context.mid(h.contextStart, h.contextLength), matched);
    QVERIFY(!h.title.isEmpty());
}

void TestLibraryIndex::searchesStayInTheirFolders() {
    const QVector<LibraryHit> inA =
        m_index.search(QStringLiteral("曲牌:山坡羊"), {m_dir.filePath(QStringLiteral("a"))});
    QCOMPARE(fileNames(inA), QStringList{QStringLiteral("shanpo.gcp")});
    const QVector<LibraryHit> inSub =
        m_index.search(QStringLiteral("没乱"), {m_dir.filePath(QStringLiteral("a/sub"))});
    QCOMPARE(fileNames(inSub), QStringList{QStringLiteral("shanpo.gcp")});
    // A folder whose name begins like another's is another folder.
    QVERIFY(!LibraryIndex::isUnder(m_dir.filePath(QStringLiteral("ab/x.gcp")),
                                   {m_dir.filePath(QStringLiteral("a"))}));
}

void TestLibraryIndex::malformedQueriesSaySo_data() {
    QTest::addColumn<QString>("query");
    QTest::newRow("a word in a phrase") << "腔:工春上";
    QTest::newRow("one pitch") << "音程:工";
}

void TestLibraryIndex::malformedQueriesSaySo() {
    QFETCH(QString, query);
    LibraryIndex::SearchInfo info;
    QVERIFY(m_index.search(query, {m_dir.path()}, &info).isEmpty());
    QVERIFY(!info.error.isEmpty());
}

void TestLibraryIndex::keptInStepWhileRunning() {
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("lib"));
    writeLibrary(root);
    ScoreLibrary library(dir.filePath(QStringLiteral("index.sqlite")));
    library.setSettleTime(50);
    QSignalSpy updated(&library, &ScoreLibrary::updated);
    library.setFolders({root});
    QTRY_VERIFY_WITH_TIMEOUT(!library.isBusy() && updated.count() >= 1, settle);
    QCOMPARE(library.fileCount(), 3);

    auto found = [&library](const char *query) {
        return fileNames(library.search(QString::fromUtf8(query)));
    };
    const QStringList none;
    // Added.
    QVERIFY(writeScore(root + QStringLiteral("/c.gcp"), QStringLiteral("# 新曲\n春江花月")));
    QTRY_COMPARE_WITH_TIMEOUT(found("词:春江花"), QStringList{"c.gcp"}, settle);
    // Added in a new folder.
    QVERIFY(writeScore(root + QStringLiteral("/new/deeper/d.gcp"), QStringLiteral("秋水长天")));
    QTRY_COMPARE_WITH_TIMEOUT(found("词:秋水"), QStringList{"d.gcp"}, settle);
    // Changed: the old words are gone, the new ones found.
    QVERIFY(writeScore(root + QStringLiteral("/c.gcp"), QStringLiteral("# 新曲\n夏日荷风满池塘")));
    QTRY_COMPARE_WITH_TIMEOUT(found("词:荷风满"), QStringList{"c.gcp"}, settle);
    QCOMPARE(found("词:春江花"), none);
    // Changed in place, without a new file.
    {
        QFile f(root + QStringLiteral("/c.gcp"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QString lyric = QStringLiteral("冬雪");
        f.write(encodeScoreFile(lyric, scoreFor(lyric, QString())));
    }
    QTRY_COMPARE_WITH_TIMEOUT(found("词:冬雪"), QStringList{"c.gcp"}, settle);
    // Renamed.
    QVERIFY(QFile::rename(root + QStringLiteral("/c.gcp"), root + QStringLiteral("/e.gcp")));
    QTRY_COMPARE_WITH_TIMEOUT(found("词:冬雪"), QStringList{"e.gcp"}, settle);
    // A folder renamed: its files move with it.
    QVERIFY(QDir(root).rename(QStringLiteral("new"), QStringLiteral("renamed")));
    QTRY_COMPARE_WITH_TIMEOUT(library.search(QStringLiteral("词:秋水")).value(0).path,
                              root + QStringLiteral("/renamed/deeper/d.gcp"), settle);
    // Deleted.
    QVERIFY(QFile::remove(root + QStringLiteral("/e.gcp")));
    QTRY_COMPARE_WITH_TIMEOUT(found("词:冬雪"), none, settle);
    QVERIFY(QDir(root + QStringLiteral("/renamed")).removeRecursively());
    QTRY_COMPARE_WITH_TIMEOUT(found("词:秋水"), none, settle);
    QTRY_VERIFY_WITH_TIMEOUT(!library.isBusy(), settle);
    QCOMPARE(library.fileCount(), 3);
}

void TestLibraryIndex::startUpChecksModificationTimes() {
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("lib"));
    const QString index = dir.filePath(QStringLiteral("index.sqlite"));
    writeLibrary(root);
    {
        ScoreLibrary library(index);
        QSignalSpy updated(&library, &ScoreLibrary::updated);
        library.setFolders({root});
        QTRY_VERIFY_WITH_TIMEOUT(!library.isBusy() && updated.count() >= 1, settle);
    }
    // While the program is not running: one changed, one gone, one new.
    QVERIFY(writeScore(root + QStringLiteral("/a/youyuan.gcp"), QStringLiteral("# 游园\n袅晴丝")));
    QVERIFY(QFile::remove(root + QStringLiteral("/b/other.gcp")));
    QVERIFY(writeScore(root + QStringLiteral("/b/new.gcp"), QStringLiteral("惊梦")));

    ScoreLibrary library(index);
    QSignalSpy updated(&library, &ScoreLibrary::updated);
    library.setFolders({root});
    QTRY_VERIFY_WITH_TIMEOUT(!library.isBusy() && updated.count() >= 1, settle);
    const auto report = updated.last().at(0).value<LibraryIndex::UpdateReport>();
    QCOMPARE(report.changed, 1);
    QCOMPARE(report.removed, 1);
    QCOMPARE(report.added, 1);
    QCOMPARE(report.unchanged, 1);
    QCOMPARE(library.discarded(), QString());
    QCOMPARE(fileNames(library.search(QStringLiteral("袅晴丝"))), QStringList{"youyuan.gcp"});
    QCOMPARE(fileNames(library.search(QStringLiteral("惊梦"))), QStringList{"new.gcp"});
}

void TestLibraryIndex::corruptIndexIsRebuilt_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("garbage bytes") << "garbage";
    QTest::newRow("another program's SQLite") << "foreign";
    QTest::newRow("another schema version") << "version";
    QTest::newRow("a damaged page") << "page";
    QTest::newRow("cut short") << "truncated";
}

void TestLibraryIndex::corruptIndexIsRebuilt() {
    QFETCH(QString, damage);
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("lib"));
    const QString path = dir.filePath(QStringLiteral("index.sqlite"));
    writeLibrary(root);
    if (damage == QLatin1String("garbage")) {
        QRandomGenerator random(20240611);
        QByteArray bytes(8192, '\0');
        for (char &b : bytes) {
            b = char(random.bounded(256));
        }
        QVERIFY(writeFile(path, bytes));
    } else if (damage == QLatin1String("foreign")) {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "foreign");
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("CREATE TABLE files(name TEXT, notes TEXT)")));
            QVERIFY(q.exec(QStringLiteral("INSERT INTO files VALUES('x', 'y')")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("foreign"));
    } else {
        {
            LibraryIndex built;
            QVERIFY(built.open(path).ok());
            built.update({root});
        }
        if (damage == QLatin1String("version")) {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "old");
                db.setDatabaseName(path);
                QVERIFY(db.open());
                QSqlQuery q(db);
                QVERIFY(q.exec(QStringLiteral("PRAGMA user_version=99")));
                db.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("old"));
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            const qint64 size = f.size();
            QVERIFY(size > 4 * 4096);
            if (damage == QLatin1String("page")) {
                // The second page (the first table's root) filled with noise.
                QVERIFY(f.seek(4096));
                f.write(QByteArray(4096, '\x5a'));
            } else {
                QVERIFY(f.resize(size / 2));
            }
        }
    }

    LibraryIndex index;
    QVERIFY(index.open(path).ok());
    QVERIFY2(!index.discarded().isEmpty(), qPrintable(damage));
    QVERIFY(QFile::exists(path + QStringLiteral(".broken")));
    QCOMPARE(index.fileCount(), 0);
    QCOMPARE(index.update({root}).added, 3);
    QCOMPARE(fileNames(index.search(QStringLiteral("曲牌:皂罗袍"), {root})),
             QStringList{"youyuan.gcp"});
    // Built anew, it is trusted the next time.
    index.close();
    LibraryIndex again;
    QVERIFY(again.open(path).ok());
    QCOMPARE(again.discarded(), QString());
    QCOMPARE(again.fileCount(), 3);
}

void TestLibraryIndex::unreadableFilesAreListed() {
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("lib"));
    writeLibrary(root);
    QVERIFY(
        writeFile(root + QStringLiteral("/garbage.gcp"), QByteArray("\x7f\xff\xff\xff garbage")));
    const QString lyric = QStringLiteral("# 残本\n断井颓垣");
    const QByteArray whole = encodeScoreFile(lyric, scoreFor(lyric, QString()));
    QVERIFY(writeFile(root + QStringLiteral("/cut.GCP"), whole.left(whole.size() - 3)));
    QVERIFY(writeFile(root + QStringLiteral("/empty.gcp"), QByteArray()));

    ScoreLibrary library(dir.filePath(QStringLiteral("index.sqlite")));
    QSignalSpy updated(&library, &ScoreLibrary::updated);
    library.setFolders({root});
    QTRY_VERIFY_WITH_TIMEOUT(!library.isBusy() && updated.count() >= 1, settle);
    const QVector<LibraryIndex::Unreadable> unreadable = library.unreadable();
    QStringList names;
    for (const LibraryIndex::Unreadable &u : unreadable) {
        names.append(QFileInfo(u.path).fileName());
        QVERIFY2(!u.reason.isEmpty(), qPrintable(u.path));
    }
    QCOMPARE(names, (QStringList{"cut.GCP", "empty.gcp", "garbage.gcp"}));
    // What could be read of a damaged file is found all the same.
    QCOMPARE(fileNames(library.search(QStringLiteral("断井颓垣"))), QStringList{"cut.GCP"});
    QCOMPARE(library.fileCount(), 6);
}

void TestLibraryIndex::pruneDropsOtherFolders() {
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("lib"));
    writeLibrary(root);
    LibraryIndex index;
    QVERIFY(index.open(dir.filePath(QStringLiteral("index.sqlite"))).ok());
    index.update({root + QStringLiteral("/a"), root + QStringLiteral("/b")});
    QCOMPARE(index.fileCount(), 3);
    // An update of one folder leaves the others alone.
    QCOMPARE(index.update({root + QStringLiteral("/b")}).removed, 0);
    QCOMPARE(index.fileCount(), 3);
    QCOMPARE(index.prune({root + QStringLiteral("/b")}), 2);
    QCOMPARE(index.fileCount(), 1);
}

QTEST_GUILESS_MAIN(TestLibraryIndex)
#include "tst_libraryindex.moc"
