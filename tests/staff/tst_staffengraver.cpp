// The LilyPond engraver: pages and links of small sources, the cache, and
// every way a run can fail (no program, a faulty source, the time limit, a
// cancel).

#include "platform/apppaths.h"
#include "staff/staffengraver.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

Q_DECLARE_METATYPE(StaffEngraver::Failure)

namespace {

// A small complete source: a title, one staff of notes, its lyrics.
LilyPondSource source(const QString &title, const QString &notes, const QString &lyrics) {
    LilyPondSource s;
    s.title = title;
    s.text = QStringLiteral("\\version \"2.24.0\"\n"
                            "\\header { title = \"%1\" tagline = ##f }\n"
                            "\\paper { print-page-number = ##f }\n"
                            "\\score {\n"
                            "  <<\n"
                            "    \\new Voice = \"m\" { %2 }\n"
                            "    \\new Lyrics \\lyricsto \"m\" { %3 }\n"
                            "  >>\n"
                            "  \\layout { }\n"
                            "}\n")
                 .arg(title, notes, lyrics);
    return s;
}

QVector<LilyPondSource> twoSources() {
    return {source(QStringLiteral("游园"), QStringLiteral("c'4 d'4 e'4 g'4 | a'1"),
                   QStringLiteral("袅 晴 丝 吹 来")),
            // A bar check that fails: a warning kept with this tune only.
            source(QStringLiteral("皂罗袍"), QStringLiteral("e'4 g'4 a'4 | c''2 d''2"),
                   QStringLiteral("原 来 姹 紫 嫣"))};
}

// An SVG page with its links' file names left out.
QString withoutPaths(const QByteArray &svg) {
    static const QRegularExpression path(QStringLiteral("textedit://[^\"]*/t\\d+\\.ly"));
    return QString::fromUtf8(svg).replace(path, QStringLiteral("textedit://t.ly"));
}

// A stand-in for LilyPond that never ends: it notes its own id and its
// child's, so that a test can see both stopped.
QString writeSleeper(const QTemporaryDir &dir) {
    const QString path = dir.filePath(QStringLiteral("sleeper.sh"));
    writeFile(path, QStringLiteral("#!/bin/sh\n"
                                   "sleep 30 &\n"
                                   "echo $! > '%1/child.pid'\n"
                                   "echo $$ > '%1/shell.pid'\n"
                                   "wait\n")
                        .arg(dir.path())
                        .toUtf8());
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

// Whether process id runs (a zombie waiting to be reaped counts as ended).
bool running(const QByteArray &id) {
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(QString(id.trimmed())));
    if (stat.isEmpty()) {
        return false;
    }
    const int close = stat.lastIndexOf(')');
    return close > 0 && stat.mid(close + 2, 1) != "Z";
}

} // namespace

