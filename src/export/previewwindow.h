#pragma once

#include <QByteArray>
#include <QColor>
#include <QDialog>
#include <QList>
#include <QPointF>
#include <QRectF>

class QGraphicsRectItem;
class QGraphicsScene;
class QGraphicsSvgItem;
class QGraphicsView;
class QLabel;
class QPushButton;

// Shows generated pages one at a time, with paging and zoom. Ctrl + wheel
// over the page zooms; the wheel alone scrolls. A click on the page is told
// in page units, so that it can be followed back to the text. The sung character being
// played may be highlighted on its page, over the page and not in it.
class PreviewWindow : public QDialog {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget *parent = nullptr);

    // Takes the pages (each an SVG document) and shows the first; clears the
    // highlight.
    void setPages(const QList<QByteArray> &pages);
    // Highlights rect, in the page's units (see SourceArea), on page and turns
    // to that page. A page out of range clears the highlight. The highlight
    // stays with its page when the pages are turned or zoomed.
    void setPlayingArea(int page, const QRectF &rect);
    int playingPage() const { return m_playingPage; }
    // The colour of that highlight, here and in the preview pane.
    static QColor playingColor() { return QColor(20, 110, 240); }
    // The highlight in the scene, over the page item; null when the page shown
    // has none.
    QGraphicsRectItem *playingItem() const { return m_playingItem; }

    int currentPage() const { return m_currentPage; }
    QGraphicsView *view() const { return m_view; }
    QGraphicsScene *scene() const { return m_scene; }
    QLabel *pageLabel() const { return m_pageLabel; }
    QPushButton *prevButton() const { return m_prevBtn; }
    QPushButton *nextButton() const { return m_nextBtn; }
    QPushButton *zoomOutButton() const { return m_zoomOutBtn; }
    QPushButton *zoomInButton() const { return m_zoomInBtn; }
    QPushButton *fitButton() const { return m_fitBtn; }

signals:
    // A click on page `page` at point, in the page's units.
    void pageClicked(int page, const QPointF &point);

public slots:
    void onPrevBtnClicked();
    void onNextBtnClicked();
    void onZoomInBtnClicked();
    void onZoomOutBtnClicked();
    void onFitBtnClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showPage();
    // Adds, moves or removes the highlight of the page shown.
    void placePlayingItem();

    QList<QByteArray> m_pages;
    int m_currentPage = 0;
    int m_playingPage = -1;
    QRectF m_playingRect;
    QGraphicsSvgItem *m_pageItem = nullptr;     // owned by the scene
    QGraphicsRectItem *m_playingItem = nullptr; // a child of m_pageItem
    QGraphicsScene *m_scene;
    QGraphicsView *m_view;
    QPushButton *m_prevBtn;
    QLabel *m_pageLabel;
    QPushButton *m_nextBtn;
    QPushButton *m_zoomOutBtn;
    QPushButton *m_zoomInBtn;
    QPushButton *m_fitBtn;
};
