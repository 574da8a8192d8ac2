#pragma once

// What the import writes of whatever a reader read: one score line for each
// sung character of the lyric text, and every remark about a character of
// the document or none.
#include "fuzz_common.h"
#include "import/gongchetranscriber.h"
#include "model/rendermodel.h"
#include "music/melodybuilder.h"

namespace fuzz {

inline void checkTranscription(const music::SourceScore &score) {
    const music::GongcheTranscriber::Result r = music::GongcheTranscriber().transcribe(score);
    const int lines = r.score.count(QLatin1Char('\n')) + 1;
    const int sung = music::MelodyBuilder::sungCharacters(renderModel(r.lyric, r.score));
    if (sung != lines && !(sung == 0 && r.score.isEmpty())) {
        fail("the score lines and the sung characters of an import disagree");
    }
    for (const music::ImportRemark &remark : r.remarks) {
        if (remark.character < -1 || remark.character >= sung || remark.message.isEmpty()) {
            fail("an import remark about a character that does not exist");
        }
    }
}

} // namespace fuzz
