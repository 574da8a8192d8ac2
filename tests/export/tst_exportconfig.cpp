#include "export/exportconfig.h"
#include "fonts/fontregistry.h"
#include "platform/apppaths.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The defaults of a scheme file, the score font's family as @SCOREFONT@.
const char defaultScheme[] = "{\n"
                             "    \"backgroundColor\": \"#ffffff\",\n"
                             "    \"banColor\": \"#ff4c00\",\n"
                             "    \"banYanSpace\": 0,\n"
                             "    \"colWidth\": 130,\n"
                             "    \"diaoMingColor\": \"#000000\",\n"
                             "    \"diaoMingFont\": \"楷体\",\n"
                             "    \"diaoMingFontSize\": 30,\n"
                             "    \"isBgTransparent\": false,\n"
                             "    \"isHiddenSymbol\": false,\n"
                             "    \"isLandscape\": false,\n"
                             "    \"isLineBreakScoreOverflow\": true,\n"
                             "    \"isLivePreview\": true,\n"
                             "    \"jiaBaiColor\": \"#000000\",\n"
                             "    \"jiaBaiFont\": \"楷体\",\n"
                             "    \"jiaBaiFontSize\": 26,\n"
                             "    \"jianpuBanYanSigns\": true,\n"
                             "    \"jianpuBeatWidth\": 30,\n"
                             "    \"jianpuFlatAfterLetter\": false,\n"
                             "    \"jianpuLyricDistance\": 3,\n"
                             "    \"jianpuMinNoteSpace\": 3,\n"
                             "    \"jianpuNoteFont\": \"DejaVu Sans\",\n"
                             "    \"jianpuNoteFontSize\": 13,\n"
                             "    \"jianpuSanBanWord\": false,\n"
                             "    \"jianpuSystemSpace\": 16,\n"
                             "    \"lianBaiColor\": \"#000000\",\n"
                             "    \"lianBaiFont\": \"楷体\",\n"
                             "    \"lianBaiFontSize\": 20,\n"
                             "    \"lyricColor\": \"#000000\",\n"
                             "    \"lyricFont\": \"楷体\",\n"
                             "    \"lyricFontSize\": 30,\n"
                             "    \"lyricScoreSpace\": 0,\n"
                             "    \"lyricSpace\": 6,\n"
                             "    \"mColWidth\": 35,\n"
                             "    \"marginBottom\": 25,\n"
                             "    \"marginLeft\": 25,\n"
                             "    \"marginRight\": 25,\n"
                             "    \"marginTop\": 25,\n"
                             "    \"notation\": \"gongche\",\n"
                             "    \"pageHeight\": 842,\n"
                             "    \"pageSizeId\": 0,\n"
                             "    \"pageWidth\": 595,\n"
                             "    \"qiangGeColor\": \"#000000\",\n"
                             "    \"quPaiColor\": \"#000000\",\n"
                             "    \"quPaiFont\": \"楷体\",\n"
                             "    \"quPaiFontSize\": 50,\n"
                             "    \"scoreAngle\": -45,\n"
                             "    \"scoreBanYanSpace\": 0,\n"
                             "    \"scoreColor\": \"#000000\",\n"
                             "    \"scoreFont\": \"@SCOREFONT@\",\n"
                             "    \"scoreFontSize\": 16,\n"
                             "    \"scoreSpace\": 0,\n"
                             "    \"staffBanYanSigns\": true,\n"
                             "    \"staffLyricFont\": \"AR PL UMing CN\",\n"
                             "    \"staffLyricFontSize\": 11,\n"
                             "    \"staffSize\": 18,\n"
                             "    \"titleColor\": \"#000000\",\n"
                             "    \"titleFont\": \"楷体\",\n"
                             "    \"titleFontSize\": 80,\n"
                             "    \"titlePos\": 0,\n"
                             "    \"titleWidth\": 130,\n"
                             "    \"xiaoYanColor\": \"#000000\",\n"
                             "    \"zengMeasures\": \"whole\",\n"
                             "    \"zhongYanColor\": \"#ff4c00\"\n"
                             "}\n";

// Constructed before the configuration (first used in initTestCase), so it
// outlives it: the configuration saves into it when the program ends.

} // namespace

class TestExportConfig : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void freshDefaults();
    void optionLists();
    void keysInTableOrder();
    void defaultSchemeByteForByte();
    void everyKeyRoundTrips();
    void titleWidthFollowsLoadedColWidth();
    void titlePosOutOfRange_data();
    void titlePosOutOfRange();
    void badStoredValues();
    void pageSizeId();
    void fontSetterKeepsElementSize();
    void fontSizeSetterRebuildsMetrics();
    void colourSavedLowerCaseWithoutAlpha();
    void schemeRoundTripKeepsTypes();
    void schemeWithOneMemberChangesOnlyIt();
    void schemeRejected_data();
    void schemeRejected();
    void schemeUnwritablePath();
    void pageStyleWithSchemeLeavesSettings();
    void restoreDefaultsRemovesUnknownKeys();
    void hostileValuesAreClampedAtUse();
    void jianpuDefaults();
    void jianpuRoundTrip();
    void jianpuBadValues();
    void filesWithoutJianpuKeysLoadGongche();
    // Last: it detaches the shared configuration for good.
    void detachedSettingsLeaveTheFileAlone();

