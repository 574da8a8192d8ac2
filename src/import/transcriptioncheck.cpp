#include "import/transcriptioncheck.h"

#include "model/rendermodel.h"
#include "music/melodybuilder.h"

#include <QHash>

namespace music {

namespace {

qint64 floorDiv(qint64 a, qint64 b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The source tick of the first 板 at or after the beat the first note falls in.
qint64 sourceDownbeat(const TranscribedTune &tune, qint64 measureTicks) {
    for (const WrittenNote &n : tune.notes) {
        if (!n.grace) {
            const qint64 beat =
                tune.anchor +
                floorDiv(n.onset - tune.anchor, tune.meter.beatTicks) * tune.meter.beatTicks;
            return tune.anchor - floorDiv(tune.anchor - beat, measureTicks) * measureTicks;
        }
    }
    return tune.anchor;
}

quint64 placeKey(int line, int column) {
    return (quint64(quint32(line)) << 32) | quint32(column);
}

} // namespace

TranscriptionCheck::TranscriptionCheck(const ImportRules &rules)
    : m_rules(rules) {}

QVector<TuneRemark> TranscriptionCheck::check(const TranscribedTune &tune) const {
    const MelodyBuilder builder(m_rules.rules());
    const Melody melody = builder.buildTune(renderModel(tune.lyricLines, tune.scoreLines), 0, 0,
                                            m_rules.rules().start);
    QHash<quint64, const Note *> byPlace;
    for (const Note &n : melody.notes) {
        byPlace.insert(placeKey(n.place.line, n.place.column), &n);
    }
    const MusicRules::MeterRule rule = m_rules.rules().meterRule(tune.meter.meter, tune.meter.zeng);
    const qint64 beat = tune.meter.beatTicks;
    const qint64 downbeat = sourceDownbeat(tune, beat * std::max(1, rule.beats));
    const qint64 modelDownbeat =
        melody.sections.isEmpty() ? 0 : melody.sections.first().firstDownbeat;
    QVector<TuneRemark> out;
    for (int i = 0; i < tune.notes.size(); ++i) {
        const WrittenNote &w = tune.notes.at(i);
        if (w.grace) {
            continue;
        }
        const Note *n = byPlace.value(placeKey(w.character, w.column), nullptr);
        if (n && n->midi != w.midi) {
            out.append({i, w.onset, m_rules.messages.pitchDiffers});
        }
        if (!tune.measured()) {
            continue;
        }
        if (!n || (n->onset - modelDownbeat) * beat != (w.onset - downbeat) * ticksPerBeat) {
            out.append({i, w.onset, m_rules.messages.onsetDiffers});
        }
    }
    return out;
}

} // namespace music
