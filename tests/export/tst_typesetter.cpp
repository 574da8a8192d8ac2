#include "export/exportconfig.h"
#include "platform/apppaths.h"
#include "svgpage.h"
#include "testsupport.h"
#include "typeset/pagecanvas.h"
#include "typeset/typesetter.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <cmath>

namespace {

const QString P = sym(0xF002C);     // a pitch
const QString P2 = sym(0xF0030);    // another pitch
const QString Small = sym(0xF0060); // a small pitch
const QString TouBan = sym(0xF0000);
const QString TouYan = sym(0xF0001);
const QString ZhongYan = sym(0xF0002);
const QString YaoBan = sym(0xF0006);
const QString DieQiang = sym(0xF0008);
const QString DiBan = sym(0xF000A);
const QString HuoQiang = sym(0xF000C);

// A document line as the document tab builds it: for a sung line one score
// entry per character (a surrogate pair is one character).
DocumentLine line(const QString &text, const QStringList &sungScores = {}) {
    DocumentLine l;
    l.text = text;
    l.kind = lineKindOf(text);
    if (l.kind == LineKind::Lyric) {
        int k = 0;
        for (int i = 0; i < text.size(); ++i) {
            if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
                ++i;
                l.scores << QString();
            } else if (isSungChar(text.at(i))) {
                l.scores << (k < sungScores.size() ? sungScores.at(k) : QString());
                ++k;
            } else {
                l.scores << QString();
            }
        }
    }
    return l;
}

DocumentLines doc(const QStringList &texts) {
    DocumentLines lines;
    for (const QString &t : texts) {
        lines << line(t);
    }
    return lines;
}

constexpr double tol = 1.5;

} // namespace

class TestTypesetter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void emptyDocumentGivesOnePage();
    void transparentBackgroundHasNoRectangle();
    void landscapeSwapsThePage();
    void firstColumnUsesTitleWidthAfterATitle();
    void titlePositions_data();
    void titlePositions();
    void pageAndLineBreaks();
    void fourColumnsPerA4Page();
    void lyricFlowsIntoTheNextColumn();
    void previewOnlyStopsAfterTheSecondPageBegins();
    void quPaiHeadingWithMode();
    void hiddenPunctuation();
    void sentencePunctuationSitsBottomRight();
    void lianBaiInAtMostThreeSubColumns();
    void lianBaiAfterSungLineStartsBelowItsScores();
    void generateWithoutResetAppends();
    void descriptionOnlyOnFirstPage();
    void documentTitleFromTitlesAndHeadings();
    void scoreExtentAtAngles_data();
    void scoreExtentAtAngles();
    void scoreExtentWithMarks();
    void symbolColours();
    void pitchThenTouBan();
    void pitchThenYaoBan();
    void touBanThenYaoBan();
    void diBanPlacement();
    void clearanceBeforeAMarkedPitch();
    void smallSignsStandFurtherOut();
    void scoreAngleZeroRunsStraightDown();
    void charactersOutsideTheBmpKeepScoresInStep();
    void controlCharactersKeepPagesWellFormed();
    void hostileSchemesTerminate_data();
    void hostileSchemesTerminate();

private:
    static ExportConfig &cfg() { return *ExportConfig::instance(); }
    // g, holding the style of the configuration as it is now (measures such
    // as scoreExtent use the style of the last run).
    static Typesetter &styled(Typesetter &g) {
        g.reset();
        g.generate(cfg().pageStyle(), {}, true);
        return g;
    }
    // One progress report as "Task Progress value max".
    static QString report(const QList<QVariant> &args) {
        const QMetaEnum tasks = QMetaEnum::fromType<Typesetter::Task>();
        const QMetaEnum steps = QMetaEnum::fromType<Typesetter::Progress>();
        return QStringLiteral("%1 %2 %3 %4")
            .arg(QLatin1String(tasks.valueToKey(int(args.at(0).value<Typesetter::Task>()))),
                 QLatin1String(steps.valueToKey(int(args.at(1).value<Typesetter::Progress>()))))
            .arg(args.at(2).toInt())
            .arg(args.at(3).toInt());
    }
    static QList<SvgPage> run(const DocumentLines &lines, bool previewOnly = false) {
        Typesetter g;
        g.generate(ExportConfig::instance()->pageStyle(), lines, previewOnly);
        QList<SvgPage> out;
        for (const QByteArray &bytes : g.pages()) {
            out << parseSvgPage(bytes);
        }
        return out;
    }
    // Page x of the right edge of the printable area, and page y of its top.
    static int right() { return cfg().pageWidth() - cfg().marginRight(); }
    static int top() { return cfg().marginTop(); }
    static int availH() { return cfg().pageHeight() - cfg().marginTop() - cfg().marginBottom(); }
    // The frame of the score of a sung character whose cell starts at (x, y).
    static QTransform scoreFrame(int x, int y) {
        const QFontMetrics &lfm = QFontMetrics(cfg().lyricFont());
        QTransform t;
        t.translate(right(), top());
        t.translate(x + PageStyle::characterCellWidth(lfm) + cfg().lyricScoreSpace(),
                    y + 3 * lfm.height() / 5);
        t.rotate(cfg().scoreAngle());
        return t;
    }
    static QPointF local(const QTransform &frame, const SvgText &t) {
        return frame.inverted().map(t.inkCentre());
    }
    static QRect tight(const QString &s) {
        return QFontMetrics(cfg().scoreFont()).tightBoundingRect(s);
    }
    static int markH(const QString &s) { return int(tight(s).height() * 0.8); }
};

