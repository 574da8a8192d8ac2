// 简谱 pages: what the notation writes for a test document with every
// value and octave, a pickup, a 腰板 held across the bar line, a doubled
// (加赠) measure, a 散板 passage ending on a 底板, ornaments and 气口; and the
// pages read back from their SVG: digits, dots, lines and lyrics where the
// notation puts them, page numbers, headings kept with their music, and no
// ink on other ink on the sample aria.
#include "../export/svgpage.h"
#include "../music/musicfixture.h"
#include "export/exportconfig.h"
#include "fonts/fontsubstitutions.h"
#include "model/scorefile.h"
#include "typeset/inkcollisions.h"
#include "typeset/jianpunotation.h"
#include "typeset/typesetter.h"

#include <QtTest>

using Glyph = JianpuNotation::Glyph;
using Block = JianpuNotation::Block;

namespace {

// Marks are written after the pitch they fall on, as in a score.
const QString testLyric = QStringLiteral("; 板式=一板三眼\n【第一】\n春花秋月，\n> 好景致！\n风"
                                         "\n【第二】\n; 板式=加赠一板三眼\n雨"
                                         "\n【第三】\n; 板式=散板\n云水");
const QStringList testScore = {
    QStringLiteral("上尺、"),                      // a pickup, then the 板
    QStringLiteral("工○六●五"),                    // a dotted beat and an eighth
    QStringLiteral("尺○上L工sk尺s六h五w"),         // every short value, every octave, a 气口
    QStringLiteral("上、尺工Y六●五○"),             // 工 held across the bar line by the 腰板
    QStringLiteral("工、H"),                       // an ornament
    QStringLiteral("工、六○五●六○五×六○五●工○尺"), // one doubled measure
    QStringLiteral("上尺工D"),                     // 散板, ending on a 底板
    QStringLiteral("六五")};

DocumentLines testDocument() {
    return musicfixture::document(testLyric, testScore);
}

// A glyph as a copyist would spell it: digit, octave ('/,), reduction lines
// (_n), dot (*), tie (~), slur ( ), breath V, fermata F, graces g, lyric {}.
QString spelled(const Glyph &g) {
    QString d = g.kind == Glyph::Kind::Dash  ? QStringLiteral("-")
                : g.kind == Glyph::Kind::Dot ? QStringLiteral(".")
                                             : QString::number(g.digit);
    d += QString(g.octave > 0 ? QLatin1Char('\'') : QLatin1Char(',')).repeated(std::abs(g.octave));
    if (g.lines) {
        d += QStringLiteral("_%1").arg(g.lines);
    }
    d += QString(g.dotted ? QStringLiteral("*") : QString()) +
         (g.tieToNext ? QStringLiteral("~") : QString()) +
         (g.slurStart ? QStringLiteral("(") : QString()) +
         (g.slurEnd ? QStringLiteral(")") : QString()) +
         (g.breath ? QStringLiteral("V") : QString()) +
         (g.fermata ? QStringLiteral("F") : QString());
    if (!g.gracesBefore.isEmpty() || !g.gracesAfter.isEmpty()) {
        d += QStringLiteral("g");
    }
    if (!g.lyric.isEmpty()) {
        d += QStringLiteral("{%1}").arg(g.lyric);
    }
    if (!g.banYanAfter.isEmpty()) {
        d += QStringLiteral("[%1]").arg(g.banYanAfter);
    }
    return g.banYan + d;
}

// Each measure as "| beat beat …", each beat its glyphs joined by spaces.
QStringList spelled(const QVector<Block> &blocks) {
    QStringList out;
    for (const Block &b : blocks) {
        if (b.kind != Block::Kind::Music) {
            out << QStringLiteral("%1 %2 %3")
                       .arg(int(b.kind))
                       .arg(b.keyLabel, b.meterLabel)
                       .trimmed();
            continue;
        }
        for (const JianpuNotation::Measure &m : b.measures) {
            QStringList beats;
            for (const JianpuNotation::Beat &beat : m.beats) {
                QStringList glyphs;
                for (const Glyph &g : beat.glyphs) {
                    glyphs << spelled(g);
                }
                beats << QStringLiteral("[%1]").arg(glyphs.join(QLatin1Char(' ')));
            }
            out << (m.free ? QStringLiteral("free ") : QStringLiteral("| ")) +
                       beats.join(QLatin1Char(' ')) +
                       (m.open ? QStringLiteral(" open") : QString()) +
                       (m.dashedBar ? QStringLiteral(" :") : QString()) +
                       (m.finalBar ? QStringLiteral(" ||") : QString());
        }
    }
    return out;
}

QVector<Glyph> allGlyphs(const QVector<Block> &blocks) {
    QVector<Glyph> out;
    for (const Block &b : blocks) {
        for (const JianpuNotation::Measure &m : b.measures) {
            for (const JianpuNotation::Beat &beat : m.beats) {
                out += beat.glyphs;
            }
        }
    }
    return out;
}

// The measures of a small document, without its headings.
QStringList measuresOf(const QString &lyric, const QStringList &score,
                       const JianpuStyle &style = JianpuStyle()) {
    QStringList out;
    for (const QString &line :
         spelled(JianpuNotation::build(musicfixture::document(lyric, score), style))) {
        if (line.startsWith(QLatin1Char('|')) || line.startsWith(QLatin1String("free"))) {
            out << line;
        }
    }
    return out;
}

PageStyle jianpuStyle() {
    ExportConfig::instance()->restoreDefaults();
    PageStyle style = ExportConfig::instance()->pageStyle();
    style.notation = PageStyle::Notation::Jianpu;
    return style;
}

} // namespace

class TestJianpu : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void writtenAsACopyistWritesIt();
    void measuresAndBeatsAddUp();
    void everyValueAndOctave();
    void headingsAndLabels();
    void digitsDotsAndLinesOnThePage();
    void lyricsUnderTheirFirstNote();
    void pageNumbersAndBreaks();
    void headingsKeepTheirMusic();
    void noInkOnInkInTheSample();
    void heldNotesWithDashes_data();
    void heldNotesWithDashes();
    void headingShowsTempoAndBanShi();
    void spokenLinesBeginWithBai();
    void zengWholeOrSplit();
    void lyricsCloserThanTheNextSystem();
    void beatsStandAsGroups();
    void tiesOpenAtSystemBreaks();
    void gracesSmallBesideTheirNote();
    void finalBarEndsEveryTune();
    void oneArcFromATiedSlurStart();
    void freeOpeningMarked();
    void closingDiBanEndsTheTune();
};

void TestJianpu::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
}

void TestJianpu::writtenAsACopyistWritesIt() {
    const QStringList expected = {
        QStringLiteral("1 1=D（小工调） 4/4"),
        QStringLiteral("| [1({春}]"),
        QStringLiteral("| [、2)] [○3({花}] [●5_1 6_1)] [○2_2({秋} 1,_3 3_3V 2_3 5'_2 6''_3)]"),
        QStringLiteral("| [、1({月，}] [2] [3~] [-]"),
        QStringLiteral("| [、3] [-] [●5] [○6)]"),
        QStringLiteral("2"),
        QStringLiteral("| [、3{风}] [-] [-] [-g] ||"), // the ornament at the end
        QStringLiteral("1 1=D（小工调） 8/4"),
        QStringLiteral("| [、3({雨}] [○5] [●6] [○5] [×6] [○5] [●6] [○3]"),
        QStringLiteral("| [2)] [-] [-] [-] [-] [-] [-] [-] ||"),
        QStringLiteral("1 1=D（小工调） サ"),
        QStringLiteral("free [1({云}] [2] [3)F] [5({水}] [6)] ||"),
    };
    QCOMPARE(spelled(JianpuNotation::build(testDocument(), JianpuStyle())), expected);
}

