#pragma once

#include "export/pagecanvas.h"
#include "model/documentline.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>

class ExportConfig;

// Typesets a document into pages, each a complete SVG document held as bytes.
// Columns run top to bottom and follow each other right to left; every sung
// character gets its gongche score drawn beside it at the configured angle.
// Layout and drawing happen in one pass through one painter.
//
// Page coordinates: the painter's origin is the top-right corner of the
// printable area; a column of width w spans cursorX .. cursorX + w
// (cursorX <= 0) and y runs from 0 at the top margin down to the printable
// height. One SVG user unit is one point.
class GenerateSVG : public QObject {
    Q_OBJECT

public:
    // The colour classes of gongche symbols.
    enum class SymbolClass { Pitch, Ban, XiaoYan, ZhongYan, QiangGe };

    explicit GenerateSVG(QObject *parent = nullptr);
    ~GenerateSVG() override;

    // Closes the page buffer and empties the page list.
    void reset();
    // Lays out and draws all lines, appending the pages to the page list. With
    // previewOnly it stops as soon as a second page has been begun.
    void generate(const DocumentLines &lines, bool previewOnly);
    const QList<QByteArray> &pages() const { return m_pages; }
    // Paints page index onto a painter whose user units are points (the
    // page's own units), with real text: the same drawing as its SVG. Text
    // set in a cell is never clipped to it, as in the SVG, where the
    // generator writes no clipping.
    void paintPage(QPainter &painter, int index) const;
    // The plain title of the document (from its title lines or first tune
    // heading); survives runs.
    QString documentTitle() const { return m_documentTitle; }

    // Writers (pagewriters.cpp). Each reports its own failure in a message box
    // and returns false; files written before a failure stay.
    // One PDF file, a page per page.
    bool exportPdf(const QString &filePath);
    // A new folder in dirPath of one image per page; fmt is "png" or "jpg",
    // the resolution index 0..3 means 96, 160, 300, 600 dpi.
    bool exportImages(const QString &dirPath, int resolutionIndex, QString fmt);
    // A new folder in dirPath of one SVG file per page, with the gongche font
    // and a read-me.
    bool exportSvg(const QString &dirPath);
    // The file or folder written by the last successful export.
    QString lastExportPath() const { return m_lastExportPath; }

    // Dots per inch of a resolution index; any unknown index means 96.
    static int resolutionDpi(int resolutionIndex);
    // The size in pixels of a page image at dpi.
    QSize imageSize(int dpi) const;
    // name made safe as one file name component: characters that are not
    // allowed in file names replaced by "_", white space trimmed, a name of
    // only dots replaced, long names shortened; the default title if nothing
    // is left.
    static QString safeFileName(const QString &name);

    // The vertical reach below the cursor of what drawScore would draw.
    int scoreExtent(const QString &score) const;
    static SymbolClass symbolClass(const QString &symbol);

    // The page size in points, landscape applied.
    QSize pageSize() const;
    // The printable width and height.
    QSize availableSize() const;

signals:
    // status 0 = start (with window title and tip), 1 = step, 2 = finished.
    void progressUpdate(int status, int value, int maxValue, QString winTitle = QString(),
                        QString tip = QString());

private:
    // Page canvas (scoredrawing.cpp)
    void newPage(PageCanvas &painter);
    void finishPage(PageCanvas &painter);
    static QFont pageFont(const QFont &font);
    void drawScore(PageCanvas &painter, const QString &score);

    // Layout (generatesvg.cpp)
    void newColumn(PageCanvas &painter, int width);
    void setPageTitle(const QString &title);
    void layoutTitle(PageCanvas &painter, const QString &text);
    void layoutQuPai(PageCanvas &painter, const QString &text);
    void layoutJiaBai(PageCanvas &painter, const QString &text);
    void layoutLianBai(PageCanvas &painter, const QString &text);
    int lianBaiBlockHeight(const QStringList &chars, int &n) const;
    void layoutLyricLine(PageCanvas &painter, const QString &text, const QStringList &scores);
    int openPageCount() const;

    QBuffer m_pageBuffer; // receives the SVG text of a completed page
    QList<QByteArray> m_pages;
    // The same pages as display lists in page units, beside their SVG text.
    struct PageRecord {
        PageCanvas canvas;
        QSize size;
        QColor background; // invalid when transparent
    };
    QList<PageRecord> m_pageRecords;
    QSize m_pageSize;
    QColor m_pageBackground;
    int m_cursorX = 0;
    int m_cursorY = 0;
    int m_scoreOverhang = 0;
    QString m_documentTitle;
    QString m_lastExportPath;
    ExportConfig &m_config;

    // Title and description of the open page, written into its SVG when it is completed.
    QString m_pageTitle;
    QString m_pageDescription;
    bool m_pageOpen = false;
};
