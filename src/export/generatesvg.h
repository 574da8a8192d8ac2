#pragma once

#include "model/documentline.h"

#include <QBuffer>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <memory>

class ExportConfig;
class QPainter;
class QSvgGenerator;

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
    // The plain title of the document (from its title lines or first tune
    // heading); survives runs.
    QString documentTitle() const { return m_documentTitle; }

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
    QSvgGenerator *newPage(QPainter &painter);
    void finishPage(QPainter &painter);
    void drawScore(QPainter &painter, const QString &score);

    // Layout (generatesvg.cpp)
    void newColumn(QPainter &painter, int width);
    void setPageTitle(const QString &title);
    void layoutTitle(QPainter &painter, const QString &text);
    void layoutQuPai(QPainter &painter, const QString &text);
    void layoutJiaBai(QPainter &painter, const QString &text);
    void layoutLianBai(QPainter &painter, const QString &text);
    int lianBaiBlockHeight(const QStringList &chars, int &n) const;
    void layoutLyricLine(QPainter &painter, const QString &text, const QStringList &scores);
    int openPageCount() const;

    QBuffer m_pageBuffer;
    QByteArray m_pageBytes; // the SVG text of the page being drawn
    QList<QByteArray> m_pages;
    int m_cursorX = 0;
    int m_cursorY = 0;
    int m_scoreOverhang = 0;
    QString m_documentTitle;
    ExportConfig &m_config;

    std::unique_ptr<QSvgGenerator> m_generator;
    // Title and description of the open page, written into its SVG when it is completed.
    QString m_pageTitle;
    QString m_pageDescription;
    bool m_pageOpen = false;
};