void TestJianpu::measuresAndBeatsAddUp() {
    const music::Melody melody = musicfixture::melodyOf(testLyric, testScore);
    const QVector<Block> blocks = JianpuNotation::build(testDocument(), melody, JianpuStyle());
    int tune = -1;
    qint64 carried = 0; // a measure cut by a spoken line goes on in the next block
    bool first = true;
    for (const Block &b : blocks) {
        if (b.kind == Block::Kind::Heading) {
            ++tune;
            first = true;
            continue;
        }
        const qint64 full =
            qint64(melody.sections.at(tune).beatsPerMeasure()) * music::ticksPerBeat;
        for (const JianpuNotation::Measure &m : b.measures) {
            qint64 sum = 0;
            for (const JianpuNotation::Beat &beat : m.beats) {
                qint64 inBeat = 0;
                for (const Glyph &g : beat.glyphs) {
                    inBeat += g.duration;
                }
                if (!m.free) {
                    QCOMPARE(inBeat, beat.length); // lines never cross a beat
                }
                sum += inBeat;
            }
            if (m.free) {
                continue;
            }
            if (m.open) {
                carried += sum;
            } else if (first) {
                QVERIFY(sum <= full); // a pickup
            } else {
                QCOMPARE(carried + sum, full);
                carried = 0;
            }
            first = false;
        }
    }
    QCOMPARE(tune, 2);
}

void TestJianpu::everyValueAndOctave() {
    const QVector<Glyph> glyphs = allGlyphs(JianpuNotation::build(testDocument(), JianpuStyle()));
    QSet<QString> values;
    QSet<int> octaves;
    QSet<int> kinds;
    int ties = 0, breaths = 0, graces = 0, fermatas = 0;
    for (const Glyph &g : glyphs) {
        if (g.kind == Glyph::Kind::Note) {
            values << QStringLiteral("%1%2").arg(g.lines).arg(g.dotted ? QStringLiteral("*")
                                                                       : QString());
            octaves << g.octave;
        }
        kinds << int(g.kind);
        ties += g.tieToNext;
        breaths += g.breath;
        graces += g.gracesBefore.size() + g.gracesAfter.size();
        fermatas += g.fermata;
    }
    QCOMPARE(values, (QSet<QString>{"0", "1", "2", "3"}));
    QCOMPARE(octaves, (QSet<int>{-1, 0, 1, 2}));
    QCOMPARE(kinds, (QSet<int>{int(Glyph::Kind::Note), int(Glyph::Kind::Dash)}));
    QCOMPARE(ties, 1);
    QCOMPARE(breaths, 1);
    QVERIFY(graces >= 1);
    QCOMPARE(fermatas, 1);
}

void TestJianpu::headingsAndLabels() {
    QCOMPARE(JianpuNotation::keyLabel(music::Key::FanZi, false, false),
             QStringLiteral("1=♭E（凡字调）"));
    QCOMPARE(JianpuNotation::keyLabel(music::Key::FanZi, false, true),
             QStringLiteral("1=E♭（凡字调）"));
    QCOMPARE(JianpuNotation::keyLabel(music::Key::FanZi, true, false),
             QStringLiteral("1=E（凡字调）"));
    QCOMPARE(JianpuNotation::keyLabel(music::Key::ShangZi, false, false),
             QStringLiteral("1=♭B（上字调）"));
    QCOMPARE(JianpuNotation::keyLabel(music::Key::ZhengGong, false, false),
             QStringLiteral("1=G（正工调）"));
    JianpuStyle word;
    word.sanBanWord = true;
    const QVector<Block> blocks = JianpuNotation::build(testDocument(), word);
    QStringList headings;
    for (const Block &b : blocks) {
        if (b.kind == Block::Kind::Heading) {
            headings << b.text + QLatin1Char(' ') + b.meterLabel;
        }
    }
    QCOMPARE(headings, (QStringList{QStringLiteral("【第一】 4/4"), QStringLiteral("【第二】 8/4"),
                                    QStringLiteral("【第三】 散板")}));
    // A 1 = 上 one octave up reads the same digits.
    const QVector<Glyph> up = allGlyphs(JianpuNotation::build(
        musicfixture::document(QStringLiteral("; 八度=1 板式=散板\n春"), {QStringLiteral("上")}),
        JianpuStyle()));
    QCOMPARE(up.first().digit, 1);
    QCOMPARE(up.first().octave, 0);
}

void TestJianpu::digitsDotsAndLinesOnThePage() {
    const PageStyle style = jianpuStyle();
    Typesetter engine;
    engine.generate(style, testDocument(), false);
    QCOMPARE(engine.pages().size(), 1);
    const SvgPage page = parseSvgPage(engine.pages().first());
    QVERIFY(page.ok);
    const QVector<Glyph> glyphs = allGlyphs(JianpuNotation::build(testDocument(), style.jianpu));

    // Every digit of the notation, in the note font, in order along the systems.
    const qreal em = style.jianpu.noteFont.pointSize();
    QList<SvgText> digits;
    for (const SvgText &t : page.texts) {
        if (t.text.size() == 1 && t.text.at(0).isDigit() && qAbs(t.fontSize - em) < 0.5) {
            digits << t;
        }
    }
    int notes = 0;
    for (const Glyph &g : glyphs) {
        notes += g.kind == Glyph::Kind::Note || g.kind == Glyph::Kind::Rest;
    }
    QCOMPARE(digits.size(), notes);
    int d = 0;
    for (const Glyph &g : glyphs) {
        if (g.kind == Glyph::Kind::Note) {
            QCOMPARE(digits.at(d++).text, QString::number(g.digit));
        }
    }

    // The octave dots: above a high digit, below a low one, one per octave.
    int k = 0;
    for (const Glyph &g : glyphs) {
        if (g.kind != Glyph::Kind::Note) {
            continue;
        }
        const SvgText &digit = digits.at(k++);
        const QPointF at = digit.transform.map(digit.origin);
        const qreal centreX = at.x() + digit.deviceMetrics().horizontalAdvance(digit.text) / 2;
        int above = 0, below = 0;
        for (const SvgDot &dot : page.dots) {
            if (qAbs(dot.centre.x() - centreX) > 0.5) {
                continue;
            }
            if (dot.centre.y() < at.y() - em * 0.6 && dot.centre.y() > at.y() - em * 1.3) {
                ++above;
            } else if (dot.centre.y() > at.y() && dot.centre.y() < at.y() + em * 1.3) {
                ++below;
            }
        }
        if (!g.fermata) { // its dot stands over the digit too
            QCOMPARE(above, std::max(0, g.octave));
        }
        QCOMPARE(below, std::max(0, -g.octave));
    }

    // Reduction lines: horizontal, under the digits, one run per beat and level.
    int runs = 0;
    const QVector<Block> blocks = JianpuNotation::build(testDocument(), style.jianpu);
    for (const Block &b : blocks) {
        for (const JianpuNotation::Measure &m : b.measures) {
            for (const JianpuNotation::Beat &beat : m.beats) {
                for (int level = 1; level <= 4; ++level) {
                    bool in = false;
                    for (const Glyph &g : beat.glyphs) {
                        const bool has = g.kind != Glyph::Kind::Dot && g.lines >= level;
                        runs += has && !in;
                        in = has;
                    }
                }
            }
        }
    }
    int horizontal = 0;
    for (const SvgLine &l : page.lines) {
        horizontal += qFuzzyCompare(l.line.y1() + 1, l.line.y2() + 1) && l.line.length() > 1;
    }
    // The dashes of held notes are horizontal lines too, and the two lines
    // under each group of graces.
    int dashes = 0, graceLines = 0;
    for (const Glyph &g : glyphs) {
        dashes += g.kind == Glyph::Kind::Dash;
        graceLines += 2 * (int(!g.gracesBefore.isEmpty()) + int(!g.gracesAfter.isEmpty()));
    }
    QVERIFY(graceLines > 0);
    QCOMPARE(horizontal, runs + dashes + graceLines);
}

