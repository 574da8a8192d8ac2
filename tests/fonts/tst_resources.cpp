#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

// The resources compiled into the program: the abbreviation dictionary and the
// icons of the menus, tool bars and dialogs.
class TestResources : public QObject {
    Q_OBJECT

private:
    struct Row {
        uint code;
        QString key;
        QString weight;
        QString name;
    };

    static QByteArray dictionaryBytes() {
        QFile file(QStringLiteral(":/resources/wordsdict.csv"));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return file.readAll();
    }

    // The data rows, header dropped; fails the test on a malformed line.
    static QVector<Row> rows() {
        const QString text = QString::fromUtf8(dictionaryBytes());
        QStringList lines = text.split(QStringLiteral("\r\n"));
        lines.removeFirst();
        if (!lines.isEmpty() && lines.last().isEmpty()) {
            lines.removeLast();
        }
        static const QRegularExpression codePattern(QStringLiteral("^U000F[0-9A-F]{4}$"));
        QVector<Row> result;
        for (const QString &line : lines) {
            const QStringList fields = line.split(QLatin1Char(' '));
            if (fields.size() != 4 || !codePattern.match(fields[0]).hasMatch()) {
                qWarning() << "malformed row" << line;
                return {};
            }
            bool ok = false;
            const uint code = fields[0].mid(1).toUInt(&ok, 16);
            if (!ok) {
                return {};
            }
            result.append({code, fields[1], fields[2], fields[3]});
        }
        return result;
    }

    static QString rowText(const Row &row) {
        return QStringLiteral("U%1 %2 %3 %4")
            .arg(row.code, 8, 16, QLatin1Char('0'))
            .toUpper()
            .arg(row.key, row.weight, row.name);
    }

    // The pitch signs as the series rules describe them, U+F0020 onwards.
    static QVector<Row> expectedPitchRows() {
        struct Pitch {
            const char *name;
            const char *key;
        };
        const QVector<Pitch> low = {{"合", "h"}, {"四", "s"}, {"一", "y"}, {"上", "s"},
                                    {"尺", "c"}, {"工", "g"}, {"凡", "f"}};
        const QVector<Pitch> middle = low + QVector<Pitch>{{"六", "l"}, {"五", "w"}, {"乙", "y"}};
        const QVector<Pitch> high = middle.mid(3);
        struct Octave {
            QVector<Pitch> pitches;
            const char *name;
            const char *key;
        };
        const QVector<Octave> octaves = {{low, "低八度", "d"},
                                         {middle, "", ""},
                                         {high, "高八度", "u"},
                                         {high, "高十六度", "uu"}};
        struct Series {
            uint first;
            const char *name;
            const char *key;
        };
        const QVector<Series> series = {{0xF0020, "", ""},
                                        {0xF003F, "气口", "q"},
                                        {0xF005E, "小", "x"},
                                        {0xF007D, "气口小", "qx"}};

        QVector<Row> result;
        for (const Series &s : series) {
            uint code = s.first;
            for (const Octave &octave : octaves) {
                for (const Pitch &pitch : octave.pitches) {
                    QString key = QString::fromUtf8(pitch.key) + QString::fromUtf8(octave.key) +
                                  QString::fromUtf8(s.key);
                    // The high-octave signs of the last series carry the keys
                    // of the double-high small signs in the shipped data.
                    if (code >= 0xF008E && code <= 0xF0094) {
                        key = QString::fromUtf8(pitch.key) + QStringLiteral("uux");
                    }
                    result.append({code, key, QStringLiteral("0.6"),
                                   QString::fromUtf8(pitch.name) + QString::fromUtf8(octave.name) +
                                       QString::fromUtf8(s.name)});
                    ++code;
                }
            }
        }
        return result;
    }

    static QStringList iconNames() {
        return {
            QStringLiteral("new"),     QStringLiteral("open"),        QStringLiteral("save"),
            QStringLiteral("save_as"), QStringLiteral("copy"),        QStringLiteral("paste"),
            QStringLiteral("cut"),     QStringLiteral("setting"),     QStringLiteral("undo"),
            QStringLiteral("redo"),    QStringLiteral("about"),       QStringLiteral("exit"),
            QStringLiteral("title"),   QStringLiteral("qupai"),       QStringLiteral("lianbai"),
            QStringLiteral("jiabai"),  QStringLiteral("linebreak"),   QStringLiteral("pagebreak"),
            QStringLiteral("search"),  QStringLiteral("help"),        QStringLiteral("export"),
            QStringLiteral("comment"), QStringLiteral("fontManager"), QStringLiteral("logo-qt"),
            QStringLiteral("pdf"),     QStringLiteral("jpg"),         QStringLiteral("png"),
            QStringLiteral("svg")};
    }

private slots:
    void dictionaryHeaderAndLineEnds() {
        const QByteArray bytes = dictionaryBytes();
        QVERIFY(!bytes.isEmpty());
        QVERIFY(bytes.startsWith(QStringLiteral("unicode编码 拼音 权重 注释\r\n").toUtf8()));
        QVERIFY(bytes.endsWith("\r\n"));
        // Every line feed is part of a CRLF pair, and no carriage return stands alone.
        QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
        QCOMPARE(bytes.count('\r'), bytes.count("\r\n"));
        QCOMPARE(QString::fromUtf8(bytes).toUtf8(), bytes);
    }

