// Staff pages from the command line, run as the real program: engraved by
// LilyPond, or refused in one line when it cannot be (missing, failing,
// too slow), with nothing written.
#include "../export/exportfixture.h"
#include "model/scorefile.h"
#include "staff/staffengraver.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result {
    int exitCode = -1;
    QString out;
    QString err;
};

const QString sample = QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp");

} // namespace

class TestStaffCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void staffPdf();
    void refusals_data();
    void refusals();

private:
    Result run(const QStringList &args, const QString &lilypond = QString(),
               const QString &timeout = QString());
    // A stand-in for LilyPond: a shell script that runs body.
    QString fakeLilyPond(const QString &name, const QByteArray &body);

    QTemporaryDir m_work;
};

void TestStaffCommandLine::initTestCase() {
    QVERIFY(QFileInfo::exists(QStringLiteral(QORVEL_BINARY_DIR "/qorvel")));
}

Result TestStaffCommandLine::run(const QStringList &args, const QString &lilypond,
                                 const QString &timeout) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QORVEL_LILYPOND"));
    if (!lilypond.isEmpty()) {
        env.insert(QStringLiteral("QORVEL_LILYPOND"), lilypond);
    }
    if (!timeout.isEmpty()) {
        env.insert(QStringLiteral("QORVEL_LILYPOND_TIMEOUT"), timeout);
    }
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_work.path());
    p.start(QStringLiteral(QORVEL_BINARY_DIR "/qorvel"), args);
    Result r;
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit) {
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QString TestStaffCommandLine::fakeLilyPond(const QString &name, const QByteArray &body) {
    const QString path = m_work.filePath(name);
    writeFile(path, "#!/bin/sh\n" + body + '\n');
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
    return path;
}

// The sample aria as staff pages: the PDF holds every sung character of it,
// in order, and its tunes' names.
void TestStaffCommandLine::staffPdf() {
    if (StaffEngraver::program().isEmpty() || !haveTool(QStringLiteral("pdftotext"))) {
        QSKIP("lilypond or pdftotext is not installed");
    }
    const QString pdf = m_work.filePath(QStringLiteral("staff.pdf"));
    const Result r =
        run({QStringLiteral("--export"), QStringLiteral("pdf"), QStringLiteral("--notation"),
             QStringLiteral("staff"), QStringLiteral("--output"), pdf, sample});
    QVERIFY2(r.exitCode == 0, qPrintable(r.err));
    QCOMPARE(r.out, pdf + QLatin1Char('\n'));
    QString text = QString::fromUtf8(
        runTool(QStringLiteral("pdftotext"),
                {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")}));
    text.remove(QRegularExpression(QStringLiteral("\\s+")));
    QVERIFY2(text.contains(QStringLiteral("皂罗袍")), qPrintable(text.left(800)));
    QVERIFY2(text.contains(QStringLiteral("原来姹紫嫣红开遍")), qPrintable(text.left(800)));
}

// Each way LilyPond can fail gives its one line and exit status 1, and
// nothing is written; the LilyPond source is written without it.
void TestStaffCommandLine::refusals_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("script"); // empty: no LilyPond at all
    QTest::addColumn<QString>("timeout");
    QTest::addColumn<QString>("message");
    const QString missing = QStringLiteral("qorvel: 未找到 LilyPond，无法排五线谱\n");
    QTest::newRow("missing, pdf") << "pdf" << QByteArray() << QString() << missing;
    // The source needs none (the writer's tests engrave it).
    QTest::newRow("missing, ly") << "ly" << QByteArray() << QString() << QString();
    QTest::newRow("error") << "svg"
                           << QByteArray("echo \"t0.ly:7:3: error: syntax error, unexpected "
                                         "'}'\" >&2\nexit 1")
                           << QString()
                           << "qorvel: LilyPond 出错：第7行：syntax error, unexpected '}'\n";
    QTest::newRow("time-out") << "jpg" << QByteArray("exec sleep 60") << QStringLiteral("1")
                              << "qorvel: LilyPond 排谱超时（1 秒），已停止\n";
}

void TestStaffCommandLine::refusals() {
    QFETCH(QString, format);
    QFETCH(QByteArray, script);
    QFETCH(QString, timeout);
    QFETCH(QString, message);
    QTemporaryDir out;
    const bool toFile = format == QLatin1String("pdf") || format == QLatin1String("ly");
    const QString target = toFile ? out.filePath(QStringLiteral("x.") + format) : out.path();
    const QString lilypond =
        script.isEmpty()
            ? QStringLiteral("/nonexistent/lilypond")
            : fakeLilyPond(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".sh"),
                           script);
    // A score no earlier run has engraved: the cache cannot answer for LilyPond.
    const QString score = out.filePath(QStringLiteral("new.gcp"));
    const SampleScore s = sampleScore();
    QVERIFY(
        writeScoreFile(score, s.lyric + QStringLiteral("\n# ") + QTest::currentDataTag(), s.score));
    const Result r = run({QStringLiteral("--export"), format, QStringLiteral("--notation=staff"),
                          QStringLiteral("--output"), target, score},
                         lilypond, timeout);
    QCOMPARE(r.err, message);
    if (message.isEmpty()) {
        QCOMPARE(r.exitCode, 0);
        QVERIFY(readAll(target).startsWith("\\version \"2.24"));
        return;
    }
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(QDir(out.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("new.gcp")});
}

QTEST_MAIN(TestStaffCommandLine)
#include "tst_staffcommandline.moc"
