#pragma once

#include <QString>
#include <QStringList>

// Export from the command line, without a window:
//
//   qorvel --export FORMAT --output PATH [--dpi 96|160|300|600]
//          [--scheme SCHEME.json] [--notation gongche|jianpu|staff] FILE.gcp
//
// typesets the score with the export settings of "settings.ini" (a scheme
// applies to this run only; the settings file is never written) and writes it
// with the same writers as the 导出 command. --notation sets the pages in
// gongche columns, as 简谱 or as staff engraved by LilyPond for this run, over
// the notation of the settings and the scheme (gongche unless they say
// otherwise); the melody formats (midi, musicxml, wav) and the LilyPond
// source (ly) have no pages and ignore it. Staff pages that LilyPond cannot
// engrave (it is missing, fails or takes too long) are a failure, and
// nothing is written. An unknown notation is a
// failure, checked before anything is read or written. The written file or
// folder is printed on standard output; progress goes to standard error while
// that is a terminal. Exit status: 0 success, 1 failure (one line on standard
// error giving the reason), 2 usage error. No message box is ever shown.
//
//   qorvel --import MUSIC --output OUT.gcp
//   qorvel --import MUSIC --export FORMAT --output PATH [options as above]
//
// reads a MusicXML or MIDI file as the score instead: written as a new score
// file (never over an existing file), or exported as above. What the import
// changed or left out is listed on standard error, one line each; a file of
// which nothing could be read is a failure.
//
//   qorvel --book FILE.gcpbook --export pdf|png|jpg|svg --output PATH [options as above]
//
// typesets a book (see BookFile, BookEdition) and writes its pages. The
// book's scheme and notation apply unless --scheme or --notation are given.
// A score of the book that is missing or damaged is a failure (its book line
// named), and nothing is written. --book with a score file, with --import or
// with a format without pages is a usage error.
//
//   qorvel --library-search QUERY --library DIR [--library DIR2 ...]
//
// searches the score library (LibrarySearchCommand).
class CommandLineExport {
public:
    enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

    // True when the command line asks for an export, an import or for help. Call it
    // before the application object exists: without a display it chooses the
    // offscreen platform (measuring fonts at 96 dpi, as a desktop does).
    static bool wanted(int argc, char **argv);

    // Runs the export (or prints the help) for the application's arguments,
    // the program name first. Needs the application object.
    static int run(const QStringList &arguments);
};