class tst_StaffEngraver : public QObject {
    Q_OBJECT

private:
    QScopedPointer<QTemporaryDir> m_home;

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("qorvel-test")); }

    void init() {
        m_home.reset(new QTemporaryDir);
        // A program folder of its own: an empty cache for each test.
        AppPaths::setProgramDirOverride(m_home->path(), true);
        qunsetenv("QORVEL_LILYPOND");
        qunsetenv("QORVEL_LILYPOND_TIMEOUT");
    }

    void cachedByText() {
        StaffEngraver engraver;
        QVERIFY(engraver.cacheDirectory().startsWith(m_home->path()));
        QSignalSpy progress(&engraver, &StaffEngraver::progress);
        const QVector<LilyPondSource> sources = twoSources();

        const StaffEngraver::Result first = engraver.engrave(sources);
        QCOMPARE(first.failure, StaffEngraver::Failure::None);
        QVERIFY(first.message.isEmpty());
        QCOMPARE(first.engraved, 2);
        QCOMPARE(first.tunes.size(), 2);
        for (const StaffEngraver::Tune &tune : first.tunes) {
            QCOMPARE(tune.pages.size(), 1);
            QVERIFY(tune.pages.first().startsWith("<svg"));
            QVERIFY(tune.pages.first().contains("textedit://"));
        }
        QVERIFY(first.tunes.at(0).warnings.isEmpty());
        QVERIFY2(first.tunes.at(1).warnings.contains(QStringLiteral("warning:")),
                 qPrintable(first.tunes.at(1).warnings));
        QCOMPARE(progress.constLast(), (QVariantList{2, 2}));

        // Again: all from the cache, the same bytes and warnings.
        const StaffEngraver::Result again = engraver.engrave(sources);
        QCOMPARE(again.failure, StaffEngraver::Failure::None);
        QCOMPARE(again.engraved, 0);
        QCOMPARE(again.tunes.at(0).pages, first.tunes.at(0).pages);
        QCOMPARE(again.tunes.at(1).pages, first.tunes.at(1).pages);
        QCOMPARE(again.tunes.at(1).warnings, first.tunes.at(1).warnings);
        QCOMPARE(progress.constLast(), (QVariantList{2, 2}));

        // One source changed: only it is engraved.
        QVector<LilyPondSource> changed = sources;
        changed[1] = source(QStringLiteral("皂罗袍"), QStringLiteral("e'4 g'4 a'4 c''4 | d''1"),
                            QStringLiteral("原 来 姹 紫 嫣"));
        const StaffEngraver::Result third = engraver.engrave(changed);
        QCOMPARE(third.engraved, 1);
        QCOMPARE(third.tunes.at(0).pages, first.tunes.at(0).pages);
        QVERIFY(third.tunes.at(1).pages != first.tunes.at(1).pages);
        QVERIFY(third.tunes.at(1).warnings.isEmpty());

        // An entry that cannot be read is engraved again; no half entries stay.
        const QDir cache(engraver.cacheDirectory());
        const QStringList entries = cache.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(entries.size(), 3);
        for (const QString &entry : entries) {
            QVERIFY(writeFile(cache.filePath(entry + QStringLiteral("/page-1.svg")), "broken"));
        }
        QCOMPARE(engraver.engrave(sources).engraved, 2);
        // The same engraving, but for the links' temporary file names.
        QCOMPARE(withoutPaths(engraver.result().tunes.at(0).pages.at(0)),
                 withoutPaths(first.tunes.at(0).pages.at(0)));
    }

    // Three sources: LilyPond forks workers, whose logs tell the progress.
    void severalAtOnce() {
        StaffEngraver engraver;
        QSignalSpy progress(&engraver, &StaffEngraver::progress);
        QVector<LilyPondSource> sources = twoSources();
        sources.append(source(QStringLiteral("好姐姐"), QStringLiteral("g'2 e'2 | d'1"),
                              QStringLiteral("遍 青 山")));
        const StaffEngraver::Result result = engraver.engrave(sources);
        QCOMPARE(result.failure, StaffEngraver::Failure::None);
        QCOMPARE(result.engraved, 3);
        for (const StaffEngraver::Tune &tune : result.tunes) {
            QCOMPARE(tune.pages.size(), 1);
        }
        QVERIFY(result.tunes.at(1).warnings.contains(QStringLiteral("warning:")));
        QVERIFY(result.tunes.at(2).warnings.isEmpty());
        int done = 0;
        for (const QVariantList &report : progress) {
            QCOMPARE(report.at(1).toInt(), 3);
            QVERIFY(report.at(0).toInt() >= done);
            done = report.at(0).toInt();
        }
        QCOMPARE(done, 3);
    }

    void failures_data() {
        QTest::addColumn<QString>("program"); // "" LilyPond, "sleeper" a script that never ends
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<StaffEngraver::Failure>("failure");
        QTest::addColumn<QString>("message"); // a pattern

        const QString fine = twoSources().first().text;
        QTest::newRow("missing") << "/nonexistent/lilypond" << fine << 0
                                 << StaffEngraver::Failure::Missing
                                 << "^未找到 LilyPond，无法排五线谱$";
        QTest::newRow("syntax error")
            << "" << QString(fine).replace(QStringLiteral("d'4"), QStringLiteral("d'4 \\nosuch"))
            << 0 << StaffEngraver::Failure::Error << "^LilyPond 出错：第6行：[^\\n]*nosuch[^\\n]*$";
        QTest::newRow("time limit") << "sleeper" << fine << 1 << StaffEngraver::Failure::TimedOut
                                    << "^LilyPond 排谱超时（1 秒），已停止$";
    }

    void failures() {
        QFETCH(QString, program);
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(StaffEngraver::Failure, failure);
        QFETCH(QString, message);
        if (program == QLatin1String("sleeper")) {
            program = writeSleeper(*m_home);
        }
        if (!program.isEmpty()) {
            qputenv("QORVEL_LILYPOND", program.toUtf8());
        }
        StaffEngraver engraver;
        if (limit > 0) {
            engraver.setTimeLimit(limit);
        }
        LilyPondSource s;
        s.text = text;
        const StaffEngraver::Result result = engraver.engrave({s});
        QCOMPARE(result.failure, failure);
        QVERIFY2(QRegularExpression(message).match(result.message).hasMatch(),
                 qPrintable(result.message));
        QVERIFY(result.tunes.isEmpty());
        QVERIFY(!engraver.isRunning());
        if (failure == StaffEngraver::Failure::TimedOut) {
            // The script and its child are gone.
            QTRY_VERIFY(!running(readAll(m_home->filePath(QStringLiteral("shell.pid")))));
            QTRY_VERIFY(!running(readAll(m_home->filePath(QStringLiteral("child.pid")))));
        }
    }

    void cancelled() {
        qputenv("QORVEL_LILYPOND", writeSleeper(*m_home).toUtf8());
        StaffEngraver engraver;
        QSignalSpy finished(&engraver, &StaffEngraver::finished);
        engraver.start(twoSources());
        QVERIFY(engraver.isRunning());
        const QString child = m_home->filePath(QStringLiteral("child.pid"));
        QTRY_VERIFY(!readAll(child).trimmed().isEmpty());
        engraver.cancel();
        QCOMPARE(finished.size(), 1);
        QVERIFY(!engraver.isRunning());
        QCOMPARE(engraver.result().failure, StaffEngraver::Failure::Cancelled);
        QVERIFY(engraver.result().message.isEmpty());
        QTRY_VERIFY(!running(readAll(child)));
        // Nothing more is told of the cancelled run.
        QCoreApplication::sendPostedEvents();
        QCOMPARE(finished.size(), 1);
    }

    void allCachedFinishesFromTheEventLoop() {
        StaffEngraver engraver;
        QCOMPARE(engraver.engrave({twoSources().first()}).engraved, 1);
        QSignalSpy finished(&engraver, &StaffEngraver::finished);
        engraver.start({twoSources().first()});
        QCOMPARE(finished.size(), 0);
        QVERIFY(finished.wait());
        QCOMPARE(engraver.result().engraved, 0);
        QCOMPARE(engraver.result().tunes.size(), 1);
    }
};

QTEST_MAIN(tst_StaffEngraver)
#include "tst_staffengraver.moc"
