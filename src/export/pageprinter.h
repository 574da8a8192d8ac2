#pragma once

#include "model/documentline.h"
#include "model/outcome.h"
#include "typeset/pagestyle.h"

#include <QPageLayout>
#include <QString>
#include <QVector>

class QPrinter;
class Typesetter;

// Prints typeset pages on a QPrinter: each page drawn as vectors with real
// text, at the printer's own resolution, as the PDF export draws it. No
// windows: the print dialogs are PrintDialogs'.
class PagePrinter {
public:
    // The paper and orientation of style, without margins: the pages carry
    // their own.
    static QPageLayout pageLayout(const PageStyle &style);
    // Sets printer to the paper and orientation of style, drawing on the
    // whole sheet, with title as the name of the print job.
    static void prepare(QPrinter *printer, const PageStyle &style, const QString &title);

    // Typesets lines in style, prepares printer for its paper and prints
    // every page.
    static Outcome print(QPrinter *printer, const PageStyle &style, const DocumentLines &lines);
    // Prints the pages of typesetter on printer as it is set (paper, page
    // range, page order and copies). A page larger than the printer's paper
    // (chosen in a print dialog) is scaled down to fit.
    static Outcome print(QPrinter *printer, const Typesetter &typesetter);

    // The page indices that printer asks for among count pages, in the order
    // they are printed, each copy included where the printer does not make
    // the copies itself.
    static QVector<int> pageSequence(const QPrinter &printer, int count);
};