private:
    static ExportConfig *cfg() { return ExportConfig::instance(); }
    static QSettings rawSettings() {
        return QSettings(AppPaths::settingsFile(), QSettings::IniFormat);
    }
    QJsonObject snapshot() {
        const QString path = m_dir.filePath(QStringLiteral("snapshot.json"));
        if (!cfg()->saveScheme(path)) {
            return {};
        }
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(f.readAll()).object();
    }
    QString writeFile(const QString &name, const QByteArray &bytes) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }

    QTemporaryDir m_dir;
};

void TestExportConfig::initTestCase() {
    QVERIFY(useProgramDir());
    QVERIFY(!QFile::exists(AppPaths::settingsFile()));
    // First use: the file does not exist yet, so everything is a default.
    QCOMPARE(cfg()->colWidth(), 130);
    QCOMPARE(cfg()->titleWidth(), 130);
}

void TestExportConfig::init() {
    cfg()->restoreDefaults();
}

void TestExportConfig::freshDefaults() {
    ExportConfig *c = cfg();
    QCOMPARE(c->pageWidth(), 595);
    QCOMPARE(c->pageHeight(), 842);
    QCOMPARE(c->pageSizeId(), QPageSize::A4);
    QCOMPARE(c->marginTop(), 25);
    QCOMPARE(c->marginBottom(), 25);
    QCOMPARE(c->marginLeft(), 25);
    QCOMPARE(c->marginRight(), 25);
    QCOMPARE(c->titleFontSize(), 80);
    QCOMPARE(c->lyricFontSize(), 30);
    QCOMPARE(c->scoreFontSize(), 16);
    QCOMPARE(c->quPaiFontSize(), 50);
    QCOMPARE(c->diaoMingFontSize(), 30);
    QCOMPARE(c->lianBaiFontSize(), 20);
    QCOMPARE(c->jiaBaiFontSize(), 26);
    const QString kai = QStringLiteral("楷体");
    QCOMPARE(c->titleFont().family(), kai);
    QCOMPARE(c->lyricFont().family(), kai);
    QCOMPARE(c->quPaiFont().family(), kai);
    QCOMPARE(c->diaoMingFont().family(), kai);
    QCOMPARE(c->lianBaiFont().family(), kai);
    QCOMPARE(c->jiaBaiFont().family(), kai);
    QCOMPARE(c->scoreFont().family(), QFont(FontRegistry::instance()->defaultFamily()).family());
    QCOMPARE(c->titleFont().pointSize(), 80);
    QCOMPARE(c->scoreFont().pointSize(), 16);
    QCOMPARE(c->jiaBaiFont().pointSize(), 26);
    QCOMPARE(c->lyricFont().weight(), int(QFont::Normal));
    QVERIFY(!c->lyricFont().italic());
    QCOMPARE(QFontMetrics(c->lyricFont()).height(), QFontMetrics(c->lyricFont()).height());
    QCOMPARE(QFontMetrics(c->titleFont()).averageCharWidth(),
             QFontMetrics(c->titleFont()).averageCharWidth());

    const QColor black(QStringLiteral("#000000")), orange(QStringLiteral("#ff4c00"));
    QCOMPARE(c->titleColor(), black);
    QCOMPARE(c->lyricColor(), black);
    QCOMPARE(c->quPaiColor(), black);
    QCOMPARE(c->diaoMingColor(), black);
    QCOMPARE(c->lianBaiColor(), black);
    QCOMPARE(c->jiaBaiColor(), black);
    QCOMPARE(c->scoreColor(), black);
    QCOMPARE(c->banColor(), orange);
    QCOMPARE(c->xiaoYanColor(), black);
    QCOMPARE(c->zhongYanColor(), orange);
    QCOMPARE(c->qiangGeColor(), black);
    QCOMPARE(c->backgroundColor(), QColor(Qt::white));

    QCOMPARE(c->isBgTransparent(), false);
    QCOMPARE(c->isHiddenSymbol(), false);
    QCOMPARE(c->isLandscape(), false);
    QCOMPARE(c->isLineBreakScoreOverflow(), true);
    QCOMPARE(c->colWidth(), 130);
    QCOMPARE(c->lyricSpace(), 6);
    QCOMPARE(c->scoreSpace(), 0);
    QCOMPARE(c->banYanSpace(), 0);
    QCOMPARE(c->scoreAngle(), -45);
    QCOMPARE(c->lyricScoreSpace(), 0);
    QCOMPARE(c->scoreBanYanSpace(), 0);
    QCOMPARE(c->mColWidth(), 35);
    QCOMPARE(c->titleWidth(), 130);
    QCOMPARE(c->titlePos(), 0);
    QCOMPARE(c->isLivePreview(), true);
}