void TestTypesetter::initTestCase() {
    QVERIFY(useProgramDir());
}

void TestTypesetter::init() {
    cfg().restoreDefaults();
}

void TestTypesetter::emptyDocumentGivesOnePage() {
    Typesetter g;
    QSignalSpy spy(&g, &Typesetter::progressUpdate);
    g.generate(ExportConfig::instance()->pageStyle(), {}, false);
    QCOMPARE(g.pages().size(), 1);
    const SvgPage page = parseSvgPage(g.pages().first());
    QVERIFY(page.ok);
    QCOMPARE(page.viewBox, QStringLiteral("0 0 595 842"));
    QVERIFY(page.width.startsWith(QStringLiteral("209.9")));
    QCOMPARE(page.titles, QStringList{QStringLiteral("Qorvel工尺谱导出曲谱")});
    QCOMPARE(page.descriptions, QStringList{QStringLiteral("Qorvel工尺谱导出曲谱")});
    QCOMPARE(page.texts.size(), 0);
    QCOMPARE(page.rects.size(), 1);
    QCOMPARE(page.rects.first().rect, QRectF(0, 0, 595, 842));
    QCOMPARE(page.rects.first().fill, QStringLiteral("#ffffff"));
    QCOMPARE(spy.size(), 2);
    QCOMPARE(report(spy.first()), QStringLiteral("Typeset Started 0 0"));
    QCOMPARE(report(spy.last()), QStringLiteral("Typeset Finished 0 0"));
}

void TestTypesetter::transparentBackgroundHasNoRectangle() {
    cfg().setIsBgTransparent(true);
    const QList<SvgPage> pages = run(doc({QStringLiteral("春")}));
    QCOMPARE(pages.size(), 1);
    QCOMPARE(pages.first().rects.size(), 0);
    QCOMPARE(pages.first().textsOf(QStringLiteral("春")).size(), 1);

    cfg().setIsBgTransparent(false);
    cfg().setBackgroundColor(QColor(QStringLiteral("#102030")));
    const SvgPage page = run({}).first();
    QCOMPARE(page.rects.size(), 1);
    QCOMPARE(page.rects.first().fill, QStringLiteral("#102030"));
}

void TestTypesetter::landscapeSwapsThePage() {
    cfg().setIsLandscape(true);
    const SvgPage page = run(doc({QStringLiteral("春")})).first();
    QCOMPARE(page.viewBox, QStringLiteral("0 0 842 595"));
    const QFontMetrics &fm = QFontMetrics(cfg().lyricFont());
    const QPointF c = page.first(QStringLiteral("春")).centre();
    QVERIFY(qAbs(c.x() - (842 - 25 - 130 + PageStyle::characterCellWidth(fm) / 2.0)) < tol);
}

void TestTypesetter::firstColumnUsesTitleWidthAfterATitle() {
    cfg().setTitleWidth(200);
    const QFontMetrics &tfm = QFontMetrics(cfg().titleFont());
    const QFontMetrics &lfm = QFontMetrics(cfg().lyricFont());
    const int A = PageStyle::characterCellWidth(lfm);
    SvgPage page = run(doc({QStringLiteral("# 标题"), QStringLiteral("春")})).first();
    // The title is centred in a column of titleWidth...
    QPointF c = page.first(QStringLiteral("标")).centre();
    QVERIFY2(qAbs(c.x() - (right() - 100)) < tol, qPrintable(QString::number(c.x())));
    QVERIFY(qAbs(c.y() - (top() + tfm.height() / 2.0)) < tol);
    QVERIFY(qAbs(page.first(QStringLiteral("题")).centre().y() - (top() + tfm.height() * 1.5)) <
            tol);
    // ...and the sung line after it starts a new column of colWidth.
    // (The space before it pushed it past the bottom, so it stands at the very top.)
    c = page.first(QStringLiteral("春")).centre();
    QVERIFY(qAbs(c.x() - (right() - 200 - 130 + A / 2.0)) < tol);
    QVERIFY(qAbs(c.y() - (top() + lfm.height() / 2.0)) < tol);

    // Without a title the first column has colWidth.
    page = run(doc({QStringLiteral("春")})).first();
    c = page.first(QStringLiteral("春")).centre();
    QVERIFY(qAbs(c.x() - (right() - 130 + A / 2.0)) < tol);
}

void TestTypesetter::titlePositions_data() {
    QTest::addColumn<int>("pos");
    QTest::newRow("top") << 0;
    QTest::newRow("centre") << 1;
    QTest::newRow("bottom") << 2;
}

void TestTypesetter::titlePositions() {
    QFETCH(int, pos);
    cfg().setTitlePos(pos);
    const int H = QFontMetrics(cfg().titleFont()).height();
    const SvgPage page = run(doc({QStringLiteral("#  长生殿 ")})).first();
    const int n = 3;
    const int expectedTop = pos == 0 ? 0 : pos == 1 ? (availH() - H * n) / 2 : availH() - H * n;
    QCOMPARE(page.texts.size(), 3);
    const QPointF c = page.first(QStringLiteral("长")).centre();
    QVERIFY2(qAbs(c.y() - (top() + expectedTop + H / 2.0)) < tol,
             qPrintable(QString::number(c.y())));
    if (pos == 1) {
        // Centred: as much room above as below.
        const QPointF last = page.first(QStringLiteral("殿")).centre();
        QVERIFY(qAbs((c.y() - H / 2.0 - top()) - (top() + availH() - last.y() - H / 2.0)) <= 2);
    }
}

