#pragma once

#include "model/documentline.h"
#include "model/outcome.h"

#include <QString>
#include <QVector>
#include <functional>

class Typesetter;

// One way of writing a typeset score to disk. The 导出 command's file-type
// list and the command line's --export both read the one table all(), so a
// new format is added there and nowhere else.
struct ExportFormat {
    // What a writer is given: the document, and the typesetter holding its
    // pages (typeset for formats that need them); path is the file to write
    // or, for a folder format, the directory in which a new folder is made;
    // resolutionIndex 0..3 means 96, 160, 300, 600 dpi where it applies.
    struct Job {
        Typesetter &typesetter;
        const DocumentLines &lines;
        QString path;
        int resolutionIndex = 0;
    };
    using Writer = std::function<Outcome(const Job &job)>;

    QString id;     // the command line's name: "pdf", "png" …
    QString label;  // the entry of the export form's file-type list
    QString icon;   // its icon
    QString suffix; // of the file, or of every page file in the folder
    bool toFolder = false;
    bool usesResolution = false;
    bool needsPages = true; // typeset before writing
    QString chooserTitle;   // the title of the file or folder chooser
    QString fileFilter;     // the file chooser's filter, for a file format
    QString progressText;   // the progress dialog's text while writing
    Writer write;

    // Every format, in the order of the file-type list.
    static const QVector<ExportFormat> &all();
    // The format of id (case-insensitive), or nullptr.
    static const ExportFormat *find(const QString &id);
    // The ids joined for a message: "pdf, jpg, png or svg".
    static QString idList();
    // Why the export may not write to output, or empty when it may: output
    // must not be one of scores (the score being exported, the documents
    // open in the window) nor any other score file, which the export would
    // replace.
    static QString refusedOutput(const QString &output, const QStringList &scores);
    // The plain title of a document: its title lines, or its first tune's name.
    static QString documentTitle(const DocumentLines &lines);
};
