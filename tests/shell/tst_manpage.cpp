#include "testsupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QtTest>

// The manual page (resources/man/qorvel.1.scd, generated into qorvel.1 at
// build time) and `qorvel --help` name the same options.
class TestManPage : public QObject {
    Q_OBJECT

private:
    // Every "-x" and "--name" that starts an entry of a section.
    static QSet<QString> optionsIn(const QString &text, const QRegularExpression &entry) {
        QSet<QString> options;
        const QRegularExpression option(QStringLiteral("(?<![\\w-])(--?[a-z][a-z-]*)"));
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            const QRegularExpressionMatch head = entry.match(line);
            if (!head.hasMatch()) {
                continue;
            }
            auto it = option.globalMatch(head.captured(1));
            while (it.hasNext()) {
                options.insert(it.next().captured(1));
            }
        }
        return options;
    }

    static QString joined(QSet<QString> set) {
        QStringList list = set.values();
        list.sort();
        return list.join(QLatin1Char(' '));
    }

private slots:
    void everyOptionIsInBoth() {
        QString help;
        QCOMPARE(runProgram(QStringLiteral(QORVEL_BINARY_DIR "/qorvel"), {QStringLiteral("--help")},
                            &help),
                 0);
        // "  -o, --output <PATH>   The file to write ..."
        const QSet<QString> fromHelp = optionsIn(
            help, QRegularExpression(QStringLiteral("^  (-\\w(?:, --[\\w-]+)?|--[\\w-]+)")));
        QVERIFY2(fromHelp.contains(QStringLiteral("--export")), qPrintable(help));

        // "*-o*, *--output* _PATH_" at the start of a line of the OPTIONS section.
        const QString source = QString::fromUtf8(
            readAll(QStringLiteral(QORVEL_SOURCE_DIR "/resources/man/qorvel.1.scd")));
        const int from = source.indexOf(QStringLiteral("\n# OPTIONS\n"));
        const int to = source.indexOf(QStringLiteral("\n# "), from + 1);
        QVERIFY(from > 0 && to > from);
        const QSet<QString> fromPage = optionsIn(
            source.mid(from, to - from), QRegularExpression(QStringLiteral("^(\\*-[^_]*)")));

        QVERIFY2(fromHelp == fromPage, qPrintable(QStringLiteral("help: %1\nmanual page: %2")
                                                      .arg(joined(fromHelp), joined(fromPage))));
    }
};

QTEST_GUILESS_MAIN(TestManPage)
#include "tst_manpage.moc"