    void dictionaryCounts() {
        const QVector<Row> all = rows();
        QCOMPARE(all.size(), 156);
        QSet<uint> codes;
        QSet<QString> keys;
        static const QRegularExpression keyPattern(QStringLiteral("^[a-z]{1,5}$"));
        for (const Row &row : all) {
            codes.insert(row.code);
            keys.insert(row.key);
            QCOMPARE(row.weight, QStringLiteral("0.6"));
            QVERIFY2(keyPattern.match(row.key).hasMatch(), qPrintable(rowText(row)));
            QVERIFY(!row.name.isEmpty());
        }
        QCOMPARE(codes.size(), 138);
        QCOMPARE(keys.size(), 125);
    }

    void dictionaryBeatMarksAndOrnaments() {
        const QVector<Row> all = rows();
        QVERIFY(all.size() >= 32);
        const QStringList expected = {"U000F0000 tb 0.6 头板",
                                      "U000F0000 b 0.6 板(头板)",
                                      "U000F0001 ty 0.6 头眼",
                                      "U000F0001 my 0.6 末眼",
                                      "U000F0001 xy 0.6 小眼(头眼/末眼)",
                                      "U000F0001 y 0.6 眼(头眼/末眼)",
                                      "U000F0002 zy 0.6 中眼",
                                      "U000F0002 y 0.6 眼(中眼)",
                                      "U000F0003 zb 0.6 赠板",
                                      "U000F0003 b 0.6 板(赠板)",
                                      "U000F0004 yty 0.6 腰头眼",
                                      "U000F0004 ymy 0.6 腰末眼",
                                      "U000F0004 cty 0.6 侧头眼(腰头眼)",
                                      "U000F0004 cmy 0.6 侧末眼(腰末眼)",
                                      "U000F0004 yy 0.6 腰眼(腰头眼/腰末眼)",
                                      "U000F0004 cy 0.6 侧眼(腰头眼/腰末眼)",
                                      "U000F0005 yzy 0.6 腰中眼",
                                      "U000F0005 czy 0.6 侧中眼(腰中眼)",
                                      "U000F0005 yy 0.6 腰眼(腰中眼)",
                                      "U000F0005 cy 0.6 侧眼(腰中眼)",
                                      "U000F0006 yb 0.6 腰板",
                                      "U000F0006 b 0.6 板(腰板)",
                                      "U000F0007 yzb 0.6 腰赠板",
                                      "U000F0007 zb 0.6 赠板(腰赠板)",
                                      "U000F0008 dq 0.6 疊腔",
                                      "U000F0009 dqqk 0.6 疊腔气口",
                                      "U000F000A db 0.6 底板",
                                      "U000F000A b 0.6 板(底板)",
                                      "U000F000B dq 0.6 带腔撮腔",
                                      "U000F000B cq 0.6 带腔撮腔",
                                      "U000F000C hq 0.6 豁腔",
                                      "U000F000D sq 0.6 擻腔"};
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(rowText(all[i]), expected[i]);
        }
    }

    void dictionaryPitchSeries() {
        const QVector<Row> all = rows();
        const QVector<Row> pitches = expectedPitchRows();
        QCOMPARE(pitches.size(), 124);
        QCOMPARE(all.size(), 32 + pitches.size());
        for (int i = 0; i < pitches.size(); ++i) {
            QCOMPARE(rowText(all[32 + i]), rowText(pitches[i]));
        }
    }

    void dictionarySpotChecks() {
        QStringList texts;
        for (const Row &row : rows()) {
            texts.append(rowText(row));
        }
        for (const char *line :
             {"U000F002C g 0.6 工", "U000F0044 gdq 0.6 工低八度气口",
              "U000F0071 gux 0.6 工高八度小", "U000F009B yuuqx 0.6 乙高十六度气口小",
              "U000F008E suux 0.6 上高八度气口小", "U000F0094 yuux 0.6 乙高八度气口小",
              "U000F0076 suux 0.6 上高十六度小"}) {
            QVERIFY2(texts.contains(QString::fromUtf8(line)), line);
        }
    }

    void iconsLoad_data() {
        QTest::addColumn<QString>("name");
        for (const QString &name : iconNames()) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }

    void iconsLoad() {
        QFETCH(QString, name);
        const QString path = QStringLiteral(":/icons/resources/icons/%1.png").arg(name);
        const QPixmap pixmap(path);
        QVERIFY2(!pixmap.isNull(), qPrintable(path));
        QCOMPARE(pixmap.size(), QSize(64, 64));
        const QIcon icon(path);
        QVERIFY(!icon.isNull());
        QVERIFY(!icon.pixmap(24, 24).isNull());

        // Something is drawn, and it stays inside the square with room for
        // antialiasing: no icon is blank or cut off at an edge.
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        int opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(image.pixel(x, y)) > 128) {
                    ++opaque;
                }
            }
        }
        QVERIFY2(opaque > 64 * 64 / 20, qPrintable(QString::number(opaque)));
    }

    void iconSetIsComplete() {
        QCOMPARE(iconNames().size(), 28);
        QDir dir(QStringLiteral(":/icons/resources/icons"));
        for (const QString &name : iconNames()) {
            QVERIFY2(dir.exists(name + QStringLiteral(".png")), qPrintable(name));
        }
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
