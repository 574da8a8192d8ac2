#pragma once

#include "import/importrules.h"
#include "import/transcribedtune.h"

namespace music {

// Reads a transcribed tune back as the melody model does (MelodyBuilder::
// buildTune on the lines written for it) and compares it with the source:
// every note whose onset (measured tunes, from the first 板) or pitch differs
// is a remark. Grace notes are left out: they take time from the beat they
// fall in, as expected. No widgets.
class TranscriptionCheck {
public:
    explicit TranscriptionCheck(const ImportRules &rules);

    // The remarks for the notes of tune that read back otherwise; none when
    // the tune reads back to the same music.
    QVector<TuneRemark> check(const TranscribedTune &tune) const;

private:
    const ImportRules &m_rules;
};

} // namespace music
