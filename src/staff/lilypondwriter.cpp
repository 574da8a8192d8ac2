#include "staff/lilypondwriter.h"

LilyPondSource LilyPondWriter::document(const DocumentLines &, const music::Melody &,
                                        const Options &) {
    return {};
}

QVector<LilyPondSource> LilyPondWriter::tunes(const DocumentLines &, const music::Melody &,
                                              const Options &) {
    return {};
}
