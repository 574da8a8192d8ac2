#include "shell/librarysearchcommand.h"

#include "library/libraryindex.h"
#include "shell/commandlineexport.h"

#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

namespace {

void printLine(FILE *stream, const QString &text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

int say(FILE *stream, const QString &text, int code) {
    printLine(stream, QStringLiteral("qorvel: %1").arg(text));
    return code;
}

} // namespace

int LibrarySearchCommand::run(const QString &query, const QStringList &folders) {
    if (query.trimmed().isEmpty()) {
        return say(stderr, QStringLiteral("the search is empty (see qorvel --help)"),
                   CommandLineExport::UsageError);
    }
    if (folders.isEmpty()) {
        return say(stderr, QStringLiteral("--library DIR is missing (see qorvel --help)"),
                   CommandLineExport::UsageError);
    }
    for (const QString &folder : folders) {
        if (!QFileInfo(folder).isDir()) {
            return say(stderr, QStringLiteral("%1 is not a folder").arg(folder),
                       CommandLineExport::Failure);
        }
    }
    LibraryIndex index;
    const Outcome opened = index.open(LibraryIndex::defaultPath());
    if (!opened) {
        return say(stderr, opened.message(), CommandLineExport::Failure);
    }
    if (!index.discarded().isEmpty()) {
        say(stderr,
            QStringLiteral("the library index was not usable (%1); it is built anew")
                .arg(index.discarded()),
            0);
    }
    const bool terminal = isatty(STDERR_FILENO);
    const LibraryIndex::UpdateReport report =
        index.update(folders, [terminal](int done, int total) {
            if (terminal) {
                std::fprintf(stderr, "\rindexing %d/%d", done, total);
                if (done == total) {
                    std::fputc('\n', stderr);
                }
                std::fflush(stderr);
            }
            return true;
        });
    for (const LibraryIndex::Unreadable &u : report.unreadable) {
        say(stderr,
            QStringLiteral("%1: unreadable: %2").arg(QDir::toNativeSeparators(u.path), u.reason),
            0);
    }
    LibraryIndex::SearchInfo info;
    const QVector<LibraryHit> hits = index.search(query, folders, &info);
    if (!info.error.isEmpty()) {
        return say(stderr, info.error, CommandLineExport::UsageError);
    }
    for (const LibraryHit &hit : hits) {
        printLine(stdout, QStringLiteral("%1:%2:%3: [%4] %5")
                              .arg(QDir::toNativeSeparators(hit.path))
                              .arg(hit.lyricLine + 1)
                              .arg(hit.lyricColumn + 1)
                              .arg(LibraryQuery::fieldLabel(hit.field), hit.context));
    }
    if (hits.isEmpty()) {
        say(stderr, QStringLiteral("nothing found"), 0);
    } else if (info.truncated) {
        say(stderr, QStringLiteral("only the first %1 results are listed").arg(hits.size()), 0);
    }
    return CommandLineExport::Success;
}
