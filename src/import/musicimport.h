#pragma once

#include "import/importremark.h"
#include "music/musicrules.h"

#include <QString>
#include <QVector>

namespace music {

// A MusicXML or MIDI file read as a gongche document: the two texts of a
// score file, and what the import changed or left out on the way; or, when
// nothing could be read, why. No widgets.
struct ImportedDocument {
    QString lyric;
    QString score;
    QVector<ImportRemark> remarks;
    QString error; // Chinese; empty when the file was read

    bool ok() const { return error.isEmpty(); }
};

class MusicImport {
public:
    // Whether a file's name says it is music the import reads: MusicXML
    // (.musicxml, .xml, .mxl) or a standard MIDI file (.mid, .midi, .kar).
    static bool canRead(const QString &path);
    // The file dialog's filter.
    static QString fileFilter();

    // Reads the file, choosing the reader by its first bytes (a MIDI header,
    // a zip archive or XML), and writes it in gongche. A file without a
    // single note is a failure.
    static ImportedDocument importFile(const QString &path,
                                       const MusicRules &rules = MusicRules::defaults());
};

} // namespace music
