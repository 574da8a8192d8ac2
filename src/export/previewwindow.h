#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>

class QGraphicsScene;
class QGraphicsView;
class QLabel;
class QPushButton;

// Shows generated pages one at a time, with paging and zoom. Ctrl + wheel
// over the page zooms; the wheel alone scrolls.
class PreviewWindow : public QDialog {
    Q_OBJECT

public:
    explicit PreviewWindow(QWidget *parent = nullptr);

    // Takes the pages (each an SVG document) and shows the first.
    void setPages(const QList<QByteArray> &pages);

    int currentPage() const { return m_currentPage; }
    QGraphicsView *view() const { return m_view; }
    QGraphicsScene *scene() const { return m_scene; }
    QLabel *pageLabel() const { return m_pageLabel; }
    QPushButton *prevButton() const { return m_prevBtn; }
    QPushButton *nextButton() const { return m_nextBtn; }
    QPushButton *zoomOutButton() const { return m_zoomOutBtn; }
    QPushButton *zoomInButton() const { return m_zoomInBtn; }
    QPushButton *fitButton() const { return m_fitBtn; }

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

    QList<QByteArray> m_pages;
    int m_currentPage = 0;
    QGraphicsScene *m_scene;
    QGraphicsView *m_view;
    QPushButton *m_prevBtn;
    QLabel *m_pageLabel;
    QPushButton *m_nextBtn;
    QPushButton *m_zoomOutBtn;
    QPushButton *m_zoomInBtn;
    QPushButton *m_fitBtn;
};
