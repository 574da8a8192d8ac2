#include "export/previewwindow.h"

#include "dialogs/screenfit.h"

#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSvgItem>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>
#include <QWheelEvent>

PreviewWindow::PreviewWindow(QWidget *parent)
    : QDialog(parent) {
    setWindowFlags((windowFlags() | Qt::WindowMaximizeButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(QStringLiteral("预览"));
    // Opened maximized; restored, 800 × 600 where the screen has room.
    resize(800, 600);
    ScreenFit::fit(this);
    setWindowState(windowState() | Qt::WindowMaximized);

    m_scene = new QGraphicsScene(this);
    m_scene->setBackgroundBrush(QColor(240, 240, 240));
    m_view = new QGraphicsView(m_scene, this);
    m_view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_view->setStyleSheet(QStringLiteral("QGraphicsView { border: 1px solid #dddddd; }"));
    m_view->setDragMode(QGraphicsView::ScrollHandDrag);
    m_view->setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    m_view->viewport()->installEventFilter(this);

    m_prevBtn = new QPushButton(QStringLiteral("上一页"), this);
    m_pageLabel = new QLabel(this);
    m_nextBtn = new QPushButton(QStringLiteral("下一页"), this);
    m_zoomOutBtn = new QPushButton(QStringLiteral("缩小"), this);
    m_zoomInBtn = new QPushButton(QStringLiteral("放大"), this);
    m_fitBtn = new QPushButton(QStringLiteral("适应窗口"), this);
    for (QPushButton *b : {m_prevBtn, m_nextBtn, m_zoomOutBtn, m_zoomInBtn, m_fitBtn}) {
        b->setAutoDefault(false);
    }

    auto *row = new QHBoxLayout;
    row->addWidget(m_prevBtn);
    row->addWidget(m_pageLabel);
    row->addWidget(m_nextBtn);
    row->addStretch();
    row->addWidget(m_zoomOutBtn);
    row->addWidget(m_zoomInBtn);
    row->addWidget(m_fitBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addLayout(row);

    connect(m_prevBtn, &QPushButton::clicked, this, &PreviewWindow::onPrevBtnClicked);
    connect(m_nextBtn, &QPushButton::clicked, this, &PreviewWindow::onNextBtnClicked);
    connect(m_zoomOutBtn, &QPushButton::clicked, this, &PreviewWindow::onZoomOutBtnClicked);
    connect(m_zoomInBtn, &QPushButton::clicked, this, &PreviewWindow::onZoomInBtnClicked);
    connect(m_fitBtn, &QPushButton::clicked, this, &PreviewWindow::onFitBtnClicked);
}

void PreviewWindow::setPages(const QList<QByteArray> &pages) {
    m_pages = pages;
    m_currentPage = 0;
    m_playingPage = -1;
    m_playingRect = QRectF();
    if (!m_pages.isEmpty()) {
        showPage();
    }
    m_prevBtn->setEnabled(false);
    m_nextBtn->setEnabled(m_pages.size() > 1);
}

void PreviewWindow::showPage() {
    m_scene->clear();
    m_pageItem = nullptr;
    m_playingItem = nullptr;
    if (m_currentPage < 0 || m_currentPage >= m_pages.size()) {
        return;
    }
    auto *item = new QGraphicsSvgItem;
    // The renderer lives as long as the item.
    auto *renderer = new QSvgRenderer(m_pages.at(m_currentPage), item);
    item->setSharedRenderer(renderer);
    m_scene->addItem(item);
    m_scene->setSceneRect(item->boundingRect());
    m_pageItem = item;
    placePlayingItem();
    m_pageLabel->setText(QStringLiteral("%1/%2").arg(m_currentPage + 1).arg(m_pages.size()));
    m_prevBtn->setEnabled(m_currentPage > 0);
    m_nextBtn->setEnabled(m_currentPage < m_pages.size() - 1);
}

void PreviewWindow::setPlayingArea(int page, const QRectF &rect) {
    const bool valid = page >= 0 && page < m_pages.size() && !rect.isEmpty();
    m_playingPage = valid ? page : -1;
    m_playingRect = valid ? rect : QRectF();
    if (valid && page != m_currentPage) {
        m_currentPage = page;
        showPage();
    } else {
        placePlayingItem();
    }
}

void PreviewWindow::placePlayingItem() {
    if (!m_pageItem || m_playingPage != m_currentPage) {
        delete m_playingItem;
        m_playingItem = nullptr;
        return;
    }
    if (!m_playingItem) {
        // A child of the page, drawn over it: it follows the page through
        // every zoom. The item's units are the page's: the SVG item measures
        // the page in the renderer's default size, the page's units are its
        // view box.
        m_playingItem = new QGraphicsRectItem(m_pageItem);
        const QRectF box = m_pageItem->renderer()->viewBoxF();
        const QRectF bounds = m_pageItem->boundingRect();
        if (!box.isEmpty()) {
            m_playingItem->setTransform(QTransform::fromScale(bounds.width() / box.width(),
                                                              bounds.height() / box.height()));
        }
        QPen pen(playingColor(), 1.5);
        pen.setCosmetic(true);
        m_playingItem->setPen(pen);
        QColor fill = playingColor();
        fill.setAlpha(60);
        m_playingItem->setBrush(fill);
    }
    m_playingItem->setRect(m_playingRect);
}

void PreviewWindow::onPrevBtnClicked() {
    if (m_currentPage > 0) {
        --m_currentPage;
        showPage();
    }
}

void PreviewWindow::onNextBtnClicked() {
    if (m_currentPage < m_pages.size() - 1) {
        ++m_currentPage;
        showPage();
    }
}

void PreviewWindow::onZoomInBtnClicked() {
    m_view->scale(1.2, 1.2);
}

void PreviewWindow::onZoomOutBtnClicked() {
    m_view->scale(0.8, 0.8);
}

void PreviewWindow::onFitBtnClicked() {
    if (!m_pageItem) {
        return;
    }
    m_view->resetTransform();
    m_view->fitInView(m_pageItem->boundingRect(), Qt::KeepAspectRatio);
}

bool PreviewWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_view->viewport() && event->type() == QEvent::MouseButtonPress && m_pageItem) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton) {
            // The page item sits at the scene's origin in page units.
            const QPointF point = m_pageItem->mapFromScene(m_view->mapToScene(mouse->pos()));
            if (m_pageItem->boundingRect().contains(point)) {
                emit pageClicked(m_currentPage, point);
            }
        }
    }
    if (watched == m_view->viewport() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const qreal factor = wheel->angleDelta().y() > 0 ? 1.2 : 0.8;
            m_view->scale(factor, factor);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