void TestTypesetter::pageAndLineBreaks() {
    const int A = PageStyle::characterCellWidth(QFontMetrics(cfg().lyricFont()));
    const int y1 = top() + cfg().lyricSpace();
    QList<SvgPage> pages =
        run(doc({QStringLiteral("春"), QStringLiteral("@分页符"), QStringLiteral("秋")}));
    QCOMPARE(pages.size(), 2);
    QCOMPARE(pages.at(0).textsOf(QStringLiteral("秋")).size(), 0);
    QPointF c = pages.at(1).first(QStringLiteral("秋")).centre();
    QVERIFY(qAbs(c.x() - (right() - 130 + A / 2.0)) < tol);
    QVERIFY(c.y() > y1 && c.y() < y1 + QFontMetrics(cfg().lyricFont()).height());

    pages = run(doc({QStringLiteral("春"), QStringLiteral("@换行符"), QStringLiteral("秋")}));
    QCOMPARE(pages.size(), 1);
    c = pages.at(0).first(QStringLiteral("秋")).centre();
    QVERIFY(qAbs(c.x() - (right() - 260 + A / 2.0)) < tol);
    QVERIFY(qAbs(c.y() - pages.at(0).first(QStringLiteral("春")).centre().y()) < tol);
}

void TestTypesetter::fourColumnsPerA4Page() {
    const QStringList chars = {QStringLiteral("一"), QStringLiteral("二"), QStringLiteral("三"),
                               QStringLiteral("四"), QStringLiteral("五")};
    QStringList texts;
    for (const QString &c : chars) {
        if (!texts.isEmpty()) {
            texts << QStringLiteral("@换行符");
        }
        texts << c;
    }
    const QList<SvgPage> pages = run(doc(texts));
    QCOMPARE(pages.size(), 2);
    const int A = PageStyle::characterCellWidth(QFontMetrics(cfg().lyricFont()));
    for (int i = 0; i < 4; ++i) {
        const QPointF c = pages.at(0).first(chars.at(i)).centre();
        QVERIFY(qAbs(c.x() - (right() - 130 * (i + 1) + A / 2.0)) < tol);
    }
    QCOMPARE(pages.at(1).texts.size(), 1);
    QVERIFY(qAbs(pages.at(1).first(chars.at(4)).centre().x() - (right() - 130 + A / 2.0)) < tol);
}

void TestTypesetter::lyricFlowsIntoTheNextColumn() {
    const QFontMetrics &fm = QFontMetrics(cfg().lyricFont());
    const int step = fm.height() + cfg().lyricSpace();
    const int perColumn = availH() / step; // characters that fit in one column
    const QString text = QString(QChar(0x6625)).repeated(perColumn + 2);
    cfg().setIsLineBreakScoreOverflow(false);
    const SvgPage page = run({line(text)}).first();
    const QList<SvgText> all = page.textsOf(QStringLiteral("春"));
    QCOMPARE(all.size(), perColumn + 2);
    const double col1 = right() - 130 + PageStyle::characterCellWidth(fm) / 2.0;
    QVERIFY(qAbs(all.at(perColumn - 1).centre().x() - col1) < tol);
    QVERIFY(qAbs(all.at(perColumn).centre().x() - (col1 - 130)) < tol);
    // The wrapped character starts at the very top of the new column.
    QVERIFY(qAbs(all.at(perColumn).centre().y() - (top() + fm.height() / 2.0)) < tol);
}

void TestTypesetter::previewOnlyStopsAfterTheSecondPageBegins() {
    const DocumentLines lines =
        doc({QStringLiteral("春"), QStringLiteral("@分页符"), QStringLiteral("秋"),
             QStringLiteral("@分页符"), QStringLiteral("冬")});
    Typesetter g;
    QSignalSpy spy(&g, &Typesetter::progressUpdate);
    g.generate(ExportConfig::instance()->pageStyle(), lines, true);
    QCOMPARE(g.pages().size(), 2);
    QCOMPARE(parseSvgPage(g.pages().at(1)).texts.size(), 0);
    QCOMPARE(report(spy.first()), QStringLiteral("Preview Started 0 0"));
    QCOMPARE(report(spy.last()), QStringLiteral("Preview Finished 2 0"));
    QCOMPARE(spy.size(), 4);
    QCOMPARE(report(spy.at(1)), QStringLiteral("Preview Advanced 0 0"));
    QCOMPARE(spy.at(2).at(1).toInt(), 1);

    // All pages without the flag.
    g.reset();
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    QCOMPARE(g.pages().size(), 3);
}