void TestJianpu::lyricsUnderTheirFirstNote() {
    Typesetter engine;
    engine.generate(jianpuStyle(), testDocument(), false);
    const SvgPage page = parseSvgPage(engine.pages().first());
    const QVector<SourceArea> areas = engine.sourceAreas(0);
    const QString sung = QStringLiteral("春花秋月风雨云水");
    int found = 0;
    for (const SourceArea &a : areas) {
        if (a.kind != SourceArea::Character) {
            continue;
        }
        // Its first note: the first symbol area of the same character.
        const SourceArea *note = nullptr;
        for (const SourceArea &s : areas) {
            if (s.kind == SourceArea::Symbol && s.character == a.character) {
                note = &s;
                break;
            }
        }
        QVERIFY(note);
        QVERIFY2(qAbs(a.rect.center().x() - note->rect.center().x()) < 0.6,
                 qPrintable(QString::number(a.character)));
        QVERIFY(a.rect.top() > note->rect.bottom());
        // And the page holds the character there.
        const QChar c = sung.at(a.character);
        bool onPage = false;
        for (const SvgText &t : page.texts) {
            if (t.text.startsWith(c) &&
                qAbs(t.transform.map(t.origin).y() - a.rect.bottom()) < a.rect.height()) {
                onPage = true;
            }
        }
        QVERIFY2(onPage, qPrintable(QString(c)));
        ++found;
    }
    QCOMPARE(found, sung.size());
    // With its punctuation, unless the style hides punctuation.
    QVERIFY(!page.textsOf(QStringLiteral("月，")).isEmpty());
    PageStyle plain = jianpuStyle();
    plain.hiddenSymbol = true;
    plain.jianpu.banYanSigns = false;
    Typesetter bare;
    bare.generate(plain, testDocument(), false);
    const SvgPage barePage = parseSvgPage(bare.pages().first());
    QVERIFY(barePage.textsOf(QStringLiteral("月，")).isEmpty());
    QVERIFY(!barePage.textsOf(QStringLiteral("月")).isEmpty());
    // Without the 板眼 signs.
    QVERIFY(!page.textsOf(QStringLiteral("、")).isEmpty());
    QVERIFY(barePage.textsOf(QStringLiteral("、")).isEmpty());
    QVERIFY(barePage.textsOf(QStringLiteral("○")).isEmpty());
}

void TestJianpu::pageNumbersAndBreaks() {
    QString lyric = QStringLiteral("; 板式=一板三眼\n【第一】\n春花\n@分页符\n秋月\n@换行符\n风");
    const QStringList score = {QStringLiteral("上、"), QStringLiteral("尺○工●六○"),
                               QStringLiteral("五、"), QStringLiteral("六○五●工○"),
                               QStringLiteral("尺、")};
    Typesetter engine;
    const PageStyle style = jianpuStyle();
    engine.generate(style, musicfixture::document(lyric, score), false);
    QCOMPARE(engine.pages().size(), 2);
    for (int p = 0; p < 2; ++p) {
        const SvgPage page = parseSvgPage(engine.pages().at(p));
        const QList<SvgText> numbers = page.textsOf(QString::number(p + 1));
        QVERIFY(!numbers.isEmpty());
        const SvgText &number = numbers.last();
        QVERIFY(number.transform.map(number.origin).y() >
                style.pageSize().height() - style.marginBottom -
                    style.jianpu.noteFont.pointSize() * 2);
    }
    // 秋 begins the second page; 风 a system of its own below 秋月's.
    const QVector<SourceArea> second = engine.sourceAreas(1);
    QRectF qiu, feng;
    for (const SourceArea &a : second) {
        if (a.kind == SourceArea::Character && a.character == 2) {
            qiu = a.rect;
        }
        if (a.kind == SourceArea::Character && a.character == 4) {
            feng = a.rect;
        }
    }
    QVERIFY(!qiu.isNull() && !feng.isNull());
    QVERIFY(feng.top() > qiu.bottom());
    QVERIFY(qAbs(feng.left() - qiu.left()) < style.jianpu.beatWidth);
}

void TestJianpu::headingsKeepTheirMusic() {
    // Tunes one after another until several pages are full: no page may end
    // with a heading whose music begins on the next.
    QString lyric;
    QStringList score;
    for (int i = 0; i < 40; ++i) {
        lyric += QStringLiteral("【曲%1】\n; 板式=一板三眼\n春花秋月\n").arg(i);
        score << QStringLiteral("上、") << QStringLiteral("尺○工●六○") << QStringLiteral("五、")
              << QStringLiteral("六○五●工○");
    }
    Typesetter engine;
    engine.generate(jianpuStyle(), musicfixture::document(lyric, score), false);
    QVERIFY(engine.pages().size() >= 3);
    for (int p = 0; p < engine.pages().size(); ++p) {
        const SvgPage page = parseSvgPage(engine.pages().at(p));
        qreal lastHeading = -1, lastLyric = -1;
        for (const SvgText &t : page.texts) {
            const qreal y = t.transform.map(t.origin).y();
            if (t.text.startsWith(QStringLiteral("【"))) {
                lastHeading = std::max(lastHeading, y);
            }
            if (t.text.startsWith(QStringLiteral("春"))) {
                lastLyric = std::max(lastLyric, y);
            }
        }
        QVERIFY2(lastHeading < lastLyric, qPrintable(QStringLiteral("page %1").arg(p + 1)));
    }
}

void TestJianpu::noInkOnInkInTheSample() {
    QString lyric, score;
    QVERIFY(readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"),
                          &lyric, &score));
    Typesetter engine;
    engine.generate(jianpuStyle(), renderModel(lyric, score), false);
    QVERIFY(engine.pages().size() >= 2);
    for (int p = 0; p < engine.pages().size(); ++p) {
        const InkCollisions collisions(engine.pageCanvas(p));
        QStringList found;
        for (const InkCollisions::Overlap &o : collisions.overlaps()) {
            found << collisions.inks().at(o.first).text + QStringLiteral(" / ") +
                         collisions.inks().at(o.second).text;
        }
        QVERIFY2(
            found.isEmpty(),
            qPrintable(
                QStringLiteral("page %1: %2").arg(p + 1).arg(found.join(QStringLiteral(", ")))));
    }
}

