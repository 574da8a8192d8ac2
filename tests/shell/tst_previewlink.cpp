// The page and the text answer each other: a click on the preview pane (also
// in its 预览全部 mode) puts both cursors at the character or symbol clicked;
// moving the cursor outlines its character on the preview and turns to its
// page; an edit reaches the preview once typing pauses. The pane previews the
// current document, and nothing while it is closed.
#include "../export/exportfixture.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "export/exportconfig.h"
#include "export/previewdock.h"
#include "export/previewpane.h"
#include "fonts/fontsubstitutions.h"
#include "shell/previewlink.h"
#include "windowfixture.h"

#include <QAction>
#include <QGraphicsView>
#include <QMenu>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>

class TestPreviewLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cursorTurnsThePreview();
    void clickMovesTheCursors();
    void clickInThePreviewOfAllPages();
    void followsTheCurrentDocument();
    void visibilityIsRememberedAcrossRestarts();
    void editsReachThePreview();

private:
    // A document of three pages, opened in a tab, with the preview pane.
    PreviewPane *openWithPreview();
    // Where area lies in the preview widget.
    QPoint onPreview(const QRectF &area) const;
    SourceArea areaOf(int page, int character, SourceArea::Kind kind, int symbol = -1) const;
    int characterAtCursor() const {
        return m_window->currentEdit()->scoreEditor()->textCursor().blockNumber();
    }

    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
    PreviewPane *m_pane = nullptr;
};

void TestPreviewLink::initTestCase() {
    windowfixture::useProgramDir(m_dir.filePath(QStringLiteral("program")));
    installChineseFontSubstitutions();
}