void TestTypesetter::quPaiHeadingWithMode() {
    const SvgPage page = run(doc({QStringLiteral("【皂罗袍】(仙吕)")})).first();
    const QFontMetrics &qfm = QFontMetrics(cfg().quPaiFont());
    const QFontMetrics &dfm = QFontMetrics(cfg().diaoMingFont());
    const QString q = QStringLiteral("︻皂罗袍︼");
    const QString d = QStringLiteral("︵仙吕︶");
    QStringList drawn;
    for (const SvgText &t : page.texts) {
        drawn << t.text;
    }
    QCOMPARE(drawn.join(QString()), q + d);
    auto height = [](QChar c, const QFontMetrics &fm) {
        return isPunctuationChar(c) ? fm.boundingRect(QString(c)).height() : fm.height();
    };
    int Hq = 0, Hd = 0;
    for (QChar c : q) {
        Hq += height(c, qfm);
    }
    for (QChar c : d) {
        Hd += height(c, dfm);
    }
    const int x0 = right() - 130;
    const int qw = PageStyle::characterCellWidth(qfm);
    const int dw = PageStyle::characterCellWidth(dfm);
    // The tune name in the quPai font, at the top of the column.
    const SvgText zao = page.first(QStringLiteral("皂"));
    QCOMPARE(zao.fontSize, 50.0);
    QVERIFY(qAbs(zao.centre().x() - (x0 + qw / 2.0)) < tol);
    QVERIFY(qAbs(zao.centre().y() - (top() + height(q.at(0), qfm) + qfm.height() / 2.0)) < tol);
    // The mode name in its own narrow column 10 points right of the cell.
    const SvgText xian = page.first(QStringLiteral("仙"));
    QCOMPARE(xian.fontSize, 30.0);
    QVERIFY(qAbs(xian.centre().x() - (x0 + qw + 10 + dw / 2.0)) < tol);
    const int dTop = Hq - Hd >= 2 ? (Hq - Hd) / 2 : 0;
    QVERIFY(qAbs(xian.centre().y() - (top() + dTop + height(d.at(0), dfm) + dfm.height() / 2.0)) <
            tol);
}

void TestTypesetter::hiddenPunctuation() {
    cfg().setIsHiddenSymbol(true);
    const QFontMetrics &fm = QFontMetrics(cfg().lyricFont());
    const SvgPage page =
        run({line(QStringLiteral("春，秋"), {P, P2}), line(QStringLiteral("【皂罗袍】"))}).first();
    QCOMPARE(page.textsOf(QStringLiteral("，")).size(), 0);
    const double dy = page.first(QStringLiteral("秋")).centre().y() -
                      page.first(QStringLiteral("春")).centre().y();
    QVERIFY(qAbs(dy - (fm.height() + cfg().lyricSpace())) < tol);
    // The two scores only, none for the comma.
    QCOMPARE(page.textsOf(P).size(), 1);
    QCOMPARE(page.textsOf(P2).size(), 1);
    // Headings keep their brackets.
    QCOMPARE(page.textsOf(QStringLiteral("︻")).size(), 1);
    QCOMPARE(page.textsOf(QStringLiteral("︼")).size(), 1);

    cfg().setIsHiddenSymbol(false);
    const SvgPage shown = run({line(QStringLiteral("春，秋"), {P, P2})}).first();
    QCOMPARE(shown.textsOf(QStringLiteral("，")).size(), 1);
}

void TestTypesetter::sentencePunctuationSitsBottomRight() {
    const QFontMetrics &fm = QFontMetrics(cfg().lyricFont());
    const SvgPage page = run({line(QStringLiteral("春。"))}).first();
    const SvgText stop = page.first(QStringLiteral("。"));
    const int A = PageStyle::characterCellWidth(fm);
    const int cellX = right() - 130 + A / 2;
    const QPointF origin = stop.transform.map(stop.origin);
    QVERIFY2(qAbs(origin.x() - cellX) < tol, qPrintable(QString::number(origin.x())));
    // Bottom-aligned: the descent ends at the bottom of the cell.
    const int cellTop = cfg().lyricSpace() + fm.height(); // no lyricSpace before it
    const int h = fm.tightBoundingRect(QStringLiteral("。")).height();
    QVERIFY(qAbs(origin.y() + stop.deviceMetrics().descent() - (top() + cellTop + h)) < tol);
}

void TestTypesetter::lianBaiInAtMostThreeSubColumns() {
    const QString s = QStringLiteral("一二三四五六七八九十");
    const SvgPage page = run(doc({QStringLiteral("= ") + s})).first();
    QCOMPARE(page.texts.size(), 10);
    QList<double> xs;
    double prevX = 1e9;
    for (int i = 0; i < s.size(); ++i) {
        const SvgText t = page.first(s.mid(i, 1));
        const QPointF o = t.transform.map(t.origin);
        // Left-aligned in sub-columns inside the first column, right to left.
        QVERIFY(o.x() >= right() - 130 - tol && o.x() < right());
        QVERIFY(o.x() <= prevX + tol);
        prevX = o.x();
        bool known = false;
        for (double x : xs) {
            known = known || qAbs(x - o.x()) < tol;
        }
        if (!known) {
            xs << o.x();
        }
    }
    QVERIFY(xs.size() >= 2);
    QVERIFY(xs.size() <= 3);
    for (int i = 1; i < xs.size(); ++i) {
        QVERIFY(qAbs(xs.at(i - 1) - xs.at(i) - 35) < tol);
    }
    // The first character stands in the rightmost sub-column, at the top.
    const SvgText first = page.first(QStringLiteral("一"));
    QVERIFY(qAbs(first.transform.map(first.origin).x() - (right() - 130 + 35 * (xs.size() - 1))) <
            tol);
}

void TestTypesetter::lianBaiAfterSungLineStartsBelowItsScores() {
    const QString score = QStringList{P, TouBan, P2, TouYan, P, P2, P, P2}.join(QString());
    const QFontMetrics &lfm = QFontMetrics(cfg().lyricFont());
    const QFontMetrics &bfm = QFontMetrics(cfg().lianBaiFont());
    const int ls = cfg().lyricSpace();
    Typesetter probe;
    const int e = styled(probe).scoreExtent(score);
    QVERIFY2(e > lfm.height(), "the score must reach below its character");
    const int lowest = ls + e;

    SvgPage page = run({line(QStringLiteral("春"), {score}), line(QStringLiteral("= 白"))}).first();
    double y = page.first(QStringLiteral("白")).centre().y();
    QVERIFY2(qAbs(y - (top() + lowest + ls + bfm.height() / 2.0)) < tol,
             qPrintable(QString::number(y)));

    // After a comment line the passage follows the characters, not the scores.
    page = run({line(QStringLiteral("春"), {score}), line(QStringLiteral("; 注")),
                line(QStringLiteral("= 白"))})
               .first();
    y = page.first(QStringLiteral("白")).centre().y();
    QVERIFY(qAbs(y - (top() + ls + lfm.height() + ls + bfm.height() / 2.0)) < tol);
}