// A held note: dashes for its whole beats; a tie only across a bar line or
// from inside a beat. The breath and the graces after it stand at its end.
// The notes of a 4/4 tune take the given numbers of half beats.
void TestJianpu::heldNotesWithDashes_data() {
    QTest::addColumn<QList<int>>("halves");
    QTest::addColumn<bool>("breathAndGrace"); // after the third note
    QTest::addColumn<QStringList>("measures");
    QTest::newRow("whole beats") << QList<int>{4, 2, 2, 8} << false
                                 << QStringList{QStringLiteral("| [1] [-] [2] [3]"),
                                                QStringLiteral("| [5] [-] [-] [-] ||")};
    QTest::newRow("from inside a beat") << QList<int>{1, 5, 2, 8} << false
                                        << QStringList{QStringLiteral("| [1_1 2_1~] [2] [-] [3]"),
                                                       QStringLiteral("| [5] [-] [-] [-] ||")};
    QTest::newRow("across the bar line") << QList<int>{4, 2, 4, 6} << false
                                         << QStringList{QStringLiteral("| [1] [-] [2] [3~]"),
                                                        QStringLiteral("| [3] [5] [-] [-] ||")};
    QTest::newRow("dotted") << QList<int>{3, 1, 4, 8} << false
                            << QStringList{QStringLiteral("| [1] [. 2_1] [3] [-]"),
                                           QStringLiteral("| [5] [-] [-] [-] ||")};
    // Half a beat after dashes: the digit again, tied, never a dot after a dash.
    QTest::newRow("half a beat after a dash")
        << QList<int>{5, 1, 2, 8} << false
        << QStringList{QStringLiteral("| [1~] [-] [1_1 2_1] [3]"),
                       QStringLiteral("| [5] [-] [-] [-] ||")};
    QTest::newRow("half a beat after dashes")
        << QList<int>{7, 1, 2, 6} << false
        << QStringList{QStringLiteral("| [1~] [-] [-] [1_1 2_1]"),
                       QStringLiteral("| [3] [5] [-] [-] ||")};
    QTest::newRow("breath and grace after the dashes")
        << QList<int>{2, 2, 4, 8} << true
        << QStringList{QStringLiteral("| [1] [2] [3] [-Vg]"),
                       QStringLiteral("| [5] [-] [-] [-] ||")};
}

void TestJianpu::heldNotesWithDashes() {
    QFETCH(QList<int>, halves);
    QFETCH(bool, breathAndGrace);
    QFETCH(QStringList, measures);
    const QString lyric = QStringLiteral("; 板式=一板三眼\n【甲】\n春花秋月");
    const QStringList score = {QStringLiteral("上、"), QStringLiteral("尺○"), QStringLiteral("工●"),
                               QStringLiteral("六○")};
    music::Melody melody = musicfixture::melodyOf(lyric, score);
    QCOMPARE(melody.notes.size(), halves.size());
    music::Section &section = melody.sections.last();
    qint64 t = section.start;
    QCOMPARE(section.firstDownbeat, t);
    for (int i = 0; i < halves.size(); ++i) {
        music::Note &note = melody.notes[i];
        note.onset = t;
        note.duration = halves.at(i) * music::ticksPerBeat / 2;
        note.lyric.clear();
        note.gracesAfter.clear();
        note.gracesBefore.clear();
        note.breathAfter = breathAndGrace && i == 2;
        if (breathAndGrace && i == 2) {
            note.gracesAfter = {note.midi + 2};
        }
        t += note.duration;
    }
    section.end = t;
    JianpuStyle style;
    style.banYanSigns = false;
    QStringList written;
    for (const QString &line :
         spelled(JianpuNotation::build(musicfixture::document(lyric, score), melody, style))) {
        if (line.startsWith(QLatin1Char('|'))) {
            written << line;
        }
    }
    QCOMPARE(written, measures);
}

void TestJianpu::headingShowsTempoAndBanShi() {
    const QVector<Block> blocks = JianpuNotation::build(testDocument(), JianpuStyle());
    QStringList headings;
    for (const Block &b : blocks) {
        if (b.kind == Block::Kind::Heading) {
            headings << QStringList{b.meterLabel, b.banShiLabel, b.tempoLabel}.join(
                QLatin1Char(' '));
        }
    }
    QCOMPARE(headings, (QStringList{QStringLiteral("4/4 一板三眼 ♩=60"),
                                    QStringLiteral("8/4 加赠一板三眼 ♩=60"),
                                    QStringLiteral("サ 散板 ♩=60")}));
    // On the page, on the line of the key and the meter.
    Typesetter engine;
    engine.generate(jianpuStyle(), testDocument(), false);
    const SvgPage page = parseSvgPage(engine.pages().first());
    const QList<SvgText> tempo = page.textsOf(QStringLiteral("♩=60"));
    QCOMPARE(tempo.size(), 3);
    QString line; // the texts of the first heading's line, left to right
    QList<SvgText> onLine;
    for (const SvgText &t : page.texts) {
        if (qAbs(t.transform.map(t.origin).y() -
                 tempo.first().transform.map(tempo.first().origin).y()) < 0.5) {
            onLine << t;
        }
    }
    std::sort(onLine.begin(), onLine.end(), [](const SvgText &a, const SvgText &b) {
        return a.transform.map(a.origin).x() < b.transform.map(b.origin).x();
    });
    for (const SvgText &t : onLine) {
        line += t.text;
    }
    line.remove(QLatin1Char(' '));
    QCOMPARE(line, QStringLiteral("1=D（小工调）4/4一板三眼♩=60"));
}

void TestJianpu::spokenLinesBeginWithBai() {
    const QString lyric = QStringLiteral("; 板式=一板三眼\n【甲】\n春\n> 好景致！\n= 白：且住\n花");
    const QVector<Block> blocks = JianpuNotation::build(
        musicfixture::document(lyric, {QStringLiteral("上、尺○工●六○"), QStringLiteral("五、")}),
        JianpuStyle());
    QStringList spoken;
    for (const Block &b : blocks) {
        if (b.kind == Block::Kind::Speech) {
            spoken << b.text;
        }
    }
    // Written once, even where the text has it already.
    QCOMPARE(spoken, (QStringList{QStringLiteral("白：好景致！"), QStringLiteral("白：且住")}));
}

void TestJianpu::zengWholeOrSplit() {
    const QString lyric = QStringLiteral("; 板式=加赠一板三眼\n【甲】\n春花");
    const QStringList score = {QStringLiteral("工、六○五●六○五×六○五●工○"), QStringLiteral("尺、")};
    QCOMPARE(measuresOf(lyric, score),
             (QStringList{QStringLiteral("| [、3({春}] [○5] [●6] [○5] [×6] [○5] [●6] [○3)]"),
                          QStringLiteral("| [、2{花}] [-] [-] [-] [-] [-] [-] [-] ||")}));
    // Split at the 赠板: dashes stop at the dashed bar line, a tie crosses it.
    JianpuStyle split;
    split.splitZeng = true;
    QCOMPARE(measuresOf(lyric, score, split),
             (QStringList{QStringLiteral("| [、3({春}] [○5] [●6] [○5] :"),
                          QStringLiteral("| [×6] [○5] [●6] [○3)]"),
                          QStringLiteral("| [、2~{花}] [-] [-] [-] :"),
                          QStringLiteral("| [2] [-] [-] [-] ||")}));
    for (const Block &b : JianpuNotation::build(musicfixture::document(lyric, score), split)) {
        if (b.kind == Block::Kind::Heading) {
            QCOMPARE(b.meterLabel, QStringLiteral("4/4"));
        }
    }
}

