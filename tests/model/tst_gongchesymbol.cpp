#include "model/gongchesymbol.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QtTest>
#include <algorithm>

using S = GongcheSymbol;

// The symbol catalogue checked against the abbreviation dictionary shipped
// with the program, which names every symbol in words of its own.
class TestGongcheSymbol : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void codesMatchDictionary();
    void pitchSignsMatchDictionary();
    void beatMarksAndOrnamentsMatchDictionary();
    void pitchCodeRoundTrips();
    void invalidInputs();

private:
    // Every code of the dictionary with the names of its rows that are not
    // aliases ("板(头板)" is one), in file order, each once.
    QMap<char32_t, QStringList> m_names;
};

void TestGongcheSymbol::initTestCase() {
    QFile file(QStringLiteral(QORVEL_SOURCE_DIR "/resources/wordsdict.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    lines.removeFirst(); // header
    for (const QString &line : lines) {
        const QStringList fields =
            line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (fields.isEmpty()) {
            continue;
        }
        QCOMPARE(fields.size(), 4);
        bool ok = false;
        const char32_t code = fields.at(0).mid(1).toUInt(&ok, 16);
        QVERIFY2(ok && fields.at(0).startsWith(QLatin1Char('U')), qPrintable(line));
        QStringList &names = m_names[code];
        if (!fields.at(3).contains(QLatin1Char('(')) && !names.contains(fields.at(3))) {
            names.append(fields.at(3));
        }
    }
    QVERIFY(!m_names.isEmpty());
}

void TestGongcheSymbol::codesMatchDictionary() {
    const QVector<char32_t> &all = S::all();
    QCOMPARE(all.size(), 14 + 124);
    QVERIFY(std::is_sorted(all.begin(), all.end()));
    QCOMPARE(QVector<char32_t>::fromList(m_names.keys()), all);
    for (const char32_t code : all) {
        QVERIFY(S(code).isValid());
        QCOMPARE(S(code).code(), code);
        QCOMPARE(S::of(S::textOf(code)).code(), code);
        QCOMPARE(S(code).text(), S::textOf(code));
        QVERIFY2(!m_names.value(code).isEmpty(), "every symbol has a name of its own");
    }
}

void TestGongcheSymbol::pitchSignsMatchDictionary() {
    const QString pitchNames = QStringLiteral("合四一上尺工凡六五乙");
    int pitches = 0;
    for (auto it = m_names.cbegin(); it != m_names.cend(); ++it) {
        QString name = it.value().first();
        const int index = pitchNames.indexOf(name.at(0));
        if (index < 0) {
            continue;
        }
        ++pitches;
        name.remove(0, 1);
        // The words after the pitch name; nothing else may remain.
        const auto has = [&name](const char *word) {
            const QString w = QString::fromUtf8(word);
            const bool found = name.contains(w);
            name.remove(w);
            return found;
        };
        const S::Octave octave = has("低八度")     ? S::Octave::Low
                                 : has("高十六度") ? S::Octave::DoubleHigh
                                 : has("高八度")   ? S::Octave::High
                                                   : S::Octave::Middle;
        const bool qiKou = has("气口");
        const bool small = has("小");
        QVERIFY2(name.isEmpty(), qPrintable(it.value().first()));
        const S::Series series = small ? (qiKou ? S::Series::SmallQiKou : S::Series::Small)
                                       : (qiKou ? S::Series::QiKou : S::Series::Plain);

        const S symbol(it.key());
        QVERIFY2(symbol.isPitch(), qPrintable(it.value().first()));
        QCOMPARE(symbol.kind(), S::Kind::Pitch);
        QCOMPARE(int(symbol.pitchName()), index);
        QCOMPARE(symbol.octave(), octave);
        QCOMPARE(symbol.series(), series);
        QCOMPARE(symbol.isSmall(), small);
        QCOMPARE(symbol.hasQiKou(), qiKou);
        QCOMPARE(symbol.name(), QString(pitchNames.at(index)));
        QCOMPARE(S::pitchNameText(symbol.pitchName()), QString(pitchNames.at(index)));
    }
    QCOMPARE(pitches, 124);
}

void TestGongcheSymbol::beatMarksAndOrnamentsMatchDictionary() {
    int marks = 0;
    int ornaments = 0;
    for (auto it = m_names.cbegin(); it != m_names.cend() && it.key() < S::FirstPitch; ++it) {
        // 头眼 and 末眼 share a sign; the catalogue names it "头眼/末眼".
        const QString name = it.value().join(QLatin1Char('/'));
        const S symbol(it.key());
        QCOMPARE(symbol.name(), name);
        if (name.endsWith(QStringLiteral("板")) || name.endsWith(QStringLiteral("眼"))) {
            ++marks;
            QCOMPARE(symbol.kind(), S::Kind::BeatMark);
            const S::BeatPosition position =
                name.startsWith(QStringLiteral("腰"))   ? S::BeatPosition::Yao
                : name.startsWith(QStringLiteral("底")) ? S::BeatPosition::Di
                                                        : S::BeatPosition::Tou;
            const S::Beat beat = name.contains(QStringLiteral("赠板"))   ? S::Beat::ZengBan
                                 : name.contains(QStringLiteral("中眼")) ? S::Beat::ZhongYan
                                 : name.endsWith(QStringLiteral("眼"))   ? S::Beat::XiaoYan
                                                                         : S::Beat::Ban;
            QCOMPARE(symbol.beat(), beat);
            QCOMPARE(symbol.beatPosition(), position);
            QCOMPARE(S::beatCode(beat, position), it.key());
        } else {
            ++ornaments;
            QCOMPARE(symbol.kind(), S::Kind::Ornament);
            QVERIFY(symbol.isOrnament());
        }
    }
    QCOMPARE(marks, 9);
    QCOMPARE(ornaments, 5);
    QCOMPARE(S::beatCode(S::Beat::ZhongYan, S::BeatPosition::Di), char32_t(0));
    QCOMPARE(S::beatCode(S::Beat::ZengBan, S::BeatPosition::Di), char32_t(0));
}

void TestGongcheSymbol::pitchCodeRoundTrips() {
    const S::Octave octaves[] = {S::Octave::Low, S::Octave::Middle, S::Octave::High,
                                 S::Octave::DoubleHigh};
    int found = 0;
    for (int series = 0; series < 4; ++series) {
        const S::Series s = S::Series(series);
        QCOMPARE(S::seriesStart(s), S::sectionStart(s, S::Octave::Low));
        for (const S::Octave octave : octaves) {
            int inSection = 0;
            for (int name = 0; name < 10; ++name) {
                const S::PitchName n = S::PitchName(name);
                const bool missing = (octave == S::Octave::Low && n >= S::PitchName::Liu) ||
                                     (octave > S::Octave::Middle && n <= S::PitchName::Yi);
                const char32_t code = S::pitchCode(s, octave, n);
                if (missing) {
                    QCOMPARE(code, char32_t(0));
                    continue;
                }
                if (inSection++ == 0) {
                    QCOMPARE(code, S::sectionStart(s, octave));
                }
                const S symbol(code);
                QVERIFY(symbol.isPitch());
                QCOMPARE(symbol.series(), s);
                QCOMPARE(symbol.octave(), octave);
                QCOMPARE(symbol.pitchName(), n);
                ++found;
            }
            QCOMPARE(inSection, S::sectionLength(octave));
        }
    }
    QCOMPARE(found, 124);
}

void TestGongcheSymbol::invalidInputs() {
    for (const char32_t code : {char32_t(0), char32_t(0xF000E), char32_t(0xF001F),
                                char32_t(0xF009C), char32_t(0x5408) /* 合 */}) {
        const S symbol(code);
        QVERIFY(!symbol.isValid());
        QCOMPARE(symbol.kind(), S::Kind::None);
        QCOMPARE(symbol.code(), char32_t(0));
        QVERIFY(symbol.text().isEmpty());
    }
    QVERIFY(!S().isValid());
    QVERIFY(!S::of(QString()).isValid());
    QVERIFY(!S::of(QStringLiteral("合")).isValid());
    QVERIFY(!S::of(S::textOf(S::TouBan) + S::textOf(S::TouBan)).isValid());
    QVERIFY(!S::of(S::textOf(S::TouBan).left(1)).isValid());
    QCOMPARE(S::codeOf(QStringLiteral("合")), char32_t(0));
}

QTEST_GUILESS_MAIN(TestGongcheSymbol)
#include "tst_gongchesymbol.moc"