void TestTypesetter::generateWithoutResetAppends() {
    const DocumentLines lines = doc({QStringLiteral("春")});
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    QCOMPARE(g.pages().size(), 2);
    QCOMPARE(parseSvgPage(g.pages().at(1)).textsOf(QStringLiteral("春")).size(), 1);
    // A first-page-only run now stops at once: its page stays empty.
    g.generate(ExportConfig::instance()->pageStyle(), lines, true);
    QCOMPARE(g.pages().size(), 3);
    QCOMPARE(parseSvgPage(g.pages().at(2)).texts.size(), 0);
    g.reset();
    QCOMPARE(g.pages().size(), 0);
    g.generate(ExportConfig::instance()->pageStyle(), lines, true);
    QCOMPARE(g.pages().size(), 1);
    QCOMPARE(parseSvgPage(g.pages().at(0)).texts.size(), 1);
}

void TestTypesetter::descriptionOnlyOnFirstPage() {
    QList<SvgPage> pages =
        run(doc({QStringLiteral("春"), QStringLiteral("@分页符"), QStringLiteral("秋"),
                 QStringLiteral("@分页符"), QStringLiteral("# 第二出")}));
    QCOMPARE(pages.size(), 3);
    QCOMPARE(pages.at(0).descriptions, QStringList{QStringLiteral("Qorvel工尺谱导出曲谱")});
    QCOMPARE(pages.at(0).titles, QStringList{QStringLiteral("Qorvel工尺谱导出曲谱")});
    QCOMPARE(pages.at(1).descriptions, QStringList());
    QCOMPARE(pages.at(1).titles, QStringList());
    QCOMPARE(pages.at(2).descriptions, QStringList());
    QCOMPARE(pages.at(2).titles, QStringList{QStringLiteral(" 第二出")});
}

void TestTypesetter::documentTitleFromTitlesAndHeadings() {
    Typesetter g;
    QCOMPARE(g.documentTitle(), QString());
    g.generate(ExportConfig::instance()->pageStyle(),
               doc({QStringLiteral("【皂罗袍】(仙吕)"), QStringLiteral("【好姐姐】")}), false);
    QCOMPARE(g.documentTitle(), QStringLiteral("皂罗袍"));
    QCOMPARE(parseSvgPage(g.pages().first()).titles, QStringList{QStringLiteral("皂罗袍")});
    g.reset();
    // Survives reset; a heading no longer changes it.
    QCOMPARE(g.documentTitle(), QStringLiteral("皂罗袍"));
    g.generate(ExportConfig::instance()->pageStyle(), doc({QStringLiteral("【好姐姐】")}), false);
    QCOMPARE(g.documentTitle(), QStringLiteral("皂罗袍"));
    // Every title line sets it anew.
    g.generate(
        ExportConfig::instance()->pageStyle(),
        doc({QStringLiteral("#牡丹亭"), QStringLiteral("【山坡羊】"), QStringLiteral("#游园")}),
        false);
    QCOMPARE(g.documentTitle(), QStringLiteral("游园"));
}

void TestTypesetter::scoreExtentAtAngles_data() {
    QTest::addColumn<int>("angle");
    QTest::newRow("0") << 0;
    QTest::newRow("-45") << -45;
    QTest::newRow("90") << 90;
}

void TestTypesetter::scoreExtentAtAngles() {
    QFETCH(int, angle);
    cfg().setScoreAngle(angle);
    cfg().setScoreSpace(3);
    Typesetter g;
    const int Hl = QFontMetrics(cfg().lyricFont()).height();
    QCOMPARE(styled(g).scoreExtent(QString()), 0);
    const int h = tight(P).height();
    const int expected = int((h + 3) * std::cos(angle * M_PI / 180.0)) + 3 * Hl / 5;
    QCOMPARE(styled(g).scoreExtent(P), expected);
    if (angle == 90) {
        QCOMPARE(styled(g).scoreExtent(P + P2 + P), 3 * Hl / 5);
    }
    // A negative spacing never shortens the score below its plain length.
    cfg().setScoreSpace(-4);
    QCOMPARE(styled(g).scoreExtent(P), int(h * std::cos(angle * M_PI / 180.0)) + 3 * Hl / 5);
}

void TestTypesetter::scoreExtentWithMarks() {
    cfg().setScoreAngle(0);
    cfg().setBanYanSpace(2);
    Typesetter g;
    const int base = 3 * QFontMetrics(cfg().lyricFont()).height() / 5;
    const int hp = tight(P).height();
    const int hb = markH(TouBan);
    const int hy = markH(YaoBan);
    // Pitch + 头板: the mark reaches past the pitch only when it is taller.
    int pos = -hp + hb + 2;
    QCOMPARE(styled(g).scoreExtent(P + TouBan), std::max(hp + (pos > 0 ? pos - 2 : -2), hp) + base);
    // Pitch + 腰板: dropped by its own height.
    pos = -hp + hy + hy + 2;
    QCOMPARE(styled(g).scoreExtent(P + YaoBan), std::max(hp + (pos > 0 ? pos - 2 : -2), hp) + base);
    // A pitch after marks counts the marks' overhang.
    pos = -hp + hb + 2 + hb + 2;
    const int total = hp + (pos - 2 > 0 ? pos - 2 : 0) + tight(P2).height();
    QCOMPARE(styled(g).scoreExtent(P + TouBan + TouBan + P2), total + base);
}