namespace {

qreal inkTop(const SvgText &t) {
    return t.transform.map(t.origin + QPointF(0, t.deviceMetrics().tightBoundingRect(t.text).top()))
        .y();
}
qreal inkBottom(const SvgText &t) {
    return t.transform
        .map(t.origin + QPointF(0, t.deviceMetrics().tightBoundingRect(t.text).bottom()))
        .y();
}
qreal baselineOf(const SvgText &t) {
    return t.transform.map(t.origin).y();
}
bool isDigit(const SvgText &t, qreal em) {
    return t.text.size() == 1 && t.text.at(0).isDigit() && qAbs(t.fontSize - em) < 0.5;
}
// The digits of the notes on page (the note font is em), as the SVG has them.
QList<SvgText> digitsOf(const SvgPage &page, qreal em) {
    QList<SvgText> digits;
    for (const SvgText &t : page.texts) {
        if (isDigit(t, em)) {
            digits << t;
        }
    }
    return digits;
}
// The first page of document typeset with style.
SvgPage firstPage(const PageStyle &style, const DocumentLines &document) {
    Typesetter engine;
    engine.generate(style, document, false);
    return engine.pages().isEmpty() ? SvgPage() : parseSvgPage(engine.pages().first());
}
bool isHan(const SvgText &t) {
    return !t.text.isEmpty() && t.text.at(0).unicode() >= 0x4E00 && t.text.at(0).unicode() < 0xA000;
}

// The baselines of the systems of a page: where its digits stand.
QList<qreal> systemBaselines(const SvgPage &page, qreal em) {
    QList<qreal> out;
    for (const SvgText &t : page.texts) {
        if (isDigit(t, em) && std::none_of(out.begin(), out.end(),
                                           [&](qreal y) { return qAbs(y - baselineOf(t)) < 1; })) {
            out << baselineOf(t);
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

// A long tune: of every three measures, the first held across its bar line
// into the second.
DocumentLines tiedTune(int characters) {
    QString lyric = QStringLiteral("; 板式=一板三眼\n【甲】\n");
    QStringList score;
    const QString chars = QStringLiteral("春花秋月好景致风雨云水天");
    for (int i = 0; i < characters; ++i) {
        lyric += chars.at(i % chars.size());
        score << (i % 2 ? QStringLiteral("上、尺○工●六○") : QStringLiteral("上、尺工Y六●五○"));
    }
    return musicfixture::document(lyric, score);
}

} // namespace

// Under the lowest ink of its notes, a small fixed gap; the next system
// clearly further away.
void TestJianpu::lyricsCloserThanTheNextSystem() {
    QString lyric, score;
    QVERIFY(readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"),
                          &lyric, &score));
    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    int systems = 0;
    for (const DocumentLines &document :
         {testDocument(), tiedTune(30), renderModel(lyric, score)}) {
        Typesetter engine;
        engine.generate(style, document, false);
        for (const QByteArray &svg : engine.pages()) {
            const SvgPage page = parseSvgPage(svg);
            const QList<qreal> baselines = systemBaselines(page, em);
            for (int i = 0; i + 1 < baselines.size(); ++i) {
                const qreal b = baselines.at(i), next = baselines.at(i + 1);
                // The lyric row: the first row of characters under the digits.
                qreal row = next;
                for (const SvgText &t : page.texts) {
                    if (isHan(t) && baselineOf(t) > b + 1 && baselineOf(t) < row &&
                        baselineOf(t) < b + em * 3 && qAbs(t.fontSize - em) < 0.5) {
                        row = baselineOf(t);
                    }
                }
                if (row >= next) {
                    continue; // a system without lyrics
                }
                qreal lyricTop = row, lyricBottom = row;
                for (const SvgText &t : page.texts) {
                    if (isHan(t) && qAbs(baselineOf(t) - row) < 0.5) {
                        lyricTop = std::min(lyricTop, inkTop(t));
                        lyricBottom = std::max(lyricBottom, inkBottom(t));
                    }
                }
                qreal notes = b; // digits end on their baseline
                for (const SvgLine &l : page.lines) {
                    if (l.line.y1() > b && l.line.y1() < lyricTop &&
                        qFuzzyCompare(l.line.y1(), l.line.y2())) {
                        notes = std::max(notes, l.line.y1());
                    }
                }
                for (const SvgDot &d : page.dots) {
                    if (d.centre.y() > b && d.centre.y() < lyricTop) {
                        notes = std::max(notes, d.centre.y() + d.radius);
                    }
                }
                qreal nextTop = next;
                for (const SvgText &t : page.texts) {
                    if (baselineOf(t) > row + 1 && baselineOf(t) <= next + 0.5) {
                        nextTop = std::min(nextTop, inkTop(t));
                    }
                }
                for (const SvgDot &d : page.dots) {
                    if (d.centre.y() > lyricBottom && d.centre.y() < next) {
                        nextTop = std::min(nextTop, d.centre.y() - d.radius);
                    }
                }
                for (const SvgPath &p : page.paths) {
                    for (const QPointF &point : p.points) {
                        if (point.y() > lyricBottom && point.y() < next) {
                            nextTop = std::min(nextTop, point.y());
                        }
                    }
                }
                const qreal lyricGap = lyricTop - notes;
                const qreal systemGap = nextTop - lyricBottom;
                const QString where = QStringLiteral("system at %1: lyric gap %2, system gap %3")
                                          .arg(b)
                                          .arg(lyricGap)
                                          .arg(systemGap);
                QVERIFY2(lyricGap > 0 && lyricGap < style.jianpu.lyricDistance + 2,
                         qPrintable(where));
                QVERIFY2(systemGap > 2 * lyricGap, qPrintable(where));
                ++systems;
            }
        }
    }
    QVERIFY(systems > 10);
}

// The glyphs of a beat stand together: the gap between two beats is never
// narrower than a gap inside either; a bar line has as much room on its left
// as on its right.
void TestJianpu::beatsStandAsGroups() {
    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    QString lyric, score;
    QVERIFY(readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"),
                          &lyric, &score));
    int between = 0, bars = 0;
    for (const DocumentLines &document : {testDocument(), renderModel(lyric, score)}) {
        struct Written {
            Glyph glyph;
            int beat;
            bool firstOfBeat, lastOfBeat;
        };
        QVector<Written> written; // the digits, in order
        int beat = 0;
        for (const Block &b : JianpuNotation::build(document, style.jianpu)) {
            for (const JianpuNotation::Measure &m : b.measures) {
                for (const JianpuNotation::Beat &bt : m.beats) {
                    for (int i = 0; i < bt.glyphs.size(); ++i) {
                        const Glyph &g = bt.glyphs.at(i);
                        if (g.kind == Glyph::Kind::Note || g.kind == Glyph::Kind::Rest) {
                            written.append({g, beat, i == 0, i + 1 == bt.glyphs.size()});
                        }
                    }
                    ++beat;
                }
            }
        }
        Typesetter engine;
        engine.generate(style, document, false);
        QList<SvgText> digits;
        QList<SvgPage> pages;
        for (const QByteArray &svg : engine.pages()) {
            pages << parseSvgPage(svg);
            for (const SvgText &t : pages.last().texts) {
                if (isDigit(t, em)) {
                    digits << t;
                }
            }
        }
        QCOMPARE(digits.size(), written.size());
        const auto left = [&](int i) {
            return digits.at(i).transform.map(digits.at(i).origin).x();
        };
        const auto right = [&](int i) {
            return left(i) + digits.at(i).deviceMetrics().horizontalAdvance(digits.at(i).text) +
                   (written.at(i).glyph.dotted ? em * 0.3 : 0);
        };
        const auto plain = [&](const Glyph &g) {
            return g.gracesBefore.isEmpty() && g.gracesAfter.isEmpty() && !g.sharp && !g.breath;
        };
        QHash<int, qreal> inner;
        struct Pair {
            int a, b;
            qreal gap;
        };
        QVector<Pair> pairs;
        for (int i = 0; i + 1 < written.size(); ++i) {
            if (qAbs(baselineOf(digits.at(i)) - baselineOf(digits.at(i + 1))) > 0.5 ||
                !plain(written.at(i).glyph) || !plain(written.at(i + 1).glyph)) {
                continue;
            }
            const qreal gap = left(i + 1) - right(i);
            if (written.at(i).beat == written.at(i + 1).beat) {
                inner[written.at(i).beat] = std::max(inner.value(written.at(i).beat), gap);
            } else if (written.at(i + 1).beat == written.at(i).beat + 1 &&
                       written.at(i).lastOfBeat && written.at(i + 1).firstOfBeat) {
                pairs.append({written.at(i).beat, written.at(i + 1).beat, gap});
            }
        }
        for (const Pair &p : pairs) {
            QVERIFY2(p.gap + 0.01 >= std::max(inner.value(p.a), inner.value(p.b)),
                     qPrintable(QStringLiteral("beats %1/%2: %3 between, %4 and %5 inside")
                                    .arg(p.a)
                                    .arg(p.b)
                                    .arg(p.gap)
                                    .arg(inner.value(p.a))
                                    .arg(inner.value(p.b))));
            ++between;
        }
        // Bar lines: as much room to the ink on their left (a digit or a
        // dash) as to the digit on their right.
        for (const SvgPage &page : pages) {
            for (const SvgLine &l : page.lines) {
                if (!qFuzzyCompare(l.line.x1(), l.line.x2()) || l.line.length() < em * 0.5) {
                    continue;
                }
                const qreal x = l.line.x1();
                const qreal y1 = std::min(l.line.y1(), l.line.y2());
                const qreal y2 = std::max(l.line.y1(), l.line.y2());
                qreal baseline = -1;
                QList<QPair<qreal, qreal>> inks; // left and right of the system's digits and dashes
                for (const SvgText &t : page.texts) {
                    if (isDigit(t, em) && baselineOf(t) > y1 && baselineOf(t) < y2) {
                        const qreal tl = t.transform.map(t.origin).x();
                        inks.append({tl, tl + t.deviceMetrics().horizontalAdvance(t.text)});
                        baseline = baselineOf(t);
                    }
                }
                for (const SvgLine &d : page.lines) {
                    if (qFuzzyCompare(d.line.y1(), d.line.y2()) && d.line.y1() > y1 &&
                        d.line.y1() < baseline - 1 && d.line.length() < em) {
                        // A dash: its ink is 0.8 of the room it takes.
                        const qreal pad = d.line.length() * 0.125;
                        inks.append({std::min(d.line.x1(), d.line.x2()) - pad,
                                     std::max(d.line.x1(), d.line.x2()) + pad});
                    }
                }
                qreal before = -1, after = -1;
                for (const auto &ink : inks) {
                    if (ink.second <= x && (before < 0 || x - ink.second < before)) {
                        before = x - ink.second;
                    }
                    if (ink.first >= x && (after < 0 || ink.first - x < after)) {
                        after = ink.first - x;
                    }
                }
                if (before < 0 || after < 0) {
                    continue; // at the end of a system
                }
                // Not where a dot, a breath or a grace stands in the gap.
                bool other = false;
                for (const SvgDot &d : page.dots) {
                    other |= d.centre.x() > x - before && d.centre.x() < x + after &&
                             d.centre.y() > y1 && d.centre.y() < baseline;
                }
                for (const SvgText &t : page.texts) {
                    const qreal tx = t.transform.map(t.origin).x();
                    other |= t.fontSize < em * 0.7 && tx > x - before - em && tx < x + after &&
                             baselineOf(t) > y1 && baselineOf(t) < y2;
                }
                if (other) {
                    continue;
                }
                QVERIFY2(qAbs(before - after) < 0.3,
                         qPrintable(QStringLiteral("bar at %1, %2: %3 before, %4 after")
                                        .arg(x)
                                        .arg(baseline)
                                        .arg(before)
                                        .arg(after)));
                ++bars;
            }
        }
    }
    QVERIFY(between > 50);
    QVERIFY(bars > 10);
}

// A tie cut by the end of a system leaves into the right margin and comes
// back from the left margin, level there: no small arc over one note.
void TestJianpu::tiesOpenAtSystemBreaks() {
    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    Typesetter engine;
    engine.generate(style, tiedTune(24), false);
    const qreal leftEdge = style.marginLeft;
    const qreal rightEdge = style.pageSize().width() - style.marginRight;
    int leaving = 0, entering = 0, arcs = 0;
    for (const QByteArray &svg : engine.pages()) {
        const SvgPage page = parseSvgPage(svg);
        for (const SvgPath &p : page.paths) {
            const qreal x1 = std::min(p.start.x(), p.end.x());
            const qreal x2 = std::max(p.start.x(), p.end.x());
            if (x2 - x1 < em * 0.2) {
                continue; // a grace's slur
            }
            ++arcs;
            if (x2 > rightEdge + em * 0.5) {
                ++leaving;
                // Up from the note, level at the margin.
                const QPointF &out = p.start.x() > p.end.x() ? p.start : p.end;
                const QPointF &in = p.start.x() > p.end.x() ? p.end : p.start;
                QVERIFY(out.y() < in.y());
                QVERIFY(x1 < rightEdge);
            }
            if (x1 < leftEdge - em * 0.5) {
                ++entering;
                const QPointF &out = p.start.x() < p.end.x() ? p.start : p.end;
                const QPointF &in = p.start.x() < p.end.x() ? p.end : p.start;
                QVERIFY(out.y() < in.y());
                QVERIFY(in.x() > leftEdge); // ends on a note inside the system
            }
        }
    }
    QVERIFY(leaving >= 2);
    QCOMPARE(entering, leaving);
    QVERIFY(arcs > leaving + entering);
}

// Graces: small sixteenths on the upper half of the digits' height, their
// lines under them, a clear gap from their note and joined to it by a short
// arc, before or after it as they sound.
void TestJianpu::gracesSmallBesideTheirNote() {
    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    const QString lyric = QStringLiteral("; 板式=一板三眼\n【甲】\n春花秋");
    // 豁腔 (H) sounds after its note; 擻腔 (S) ornaments it within.
    const QStringList score = {QStringLiteral("工、H六○"), QStringLiteral("五●S六○"),
                               QStringLiteral("尺、")};
    const DocumentLines document = musicfixture::document(lyric, score);
    int before = 0, after = 0;
    for (const Glyph &g : allGlyphs(JianpuNotation::build(document, style.jianpu))) {
        before += g.gracesBefore.size();
        after += g.gracesAfter.size();
    }
    QVERIFY(before + after >= 2);
    const SvgPage page = firstPage(style, document);
    const qreal foot = style.pageSize().height() - style.marginBottom - em * 2;
    int left = 0, right = 0;
    for (const SvgText &grace : page.texts) {
        if (grace.text.size() != 1 || !grace.text.at(0).isDigit() || grace.fontSize >= em - 0.5 ||
            baselineOf(grace) > foot) {
            continue;
        }
        QVERIFY(grace.fontSize < em * 0.7);
        // The digits of its system: the nearest one.
        const SvgText *digit = nullptr;
        qreal best = 1e9;
        for (const SvgText &t : page.texts) {
            if (isDigit(t, em) && QLineF(t.centre(), grace.centre()).length() < best) {
                best = QLineF(t.centre(), grace.centre()).length();
                digit = &t;
            }
        }
        QVERIFY(digit && best < em * 3);
        // On the upper half of the digits, not above them as an exponent.
        const qreal top = inkTop(*digit), bottom = inkBottom(*digit);
        QVERIFY2(inkBottom(grace) <= bottom - (bottom - top) * 0.35,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(inkBottom(grace)).arg(top).arg(bottom)));
        QVERIFY(inkTop(grace) >= top - em * 0.15);
        // A clear gap from every digit, its note's too.
        const qreal gl = grace.transform.map(grace.origin).x();
        const qreal gr = gl + grace.deviceMetrics().horizontalAdvance(grace.text);
        const QRectF graceInk = grace.deviceMetrics().tightBoundingRect(grace.text);
        for (const SvgText &t : page.texts) {
            if (isDigit(t, em) && qAbs(baselineOf(t) - baselineOf(*digit)) < 0.5) {
                const qreal nl = t.transform.map(t.origin).x();
                const QRectF ink = t.deviceMetrics().tightBoundingRect(t.text);
                const qreal gap = std::max(nl + ink.left() - (gl + graceInk.right()),
                                           gl + graceInk.left() - (nl + ink.right()));
                QVERIFY2(gap >= em * 0.15, qPrintable(QString::number(gap)));
            }
        }
        // Written as a short note: two reduction lines of its own under it,
        // above the digits' baseline.
        int lines = 0;
        const qreal graceCentre = gl + graceInk.center().x();
        for (const SvgLine &l : page.lines) {
            const qreal y = l.line.y1();
            if (qAbs(l.line.y2() - y) < 0.01 && y > inkBottom(grace) && y < baselineOf(*digit) &&
                std::min(l.line.x1(), l.line.x2()) < graceCentre &&
                std::max(l.line.x1(), l.line.x2()) > graceCentre) {
                ++lines;
            }
        }
        QCOMPARE(lines, 2);
        // A short arc joins it to its note (a digit, or the dash that holds it):
        // the arc's other end tells which side the grace stands on.
        const SvgPath *arc = nullptr;
        for (const SvgPath &p : page.paths) {
            const qreal x1 = std::min(p.start.x(), p.end.x());
            const qreal x2 = std::max(p.start.x(), p.end.x());
            if (x2 - x1 < em * 1.5 && x1 <= gr && x2 >= gl && qAbs(p.start.y() - top) < em * 0.5) {
                arc = &p;
            }
        }
        QVERIFY(arc);
        // Its note's end: the one over no grace digit.
        const auto overGrace = [&](qreal x) {
            for (const SvgText &t : page.texts) {
                const qreal tl = t.transform.map(t.origin).x();
                if (t.text.size() == 1 && t.fontSize < em * 0.7 &&
                    qAbs(baselineOf(t) - baselineOf(grace)) < 0.5 && x >= tl - 0.3 &&
                    x <= tl + t.deviceMetrics().horizontalAdvance(t.text) + 0.3) {
                    return true;
                }
            }
            return false;
        };
        const qreal noteEnd = overGrace(arc->start.x()) ? arc->end.x() : arc->start.x();
        QVERIFY(!overGrace(noteEnd));
        (noteEnd > (gl + gr) / 2 ? left : right)++;
    }
    QCOMPARE(left, before);
    QCOMPARE(right, after);
}