void TestExportConfig::optionLists() {
    const auto &pages = cfg()->pageSizeOptions();
    QCOMPARE(pages.size(), 11);
    QCOMPARE(pages.first().first, QStringLiteral("自定义"));
    QCOMPARE(pages.first().second, QPageSize::Custom);
    QCOMPARE(int(QPageSize::Custom), 30);
    for (const auto &option : pages) {
        if (option.second == QPageSize::Custom) {
            continue;
        }
        // The label names the size in points.
        const QSize pt = QPageSize::sizePoints(option.second);
        QVERIFY2(
            option.first.endsWith(QStringLiteral(" (%1, %2)").arg(pt.width()).arg(pt.height())),
            qPrintable(option.first));
    }
    QCOMPARE(pages.at(4).first, QStringLiteral("A4 (595, 842)"));
    QCOMPARE(pages.at(10).first, QStringLiteral("B4 (709, 1001)"));
    QCOMPARE(cfg()->orientationOptions(),
             (QList<ExportConfig::BoolOption>{{QStringLiteral("纵向"), false},
                                              {QStringLiteral("横向"), true}}));
    QCOMPARE(cfg()->lineBreakOptions(),
             (QList<ExportConfig::BoolOption>{{QStringLiteral("换行"), true},
                                              {QStringLiteral("不换行"), false}}));
    QCOMPARE(cfg()->titlePosOptions(),
             (QList<ExportConfig::IntOption>{{QStringLiteral("顶部"), 0},
                                             {QStringLiteral("居中"), 1},
                                             {QStringLiteral("底部"), 2}}));
}

void TestExportConfig::keysInTableOrder() {
    QStringList keys = ExportConfig::keys();
    QCOMPARE(keys.size(), 63);
    QCOMPARE(keys.removeDuplicates(), 0);
    QCOMPARE(keys.first(), QStringLiteral("pageWidth"));
    QCOMPARE(keys.at(7), QStringLiteral("titleFontSize"));
    QCOMPARE(keys.at(14), QStringLiteral("titleFont"));
    QCOMPARE(keys.at(16), QStringLiteral("scoreFont"));
    QCOMPARE(keys.at(21), QStringLiteral("titleColor"));
    QCOMPARE(keys.at(32), QStringLiteral("backgroundColor"));
    QCOMPARE(keys.at(36), QStringLiteral("isLineBreakScoreOverflow"));
    QCOMPARE(keys.at(37), QStringLiteral("colWidth"));
    QCOMPARE(keys.at(58), QStringLiteral("isLivePreview"));
    QCOMPARE(keys.last(), QStringLiteral("staffBanYanSigns"));
    // save() writes exactly these keys.
    QSettings raw = rawSettings();
    raw.beginGroup(QStringLiteral("Export"));
    QStringList stored = raw.childKeys();
    QStringList sorted = keys;
    stored.sort();
    sorted.sort();
    QCOMPARE(stored, sorted);
}

// The defaults as a scheme file holds them, byte for byte.
void TestExportConfig::defaultSchemeByteForByte() {
    const QByteArray scoreFont = cfg()->scoreFont().family().toUtf8();
    const QString path = m_dir.filePath(QStringLiteral("defaults.json"));
    QVERIFY(cfg()->saveScheme(path));
    QCOMPARE(readAll(path), QByteArray(defaultScheme).replace("@SCOREFONT@", scoreFont));
}

// A scheme that sets every key to a value of its own comes back as it went in:
// every key is read into its setting and written from it.
void TestExportConfig::everyKeyRoundTrips() {
    const QJsonObject defaults = snapshot();
    QJsonObject all;
    const QStringList keys = ExportConfig::keys();
    for (int i = 0; i < keys.size(); ++i) {
        const QString &key = keys.at(i);
        const QJsonValue def = defaults.value(key);
        if (def.isBool()) {
            all.insert(key, !def.toBool());
        } else if (key == QLatin1String("pageSizeId")) {
            all.insert(key, int(QPageSize::B5));
        } else if (key == QLatin1String("titlePos")) {
            all.insert(key, 2);
        } else if (key == QLatin1String("notation")) {
            all.insert(key, QStringLiteral("jianpu"));
        } else if (key == QLatin1String("zengMeasures")) {
            all.insert(key, QStringLiteral("split"));
        } else if (key.endsWith(QLatin1String("Color"))) {
            all.insert(key, QStringLiteral("#%1").arg(0x102030 + i, 6, 16, QLatin1Char('0')));
        } else if (key.endsWith(QLatin1String("Font"))) {
            all.insert(key, QStringLiteral("Family %1").arg(i));
        } else {
            QVERIFY2(def.isDouble(), qPrintable(key));
            all.insert(key, 11 + i);
        }
    }
    const QByteArray bytes = QJsonDocument(all).toJson(QJsonDocument::Indented);
    QVERIFY(cfg()->importScheme(writeFile(QStringLiteral("all.json"), bytes)));
    const QString path = m_dir.filePath(QStringLiteral("all-saved.json"));
    QVERIFY(cfg()->saveScheme(path));
    QCOMPARE(readAll(path), bytes);
    // And through the settings file.
    cfg()->load();
    QVERIFY(cfg()->saveScheme(path));
    QCOMPARE(readAll(path), bytes);
}

