#pragma once

#include "model/documentline.h"
#include "model/outcome.h"
#include "typeset/pagestyle.h"

#include <functional>
#include <optional>

class QDialog;
class QWidget;

// The 打印 and 打印预览 commands: the document typeset in the export
// settings' style, the standard print dialog or print preview in front of
// the printer, and PagePrinter behind it. The printer starts on the paper
// and orientation of the style.
//
// Both dialogs are run through run(), which executes them modally unless a
// runner is installed; tests install one that looks at the dialog and
// answers for the user.
class PrintDialogs {
public:
    // Runs dialog and returns its result (QDialog::Accepted or Rejected).
    using Runner = std::function<int(QDialog &dialog)>;

    // Typesets lines, asks for the printer and prints. No value when the
    // dialog was cancelled; else what the printing came to.
    static std::optional<Outcome> print(QWidget *parent, const PageStyle &style,
                                        const DocumentLines &lines);
    // Typesets lines and shows the pages in a print preview, from which they
    // can be printed. No value when the preview was closed without printing.
    static std::optional<Outcome> preview(QWidget *parent, const PageStyle &style,
                                          const DocumentLines &lines);

    // Installs a runner; an empty function restores QDialog::exec().
    static void setRunner(Runner runner);
    static int run(QDialog &dialog);
};