namespace {

// The thick strokes of final double bars on a page, each beside its thin one.
QList<QLineF> finalBars(const SvgPage &page, qreal em) {
    QList<QLineF> out;
    for (const SvgLine &thick : page.lines) {
        if (qAbs(thick.line.dx()) > 0.01 || thick.width < em * 0.12) {
            continue;
        }
        for (const SvgLine &thin : page.lines) {
            const qreal dx = thick.line.x1() - thin.line.x1();
            if (qAbs(thin.line.dx()) < 0.01 && thin.width < em * 0.08 && dx > 0 && dx < em * 0.4 &&
                qAbs(thin.line.y1() - thick.line.y1()) < 0.1 &&
                qAbs(thin.line.y2() - thick.line.y2()) < 0.1) {
                out << thick.line;
                break;
            }
        }
    }
    return out;
}

// The arcs of a page that start or end at x, longer than a grace's.
int arcsAt(const SvgPage &page, qreal x, qreal em) {
    int n = 0;
    for (const SvgPath &p : page.paths) {
        if (qAbs(p.end.x() - p.start.x()) >= em * 0.6 &&
            (qAbs(p.start.x() - x) < 0.5 || qAbs(p.end.x() - x) < 0.5)) {
            ++n;
        }
    }
    return n;
}

} // namespace

