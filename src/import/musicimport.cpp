#include "import/musicimport.h"

#include "import/gongchetranscriber.h"
#include "import/midifilereader.h"
#include "import/musicxmlreader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

namespace music {

namespace {

const QStringList &suffixes() {
    static const QStringList list = {QStringLiteral("musicxml"), QStringLiteral("xml"),
                                     QStringLiteral("mxl"),      QStringLiteral("mid"),
                                     QStringLiteral("midi"),     QStringLiteral("kar")};
    return list;
}

// A standard MIDI file starts with its header chunk; anything else is given
// to the MusicXML reader, which knows zip archives from XML itself.
bool looksLikeMidi(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(4) == "MThd";
}

} // namespace

bool MusicImport::canRead(const QString &path) {
    return suffixes().contains(QFileInfo(path).suffix().toLower());
}

QString MusicImport::fileFilter() {
    return QStringLiteral("乐谱文件 (*.musicxml *.xml *.mxl *.mid *.midi *.kar);;"
                          "MusicXML (*.musicxml *.xml *.mxl);;MIDI (*.mid *.midi *.kar)");
}

ImportedDocument MusicImport::importFile(const QString &path, const MusicRules &rules) {
    ImportedDocument document;
    const SourceReading reading =
        looksLikeMidi(path) ? MidiFileReader::readFile(path) : MusicXmlReader::readFile(path);
    if (!reading.ok()) {
        document.error = reading.error;
        return document;
    }
    const bool sounds = std::any_of(reading.score.notes.cbegin(), reading.score.notes.cend(),
                                    [](const SourceNote &note) { return !note.isRest(); });
    if (!sounds) {
        document.error = QStringLiteral("文件中没有音符");
        return document;
    }
    GongcheTranscriber::Result written = GongcheTranscriber(rules).transcribe(reading.score);
    document.lyric = std::move(written.lyric);
    document.score = std::move(written.score);
    document.remarks = std::move(written.remarks);
    return document;
}

} // namespace music
