#pragma once

#include <QByteArray>
#include <QString>

namespace music {

// Compressed MusicXML (.mxl): a zip archive whose META-INF/container.xml
// names the score inside it (without a container, the first .musicxml or
// .xml file outside META-INF is taken). The archive is read in memory and
// nothing is ever written to disk.
//
// Refused, with a reason and nothing read: a damaged archive; a root path
// that could point outside the archive (absolute, "..", a backslash, a drive
// letter) or names no file in it; a score that is encrypted, larger than the
// limit (as stated and as it inflates: it is read in chunks up to the limit,
// whatever its header says) or compressed beyond any real score (a zip bomb).
class MxlArchive {
public:
    static constexpr qint64 maxEntryBytes = 64 * 1024 * 1024;

    struct Extraction {
        QByteArray score; // the root file's bytes
        QString rootPath; // its path in the archive
        QString error;    // Chinese, for the user; empty when it was read
        bool ok() const { return error.isEmpty(); }
    };

    // Whether bytes begin with a zip archive's local file header.
    static bool looksLikeZip(const QByteArray &bytes);
    static Extraction extract(const QByteArray &archive, qint64 limit = maxEntryBytes);
};

} // namespace music
