#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// Desktop integration: the launcher entry, the MIME type of ".gcp" files and
// the icon, as `cmake --install` lays them out.
class TestDesktopEntry : public QObject {
    Q_OBJECT

private:
    static QString sourcePath(const QString &relative) {
        return QStringLiteral(QORVEL_SOURCE_DIR "/") + relative;
    }

    // The keys of the [Desktop Entry] group.
    static QMap<QString, QString> desktopEntry(const QString &path) {
        QMap<QString, QString> entry;
        bool inGroup = false;
        for (const QString &line : QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1Char('['))) {
                inGroup = line == QStringLiteral("[Desktop Entry]");
            } else if (inGroup && line.contains(QLatin1Char('='))) {
                const int eq = line.indexOf(QLatin1Char('='));
                entry.insert(line.left(eq), line.mid(eq + 1));
            }
        }
        return entry;
    }

    // Runs a program to its end, outside any package build (DESTDIR unset).
    static int run(const QString &program, const QStringList &arguments,
                   QString *output = nullptr) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DESTDIR"));
        return runProgram(program, arguments, output, env);
    }

    QTemporaryDir m_prefix;

private slots:
    void entryDescribesTheProgram() {
        const auto entry =
            desktopEntry(sourcePath(QStringLiteral("resources/desktop/org.qorvel.Qorvel.desktop")));
        QCOMPARE(entry.value(QStringLiteral("Type")), QStringLiteral("Application"));
        QCOMPARE(entry.value(QStringLiteral("Name")), QStringLiteral("Qorvel工尺谱"));
        QCOMPARE(entry.value(QStringLiteral("Name[zh_CN]")), QStringLiteral("Qorvel工尺谱"));
        QCOMPARE(entry.value(QStringLiteral("Exec")), QStringLiteral("qorvel %F"));
        QCOMPARE(entry.value(QStringLiteral("Icon")), QStringLiteral("qorvel"));
        QCOMPARE(entry.value(QStringLiteral("StartupWMClass")), QStringLiteral("qorvel"));
        QCOMPARE(entry.value(QStringLiteral("Categories")),
                 QStringLiteral("AudioVideo;Audio;Music;Qt;"));
        QCOMPARE(entry.value(QStringLiteral("Keywords")),
                 QStringLiteral("昆曲;工尺谱;曲谱;简谱;Kunqu;gongche;"));
        const QStringList types = entry.value(QStringLiteral("MimeType")).split(QLatin1Char(';'));
        QVERIFY(types.contains(QStringLiteral("application/x-qorvel-score")));
        QVERIFY(types.contains(QStringLiteral("application/x-qorvel-book")));
    }

    void entryIsValid() {
        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(!validator.isEmpty(), "desktop-file-validate missing: run scripts/setup.sh");
        QString output;
        const int rc = run(
            validator, {sourcePath(QStringLiteral("resources/desktop/org.qorvel.Qorvel.desktop"))},
            &output);
        QVERIFY2(rc == 0 && output.trimmed().isEmpty(), qPrintable(output));
    }

    void installLaysOutTheDesktopFiles() {
        QVERIFY(m_prefix.isValid());
        const QString cmake = QStandardPaths::findExecutable(QStringLiteral("cmake"));
        QVERIFY(!cmake.isEmpty());
        QString output;
        const int rc = run(cmake,
                           {QStringLiteral("--install"), QStringLiteral(QORVEL_BINARY_DIR),
                            QStringLiteral("--prefix"), m_prefix.path()},
                           &output);
        QVERIFY2(rc == 0, qPrintable(output));

        const QDir prefix(m_prefix.path());
        for (const char *file :
             {"bin/qorvel", "share/applications/org.qorvel.Qorvel.desktop",
              "share/mime/packages/org.qorvel.Qorvel.xml",
              "share/metainfo/org.qorvel.Qorvel.metainfo.xml", "share/man/man1/qorvel.1",
              "share/qorvel/examples/youyuan-zaoluopao.gcp",
              "share/icons/hicolor/scalable/apps/qorvel.svg",
              "share/icons/hicolor/512x512/apps/qorvel.png",
              "share/icons/hicolor/256x256/apps/qorvel.png",
              "share/icons/hicolor/16x16/apps/qorvel.png",
              "share/icons/hicolor/48x48/apps/qorvel.png"}) {
            QVERIFY2(prefix.exists(QString::fromUtf8(file)), file);
        }
        const QImage icon(
            prefix.filePath(QStringLiteral("share/icons/hicolor/256x256/apps/qorvel.png")));
        QCOMPARE(icon.size(), QSize(256, 256));
    }

    void installedMimeTypeMatchesScoreFiles() {
        const QString share = QDir(m_prefix.path()).filePath(QStringLiteral("share"));
        QVERIFY(QFile::exists(share + QStringLiteral("/mime/packages/org.qorvel.Qorvel.xml")));

        // The MIME database compiled from the installed package recognises
        // ".gcp" by name, and the entry is registered as its handler.
        const QString globs = QString::fromUtf8(readAll(share + QStringLiteral("/mime/globs2")));
        QVERIFY2(globs.contains(QStringLiteral("application/x-qorvel-score:*.gcp")),
                 qPrintable(globs));
        QVERIFY2(globs.contains(QStringLiteral("application/x-qorvel-book:*.gcpbook")),
                 qPrintable(globs));
        const QString handlers =
            QString::fromUtf8(readAll(share + QStringLiteral("/applications/mimeinfo.cache")));
        QVERIFY2(handlers.contains(
                     QStringLiteral("application/x-qorvel-score=org.qorvel.Qorvel.desktop;")),
                 qPrintable(handlers));
        QVERIFY2(handlers.contains(
                     QStringLiteral("application/x-qorvel-book=org.qorvel.Qorvel.desktop;")),
                 qPrintable(handlers));

        // A desktop that reads the installed share directory detects the type.
        qputenv("XDG_DATA_DIRS", QFile::encodeName(share) + ":/usr/share");
        const QMimeType type = QMimeDatabase().mimeTypeForFile(QStringLiteral("戏.gcp"),
                                                               QMimeDatabase::MatchExtension);
        QCOMPARE(type.name(), QStringLiteral("application/x-qorvel-score"));
        QCOMPARE(type.globPatterns(), QStringList{QStringLiteral("*.gcp")});
    }
};

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"
