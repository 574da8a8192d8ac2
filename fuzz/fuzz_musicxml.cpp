// MusicXML import: any bytes as a MusicXML file or, when they begin like a
// zip archive, as a compressed .mxl. Either they are refused with a reason
// and nothing read, or the score read keeps its invariants: notes in time
// order and contiguous, no negative durations, only graces without one,
// measure indices in range, measures one after another; and the import
// writes one score line for each sung character of what was read.
#include "fuzz_common.h"
#include "fuzz_import.h"
#include "import/musicxmlreader.h"
#include "import/mxlarchive.h"

QORVEL_FUZZ_INIT

namespace {

void check(const music::SourceReading &reading) {
    const music::SourceScore &s = reading.score;
    if (!reading.ok()) {
        if (!s.notes.isEmpty() || !s.measures.isEmpty()) {
            fuzz::fail("a refused score has notes or measures");
        }
        return;
    }
    if (s.notes.size() > music::MusicXmlReader::maxNotes + s.measures.size()) {
        fuzz::fail("more notes than the limit");
    }
    qint64 measureEnd = 0;
    for (const music::SourceMeasure &m : s.measures) {
        if (m.start != measureEnd || m.length < 0) {
            fuzz::fail("measures do not follow one another");
        }
        measureEnd = m.start + m.length;
    }
    qint64 t = 0;
    for (const music::SourceNote &n : s.notes) {
        if (n.duration < 0) {
            fuzz::fail("negative duration");
        }
        if (n.grace != (n.duration == 0)) {
            fuzz::fail("a note without duration that is no grace");
        }
        if (n.measure < 0 || n.measure >= s.measures.size()) {
            fuzz::fail("measure index out of range");
        }
        if (n.onset < t || (n.onset != t && !n.grace)) {
            fuzz::fail("notes out of time order or not contiguous");
        }
        if (n.midi < -1 || n.midi > 127) {
            fuzz::fail("pitch out of range");
        }
        t = n.onset + n.duration;
    }
    for (const music::SourceProblem &p : s.problems) {
        if (p.measure < -1 || p.measure >= s.measures.size() || p.message.isEmpty()) {
            fuzz::fail("a problem in no measure");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QByteArray xml = bytes;
    if (music::MxlArchive::looksLikeZip(bytes)) {
        const music::MxlArchive::Extraction archive = music::MxlArchive::extract(bytes);
        if (!archive.ok()) {
            if (!archive.score.isEmpty() || archive.error.isEmpty()) {
                fuzz::fail("a refused archive gave a score");
            }
            return 0;
        }
        if (archive.score.size() > music::MxlArchive::maxEntryBytes) {
            fuzz::fail("an archive inflated past the limit");
        }
        xml = archive.score;
    }
    const music::SourceReading reading = music::MusicXmlReader::read(xml);
    check(reading);
    if (reading.ok()) {
        fuzz::checkTranscription(reading.score);
    }
    return 0;
}