void TestTypesetter::symbolColours() {
    cfg().setScoreColor(QColor(QStringLiteral("#010101")));
    cfg().setBanColor(QColor(QStringLiteral("#020202")));
    cfg().setXiaoYanColor(QColor(QStringLiteral("#030303")));
    cfg().setZhongYanColor(QColor(QStringLiteral("#040404")));
    cfg().setQiangGeColor(QColor(QStringLiteral("#050505")));
    cfg().setLyricColor(QColor(QStringLiteral("#060606")));
    const QString score = P + TouBan + P2 + TouYan + Small + ZhongYan + DieQiang + YaoBan + DiBan +
                          sym(0xF0003) + sym(0xF0004) + sym(0xF0005) + HuoQiang;
    const SvgPage page = run({line(QStringLiteral("春"), {score})}).first();
    QCOMPARE(page.first(QStringLiteral("春")).fill, QStringLiteral("#060606"));
    QCOMPARE(page.first(P).fill, QStringLiteral("#010101"));
    QCOMPARE(page.first(P2).fill, QStringLiteral("#010101"));
    QCOMPARE(page.first(Small).fill, QStringLiteral("#010101"));
    QCOMPARE(page.first(TouBan).fill, QStringLiteral("#020202"));
    QCOMPARE(page.first(YaoBan).fill, QStringLiteral("#020202"));
    QCOMPARE(page.first(DiBan).fill, QStringLiteral("#020202"));
    QCOMPARE(page.first(sym(0xF0003)).fill, QStringLiteral("#020202"));
    QCOMPARE(page.first(TouYan).fill, QStringLiteral("#030303"));
    QCOMPARE(page.first(sym(0xF0004)).fill, QStringLiteral("#030303"));
    QCOMPARE(page.first(ZhongYan).fill, QStringLiteral("#040404"));
    QCOMPARE(page.first(sym(0xF0005)).fill, QStringLiteral("#040404"));
    QCOMPARE(page.first(DieQiang).fill, QStringLiteral("#050505"));
    QCOMPARE(page.first(HuoQiang).fill, QStringLiteral("#050505"));

    QCOMPARE(Typesetter::symbolClass(sym(0xF009B)), Typesetter::SymbolClass::Pitch);
    QCOMPARE(Typesetter::symbolClass(sym(0xF000E)), Typesetter::SymbolClass::Pitch);
    QCOMPARE(Typesetter::symbolClass(sym(0xF000D)), Typesetter::SymbolClass::QiangGe);
    QCOMPARE(Typesetter::symbolClass(sym(0xF000B)), Typesetter::SymbolClass::QiangGe);
    QCOMPARE(Typesetter::symbolClass(sym(0xF0009)), Typesetter::SymbolClass::QiangGe);
    QCOMPARE(Typesetter::symbolClass(QStringLiteral("ab")), Typesetter::SymbolClass::QiangGe);
}

void TestTypesetter::pitchThenTouBan() {
    const SvgPage page = run({line(QStringLiteral("春"), {P + TouBan})}).first();
    const QTransform frame = scoreFrame(-130, cfg().lyricSpace());
    const int S = QFontMetrics(cfg().scoreFont()).averageCharWidth();
    const QPointF p = local(frame, page.first(P));
    const QPointF b = local(frame, page.first(TouBan));
    QVERIFY2(qAbs(p.x() - S / 2.0) < tol, qPrintable(QString::number(p.x())));
    QVERIFY(qAbs(p.y() - tight(P).height() / 2.0) < tol);
    // Second lane, level with the top of the pitch.
    QVERIFY2(qAbs(b.x() - (S + tight(TouBan).width() / 2.0)) < tol,
             qPrintable(QString::number(b.x())));
    QVERIFY(qAbs(b.y() - markH(TouBan) / 2.0) < tol);
    QCOMPARE(page.first(TouBan).fill, QStringLiteral("#ff4c00"));
}

void TestTypesetter::pitchThenYaoBan() {
    const SvgPage page = run({line(QStringLiteral("春"), {P + YaoBan})}).first();
    const QTransform frame = scoreFrame(-130, cfg().lyricSpace());
    const QPointF b = local(frame, page.first(YaoBan));
    // One mark lower than a 头板 would be.
    QVERIFY2(qAbs(b.y() - (markH(YaoBan) * 1.5)) < tol, qPrintable(QString::number(b.y())));
}

void TestTypesetter::touBanThenYaoBan() {
    cfg().setBanYanSpace(3);
    const SvgPage page = run({line(QStringLiteral("春"), {P + TouBan + YaoBan})}).first();
    const QTransform frame = scoreFrame(-130, cfg().lyricSpace());
    const QPointF b = local(frame, page.first(TouBan));
    const QPointF y = local(frame, page.first(YaoBan));
    QVERIFY(qAbs(b.y() - markH(TouBan) / 2.0) < tol);
    // Directly after a mark: no extra drop.
    QVERIFY(qAbs(y.y() - (markH(TouBan) + 3 + markH(YaoBan) / 2.0)) < tol);
}

