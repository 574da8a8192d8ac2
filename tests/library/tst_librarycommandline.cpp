// The library search from the command line, run as the real program with a
// program folder of its own (so the index lives there): hits one a line,
// nothing found said on standard error, usage errors and failures.
#include "gongcheshorthand.h"
#include "model/linegrammar.h"
#include "model/scorefile.h"
#include "testsupport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

class TestLibraryCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void search_data();
    void search();
    void indexIsKeptAndUpdated();

private:
    Result run(const QStringList &args);

    QTemporaryDir m_program; // the program folder: settings and the index
    QTemporaryDir m_work;    // the library
};

void TestLibraryCommandLine::initTestCase() {
    QVERIFY(QFileInfo::exists(QStringLiteral(QORVEL_BINARY_DIR "/qorvel")));
    QDir(m_work.path()).mkpath(QStringLiteral("lib/sub"));
    const QString lyric = QStringLiteral("# 游园\n【皂罗袍】(仙吕)\n原来姹紫嫣红开遍");
    QStringList score;
    for (const char *s : {"上|", "工o", "尺*", "上o", "五|", "六o", "凡*", "工o"}) {
        score.append(gongcheShortHand(QString::fromUtf8(s)));
    }
    QVERIFY(writeScoreFile(m_work.filePath(QStringLiteral("lib/游园.gcp")), lyric,
                           score.join(QLatin1Char('\n'))));
    QVERIFY(writeScoreFile(m_work.filePath(QStringLiteral("lib/sub/山坡羊.gcp")),
                           QStringLiteral("# 山坡羊\n【山坡羊】(商调)\n没乱里春情难遣"),
                           QString()));
    QVERIFY(writeFile(m_work.filePath(QStringLiteral("lib/坏.gcp")), QByteArray("\x7f\xff")));
}

Result TestLibraryCommandLine::run(const QStringList &args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("QORVEL_PROGRAM_DIR"), m_program.path());
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_work.path());
    p.start(QStringLiteral(QORVEL_BINARY_DIR "/qorvel"), args);
    Result r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

void TestLibraryCommandLine::search_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out"); // the lines, the library folder written as @
    QTest::addColumn<QString>("err");     // a part of standard error

    const QString lib = QStringLiteral("lib");
    const QString search = QStringLiteral("--library-search");
    const QString library = QStringLiteral("--library");
    QTest::newRow("曲牌") << QStringList{search, "曲牌:皂罗袍", library, lib} << 0
                          << QStringList{"@/游园.gcp:2:1: [曲牌] 【皂罗袍】(仙吕)"}
                          << "坏.gcp: unreadable";
    QTest::newRow("words in a subfolder")
        << QStringList{search, "春情", library, lib} << 0
        << QStringList{"@/sub/山坡羊.gcp:3:4: [词] 没乱里春情难遣"} << "";
    QTest::newRow("bare, title and tune")
        << QStringList{search, "山坡羊", library, lib} << 0
        << QStringList{"@/sub/山坡羊.gcp:1:1: [标题] 山坡羊",
                       "@/sub/山坡羊.gcp:2:1: [曲牌] 【山坡羊】(商调)"}
        << "";
    QTest::newRow("melody") << QStringList{search, "腔:工尺上", library, lib} << 0
                            << QStringList{"@/游园.gcp:3:2: [腔] 原来姹紫嫣红开遍"} << "";
    QTest::newRow("intervals") << QStringList{search, "音程:工尺上", library, lib} << 0
                               << QStringList{"@/游园.gcp:3:2: [音程] 原来姹紫嫣红开遍",
                                              "@/游园.gcp:3:5: [音程] 原来姹紫嫣红开遍"}
                               << "";
    QTest::newRow("=, two folders")
        << QStringList{"--library-search=宫调:商调", library, lib, library, "lib/sub"} << 0
        << QStringList{"@/sub/山坡羊.gcp:2:1: [宫调] 【山坡羊】(商调)"} << "";
    QTest::newRow("nothing found")
        << QStringList{search, "惊梦", library, lib} << 0 << QStringList{} << "nothing found";
    QTest::newRow("no folder") << QStringList{search, "惊梦"} << 2 << QStringList{}
                               << "--library DIR is missing";
    QTest::newRow("empty query") << QStringList{search, " ", library, lib} << 2 << QStringList{}
                                 << "empty";
    QTest::newRow("bad phrase") << QStringList{search, "腔:工春", library, lib} << 2
                                << QStringList{} << "不是工尺字";
    QTest::newRow("with an export") << QStringList{search, "春", library, lib, "--export", "pdf"}
                                    << 2 << QStringList{} << "--library only";
    QTest::newRow("missing folder") << QStringList{search, "春", library, "nowhere"} << 1
                                    << QStringList{} << "nowhere is not a folder";
}

void TestLibraryCommandLine::search() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    const Result r = run(args);
    QCOMPARE(r.exitCode, exitCode);
    const QString root = QDir(m_work.filePath(QStringLiteral("lib"))).canonicalPath();
    QStringList expected;
    for (const QString &line : out) {
        expected.append(QString(line).replace(QLatin1Char('@'), root));
    }
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);
    QVERIFY2(r.err.contains(err), qPrintable(r.err));
}

void TestLibraryCommandLine::indexIsKeptAndUpdated() {
    const QString index = m_program.filePath(QStringLiteral("library.sqlite"));
    QVERIFY(run({QStringLiteral("--library-search"), QStringLiteral("春"),
                 QStringLiteral("--library"), QStringLiteral("lib")})
                .exitCode == 0);
    QVERIFY(QFileInfo::exists(index));
    // A new file is found by the next run, through the same index.
    QVERIFY(writeScoreFile(m_work.filePath(QStringLiteral("lib/惊梦.gcp")),
                           QStringLiteral("# 惊梦\n袅晴丝吹来闲庭院"), QString()));
    const Result r = run({QStringLiteral("--library-search"), QStringLiteral("词:袅晴丝"),
                          QStringLiteral("--library"), QStringLiteral("lib")});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("惊梦.gcp:2:1: [词] 袅晴丝吹来闲庭院")),
             qPrintable(r.out));
    QVERIFY(!QFileInfo::exists(index + QStringLiteral(".broken")));
    QFile::remove(m_work.filePath(QStringLiteral("lib/惊梦.gcp")));
}

QTEST_GUILESS_MAIN(TestLibraryCommandLine)
#include "tst_librarycommandline.moc"
