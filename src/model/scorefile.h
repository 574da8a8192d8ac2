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
// What is wrong with a score file that does not hold exactly the four fields.
enum class ScoreFileDamage {
    None,
    Truncated,        // the file ends inside a length field (or is empty)
    LengthBeyondData, // a text's byte count reaches past the end of the file
    OddLength,        // a text's byte count is odd
    TrailingBytes,    // bytes follow the score text
};

// Both operations return the message of their failure for the caller to show.
// The file is written atomically: the old file stays intact until the new
// one is complete.
Outcome writeScoreFile(const QString &path, const QString &lyric, const QString &score);
// A damaged file still yields everything that can be read (a text cut short
// gives the code units it holds) and a partial outcome whose warning says how
// much was read; damage, when given, tells what was wrong.
Outcome readScoreFile(const QString &path, QString *lyric, QString *score,
                      ScoreFileDamage *damage = nullptr);

// The byte image of a score file, and its inverse. decodeScoreFile never reads
// past the buffer and never allocates more than the buffer's size. On damage
// it keeps what it read up to there: the texts read are prefixes of the texts
// written (a surrogate pair cut in half is left out), and nothing after the
// damage is read.
QByteArray encodeScoreFile(const QString &lyric, const QString &score);
ScoreFileDamage decodeScoreFile(const QByteArray &bytes, QString *lyric, QString *score);
// The damage in a few English words, for the command line.
QString scoreFileDamageText(ScoreFileDamage damage);
// The damage in a few Chinese words, for messages the user reads in the
// program ("文本长度超出文件").
QString scoreFileDamageReason(ScoreFileDamage damage);