void TestTypesetter::diBanPlacement() {
    cfg().setScoreBanYanSpace(4);
    const SvgPage page = run({line(QStringLiteral("春"), {P + DiBan + P2})}).first();
    const QTransform frame = scoreFrame(-130, cfg().lyricSpace());
    const int S = QFontMetrics(cfg().scoreFont()).averageCharWidth();
    const int hp = tight(P).height();
    const QPointF d = local(frame, page.first(DiBan));
    const QPointF p2 = local(frame, page.first(P2));
    // S/2 + scoreBanYanSpace across, and not above the origin (below the pitch).
    QVERIFY2(qAbs(d.x() - (S / 2 + 4 + tight(DiBan).width() / 2.0)) < tol,
             qPrintable(QString::number(d.x())));
    QVERIFY(qAbs(d.y() - (hp + markH(DiBan) / 2.0)) < tol);
    // The next pitch moves down only to the end of the mark, with no clearance.
    QVERIFY2(qAbs(p2.y() - (hp + markH(DiBan) + tight(P2).height() / 2.0)) < tol,
             qPrintable(QString::number(p2.y())));
}

void TestTypesetter::clearanceBeforeAMarkedPitch() {
    const int hp = tight(P).height();
    const int h1 = markH(TouBan), h2 = markH(TouYan);
    const int pos = -hp + h1 + h2;
    const SvgPage page =
        run({line(QStringLiteral("春"), {P + TouBan + TouYan + P2 + TouBan})}).first();
    const QTransform frame = scoreFrame(-130, cfg().lyricSpace());
    const double y = local(frame, page.first(P2)).y() - tight(P2).height() / 2.0;
    // Followed by a mark: 6 units below the marks when they reach past its start.
    QVERIFY2(qAbs(y - (pos >= -5 ? hp + pos + 6 : hp)) < tol, qPrintable(QString::number(y)));

    // Not followed by a mark: just to their end.
    const SvgPage plain = run({line(QStringLiteral("春"), {P + TouBan + TouYan + P2 + P})}).first();
    const double y2 = local(frame, plain.first(P2)).y() - tight(P2).height() / 2.0;
    QVERIFY(qAbs(y2 - (pos >= -5 ? hp + std::max(pos, 0) : hp)) < tol);
}

void TestTypesetter::smallSignsStandFurtherOut() {
    const int S = QFontMetrics(cfg().scoreFont()).averageCharWidth();
    const QTransform frame = scoreFrame(-130, cfg().lyricSpace());
    for (const QString &s : {Small, HuoQiang, sym(0xF000D)}) {
        const SvgPage page = run({line(QStringLiteral("春"), {s})}).first();
        const QPointF c = local(frame, page.first(s));
        QVERIFY(qAbs(c.x() - (2 * S / 5 + tight(s).width() / 2.0)) < tol);
    }
    const SvgPage page = run({line(QStringLiteral("春"), {DieQiang})}).first();
    QVERIFY(qAbs(local(frame, page.first(DieQiang)).x() - S / 2.0) < tol);
}

void TestTypesetter::scoreAngleZeroRunsStraightDown() {
    cfg().setScoreAngle(0);
    const SvgPage page = run({line(QStringLiteral("春"), {P + P2})}).first();
    const QPointF a = page.first(P).centre();
    const QPointF b = page.first(P2).centre();
    QVERIFY(qAbs(a.x() - b.x()) < tol);
    QVERIFY(b.y() > a.y());
    const int A = PageStyle::characterCellWidth(QFontMetrics(cfg().lyricFont()));
    const int S = QFontMetrics(cfg().scoreFont()).averageCharWidth();
    QVERIFY(qAbs(a.x() - (right() - 130 + A + S / 2.0)) < tol);

    cfg().setScoreAngle(-45);
    const SvgPage slanted = run({line(QStringLiteral("春"), {P + P2})}).first();
    const QPointF c = slanted.first(P).centre(), d = slanted.first(P2).centre();
    // Down and to the right.
    QVERIFY(d.x() > c.x() + 1);
    QVERIFY(d.y() > c.y() + 1);
}

void TestTypesetter::charactersOutsideTheBmpKeepScoresInStep() {
    const QString wide = QString::fromUcs4(U"\U00020000");
    const SvgPage page =
        run({line(QStringLiteral("春") + wide + QStringLiteral("秋"), {P, P2})}).first();
    // The wide character is drawn whole, and 秋 keeps its own score.
    QCOMPARE(page.textsOf(wide).size(), 1);
    QCOMPARE(page.textsOf(P).size(), 1);
    QCOMPARE(page.textsOf(P2).size(), 1);
    const double qiu = page.first(QStringLiteral("秋")).centre().y();
    const double chun = page.first(QStringLiteral("春")).centre().y();
    const double p2 = page.first(P2).centre().y();
    const double p1 = page.first(P).centre().y();
    QVERIFY(qAbs((p2 - qiu) - (p1 - chun)) < tol);
    // A score list shorter than the text does no harm.
    DocumentLine shortScores = line(QStringLiteral("春秋冬"), {P});
    shortScores.scores = QStringList{P};
    QCOMPARE(run({shortScores}).first().textsOf(QStringLiteral("冬")).size(), 1);
}

