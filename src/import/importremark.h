#pragma once

#include <QString>

namespace music {

// One thing an import changed or left out, where the file has it: the
// measure as the file numbers it and the beat in it, and the sung character
// of the new document it concerns.
struct ImportRemark {
    QString measure;    // empty when it concerns the whole file
    int beat = 0;       // 1-based beat of the measure; 0 when not known
    int character = -1; // sung character (score line) in the document; -1 for none
    QString message;    // Chinese

    // As the report lists it: "第12小节第3拍：message", "第12小节：message" or
    // the message alone.
    QString text() const {
        if (measure.isEmpty())
            return message;
        QString where = QStringLiteral("第%1小节").arg(measure);
        if (beat > 0)
            where += QStringLiteral("第%1拍").arg(beat);
        return where + QChar(0xFF1A) + message;
    }
    bool operator==(const ImportRemark &o) const {
        return measure == o.measure && beat == o.beat && character == o.character &&
               message == o.message;
    }
};

} // namespace music
