#pragma once

#include <QString>
#include <QStringList>

// The score library from the command line:
//
//   qorvel --library-search QUERY --library DIR [--library DIR2 ...]
//
// brings the library's index up to date with the folders (the same index as
// the 曲库 dock's, files outside the folders left alone) and prints every hit,
// one a line: "PATH:LINE:COLUMN: [FIELD] CONTEXT", line and column counted
// from 1 in the lyric text. Files that cannot be read are listed on standard
// error; none found is said there too. Exit status as CommandLineExport's:
// 0 with hits or none, 1 failure, 2 usage error (a malformed query among them).
class LibrarySearchCommand {
public:
    static int run(const QString &query, const QStringList &folders);
};
