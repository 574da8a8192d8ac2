#include "export/exportconfig.h"
#include "export/previewwindow.h"
#include "exportfixture.h"
#include "shell/apppaths.h"
#include "testsupport.h"
#include "typeset/typesetter.h"

#include <QGraphicsScene>
#include <QGraphicsSvgItem>
#include <QGraphicsView>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

namespace {

QList<QByteArray> pagesOf(const DocumentLines &lines) {
    Typesetter g;
    g.generate(ExportConfig::instance()->pageStyle(), lines, false);
    return g.pages();
}

void sendWheel(QWidget *target, int delta, Qt::KeyboardModifiers modifiers) {
    const QPoint pos = target->rect().center();
    QWheelEvent e(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                  modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &e);
}

} // namespace

class TestPreviewWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void windowSetUp();
    void singlePage();
    void paging();
    void zoomKeepsAcrossPages();
    void fitOnEmptySceneDoesNothing();
    void fitShowsTheWholePage();
    void ctrlWheelZooms();
};

void TestPreviewWindow::initTestCase() {
    QVERIFY(useProgramDir());
    ExportConfig::instance()->restoreDefaults();
}

void TestPreviewWindow::windowSetUp() {
    PreviewWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("预览"));
    QCOMPARE(w.size(), QSize(800, 600)); // fitted to the screen when shown
    QVERIFY(w.windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(!(w.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(w.windowState() & Qt::WindowMaximized);
    QCOMPARE(w.scene()->backgroundBrush().color(), QColor(240, 240, 240));
    QCOMPARE(w.view()->dragMode(), QGraphicsView::ScrollHandDrag);
    QCOMPARE(w.prevButton()->text(), QStringLiteral("上一页"));
    QCOMPARE(w.nextButton()->text(), QStringLiteral("下一页"));
    QCOMPARE(w.zoomOutButton()->text(), QStringLiteral("缩小"));
    QCOMPARE(w.zoomInButton()->text(), QStringLiteral("放大"));
    QCOMPARE(w.fitButton()->text(), QStringLiteral("适应窗口"));
}

void TestPreviewWindow::singlePage() {
    PreviewWindow w;
    w.setPages(pagesOf({}));
    QCOMPARE(w.pageLabel()->text(), QStringLiteral("1/1"));
    QVERIFY(!w.prevButton()->isEnabled());
    QVERIFY(!w.nextButton()->isEnabled());
    QCOMPARE(w.scene()->items().size(), 1);
    QVERIFY(qgraphicsitem_cast<QGraphicsSvgItem *>(w.scene()->items().first()));
    const QSizeF size = w.scene()->items().first()->boundingRect().size();
    QVERIFY(qAbs(size.height() / size.width() - 842.0 / 595) < 0.01);
    w.onNextBtnClicked();
    QCOMPARE(w.currentPage(), 0);
    w.onPrevBtnClicked();
    QCOMPARE(w.currentPage(), 0);
}

void TestPreviewWindow::paging() {
    PreviewWindow w;
    const QList<QByteArray> pages = pagesOf(manyPages(2));
    QCOMPARE(pages.size(), 5); // two scenes of two pages, an empty page after the last break
    w.setPages(pages.mid(0, 4));
    QCOMPARE(w.pageLabel()->text(), QStringLiteral("1/4"));
    QVERIFY(!w.prevButton()->isEnabled());
    QVERIFY(w.nextButton()->isEnabled());
    QTest::mouseClick(w.nextButton(), Qt::LeftButton);
    QCOMPARE(w.currentPage(), 1);
    QCOMPARE(w.pageLabel()->text(), QStringLiteral("2/4"));
    QVERIFY(w.prevButton()->isEnabled());
    w.onNextBtnClicked();
    w.onNextBtnClicked();
    QCOMPARE(w.pageLabel()->text(), QStringLiteral("4/4"));
    QVERIFY(!w.nextButton()->isEnabled());
    w.onNextBtnClicked();
    QCOMPARE(w.currentPage(), 3);
    QCOMPARE(w.scene()->items().size(), 1);
    QTest::mouseClick(w.prevButton(), Qt::LeftButton);
    QCOMPARE(w.pageLabel()->text(), QStringLiteral("3/4"));

    // New pages start again at the first.
    w.setPages(pagesOf({}));
    QCOMPARE(w.currentPage(), 0);
    QCOMPARE(w.pageLabel()->text(), QStringLiteral("1/1"));
}

void TestPreviewWindow::zoomKeepsAcrossPages() {
    PreviewWindow w;
    w.setPages(pagesOf(manyPages(2)));
    w.onZoomInBtnClicked();
    QCOMPARE(w.view()->transform().m11(), 1.2);
    w.onZoomOutBtnClicked();
    QVERIFY(qFuzzyCompare(w.view()->transform().m11(), 0.96));
    w.onNextBtnClicked();
    QVERIFY(qFuzzyCompare(w.view()->transform().m22(), 0.96));
}

void TestPreviewWindow::fitOnEmptySceneDoesNothing() {
    PreviewWindow w;
    w.onZoomInBtnClicked();
    w.onFitBtnClicked();
    QCOMPARE(w.view()->transform().m11(), 1.2);
    w.setPages({});
    QCOMPARE(w.scene()->items().size(), 0);
    w.onFitBtnClicked();
    QCOMPARE(w.view()->transform().m11(), 1.2);
}

void TestPreviewWindow::fitShowsTheWholePage() {
    PreviewWindow w;
    w.setWindowState(Qt::WindowNoState);
    w.resize(900, 700);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.setPages(pagesOf({}));
    w.onZoomInBtnClicked();
    w.onZoomInBtnClicked();
    w.onFitBtnClicked();
    const QRectF page = w.scene()->items().first()->boundingRect();
    const QRect shown = w.view()->mapFromScene(page).boundingRect();
    const QRect viewport = w.view()->viewport()->rect();
    QVERIFY2(viewport.adjusted(-2, -2, 2, 2).contains(shown),
             qPrintable(QStringLiteral("%1 %2").arg(shown.height()).arg(viewport.height())));
    // The page fills the height it is limited by.
    QVERIFY(shown.height() > viewport.height() - 20);
    QCOMPARE(w.view()->transform().m11(), w.view()->transform().m22());
}

void TestPreviewWindow::ctrlWheelZooms() {
    PreviewWindow w;
    w.setPages(pagesOf({}));
    QWidget *viewport = w.view()->viewport();
    sendWheel(viewport, 120, Qt::ControlModifier);
    QCOMPARE(w.view()->transform().m11(), 1.2);
    sendWheel(viewport, -120, Qt::ControlModifier);
    QVERIFY(qFuzzyCompare(w.view()->transform().m11(), 0.96));
    // Without Ctrl the wheel is the view's (it scrolls), no zoom.
    sendWheel(viewport, 120, Qt::NoModifier);
    QVERIFY(qFuzzyCompare(w.view()->transform().m11(), 0.96));
}

QTEST_MAIN(TestPreviewWindow)
#include "tst_previewwindow.moc"
