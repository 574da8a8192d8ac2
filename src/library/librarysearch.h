#pragma once

#include "library/libraryhit.h"
#include "library/libraryindex.h"
#include "library/libraryquery.h"

#include <QHash>
#include <QSqlDatabase>
#include <QStringList>
#include <QVector>

// One search of the library index: every term of a query looked up in its
// tables, the files that every term finds kept, their hits in order. The
// words are found through the trigram full-text table for three characters
// or more, by a scan below that; melody phrases as substrings of the pitch
// or step keys.
class LibrarySearch {
public:
    // folders: normalised; hits outside them are left out.
    LibrarySearch(QSqlDatabase db, QStringList folders);

    QVector<LibraryHit> run(const LibraryQuery &query, LibraryIndex::SearchInfo *info);

private:
    struct File {
        QString path;
        QString title;
        int titleLine = -1;
    };
    // The hits of one term, by file id.
    using Hits = QHash<qint64, QVector<LibraryHit>>;

    void loadFiles();
    Hits find(const LibraryQuery::Term &term, QString *error);
    void findTitle(const QString &text, Hits *hits);
    void findTune(LibraryQuery::Field field, const QString &text, Hits *hits);
    void findWords(const QString &text, Hits *hits);
    void findMelody(const QString &text, bool intervals, Hits *hits, QString *error);
    // A hit in a file in scope, with its path and title filled in.
    LibraryHit *add(Hits *hits, qint64 file);

    QSqlDatabase m_db;
    QStringList m_folders;
    QHash<qint64, File> m_files; // in scope
};
