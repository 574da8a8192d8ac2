#include "export/pageprinter.h"

#include "typeset/typesetter.h"

#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace {

const QString errorTitle = QStringLiteral("错误");
const QString noticeTitle = QStringLiteral("提示");
const QString defaultTitle = QStringLiteral("Qorvel工尺谱");

} // namespace

QPageLayout PagePrinter::pageLayout(const PageStyle &style) {
    // The paper as the PDF export has it: the configured size in points,
    // matched to a standard size when it is close to one.
    const PageStyle bounded = style.bounded();
    return QPageLayout(QPageSize(QSize(bounded.pageWidth, bounded.pageHeight), QPageSize::Point,
                                 QString(), QPageSize::FuzzyMatch),
                       bounded.landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0));
}

void PagePrinter::prepare(QPrinter *printer, const PageStyle &style, const QString &title) {
    printer->setPageLayout(pageLayout(style));
    // After the layout, which brings a mode of its own.
    printer->setFullPage(true);
    printer->setDocName(title.trimmed().isEmpty() ? defaultTitle : title.trimmed());
    printer->setCreator(defaultTitle);
}

Outcome PagePrinter::print(QPrinter *printer, const PageStyle &style, const DocumentLines &lines) {
    Typesetter typesetter;
    typesetter.generate(style, lines, false);
    prepare(printer, typesetter.style(), typesetter.documentTitle());
    return print(printer, typesetter);
}

Outcome PagePrinter::print(QPrinter *printer, const Typesetter &typesetter) {
    const int count = typesetter.pages().size();
    if (count == 0) {
        return Outcome::failure(noticeTitle, QStringLiteral("没有可打印的页面。"));
    }
    const QVector<int> sequence = pageSequence(*printer, count);
    if (sequence.isEmpty()) {
        return Outcome::failure(noticeTitle, QStringLiteral("所选的页码范围内没有页面。"));
    }
    const QString cannotPrint = QStringLiteral("无法打印：打印机不可用，或输出文件无法写入。");
    QPainter painter;
    if (!painter.begin(printer)) {
        return Outcome::failure(errorTitle, cannotPrint);
    }
    // Device pixels per point; the pages' unit is the point.
    const qreal sx = printer->logicalDpiX() / 72.0;
    const qreal sy = printer->logicalDpiY() / 72.0;
    const QSizeF page = typesetter.pageSize();
    const QRectF paper = printer->paperRect(QPrinter::DevicePixel);
    const QRectF printable = printer->pageRect(QPrinter::DevicePixel);
    // Other paper than the pages' (chosen in the dialog): smaller paper takes
    // the page scaled down and centred; larger paper takes it as it is.
    const qreal fit = std::min(
        {qreal(1), paper.width() / (page.width() * sx), paper.height() / (page.height() * sy)});
    QPointF offset = paper.topLeft() - printable.topLeft();
    if (fit < 1) {
        offset += QPointF((paper.width() - page.width() * sx * fit) / 2,
                          (paper.height() - page.height() * sy * fit) / 2);
    }
    bool ok = true;
    for (int i = 0; i < sequence.size() && ok; ++i) {
        if (i > 0 && !printer->newPage()) {
            ok = false;
            break;
        }
        painter.save();
        painter.translate(offset);
        painter.scale(sx * fit, sy * fit);
        typesetter.paintPage(painter, sequence.at(i));
        painter.restore();
    }
    ok = painter.end() && ok;
    if (!ok || printer->printerState() == QPrinter::Error) {
        return Outcome::failure(errorTitle, cannotPrint);
    }
    return Outcome::success(printer->outputFileName());
}

QVector<int> PagePrinter::pageSequence(const QPrinter &printer, int count) {
    int first = 0;
    int last = count - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = printer.fromPage() - 1;
        if (printer.toPage() > 0) {
            last = std::min(last, printer.toPage() - 1);
        }
    }
    QVector<int> pages;
    for (int k = first; k <= last; ++k) {
        pages << k;
    }
    if (printer.pageOrder() == QPrinter::LastPageFirst) {
        std::reverse(pages.begin(), pages.end());
    }
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    if (copies == 1) {
        return pages;
    }
    QVector<int> sequence;
    if (printer.collateCopies()) {
        for (int c = 0; c < copies; ++c) {
            sequence << pages;
        }
    } else {
        for (int p : pages) {
            for (int c = 0; c < copies; ++c) {
                sequence << p;
            }
        }
    }
    return sequence;
}
