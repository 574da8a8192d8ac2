#include "export/printdialogs.h"

#include "dialogs/screenfit.h"
#include "export/pageprinter.h"
#include "typeset/typesetter.h"

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <algorithm>

namespace {

PrintDialogs::Runner &runner() {
    static PrintDialogs::Runner r;
    return r;
}

} // namespace

std::optional<Outcome> PrintDialogs::print(QWidget *parent, const PageStyle &style,
                                           const DocumentLines &lines) {
    // Typeset first: the dialog offers the range of pages there are.
    Typesetter typesetter;
    typesetter.generate(style, lines, false);
    const int count = typesetter.pages().size();

    QPrinter printer(QPrinter::HighResolution);
    PagePrinter::prepare(&printer, typesetter.style(), typesetter.documentTitle());
    if (count == 0) {
        return PagePrinter::print(&printer, typesetter); // says there is nothing to print
    }
    QPrintDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("printDialog"));
    dialog.setWindowTitle(QStringLiteral("打印"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintPageRange |
                      QAbstractPrintDialog::PrintCollateCopies |
                      QAbstractPrintDialog::PrintShowPageSize);
    dialog.setMinMax(1, count);
    if (run(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    return PagePrinter::print(&printer, typesetter);
}

std::optional<Outcome> PrintDialogs::preview(QWidget *parent, const PageStyle &style,
                                             const DocumentLines &lines) {
    Typesetter typesetter;
    typesetter.generate(style, lines, false);

    QPrinter printer(QPrinter::HighResolution);
    PagePrinter::prepare(&printer, typesetter.style(), typesetter.documentTitle());
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("printPreviewDialog"));
    dialog.setWindowTitle(QStringLiteral("打印预览"));
    // The preview paints the pages for the screen, and once more onto the
    // printer when the user prints from it: the last painting is the print.
    Outcome painted = Outcome::success();
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&](QPrinter *target) { painted = PagePrinter::print(target, typesetter); });
    // Room for a whole page, most of the screen's height, and for the whole
    // tool bar, whose last button prints.
    const QSize available = ScreenFit::availableSize(&dialog);
    const int width = std::max(dialog.sizeHint().width(), available.height() * 4 / 5);
    dialog.resize(std::min(available.width(), width), available.height() * 9 / 10);
    ScreenFit::fit(&dialog);
    if (run(dialog) != QDialog::Accepted) {
        return std::nullopt;
    }
    return painted;
}

void PrintDialogs::setRunner(Runner r) {
    runner() = std::move(r);
}

int PrintDialogs::run(QDialog &dialog) {
    return runner() ? runner()(dialog) : dialog.exec();
}
