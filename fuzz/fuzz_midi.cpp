// The MIDI file reader, and the import of what it reads: any bytes as a
// ".mid" file. Whatever it reads must be
// one voice in time order from the start without gaps or empty notes, every
// note and remark in a bar that exists, the bars one after another; a file
// it refuses yields nothing but the reason.
#include "fuzz_common.h"
#include "fuzz_import.h"
#include "import/midifilereader.h"

QORVEL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const music::SourceReading reading = music::MidiFileReader::read(bytes);
    const music::SourceScore &score = reading.score;
    if (!reading.ok()) {
        if (!score.notes.isEmpty() || !score.measures.isEmpty() || !score.problems.isEmpty()) {
            fuzz::fail("a refused file still gave a score");
        }
        return 0;
    }
    if (score.notes.isEmpty() || score.measures.isEmpty()) {
        fuzz::fail("a file read without notes or bars");
    }
    if (score.measures.size() > music::MidiFileReader::maxMeasures) {
        fuzz::fail("more bars than a piece may have");
    }
    qint64 start = 0;
    for (const music::SourceMeasure &m : score.measures) {
        if (m.start != start || m.length <= 0) {
            fuzz::fail("bars not one after another");
        }
        if (m.beats < 1 || m.beatType < 1 || m.fifths < -7 || m.fifths > 7) {
            fuzz::fail("a bar without a meter or with an impossible key");
        }
        start += m.length;
    }
    qint64 now = 0;
    bool sounding = false;
    for (const music::SourceNote &n : score.notes) {
        if (n.onset != now) {
            fuzz::fail("notes not in time order without gaps");
        }
        if (n.duration <= 0 || n.grace) {
            fuzz::fail("a note without length");
        }
        if (n.midi < -1 || n.midi > 127) {
            fuzz::fail("a note outside MIDI's keys");
        }
        if (n.measure < 0 || n.measure >= score.measures.size()) {
            fuzz::fail("a note in a bar that does not exist");
        }
        const music::SourceMeasure &m = score.measures.at(n.measure);
        if (n.onset < m.start || n.onset >= m.start + m.length) {
            fuzz::fail("a note outside its bar");
        }
        if (n.isRest() && !n.lyric.isEmpty()) {
            fuzz::fail("words on a rest");
        }
        sounding = sounding || !n.isRest();
        now += n.duration;
    }
    if (!sounding || now != start) {
        fuzz::fail("the notes and the bars end apart");
    }
    for (const music::SourceProblem &p : score.problems) {
        if (p.measure < -1 || p.measure >= score.measures.size() || p.message.isEmpty()) {
            fuzz::fail("a remark in a bar that does not exist");
        }
    }
    fuzz::checkTranscription(score);
    return 0;
}
