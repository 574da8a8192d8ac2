#pragma once

#include "import/importremark.h"
#include "import/importrules.h"
#include "import/sourcescore.h"
#include "import/transcribedtune.h"
#include "music/musicrules.h"

#include <QString>
#include <QVector>

namespace music {

// Music as a notation file states it (SourceScore) written as a gongche
// document: the lyric text (title, a heading and a settings line per tune,
// lyric lines broken at phrase ends) and the score text (one line per sung
// character: pitch signs, each followed by the beat marks that fall on it),
// and a report of everything the import changed or left out. The inverse of
// MelodyBuilder: its tables are read back from MusicRules, and each tune is
// read back through MelodyBuilder to check that it gives the same music.
// Deterministic; no widgets. The rules are in docs/melody.md, "导入 · Import".
class GongcheTranscriber {
public:
    explicit GongcheTranscriber(const MusicRules &rules = MusicRules::defaults());

    struct Result {
        QString lyric;
        QString score;
        QVector<ImportRemark> remarks;
    };
    Result transcribe(const SourceScore &source) const;

private:
    QVector<TranscribedTune> splitTunes(const SourceScore &source) const;
    void describeTune(const SourceScore &source, int ordinal, TranscribedTune *tune) const;
    void chooseMeter(const SourceScore &source, TranscribedTune *tune) const;
    void collectNotes(const SourceScore &source, TranscribedTune *tune) const;
    void namePitches(TranscribedTune *tune) const;
    void transcribeRhythm(const SourceScore &source, TranscribedTune *tune) const;
    void assignCharacters(const SourceScore &source, TranscribedTune *tune) const;
    void writeLines(TranscribedTune *tune) const;
    QVector<ImportRemark> remarksOf(const SourceScore &source,
                                    const QVector<TranscribedTune> &tunes,
                                    const QVector<int> &firstLines) const;

    ImportRules m_import;
};

} // namespace music
