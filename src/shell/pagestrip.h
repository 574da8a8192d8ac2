#pragma once

#include <QAbstractScrollArea>
#include <QPointer>

class Typesetter;

// Every page of a typesetter, one below the other at the width of the view,
// on a grey desk: the preview of a whole book. Only the pages in sight are
// drawn, each straight from its display list, so a long book scrolls as fast
// as a short one.
class PageStrip : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit PageStrip(QWidget *parent = nullptr);

    // Shows the pages of typesetter (none for nullptr); call again when they
    // change.
    void setTypesetter(const Typesetter *typesetter);
    int pageCount() const;
    // The page at the middle of the view, 0 for the first; -1 without pages.
    int currentPage() const;
    // Scrolls page index to the top of the view.
    void showPage(int index);

signals:
    void currentPageChanged(int index);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    // The width of a page on screen, and its height from the page's proportions.
    int pageWidth() const;
    int pageHeight() const;
    void updateScrollBar();

    QPointer<const Typesetter> m_typesetter;
    int m_lastCurrent = -1;
};