// Every tune ends with a double bar: after its last note on the last system,
// and before the next tune's heading.
void TestJianpu::finalBarEndsEveryTune() {
    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    QString lyric, score;
    QVERIFY(readScoreFile(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"),
                          &lyric, &score));
    const DocumentLines twoTunes =
        musicfixture::document(QStringLiteral("; 板式=一板三眼\n【甲】\n春花\n【乙】\n秋月"),
                               {QStringLiteral("上、尺○工●六○"), QStringLiteral("五、六○"),
                                QStringLiteral("工、尺○"), QStringLiteral("上●")});
    for (const DocumentLines &document : {twoTunes, renderModel(lyric, score)}) {
        int tunes = 0;
        for (const Block &b : JianpuNotation::build(document, style.jianpu)) {
            tunes += b.kind == Block::Kind::Heading;
        }
        Typesetter engine;
        engine.generate(style, document, false);
        int bars = 0;
        for (int p = 0; p < engine.pages().size(); ++p) {
            const SvgPage page = parseSvgPage(engine.pages().at(p));
            const QList<QLineF> finals = finalBars(page, em);
            bars += finals.size();
            if (p + 1 < engine.pages().size()) {
                continue;
            }
            // The last system of the piece ends on one, right of all its digits.
            const qreal last = systemBaselines(page, em).last();
            const QLineF *end = nullptr;
            for (const QLineF &l : finals) {
                if (l.y1() < last && l.y2() > last - em) {
                    end = &l;
                }
            }
            QVERIFY(end);
            for (const SvgText &t : page.texts) {
                if (isDigit(t, em) && qAbs(baselineOf(t) - last) < 0.5) {
                    QVERIFY(t.transform.map(t.origin).x() < end->x1());
                }
            }
        }
        QCOMPARE(bars, tunes);
    }
}