void TestTypesetter::controlCharactersKeepPagesWellFormed() {
    // Score files and the clipboard can carry any UTF-16 unit; the pages
    // must still be XML a reader accepts, and a preview must show the same
    // first page as the export.
    const QString nul(QChar(0));
    const QString lone(QChar(0xD800));
    DocumentLines lines{
        line(QStringLiteral("春") + nul + QStringLiteral("秋\u0001"), {P, P2}),
        line(QStringLiteral(">白\u000B话") + lone), line(QStringLiteral("=念\uFFFF白\u001F")),
        line(QStringLiteral("#题\u0002目")), line(QStringLiteral("冬"), {P + nul + nul + TouBan})};
    for (int i = 0; i < 40; ++i) {
        lines << line(QStringLiteral("花") + nul + QStringLiteral("月"), {P, P2});
    }
    Typesetter full;
    full.generate(ExportConfig::instance()->pageStyle(), lines, false);
    QVERIFY(full.pages().size() > 1);
    for (const QByteArray &bytes : full.pages()) {
        QXmlStreamReader xml(bytes);
        while (!xml.atEnd()) {
            xml.readNext();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    }
    const SvgPage page = parseSvgPage(full.pages().constFirst());
    QCOMPARE(page.textsOf(QStringLiteral("春")).size(), 1);
    QCOMPARE(page.textsOf(QStringLiteral("秋")).size(), 1);
    int touBans = 0;
    for (const QByteArray &bytes : full.pages()) {
        touBans += parseSvgPage(bytes).textsOf(TouBan).size();
    }
    QCOMPARE(touBans, 1); // the score around the stray NUL is still drawn

    Typesetter preview;
    preview.generate(ExportConfig::instance()->pageStyle(), lines, true);
    QCOMPARE(preview.pages().constFirst(), full.pages().constFirst());

    QCOMPARE(PageCanvas::drawableText(QStringLiteral("a\tb")), QStringLiteral("a\tb"));
    QCOMPARE(PageCanvas::drawableText(QString::fromUcs4(U"\U00020000")).size(), 2);
    QCOMPARE(PageCanvas::drawableText(lone + QStringLiteral("x") + QChar(0xDC00)),
             QStringLiteral("x"));
}

void TestTypesetter::hostileSchemesTerminate_data() {
    QTest::addColumn<QByteArray>("scheme");
    QTest::newRow("zero widths") << QByteArray(R"({"colWidth":0,"mColWidth":0,"titleWidth":0})");
    QTest::newRow("negative page") << QByteArray(R"({"pageWidth":-595,"pageHeight":-842})");
    QTest::newRow("huge margins") << QByteArray(
        R"({"marginTop":10000,"marginBottom":10000,"marginLeft":10000,"marginRight":10000})");
    QTest::newRow("margins in range on a big page") << QByteArray(
        R"({"pageWidth":10000,"pageHeight":10000,"marginTop":10000,"marginLeft":0,"marginRight":0})");
    QTest::newRow("sub-column wider than column")
        << QByteArray(R"({"mColWidth":5000,"colWidth":100})");
    QTest::newRow("angles") << QByteArray(R"({"scoreAngle":123456789})");
    QTest::newRow("tiny fonts") << QByteArray(
        R"({"lyricFontSize":0,"scoreFontSize":0,"lianBaiFontSize":0,"titleFontSize":0,"quPaiFontSize":0,"diaoMingFontSize":0,"jiaBaiFontSize":0})");
    QTest::newRow("huge fonts") << QByteArray(
        R"({"lyricFontSize":100000,"scoreFontSize":100000,"lianBaiFontSize":100000,"titleFontSize":100000,"quPaiFontSize":100000})");
    QTest::newRow("huge spaces") << QByteArray(
        R"({"lyricSpace":2000000000,"scoreSpace":-2000000000,"banYanSpace":2000000000})");
    QTest::newRow("strings") << QByteArray(R"({"colWidth":"wide","pageSizeId":"x","titlePos":9})");
}

void TestTypesetter::hostileSchemesTerminate() {
    QFETCH(QByteArray, scheme);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.json"));
    QVERIFY(writeFile(path, scheme));
    QVERIFY(cfg().importScheme(path));

    DocumentLines lines;
    lines << line(QStringLiteral("# 长生殿")) << line(QStringLiteral("【皂罗袍】(仙吕)"));
    for (int i = 0; i < 20; ++i) {
        lines << line(QStringLiteral("原来姹紫嫣红开遍，似这般都付与断井颓垣。"),
                      QVector<QString>(18, P + TouBan + P2 + TouYan + P).toList());
        lines << line(QStringLiteral("= 春香，你看这园中景致如何？"));
        lines << line(QStringLiteral("> 好不伤感人也"));
    }
    QElapsedTimer timer;
    timer.start();
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    QVERIFY(timer.elapsed() < 20000);
    // At most a page per character or line, and every page a whole document.
    QVERIFY(g.pages().size() >= 1);
    QVERIFY(g.pages().size() <= 20 * 40 + 10);
    qint64 bytes = 0;
    for (const QByteArray &p : g.pages()) {
        bytes += p.size();
        QVERIFY(p.trimmed().endsWith("</svg>"));
    }
    QVERIFY(bytes < 64 * 1024 * 1024);
    const SvgPage first = parseSvgPage(g.pages().first());
    QVERIFY(first.ok);
    QSize size = QSize(first.viewBox.section(QLatin1Char(' '), 2, 2).toInt(),
                       first.viewBox.section(QLatin1Char(' '), 3, 3).toInt());
    QVERIFY(size.width() >= 10 && size.width() <= 10000);
    QVERIFY(size.height() >= 10 && size.height() <= 10000);
    // previewOnly is just as safe (one line may still run over several pages).
    const int all = g.pages().size();
    g.reset();
    g.generate(ExportConfig::instance()->pageStyle(), lines, true);
    QVERIFY(g.pages().size() <= std::max(2, all));
}

QTEST_MAIN(TestTypesetter)
#include "tst_typesetter.moc"
