#pragma once

#include "model/outcome.h"

#include <QByteArray>
#include <QString>

// The ".gcp" score file: a big-endian Qt data stream of two strings, the lyric
// text and the score text, each preceded by a 32-bit length field:
//   qint32 lyricLength, QString lyric, qint32 scoreLength, QString score
// where a QString is a quint32 byte count (0xFFFFFFFF for null) followed by
// UTF-16BE code units.
//
// Both operations return the message of their failure for the caller to show.
// The file is written atomically: the old file stays intact until the new
// one is complete.
Outcome writeScoreFile(const QString &path, const QString &lyric, const QString &score);
Outcome readScoreFile(const QString &path, QString *lyric, QString *score);

// The byte image of a score file, and its inverse. decodeScoreFile never reads
// past the buffer and never allocates more than the buffer's size: a string
// that the buffer cannot hold comes back empty, and decoding stops there.
QByteArray encodeScoreFile(const QString &lyric, const QString &score);
void decodeScoreFile(const QByteArray &bytes, QString *lyric, QString *score);