// A slur that starts on a tied note is the only arc from it: the tie ends
// under the slur, which covers it.
void TestJianpu::oneArcFromATiedSlurStart() {
    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    const QString lyric = QStringLiteral("; 板式=一板三眼\n【甲】\n春花");
    // 上 starts half a beat before the 腰板 and is held across the bar line.
    const QStringList score = {QStringLiteral("五、六○工●尺○"), QStringLiteral("上Y尺○工●六○")};
    const DocumentLines document = musicfixture::document(lyric, score);
    QCOMPARE(measuresOf(lyric, score),
             (QStringList{QStringLiteral("| [、6({春}] [○5] [●3] [○2_1) 1_1~({花}]"),
                          QStringLiteral("| [、1] [○2] [●3] [○5)] ||")}));
    const QVector<Glyph> glyphs = allGlyphs(JianpuNotation::build(document, style.jianpu));
    int hidden = 0;
    for (const Glyph &g : glyphs) {
        hidden += g.tieUnderSlur;
        QVERIFY(!g.tieUnderSlur || (g.tieToNext && g.slurStart));
    }
    QCOMPARE(hidden, 1);
    const SvgPage page = firstPage(style, document);
    // The fifth digit is 上, where both would start.
    const QList<SvgText> digits = digitsOf(page, em);
    QCOMPARE(digits.size(), 9);
    const auto centreOf = [](const SvgText &t) {
        return t.transform.map(t.origin).x() + t.deviceMetrics().horizontalAdvance(t.text) / 2;
    };
    QCOMPARE(digits.at(4).text, QStringLiteral("1"));
    QCOMPARE(arcsAt(page, centreOf(digits.at(4)), em), 1);
    // Where no slur starts on a tied note, the tie keeps its arc.
    QVERIFY(firstPage(style, tiedTune(2)).paths.size() >= 3); // two slurs and the tie
}

// A measured tune opening with several unmarked characters: free notes under
// the 散板 sign, no bar lines among them, the last held, then a bar line where
// the measured part begins.
void TestJianpu::freeOpeningMarked() {
    const QString lyric = QStringLiteral("; 板式=一板三眼\n【测试】\n春花秋月");
    const QStringList score = {QStringLiteral("上尺"), QStringLiteral("工"), QStringLiteral("六五"),
                               QStringLiteral("工、")};
    const DocumentLines document = musicfixture::document(lyric, score);
    const QStringList measures = measuresOf(lyric, score);
    QCOMPARE(measures.first(), QStringLiteral("free [1({春}] [2)] [3{花}] [5({秋}] [6)F]"));
    QVERIFY(measures.at(1).startsWith(QStringLiteral("| [、3{月}]")));
    const QVector<Glyph> glyphs = allGlyphs(JianpuNotation::build(document, JianpuStyle()));
    QCOMPARE(glyphs.first().freeSign, QStringLiteral("サ"));
    JianpuStyle word;
    word.sanBanWord = true;
    QCOMPARE(allGlyphs(JianpuNotation::build(document, word)).first().freeSign,
             QStringLiteral("散板"));
    // Its only mark the 底板 of the last note: the tune is all free, and ends
    // with the final bar.
    const QStringList allFree =
        measuresOf(lyric, {score.at(0), score.at(1), score.at(2), QStringLiteral("工D")});
    QCOMPARE(allFree.size(), 1);
    QVERIFY2(allFree.first().endsWith(QStringLiteral("[3F{月}] ||")), qPrintable(allFree.first()));

    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    const SvgPage page = firstPage(style, document);
    const QList<SvgText> digits = digitsOf(page, em);
    QVERIFY(digits.size() >= 6);
    const auto xOf = [](const SvgText &t) { return t.transform.map(t.origin).x(); };
    // The sign over the first note.
    const QList<SvgText> signs = page.textsOf(QStringLiteral("サ"));
    QCOMPARE(signs.size(), 1);
    QVERIFY(inkBottom(signs.first()) < inkTop(digits.first()) - em * 0.3);
    QVERIFY(qAbs(xOf(signs.first()) - xOf(digits.first())) < em * 0.5);
    // Bar lines: none among the free notes, one between the fifth and sixth digit.
    const qreal baseline = baselineOf(digits.first());
    QList<qreal> bars;
    for (const SvgLine &l : page.lines) {
        if (qAbs(l.line.dx()) < 0.01 && l.line.y1() < baseline && l.line.y2() > baseline - em) {
            bars << l.line.x1();
        }
    }
    std::sort(bars.begin(), bars.end());
    QVERIFY(!bars.isEmpty());
    QVERIFY(bars.first() > xOf(digits.at(4)));
    QVERIFY(bars.first() < xOf(digits.at(5)));
}

// A tune closing on the 底板 of its last note: the 板 sign at the end of
// that note, then the final bar, with no empty measure after it.
void TestJianpu::closingDiBanEndsTheTune() {
    const QString lyric = QStringLiteral("; 板式=一板三眼\n【甲】\n春花秋月");
    const QStringList score = {QStringLiteral("上、尺"), QStringLiteral("工○"),
                               QStringLiteral("六●工"), QStringLiteral("尺○上D")};
    const QStringList measures = measuresOf(lyric, score);
    QCOMPARE(measures,
             (QStringList{QStringLiteral(
                 "| [、1_1({春} 2_1)] [○3{花}] [●5_1({秋} 3_1)] [○2_1({月} 1_1)[、]] ||")}));

    const PageStyle style = jianpuStyle();
    const qreal em = style.jianpu.noteFont.pointSize();
    const SvgPage page = firstPage(style, musicfixture::document(lyric, score));
    const QList<SvgText> digits = digitsOf(page, em);
    QVERIFY(!digits.isEmpty());
    const SvgText &last = digits.last();
    QCOMPARE(last.text, QStringLiteral("1"));
    const qreal right =
        last.transform.map(last.origin).x() + last.deviceMetrics().horizontalAdvance(last.text);
    // The 板 sign at the note's end: over the digit's right edge or after it.
    const QList<SvgText> bans = page.textsOf(QStringLiteral("、"));
    QVERIFY(!bans.isEmpty());
    const SvgText &ban = bans.last();
    QVERIFY(ban.inkCentre().x() >= right - em * 0.1);
    // Then the final bar: no digit, dash or rest between the note and it.
    const QList<QLineF> finals = finalBars(page, em);
    QCOMPARE(finals.size(), 1);
    QVERIFY(finals.first().x1() > right);
    QVERIFY(finals.first().x1() - right < em * 3);
    for (const SvgLine &l : page.lines) {
        QVERIFY(!(qAbs(l.line.dy()) < 0.01 && l.line.x1() > right &&
                  l.line.x1() < finals.first().x1() - em * 0.5));
    }
}

QTEST_MAIN(TestJianpu)
#include "tst_jianpu.moc"