void TestPreviewLink::init() {
    ExportConfig::instance()->restoreDefaults();
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestPreviewLink::cleanup() {
    windowfixture::closeWindow(m_window);
    m_pane = nullptr;
}

PreviewPane *TestPreviewLink::openWithPreview() {
    const SampleScore one = sampleScore(false);
    QStringList lyric, score;
    for (int i = 0; i < 3; ++i) {
        lyric << one.lyric;
        score << one.score;
    }
    m_window->newAction();
    m_window->currentEdit()->restore(lyric.join(QStringLiteral("\n@分页符\n")),
                                     score.join(QLatin1Char('\n')), QString());
    PreviewDock *dock = m_window->previewDock();
    dock->show();
    m_pane = dock->pane();
    // The pane shows the new document's pages.
    if (!QTest::qWaitFor(
            [this] { return m_pane->lines() == m_window->currentEdit()->documentLines(); })) {
        return nullptr;
    }
    return m_pane;
}

QPoint TestPreviewLink::onPreview(const QRectF &area) const {
    const QWidget *preview = m_pane->findChild<QWidget *>(QStringLiteral("preViewWidget"));
    const QSize page = m_pane->engine()->pageSize();
    return QPoint(qRound(area.center().x() * preview->width() / page.width()),
                  qRound(area.center().y() * preview->height() / page.height()));
}

SourceArea TestPreviewLink::areaOf(int page, int character, SourceArea::Kind kind,
                                   int symbol) const {
    for (const SourceArea &a : m_pane->engine()->sourceAreas(page)) {
        if (a.character == character && a.kind == kind && (symbol < 0 || a.symbol == symbol)) {
            return a;
        }
    }
    return SourceArea();
}

void TestPreviewLink::cursorTurnsThePreview() {
    QVERIFY(openWithPreview());
    DocumentTab *tab = m_window->currentEdit();
    const int perScene = tab->lyricEditor()->sungCharTotal() / 3;
    QVERIFY(perScene > 10);
    // A character of each scene: the preview turns to a page of its scene.
    int lastPage = -1;
    for (int scene = 0; scene < 3; ++scene) {
        const int character = scene * perScene + 3;
        music::Place place;
        place.line = character;
        tab->goTo(place);
        QCOMPARE(characterAtCursor(), character);
        QCOMPARE(m_pane->cursorCharacter(), character);
        int page = -1;
        QRectF rect;
        QVERIFY(m_pane->engine()->findCharacter(character, &page, &rect));
        QCOMPARE(m_pane->previewPage(), page);
        QCOMPARE(m_pane->cursorRect(), rect);
        QVERIFY(page > lastPage);
        lastPage = page;
    }
    QVERIFY(lastPage >= 2);
}

void TestPreviewLink::clickMovesTheCursors() {
    QVERIFY(openWithPreview());
    DocumentTab *tab = m_window->currentEdit();
    QWidget *preview = m_pane->findChild<QWidget *>(QStringLiteral("preViewWidget"));
    const int perScene = tab->lyricEditor()->sungCharTotal() / 3;
    // On the last pages: the cursor there first turns the preview.
    music::Place start;
    start.line = 2 * perScene + 1;
    tab->goTo(start);
    const int page = m_pane->previewPage();
    QVERIFY(page >= 2);

    // A character: both cursors go to it.
    const int target = 2 * perScene + 6;
    const SourceArea character = areaOf(page, target, SourceArea::Character);
    QCOMPARE(character.character, target);
    QTest::mouseClick(preview, Qt::LeftButton, Qt::NoModifier, onPreview(character.rect));
    QCOMPARE(characterAtCursor(), target);
    const int at = tab->lyricEditor()->textCursor().position();
    QVERIFY(at > 0);
    QCOMPARE(tab->lyricEditor()->sungCharEnd(target + 1), at);

    // A symbol: the score cursor goes to it, after it in its line.
    const SourceArea symbol = areaOf(page, target + 2, SourceArea::Symbol, 1);
    QCOMPARE(symbol.character, target + 2);
    QTest::mouseClick(preview, Qt::LeftButton, Qt::NoModifier, onPreview(symbol.rect));
    QCOMPARE(characterAtCursor(), target + 2);
    const QTextCursor score = tab->scoreEditor()->textCursor();
    QCOMPARE(score.positionInBlock(), 4); // after the second symbol (two UTF-16 units each)
    QCOMPARE(tab->lyricEditor()->textCursor().position(),
             tab->lyricEditor()->sungCharEnd(target + 3));
    // And the preview outlines it.
    QCOMPARE(m_pane->cursorCharacter(), target + 2);

    // Nothing near: nothing moves.
    QTest::mouseClick(preview, Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    QCOMPARE(characterAtCursor(), target + 2);
}

void TestPreviewLink::clickInThePreviewOfAllPages() {
    QVERIFY(openWithPreview());
    const int perScene = m_window->currentEdit()->lyricEditor()->sungCharTotal() / 3;
    const int target = perScene + 4;
    m_pane->findChild<QToolButton *>(QStringLiteral("previewAllBtn"))->click();
    QVERIFY(m_pane->isWide());
    QVERIFY(m_window->previewDock()->isFloating());
    int page = -1;
    QRectF rect;
    QVERIFY(m_pane->engine()->findCharacter(target, &page, &rect));
    auto *next = m_pane->findChild<QToolButton *>(QStringLiteral("nextPageBtn"));
    while (m_pane->previewPage() < page && next->isEnabled()) {
        next->click();
    }
    QCOMPARE(m_pane->previewPage(), page);
    const SourceArea area = areaOf(page, target, SourceArea::Character);
    QTest::mouseClick(m_pane->findChild<QWidget *>(QStringLiteral("preViewWidget")), Qt::LeftButton,
                      Qt::NoModifier, onPreview(area.rect));
    QCOMPARE(characterAtCursor(), target);
    // Leaving the mode docks the pane again.
    m_pane->findChild<QToolButton *>(QStringLiteral("previewAllBtn"))->click();
    QVERIFY(!m_window->previewDock()->isFloating());
}

// Another tab is previewed when it becomes current; closed, the pane follows
// nothing, and it catches up when shown again.
void TestPreviewLink::followsTheCurrentDocument() {
    QVERIFY(openWithPreview());
    DocumentTab *first = m_window->currentEdit();
    m_window->newAction();
    DocumentTab *second = m_window->currentEdit();
    second->restore(QStringLiteral("原来"), QStringLiteral("\n"), QString());
    QTRY_COMPARE(m_pane->lines(), second->documentLines());
    m_window->tabWidget()->setCurrentWidget(first);
    QCOMPARE(m_pane->lines(), first->documentLines());

    PreviewDock *dock = m_window->previewDock();
    dock->close();
    QVERIFY(!dock->pane()->findChild<PreviewLink *>());
    m_window->tabWidget()->setCurrentWidget(second);
    QCOMPARE(m_pane->lines(), first->documentLines());
    QAction *toggle = dock->toggleViewAction();
    auto *view = m_window->findChild<QMenu *>(QStringLiteral("viewMenu"));
    QVERIFY(view);
    emit view->aboutToShow();
    QVERIFY(view->actions().contains(toggle));
    toggle->trigger();
    QVERIFY(dock->isVisible());
    QCOMPARE(m_pane->lines(), second->documentLines());
}

// The pane sits right of the editors; closed, it stays closed at the next
// start, and opened again, it is back.
void TestPreviewLink::visibilityIsRememberedAcrossRestarts() {
    PreviewDock *dock = m_window->previewDock();
    dock->show();
    QCOMPARE(m_window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    dock->close();
    QVERIFY(windowfixture::openWindow(m_window)); // the closed one keeps the window's state
    dock = m_window->previewDock();
    QVERIFY(dock->isHidden());
    dock->toggleViewAction()->trigger();
    QVERIFY(dock->isVisible());
    QVERIFY(windowfixture::openWindow(m_window));
    QVERIFY(m_window->previewDock()->isVisible());
}

void TestPreviewLink::editsReachThePreview() {
    QVERIFY(openWithPreview());
    DocumentTab *tab = m_window->currentEdit();
    const QByteArray before = m_pane->engine()->pages().first();
    QTextCursor c(tab->lyricEditor()->document());
    tab->lyricEditor()->setTextCursor(c);
    tab->insertTitle();
    windowfixture::typeInto(tab->lyricEditor(), QStringLiteral("新题"));
    QTRY_VERIFY_WITH_TIMEOUT(m_pane->engine()->pages().first() != before, 10000);
    QVERIFY(QString::fromUtf8(m_pane->engine()->pages().first()).contains(QStringLiteral("新")));
}

QTEST_MAIN(TestPreviewLink)
#include "tst_previewlink.moc"
