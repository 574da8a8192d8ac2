// Reading MusicXML scores of 100, 1,000 and 10,000 measures. The reader
// streams the document once, so the time per measure (the "per_measure"
// counter, in seconds) must stay the same as the score grows.
//
// And the whole import, file to gongche document, of the sample aria
// exported as MusicXML and repeated to 10 and 100 pages: the time per page
// (the "per_page" counter) must stay the same too.
#include "import/musicimport.h"
#include "import/musicxmlreader.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "music/melodybuilder.h"
#include "music/musicxmlwriter.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

// count measures of 4/4 in one part of two voices: four notes of the first
// voice each with a syllable, the last tied into the next measure every
// other measure, a grace note and a chord now and then, a tune name every
// eight measures, and a second voice of one whole note.
QByteArray generatedScore(int count) {
    static const char *const steps[] = {"C", "D", "E", "G", "A"};
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE score-partwise PUBLIC "
        "\"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
        "\"http://www.musicxml.org/dtds/partwise.dtd\">\n<score-partwise version=\"4.0\">"
        "<work><work-title>游园</work-title></work><part-list><score-part id=\"P1\">"
        "<part-name>笛</part-name></score-part></part-list><part id=\"P1\">\n");
    xml.reserve(count * 1600);
    bool tied = false;
    for (int i = 0; i < count; ++i) {
        xml += QStringLiteral("<measure number=\"%1\">").arg(i + 1);
        if (i == 0) {
            xml += QStringLiteral("<attributes><divisions>2</divisions><key><fifths>2</fifths>"
                                  "<mode>major</mode></key><time><beats>4</beats>"
                                  "<beat-type>4</beat-type></time></attributes>");
        }
        if (i % 8 == 0) {
            xml += QStringLiteral("<direction placement=\"above\"><direction-type><words>"
                                  "【皂罗袍】一板三眼</words></direction-type><sound tempo=\"60\"/>"
                                  "</direction>");
        }
        for (int k = 0; k < 4; ++k) {
            const QString step = QLatin1String(steps[(i + k) % 5]);
            if (k == 2 && i % 3 == 0) {
                xml += QStringLiteral("<note><grace slash=\"yes\"/><pitch><step>A</step>"
                                      "<octave>5</octave></pitch><voice>1</voice>"
                                      "<type>16th</type></note>");
            }
            const bool tieStop = k == 0 && tied;
            const bool tieStart = k == 3 && i % 2 == 0;
            const QString pitch =
                tieStop ? QStringLiteral("G") : (tieStart ? QStringLiteral("G") : step);
            xml += QStringLiteral("<note><pitch><step>%1</step><octave>5</octave></pitch>"
                                  "<duration>2</duration>%2%3<voice>1</voice><type>quarter</type>")
                       .arg(pitch, tieStop ? QStringLiteral("<tie type=\"stop\"/>") : QString(),
                            tieStart ? QStringLiteral("<tie type=\"start\"/>") : QString());
            if (!tieStop) {
                xml += QStringLiteral("<lyric number=\"1\"><syllabic>single</syllabic>"
                                      "<text>春</text></lyric>");
            }
            xml += QStringLiteral("</note>");
            if (k == 1 && i % 5 == 0) {
                xml += QStringLiteral("<note><chord/><pitch><step>B</step><octave>4</octave>"
                                      "</pitch><duration>2</duration><voice>1</voice></note>");
            }
        }
        tied = i % 2 == 0;
        xml += QStringLiteral("<backup><duration>8</duration></backup><note><pitch><step>D"
                              "</step><octave>4</octave></pitch><duration>8</duration>"
                              "<voice>2</voice><type>whole</type></note></measure>\n");
    }
    xml += QStringLiteral("</part></score-partwise>\n");
    return xml.toUtf8();
}

void BM_ReadMusicXml(benchmark::State &state) {
    const int count = int(state.range(0));
    const QByteArray xml = generatedScore(count);
    for (auto _ : state) {
        const music::SourceReading reading = music::MusicXmlReader::read(xml);
        if (reading.score.measures.size() != count) {
            state.SkipWithError("the score did not read whole");
            break;
        }
        benchmark::DoNotOptimize(reading.score.notes.data());
    }
    state.SetBytesProcessed(qint64(state.iterations()) * xml.size());
    state.counters["per_measure"] = benchmark::Counter(
        double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ReadMusicXml)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The sample aria (two pages) copies times over, each copy a tune of its own.
QByteArray sampleAriaXml(int copies) {
    QString lyric, score;
    decodeScoreFile(
        [] {
            QFile f(QStringLiteral(QORVEL_SOURCE_DIR "/examples/youyuan-zaoluopao.gcp"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }(),
        &lyric, &score);
    QStringList lyrics, scores;
    for (int i = 0; i < copies; ++i) {
        lyrics.append(lyric);
        scores.append(score);
    }
    const DocumentLines lines =
        renderModel(lyrics.join(QLatin1Char('\n')), scores.join(QLatin1Char('\n')));
    return music::MusicXmlWriter::encode(music::MelodyBuilder().build(lines), {});
}

void BM_ImportSampleAria(benchmark::State &state) {
    const int pages = int(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("aria.musicxml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(sampleAriaXml(pages / 2)) < 0) {
        state.SkipWithError("cannot write the score");
        return;
    }
    file.close();
    for (auto _ : state) {
        const music::ImportedDocument d = music::MusicImport::importFile(path);
        if (!d.ok()) {
            state.SkipWithError("the import failed");
            break;
        }
        benchmark::DoNotOptimize(d.score.data());
    }
    state.counters["per_page"] = benchmark::Counter(
        double(pages), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ImportSampleAria)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
