#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The Debian package as users get it: `cpack -G DEB` from the build tree,
// unpacked with dpkg -x into a scratch root. From that root, with a clean
// home, the program exports the sample score, and its desktop entry,
// AppStream metainfo, MIME type and manual page pass their validators.
class TestDebianPackage : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_work;
    QString m_deb;
    QString m_root;

    static QString tool(const char *name) {
        return QStandardPaths::findExecutable(QString::fromUtf8(name));
    }

    QString usr(const QString &relative) const {
        return m_root + QStringLiteral("/usr/") + relative;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_work.isValid());
        for (const char *name : {"cpack", "dpkg-deb", "desktop-file-validate", "appstreamcli",
                                 "update-mime-database", "groff"}) {
            QVERIFY2(!tool(name).isEmpty(),
                     qPrintable(QStringLiteral("%1 missing: run scripts/setup.sh").arg(name)));
        }
        QString output;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DESTDIR"));
        const QString packages = m_work.filePath(QStringLiteral("packages"));
        const int rc = runProgram(
            tool("cpack"),
            {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"), packages}, &output,
            env, QStringLiteral(QORVEL_BINARY_DIR));
        QVERIFY2(rc == 0, qPrintable(output));
        const QStringList debs =
            QDir(packages).entryList({QStringLiteral("qorvel_*.deb")}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_deb = QDir(packages).filePath(debs.first());
        m_root = m_work.filePath(QStringLiteral("root"));
        QVERIFY2(runProgram(tool("dpkg-deb"), {QStringLiteral("-x"), m_deb, m_root}, &output) == 0,
                 qPrintable(output));
    }

    void packageHoldsTheProgramUnderUsr() {
        QString control;
        QCOMPARE(runProgram(tool("dpkg-deb"), {QStringLiteral("-f"), m_deb}, &control), 0);
        QVERIFY2(control.contains(QStringLiteral("Version: " QORVEL_VERSION "\n")),
                 qPrintable(control));
        // What dpkg-shlibdeps found, and what the program starts at run time.
        const QString depends =
            control.section(QStringLiteral("\nDepends: "), 1).section('\n', 0, 0);
        QVERIFY2(depends.contains(QStringLiteral("libqt5core5a")) &&
                     depends.contains(QStringLiteral("lilypond")),
                 qPrintable(control));

        QString listing;
        QCOMPARE(runProgram(tool("dpkg-deb"), {QStringLiteral("-c"), m_deb}, &listing), 0);
        for (const QString &line : listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QString path = line.section(QLatin1Char(' '), -1);
            QVERIFY2(path == QStringLiteral("./") || path.startsWith(QStringLiteral("./usr/")),
                     qPrintable(line));
        }
    }

    void exportsFromTheUnpackedRoot() {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        QProcessEnvironment env;
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        // In the sanitizer build the packed program is instrumented: it
        // reports through the suite's options and suppressions.
        for (const char *name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
            if (qEnvironmentVariableIsSet(name)) {
                env.insert(QString::fromUtf8(name), qEnvironmentVariable(name));
            }
        }
        const QString program = usr(QStringLiteral("bin/qorvel"));
        const QString score = usr(QStringLiteral("share/qorvel/examples/youyuan-zaoluopao.gcp"));
        for (const char *format : {"pdf", "musicxml"}) {
            const QString out = home.filePath(QStringLiteral("zaoluopao.") + QLatin1String(format));
            QString output;
            const int rc = runProgram(program,
                                      {QStringLiteral("--export"), QString::fromUtf8(format),
                                       QStringLiteral("--output"), out, score},
                                      &output, env, home.path());
            QVERIFY2(rc == 0, qPrintable(output));
            QFile written(out);
            QVERIFY2(written.open(QIODevice::ReadOnly), format);
            const QByteArray head = written.read(64);
            QVERIFY2(head.startsWith(qstrcmp(format, "pdf") == 0 ? "%PDF-" : "<?xml"),
                     head.constData());
        }
        // The program's own files go to the clean home, none into the
        // installed tree.
        QVERIFY(!QFile::exists(usr(QStringLiteral("bin/settings.ini"))));
    }

    void installedFilesValidate_data() {
        QTest::addColumn<QString>("validator");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("quiet"); // passes without a word
        QTest::newRow("desktop entry")
            << "desktop-file-validate"
            << QStringList{usr(QStringLiteral("share/applications/org.qorvel.Qorvel.desktop"))}
            << true;
        QTest::newRow("metainfo")
            << "appstreamcli"
            << QStringList{QStringLiteral("validate"), QStringLiteral("--no-net"),
                           usr(QStringLiteral("share/metainfo/org.qorvel.Qorvel.metainfo.xml"))}
            << false;
        // (It notes that the scratch root is not in XDG_DATA_DIRS.)
        QTest::newRow("MIME types")
            << "update-mime-database" << QStringList{usr(QStringLiteral("share/mime"))} << false;
        QTest::newRow("manual page")
            << "groff"
            << QStringList{QStringLiteral("-k"),  QStringLiteral("-man"),
                           QStringLiteral("-ww"), QStringLiteral("-Wchar"),
                           QStringLiteral("-z"),  usr(QStringLiteral("share/man/man1/qorvel.1"))}
            << true;
    }

    void installedFilesValidate() {
        QFETCH(QString, validator);
        QFETCH(QStringList, arguments);
        QFETCH(bool, quiet);
        QString output;
        const int rc = runProgram(tool(qPrintable(validator)), arguments, &output);
        QVERIFY2(rc == 0 && (!quiet || output.trimmed().isEmpty()), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestDebianPackage)
#include "tst_debianpackage.moc"
