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
};

void TestJianpu::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
}

void TestJianpu::writtenAsACopyistWritesIt() {
    const QStringList expected = {
        QStringLiteral("1 1=D（小工调） 4/4"),
        QStringLiteral("| [1({春}]"),
        QStringLiteral("| [、2)] [○3({花}] [●5_1 6_1)] [○2_2({秋} 1,_2* 3_4V 2_4 5'_3 6''_3)]"),
        QStringLiteral("| [、1({月，}] [2] [3~] [-]"),
        QStringLiteral("| [、3] [-] [●5] [○6)]"),
        QStringLiteral("2"),
        QStringLiteral("| [、3g{风}] [-] [-] [-] ||"),
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
    QCOMPARE(values, (QSet<QString>{"0", "1", "2", "2*", "3", "4"}));
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
    // The dashes of held notes are horizontal lines too.
    int dashes = 0;
    for (const Glyph &g : glyphs) {
        dashes += g.kind == Glyph::Kind::Dash;
    }
    QCOMPARE(horizontal, runs + dashes);
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

QTEST_MAIN(TestJianpu)
#include "tst_jianpu.moc"