void TestExportConfig::titleWidthFollowsLoadedColWidth() {
    {
        QSettings raw = rawSettings();
        raw.beginGroup(QStringLiteral("Export"));
        raw.setValue(QStringLiteral("colWidth"), 200);
        raw.remove(QStringLiteral("titleWidth"));
        raw.sync();
    }
    cfg()->load();
    QCOMPARE(cfg()->colWidth(), 200);
    QCOMPARE(cfg()->titleWidth(), 200);
}

void TestExportConfig::titlePosOutOfRange_data() {
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("loaded");
    QTest::newRow("3") << QVariant(3) << 0;
    QTest::newRow("-1") << QVariant(-1) << 0;
    QTest::newRow("1") << QVariant(1) << 1;
    QTest::newRow("2") << QVariant(2) << 2;
    QTest::newRow("text") << QVariant(QStringLiteral("x")) << 0;
}

void TestExportConfig::titlePosOutOfRange() {
    QFETCH(QVariant, stored);
    QFETCH(int, loaded);
    {
        QSettings raw = rawSettings();
        raw.setValue(QStringLiteral("Export/titlePos"), stored);
        raw.sync();
    }
    cfg()->load();
    QCOMPARE(cfg()->titlePos(), loaded);
}

void TestExportConfig::badStoredValues() {
    {
        QSettings raw = rawSettings();
        raw.beginGroup(QStringLiteral("Export"));
        raw.setValue(QStringLiteral("colWidth"), QStringLiteral("wide"));
        raw.setValue(QStringLiteral("isLandscape"), QStringLiteral("0"));
        raw.setValue(QStringLiteral("pageSizeId"), QStringLiteral("B4"));
        raw.setValue(QStringLiteral("banColor"), QStringLiteral("#12345"));
        raw.setValue(QStringLiteral("lyricColor"), QStringLiteral("red"));
        raw.sync();
    }
    cfg()->load();
    QCOMPARE(cfg()->colWidth(), 0);
    QCOMPARE(cfg()->isLandscape(), false);
    QCOMPARE(cfg()->pageSizeId(), QPageSize::A4);
    QVERIFY(!cfg()->banColor().isValid());
    QCOMPARE(cfg()->lyricColor(), QColor(Qt::red));
    {
        QSettings raw = rawSettings();
        raw.setValue(QStringLiteral("Export/pageSizeId"), 999999);
        raw.sync();
    }
    cfg()->load();
    QCOMPARE(cfg()->pageSizeId(), QPageSize::A4);
    {
        QSettings raw = rawSettings();
        raw.setValue(QStringLiteral("Export/pageSizeId"), 19);
        raw.sync();
    }
    cfg()->load();
    QCOMPARE(cfg()->pageSizeId(), QPageSize::B4);
    // The stored size, not the paper's, is what counts.
    QCOMPARE(cfg()->pageWidth(), 595);
}

void TestExportConfig::pageSizeId() {
    cfg()->setPageSizeId(QPageSize::PageSizeId(19));
    QCOMPARE(cfg()->pageSizeId(), QPageSize::B4);
    QCOMPARE(cfg()->pageWidth(), 709);
    QCOMPARE(cfg()->pageHeight(), 1001);
    cfg()->setPageWidth(300);
    cfg()->setPageHeight(400);
    cfg()->setPageSizeId(QPageSize::PageSizeId(30));
    QCOMPARE(cfg()->pageSizeId(), QPageSize::Custom);
    QCOMPARE(cfg()->pageWidth(), 300);
    QCOMPARE(cfg()->pageHeight(), 400);
    cfg()->setPageSizeId(QPageSize::A3);
    QCOMPARE(QSize(cfg()->pageWidth(), cfg()->pageHeight()), QSize(842, 1191));
    // An id no paper has leaves the size alone instead of reading past the paper table.
    cfg()->setPageSizeId(QPageSize::PageSizeId(5000));
    QCOMPARE(QSize(cfg()->pageWidth(), cfg()->pageHeight()), QSize(842, 1191));
}

