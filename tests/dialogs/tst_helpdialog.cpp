#include "dialogs/aboutdialog.h"
#include "dialogs/helpdialog.h"

#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBrowser>
#include <QtTest>

// The help page's symbol table is generated from the dictionary: every symbol
// once, with all of its abbreviations.
class TestHelpDialog : public QObject {
    Q_OBJECT

private:
    static QString dictionary() {
        QFile file(QStringLiteral(":/resources/wordsdict.csv"));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(file.readAll());
    }

    // The table rows of the html as lists of cell texts (tags stripped,
    // entities of the escaped text decoded).
    static QVector<QStringList> tableRows(const QString &html) {
        QVector<QStringList> rows;
        static const QRegularExpression rowPattern(QStringLiteral("<tr[^>]*>(.*?)</tr>"));
        static const QRegularExpression cellPattern(QStringLiteral("<td[^>]*>(.*?)</td>"));
        auto rowIt = rowPattern.globalMatch(html);
        while (rowIt.hasNext()) {
            const QString row = rowIt.next().captured(1);
            QStringList cells;
            auto cellIt = cellPattern.globalMatch(row);
            while (cellIt.hasNext()) {
                QString text = cellIt.next().captured(1);
                text.replace(QStringLiteral("&lt;"), QStringLiteral("<"))
                    .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
                    .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
                    .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
                cells.append(text);
            }
            if (!cells.isEmpty()) {
                rows.append(cells);
            }
        }
        return rows;
    }

    static QString symbol(uint code) {
        const char32_t c = code;
        return QString::fromUcs4(&c, 1);
    }

private slots:
    void everySymbolOnceWithAllItsKeys() {
        const QString text = dictionary();
        QVERIFY(!text.isEmpty());

        // Expected: the keys of each code in file order, without repeats.
        QVector<uint> order;
        QHash<uint, QStringList> keys;
        const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (int i = 1; i < lines.size(); ++i) {
            const QStringList fields = lines[i].split(QLatin1Char(' '));
            const uint code = fields[0].mid(1).toUInt(nullptr, 16);
            if (!keys.contains(code)) {
                order.append(code);
            }
            if (!keys[code].contains(fields[1])) {
                keys[code].append(fields[1]);
            }
        }
        QCOMPARE(order.size(), 138);

        const QString html = Help::symbolTableHtml(text, QStringLiteral("GongcheTest"));
        const QVector<QStringList> rows = tableRows(html);
        QCOMPARE(rows.size(), order.size());
        for (int i = 0; i < order.size(); ++i) {
            const uint code = order[i];
            QCOMPARE(html.count(symbol(code)), 1);
            const QStringList &row = rows[i];
            QCOMPARE(row.size(), 4);
            QCOMPARE(row[0], symbol(code));
            QCOMPARE(row[2], QStringLiteral("U+%1").arg(code, 5, 16).toUpper());
            QCOMPARE(row[3].split(QStringLiteral("、")), keys[code]);
        }
        // Spot checks: a beat mark reachable by two keys, and a shared key.
        QCOMPARE(rows[0][1], QStringLiteral("头板"));
        QCOMPARE(rows[0][3], QStringLiteral("tb、b"));
        QCOMPARE(rows[4][3], QStringLiteral("yty、ymy、cty、cmy、yy、cy"));
        QVERIFY(html.contains(QStringLiteral("font-family:'GongcheTest'")));
    }

    void rowsAreReadLikeTheInputMethodReadsThem() {
        const QString text = QStringLiteral("U000F0000 header line is skipped\n"
                                            "U000F0001 ty 0.6 头眼\n"
                                            "U000F0001 ty 0.6 头眼\r\n"
                                            "too short\n"
                                            "Uxyz k 0.6 bad\n"
                                            "U000F0002 zy 0.6 <b>&amp;</b>\r\n"
                                            "U000F0001 my 0.6 末眼\n");
        const QString html = Help::symbolTableHtml(text, QString());
        const QVector<QStringList> rows = tableRows(html);
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0][3], QStringLiteral("ty、my"));
        QCOMPARE(rows[1][1], QStringLiteral("<b>&amp;</b>"));
        QVERIFY(!html.contains(QStringLiteral("<b>&amp;")));
        QVERIFY(!html.contains(symbol(0xF0000)));
        QVERIFY(!html.contains(QStringLiteral("font-family:'")));
    }

    void familyCannotBreakOutOfTheStyle() {
        const QString html = Help::symbolTableHtml(QStringLiteral("h\nU000F0000 b 0.6 板\n"),
                                                   QStringLiteral("a'\"><x"));
        QVERIFY(!html.contains(QStringLiteral("<x")));
        QVERIFY(html.contains(QStringLiteral("font-family:'a&gt;&lt;x'")));
    }

    void helpDialogShowsTableAndKeys() {
        Help help;
        QCOMPARE(help.windowTitle(), QStringLiteral("帮助"));
        auto *browser = help.findChild<QTextBrowser *>(QStringLiteral("helpBrowser"));
        QVERIFY(browser);
        const QString plain = browser->toPlainText();
        // The window's shortcuts come from a window: tst_menukeys checks them.
        for (const char *text : {"工尺符号与简拼", "头板", "乙倍高音气口小", "yuuqx", "1–6", "Esc",
                                 "笛色=小工调", "--export", "恢复早期版本"}) {
            QVERIFY2(plain.contains(QString::fromUtf8(text)), text);
        }
        help.resize(720, 620);
        const QPixmap shot = help.grab();
        QVERIFY(!shot.isNull());
        const QByteArray out = qgetenv("QORVEL_SCREENSHOT_DIR");
        if (!out.isEmpty()) {
            shot.save(QFile::decodeName(out) + QStringLiteral("/help.png"));
            browser->verticalScrollBar()->setValue(browser->verticalScrollBar()->maximum());
            help.grab().save(QFile::decodeName(out) + QStringLiteral("/help-end.png"));
            About about;
            about.grab().save(QFile::decodeName(out) + QStringLiteral("/about.png"));
        }
    }

    void aboutNamesVersionAndFontLicence() {
        const QString html = About::html();
        QVERIFY(html.contains(QStringLiteral("2.1")));
        QVERIFY(html.contains(QStringLiteral("Arphic Public License")));
        QVERIFY(html.contains(QStringLiteral("AR PL UKai")));
        About about;
        QCOMPARE(about.windowTitle(), QStringLiteral("关于"));
        QVERIFY(about.isModal());
    }
};

QTEST_MAIN(TestHelpDialog)
#include "tst_helpdialog.moc"
