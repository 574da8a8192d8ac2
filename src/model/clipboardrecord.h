#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The clipboard record of a lyric selection, under the MIME type
// "application/x-lyric-score-format": an indented JSON object
// {"lyric": [...], "score": [...]} with one entry per UTF-16 unit of the
// selection, and for each the paired score line (or "").
inline constexpr char lyricScoreMimeType[] = "application/x-lyric-score-format";

QByteArray encodeClipboard(const QStringList &lyric, const QStringList &score);

// Missing members give empty lists, non-string elements empty strings, and
// bytes that are not a JSON object two empty lists.
void decodeClipboard(const QByteArray &json, QStringList *lyric, QStringList *score);