void TestExportConfig::fontSetterKeepsElementSize() {
    QCOMPARE(cfg()->lyricFontSize(), 30);
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPointSize(12);
    cfg()->setLyricFont(f);
    QCOMPARE(cfg()->lyricFont().family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(cfg()->lyricFont().pointSize(), 30);
    QCOMPARE(cfg()->lyricFontSize(), 30);
    QCOMPARE(QFontMetrics(cfg()->lyricFont()).height(), QFontMetrics(cfg()->lyricFont()).height());
    cfg()->save();
    QSettings raw = rawSettings();
    QCOMPARE(raw.value(QStringLiteral("Export/lyricFont")).toString(),
             QStringLiteral("DejaVu Serif"));
}

void TestExportConfig::fontSizeSetterRebuildsMetrics() {
    const int before = QFontMetrics(cfg()->quPaiFont()).height();
    cfg()->setQuPaiFontSize(100);
    QCOMPARE(cfg()->quPaiFontSize(), 100);
    QCOMPARE(cfg()->quPaiFont().pointSize(), 100);
    QVERIFY(QFontMetrics(cfg()->quPaiFont()).height() > before);
    QCOMPARE(QFontMetrics(cfg()->quPaiFont()).height(), QFontMetrics(cfg()->quPaiFont()).height());
}

void TestExportConfig::colourSavedLowerCaseWithoutAlpha() {
    cfg()->setBanColor(QColor(0xAB, 0xCD, 0xEF, 0x80));
    cfg()->save();
    QSettings raw = rawSettings();
    QCOMPARE(raw.value(QStringLiteral("Export/banColor")).toString(), QStringLiteral("#abcdef"));
}

void TestExportConfig::schemeRoundTripKeepsTypes() {
    const QJsonObject o = snapshot();
    QCOMPARE(o.size(), 63);
    QCOMPARE(o.value(QStringLiteral("banColor")), QJsonValue(QStringLiteral("#ff4c00")));
    QCOMPARE(o.value(QStringLiteral("backgroundColor")), QJsonValue(QStringLiteral("#ffffff")));
    QCOMPARE(o.value(QStringLiteral("colWidth")), QJsonValue(130));
    QCOMPARE(o.value(QStringLiteral("scoreAngle")), QJsonValue(-45));
    QCOMPARE(o.value(QStringLiteral("pageSizeId")), QJsonValue(0));
    QCOMPARE(o.value(QStringLiteral("isBgTransparent")), QJsonValue(false));
    QCOMPARE(o.value(QStringLiteral("isLivePreview")), QJsonValue(true));
    QCOMPARE(o.value(QStringLiteral("titleFont")), QJsonValue(QStringLiteral("楷体")));
    QVERIFY(o.value(QStringLiteral("scoreFont")).isString());

    // Change values, save the scheme, restore defaults, import: all come back.
    cfg()->setColWidth(111);
    cfg()->setIsHiddenSymbol(true);
    cfg()->setQiangGeColor(QColor(QStringLiteral("#010203")));
    cfg()->setJiaBaiFontSize(33);
    cfg()->setPageSizeId(QPageSize::A5);
    const QString path = m_dir.filePath(QStringLiteral("scheme.json"));
    QVERIFY(cfg()->saveScheme(path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(f.readAll().contains("\n    \"colWidth\": 111"));
    cfg()->restoreDefaults();
    QCOMPARE(cfg()->colWidth(), 130);
    QVERIFY(cfg()->importScheme(path));
    QCOMPARE(cfg()->colWidth(), 111);
    QCOMPARE(cfg()->isHiddenSymbol(), true);
    QCOMPARE(cfg()->qiangGeColor(), QColor(QStringLiteral("#010203")));
    QCOMPARE(cfg()->jiaBaiFontSize(), 33);
    QCOMPARE(cfg()->jiaBaiFont().pointSize(), 33);
    QCOMPARE(cfg()->pageSizeId(), QPageSize::A5);
    QCOMPARE(QSize(cfg()->pageWidth(), cfg()->pageHeight()), QSize(420, 595));
}

void TestExportConfig::schemeWithOneMemberChangesOnlyIt() {
    cfg()->setColWidth(120);
    cfg()->setMarginLeft(40);
    QJsonObject before = snapshot();
    const QString path = writeFile(QStringLiteral("one.json"), "{\"colWidth\": 150}");
    QVERIFY(cfg()->importScheme(path));
    QCOMPARE(cfg()->colWidth(), 150);
    QCOMPARE(cfg()->marginLeft(), 40);
    QJsonObject after = snapshot();
    QCOMPARE(after.value(QStringLiteral("colWidth")), QJsonValue(150));
    before.remove(QStringLiteral("colWidth"));
    after.remove(QStringLiteral("colWidth"));
    QCOMPARE(after, before);
}

void TestExportConfig::schemeRejected_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("array") << QByteArray("[{\"colWidth\": 150}]");
    QTest::newRow("not json") << QByteArray("colWidth = 150");
    QTest::newRow("truncated") << QByteArray("{\"colWidth\": 150");
    QTest::newRow("empty") << QByteArray();
}

void TestExportConfig::schemeRejected() {
    QFETCH(QByteArray, content);
    const QJsonObject before = snapshot();
    const QString path = writeFile(QStringLiteral("bad.json"), content);
    QVERIFY(!cfg()->importScheme(path));
    QCOMPARE(snapshot(), before);
    QVERIFY(!cfg()->importScheme(m_dir.filePath(QStringLiteral("missing.json"))));
}

void TestExportConfig::schemeUnwritablePath() {
    QVERIFY(!cfg()->saveScheme(m_dir.filePath(QStringLiteral("no/such/dir/x.json"))));
}

void TestExportConfig::pageStyleWithSchemeLeavesSettings() {
    cfg()->setColWidth(120);
    const QJsonObject before = snapshot();
    const QString path =
        writeFile(QStringLiteral("own.json"), R"({"colWidth": 150, "notation": "jianpu"})");
    PageStyle style;
    QVERIFY(cfg()->pageStyleWithScheme(path, &style));
    QCOMPARE(style.colWidth, 150);
    QCOMPARE(style.notation, PageStyle::Notation::Jianpu);
    // What the scheme leaves out is what the settings hold.
    QCOMPARE(style.marginTop, cfg()->pageStyle().marginTop);
    QCOMPARE(snapshot(), before);
    QCOMPARE(cfg()->pageStyle().colWidth, 120);

    PageStyle untouched;
    untouched.colWidth = 77;
    QVERIFY(
        !cfg()->pageStyleWithScheme(m_dir.filePath(QStringLiteral("missing.json")), &untouched));
    QCOMPARE(untouched.colWidth, 77);
}

void TestExportConfig::restoreDefaultsRemovesUnknownKeys() {
    const QString path =
        writeFile(QStringLiteral("extra.json"), "{\"colWidth\": 99, \"madeUpKey\": \"x\"}");
    QVERIFY(cfg()->importScheme(path));
    QCOMPARE(cfg()->colWidth(), 99);
    // Unknown names travel on into later schemes.
    QCOMPARE(snapshot().value(QStringLiteral("madeUpKey")), QJsonValue(QStringLiteral("x")));
    cfg()->restoreDefaults();
    QCOMPARE(cfg()->colWidth(), 130);
    const QJsonObject o = snapshot();
    QVERIFY(!o.contains(QStringLiteral("madeUpKey")));
    QCOMPARE(o.size(), 63);
}

void TestExportConfig::hostileValuesAreClampedAtUse() {
    const QString path = writeFile(QStringLiteral("hostile.json"), R"({
        "colWidth": 0, "mColWidth": 100000, "titleWidth": -5,
        "pageWidth": -100, "pageHeight": 99999999,
        "marginTop": 10000, "marginLeft": -7, "marginRight": 20000,
        "scoreAngle": 100000, "lyricSpace": -5000, "scoreSpace": 5000,
        "banYanSpace": 201, "lyricScoreSpace": -201, "scoreBanYanSpace": 77,
        "lyricFontSize": 0, "titleFontSize": 100000, "scoreFontSize": -3,
        "pageSizeId": -4
    })");
    QVERIFY(cfg()->importScheme(path));
    ExportConfig *c = cfg();
    // The record keeps what it was given...
    QCOMPARE(c->colWidth(), 0);
    QCOMPARE(c->lyricFontSize(), 0);
    QCOMPARE(c->titleFontSize(), 100000);
    QCOMPARE(c->pageSizeId(), QPageSize::A4);
    // ...and the typesetter reads it within the dialog's ranges.
    QCOMPARE(c->pageStyle().colWidth, 10);
    QCOMPARE(c->pageStyle().mColWidth, 10000);
    QCOMPARE(c->pageStyle().titleWidth, 10);
    QCOMPARE(c->pageStyle().pageWidth, 10);
    QCOMPARE(c->pageStyle().pageHeight, 10000);
    QCOMPARE(c->pageStyle().marginTop, 10000);
    QCOMPARE(c->pageStyle().marginLeft, 0);
    QCOMPARE(c->pageStyle().marginRight, 10000);
    QCOMPARE(c->pageStyle().scoreAngle, 360);
    QCOMPARE(c->pageStyle().lyricSpace, -200);
    QCOMPARE(c->pageStyle().scoreSpace, 200);
    QCOMPARE(c->pageStyle().banYanSpace, 200);
    QCOMPARE(c->pageStyle().lyricScoreSpace, -200);
    QCOMPARE(c->pageStyle().scoreBanYanSpace, 77);
    QCOMPARE(c->lyricFont().pointSize(), 5);
    QCOMPARE(c->titleFont().pointSize(), 300);
    QCOMPARE(c->scoreFont().pointSize(), 5);
    c->setJiaBaiFontSize(0);
    QCOMPARE(c->jiaBaiFontSize(), 0);
    QCOMPARE(c->jiaBaiFont().pointSize(), 5);
    QVERIFY(QFontMetrics(c->jiaBaiFont()).height() > 0);

    // Within the ranges nothing is changed.
    c->restoreDefaults();
    c->setColWidth(10);
    c->setMColWidth(10000);
    c->setScoreAngle(-360);
    c->setLyricSpace(-200);
    c->setMarginTop(10000);
    QCOMPARE(c->pageStyle().colWidth, 10);
    QCOMPARE(c->pageStyle().mColWidth, 10000);
    QCOMPARE(c->pageStyle().scoreAngle, -360);
    QCOMPARE(c->pageStyle().lyricSpace, -200);
    QCOMPARE(c->pageStyle().marginTop, 10000);
    QCOMPARE(c->pageStyle().pageWidth, 595);
}

void TestExportConfig::detachedSettingsLeaveTheFileAlone() {
    cfg()->restoreDefaults();
    cfg()->setColWidth(140);
    cfg()->save();
    QFile file(AppPaths::settingsFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    QVERIFY(cfg()->detachSettings());
    QCOMPARE(cfg()->colWidth(), 140); // the values in force stay
    QVERIFY(cfg()->importScheme(writeFile(QStringLiteral("s.json"), "{\"lyricSpace\": 9}")));
    QCOMPARE(cfg()->lyricSpace(), 9);
    QCOMPARE(cfg()->colWidth(), 140); // read back from the copy
    cfg()->setMarginTop(70);
    cfg()->save();
    cfg()->restoreDefaults();
    QCOMPARE(cfg()->colWidth(), 130);

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
}

namespace {

// Every 简谱 setting away from its default, and the check that they are back.
void setJianpuValues(ExportConfig *c) {
    c->setNotation(PageStyle::Notation::Jianpu);
    c->setJianpuNoteFontSize(17);
    c->setJianpuNoteFont(QFont(QStringLiteral("DejaVu Serif")));
    c->setJianpuLyricDistance(-12);
    c->setJianpuSystemSpace(40);
    c->setJianpuBeatWidth(55);
    c->setJianpuMinNoteSpace(7);
    c->setJianpuFlatAfterLetter(true);
    c->setJianpuSanBanWord(true);
    c->setJianpuBanYanSigns(false);
    c->setSplitZeng(true);
}

void verifyJianpuValues(const ExportConfig *c) {
    const PageStyle s = c->pageStyle();
    QCOMPARE(s.notation, PageStyle::Notation::Jianpu);
    QCOMPARE(s.jianpu.noteFont.family(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(s.jianpu.noteFont.pointSize(), 17);
    QCOMPARE(c->jianpuNoteFontSize(), 17);
    QCOMPARE(s.jianpu.lyricDistance, -12);
    QCOMPARE(s.jianpu.systemSpace, 40);
    QCOMPARE(s.jianpu.beatWidth, 55);
    QCOMPARE(s.jianpu.minNoteSpace, 7);
    QVERIFY(s.jianpu.flatAfterLetter && s.jianpu.sanBanWord && !s.jianpu.banYanSigns);
    QVERIFY(s.jianpu.splitZeng && c->splitZeng());
}

void verifyJianpuDefaults(const ExportConfig *c) {
    const JianpuStyle defaults;
    const PageStyle s = c->pageStyle();
    QCOMPARE(c->notation(), PageStyle::Notation::Gongche);
    QCOMPARE(s.notation, PageStyle::Notation::Gongche);
    QCOMPARE(s.jianpu.noteFont.family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(s.jianpu.noteFont.pointSize(), 13);
    QCOMPARE(c->jianpuNoteFontSize(), 13);
    QCOMPARE(s.jianpu.lyricDistance, defaults.lyricDistance);
    QCOMPARE(s.jianpu.systemSpace, defaults.systemSpace);
    QCOMPARE(s.jianpu.beatWidth, defaults.beatWidth);
    QCOMPARE(s.jianpu.minNoteSpace, defaults.minNoteSpace);
    QCOMPARE(s.jianpu.flatAfterLetter, defaults.flatAfterLetter);
    QCOMPARE(s.jianpu.sanBanWord, defaults.sanBanWord);
    QCOMPARE(s.jianpu.banYanSigns, defaults.banYanSigns);
    QVERIFY(!s.jianpu.splitZeng && !c->splitZeng()); // 加赠 written whole
}

} // namespace

void TestExportConfig::jianpuDefaults() {
    verifyJianpuDefaults(cfg());
    const QStringList keys = ExportConfig::keys();
    QCOMPARE(keys.indexOf(QStringLiteral("notation")),
             keys.indexOf(QStringLiteral("titlePos")) + 1);
    QCOMPARE(keys.indexOf(QStringLiteral("jianpuBanYanSigns")),
             keys.indexOf(QStringLiteral("isLivePreview")) - 1);
    QSettings raw = rawSettings();
    QCOMPARE(raw.value(QStringLiteral("Export/notation")).toString(), QStringLiteral("gongche"));
    QCOMPARE(raw.value(QStringLiteral("Export/zengMeasures")).toString(), QStringLiteral("whole"));
    QCOMPARE(raw.value(QStringLiteral("Export/jianpuNoteFont")).toString(),
             QStringLiteral("DejaVu Sans"));
}

// Through the settings file, through a scheme, and back to the defaults.
void TestExportConfig::jianpuRoundTrip() {
    setJianpuValues(cfg());
    cfg()->save();
    QCOMPARE(rawSettings().value(QStringLiteral("Export/notation")).toString(),
             QStringLiteral("jianpu"));
    cfg()->setNotation(PageStyle::Notation::Gongche);
    cfg()->setJianpuBeatWidth(30);
    cfg()->load();
    verifyJianpuValues(cfg());

    const QJsonObject o = snapshot();
    QCOMPARE(o.value(QStringLiteral("notation")), QJsonValue(QStringLiteral("jianpu")));
    QCOMPARE(o.value(QStringLiteral("zengMeasures")), QJsonValue(QStringLiteral("split")));
    bool split = false;
    QVERIFY(ExportConfig::zengFromName(QStringLiteral("Split"), &split) && split);
    QVERIFY(ExportConfig::zengFromName(QStringLiteral("whole"), &split) && !split);
    QVERIFY(!ExportConfig::zengFromName(QStringLiteral("half"), &split));
    QCOMPARE(o.value(QStringLiteral("jianpuNoteFont")), QJsonValue(QStringLiteral("DejaVu Serif")));
    QCOMPARE(o.value(QStringLiteral("jianpuNoteFontSize")), QJsonValue(17));
    QCOMPARE(o.value(QStringLiteral("jianpuLyricDistance")), QJsonValue(-12));
    QCOMPARE(o.value(QStringLiteral("jianpuSanBanWord")), QJsonValue(true));
    QCOMPARE(o.value(QStringLiteral("jianpuBanYanSigns")), QJsonValue(false));
    const QString path = m_dir.filePath(QStringLiteral("jianpu.json"));
    QVERIFY(cfg()->saveScheme(path));
    cfg()->restoreDefaults();
    verifyJianpuDefaults(cfg());
    QVERIFY(cfg()->importScheme(path));
    verifyJianpuValues(cfg());
    QCOMPARE(snapshot(), o);
}

void TestExportConfig::jianpuBadValues() {
    {
        QSettings raw = rawSettings();
        raw.beginGroup(QStringLiteral("Export"));
        raw.setValue(QStringLiteral("notation"), QStringLiteral("tablature"));
        raw.setValue(QStringLiteral("jianpuNoteFont"), QString());
        raw.setValue(QStringLiteral("jianpuNoteFontSize"), 100000);
        raw.setValue(QStringLiteral("jianpuLyricDistance"), -5000);
        raw.setValue(QStringLiteral("jianpuSystemSpace"), 5000);
        raw.setValue(QStringLiteral("jianpuBeatWidth"), QStringLiteral("wide"));
        raw.setValue(QStringLiteral("jianpuMinNoteSpace"), -3);
        raw.setValue(QStringLiteral("zengMeasures"), QStringLiteral("half"));
    }
    cfg()->setSplitZeng(true);
    cfg()->load();
    QVERIFY(!cfg()->splitZeng()); // an unknown way of writing 加赠 is the whole measure
    // An unknown notation is gongche, an empty family the default one; the
    // record keeps the numbers, the typesetter gets them bounded.
    QCOMPARE(cfg()->notation(), PageStyle::Notation::Gongche);
    QCOMPARE(cfg()->jianpuNoteFont().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(cfg()->jianpuNoteFontSize(), 100000);
    QCOMPARE(cfg()->jianpuBeatWidth(), 0);
    const PageStyle s = cfg()->pageStyle();
    QCOMPARE(s.jianpu.noteFont.pointSize(), PageStyle::Ranges::maxFontSize);
    QCOMPARE(s.jianpu.lyricDistance, PageStyle::Ranges::minSpace);
    QCOMPARE(s.jianpu.systemSpace, PageStyle::Ranges::maxSpace);
    QCOMPARE(s.jianpu.beatWidth, PageStyle::Ranges::minWidth);
    QCOMPARE(s.jianpu.minNoteSpace, 0);

    PageStyle::Notation n = PageStyle::Notation::Gongche;
    QVERIFY(ExportConfig::notationFromName(QStringLiteral("JianPu"), &n));
    QCOMPARE(n, PageStyle::Notation::Jianpu);
    QVERIFY(ExportConfig::notationFromName(QStringLiteral("Staff"), &n));
    QCOMPARE(n, PageStyle::Notation::Staff);
    QCOMPARE(ExportConfig::notationName(n), QStringLiteral("staff"));
    for (const QString &bad : {QString(), QStringLiteral("简谱"), QStringLiteral(" jianpu")}) {
        QVERIFY(!ExportConfig::notationFromName(bad, &n));
    }
}

// Settings and schemes saved before 简谱 pages give gongche pages.
void TestExportConfig::filesWithoutJianpuKeysLoadGongche() {
    QJsonObject old = snapshot();
    for (const QString &key : ExportConfig::keys()) {
        if (key == QLatin1String("notation") || key == QLatin1String("zengMeasures") ||
            key.startsWith(QLatin1String("jianpu")) || key.startsWith(QLatin1String("staff"))) {
            old.remove(key);
        }
    }
    QCOMPARE(old.size(), 48);
    old.insert(QStringLiteral("colWidth"), 160);
    const QString scheme = writeFile(QStringLiteral("old.json"), QJsonDocument(old).toJson());
    setJianpuValues(cfg());
    cfg()->save();
    QVERIFY(cfg()->importScheme(scheme));
    QCOMPARE(cfg()->colWidth(), 160);
    QCOMPARE(cfg()->pageStyle().notation, PageStyle::Notation::Gongche);
    QCOMPARE(cfg()->jianpuBeatWidth(), 55); // the 简谱 settings it does not name stay

    QFile::remove(AppPaths::settingsFile());
    writeFile(QStringLiteral("old.ini"), "[Export]\ncolWidth=150\n");
    QVERIFY(QFile::copy(m_dir.filePath(QStringLiteral("old.ini")), AppPaths::settingsFile()));
    cfg()->load();
    QCOMPARE(cfg()->colWidth(), 150);
    verifyJianpuDefaults(cfg());
}

QTEST_MAIN(TestExportConfig)
#include "tst_exportconfig.moc"
