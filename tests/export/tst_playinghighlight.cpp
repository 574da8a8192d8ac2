// The sung character being played, highlighted in the export dialog's preview
// and in the preview of all pages.
#include "export/exportconfig.h"
#include "export/previewdock.h"
#include "export/previewpane.h"
#include "exportfixture.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "testsupport.h"
#include "typeset/sourcearea.h"
#include "typeset/typesetter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSvgWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

ExportConfig &cfg() {
    return *ExportConfig::instance();
}

template <typename T> T *child(QWidget &w, const char *name) {
    T *c = w.findChild<T *>(QString::fromLatin1(name));
    if (!c) {
        qFatal("no %s", name);
    }
    return c;
}

// Where the typesetter puts a sung character with the settings in force.
struct Place {
    int character = -1;
    int page = -1;
    QRectF rect;
};

// The nth sung character of page, typeset apart from any dialog.
Place characterOn(const DocumentLines &lines, int page, int nth = 0) {
    Typesetter g;
    g.generate(cfg().pageStyle(), lines, false);
    Place p;
    for (const SourceArea &a : g.sourceAreas(page)) {
        if (a.kind == SourceArea::Character && nth-- == 0) {
            p.character = a.character;
            break;
        }
    }
    g.findCharacter(p.character, &p.page, &p.rect);
    return p;
}

int characterCount(const DocumentLines &lines) {
    Typesetter g;
    g.generate(cfg().pageStyle(), lines, false);
    int n = 0;
    for (int p = 0; p < g.pages().size(); ++p) {
        for (const SourceArea &a : g.sourceAreas(p)) {
            n += a.kind == SourceArea::Character;
        }
    }
    return n;
}

QSvgWidget *preview(PreviewPane &d) {
    return child<QSvgWidget>(d, "preViewWidget");
}

QImage grabPreview(PreviewPane &d) {
    return preview(d)->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// rect, in page units, where the preview widget shows it.
QRect onPreview(PreviewPane &d, const QRectF &rect) {
    const QSize page = d.engine()->pageSize();
    const double sx = preview(d)->width() / double(page.width());
    const double sy = preview(d)->height() / double(page.height());
    return QRectF(rect.x() * sx, rect.y() * sy, rect.width() * sx, rect.height() * sy)
        .toAlignedRect();
}

// How many pixels inside area were white and are tinted with the highlight's
// blue; pixels outside around are compared too and must be unchanged.
int tintedPixels(const QImage &with, const QImage &without, const QRect &area) {
    if (with.size() != without.size()) {
        return -1;
    }
    int tinted = 0;
    const QRect inner = area.adjusted(3, 3, -3, -3);
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            const QColor before = without.pixelColor(x, y);
            const QColor after = with.pixelColor(x, y);
            if (before.lightness() > 245 && after.blue() > after.red() + 30) {
                ++tinted;
            }
        }
    }
    const QRect outer = area.adjusted(-5, -5, 5, 5);
    for (int y = 0; y < with.height(); y += 2) {
        for (int x = 0; x < with.width(); x += 2) {
            if (!outer.contains(x, y) && with.pixel(x, y) != without.pixel(x, y)) {
                return -1;
            }
        }
    }
    return tinted;
}

// Counts the runs the dialog's engine starts.
int runsStarted(const QSignalSpy &spy) {
    int n = 0;
    for (const QList<QVariant> &a : spy) {
        n += a.at(1).value<Typesetter::Progress>() == Typesetter::Progress::Started &&
             (a.at(0).value<Typesetter::Task>() == Typesetter::Task::Preview ||
              a.at(0).value<Typesetter::Task>() == Typesetter::Task::Typeset);
    }
    return n;
}

// Two pages of the sample scene: the page break leads to the second.
DocumentLines twoPages() {
    return sampleLines();
}

// Lines that stay on one page.
DocumentLines onePage() {
    DocumentLines lines = sampleLines();
    while (!lines.isEmpty() && lines.last().kind != LineKind::PageBreak) {
        lines.removeLast();
    }
    lines.removeLast();
    return lines;
}

} // namespace

class TestPlayingHighlight : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void nothingIsHighlightedAtFirst();
    void turnsToThePageOfTheCharacter();
    void highlightIsWhereTheMapSays();
    void clearingRemovesTheHighlight();
    void survivesZoomAndPageTurns();
    void followingPlaybackTypesetsOnce();
    void onePageNeedsNoMoreTypesetting();
    void newSettingsMoveTheHighlight();
    void pagesCarryNoHighlight();
    void previewOfAllPagesFollows();
};

void TestPlayingHighlight::initTestCase() {
    QVERIFY(usePreviewProgramDir());
}

void TestPlayingHighlight::init() {
    resetExportSettings();
}

void TestPlayingHighlight::nothingIsHighlightedAtFirst() {
    PreviewPane d(nullptr, twoPages());
    QCOMPARE(d.playingCharacter(), -1);
    QVERIFY(d.playingRect().isEmpty());
    QCOMPARE(d.previewPage(), 0);
    // Characters no page shows highlight nothing.
    d.showPlaying(100000);
    QVERIFY(d.playingRect().isEmpty());
    QCOMPARE(d.previewPage(), 0);
    d.showPlaying(-5);
    QCOMPARE(d.playingCharacter(), -1);
}

void TestPlayingHighlight::turnsToThePageOfTheCharacter() {
    const DocumentLines lines = twoPages();
    const Place second = characterOn(lines, 1, 2);
    QCOMPARE(second.page, 1);
    PreviewPane d(nullptr, lines);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.showPlaying(second.character);
    QCOMPARE(d.playingCharacter(), second.character);
    QCOMPARE(d.previewPage(), 1);
    QCOMPARE(d.playingRect(), second.rect);

    // The preview shows the second page now.
    QWidget *overlay = child<QWidget>(d, "overlapOverlay");
    overlay->hide();
    const QImage shown = grabPreview(d);
    overlay->show();
    const QImage first = renderSvg(d.engine()->pages().at(0), shown.size());
    const QImage page2 = renderSvg(d.engine()->pages().at(1), shown.size());
    QVERIFY(blockDifference(shown, page2) < 2);
    QVERIFY(blockDifference(shown, first) > 10);

    // And back to the first page for a character there.
    const Place early = characterOn(lines, 0, 5);
    d.showPlaying(early.character);
    QCOMPARE(d.previewPage(), 0);
    QCOMPARE(d.playingRect(), early.rect);
}

void TestPlayingHighlight::highlightIsWhereTheMapSays() {
    const DocumentLines lines = twoPages();
    PreviewPane d(nullptr, lines);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    for (const Place &p : {characterOn(lines, 0, 3), characterOn(lines, 1, 1)}) {
        d.showPlaying(p.character);
        QCOMPARE(d.playingRect(), p.rect);
        const QImage with = grabPreview(d);
        d.showPlaying(-1);
        const QImage without = grabPreview(d);
        QVERIFY(tintedPixels(with, without, onPreview(d, p.rect)) > 20);
    }
}

void TestPlayingHighlight::clearingRemovesTheHighlight() {
    const DocumentLines lines = twoPages();
    PreviewPane d(nullptr, lines);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    const QImage before = grabPreview(d);
    d.showPlaying(characterOn(lines, 0, 0).character);
    QVERIFY(grabPreview(d) != before);
    d.showPlaying(-1);
    QCOMPARE(d.playingCharacter(), -1);
    QVERIFY(d.playingRect().isEmpty());
    QCOMPARE(grabPreview(d), before);
    // Cleared, the preview stays on the page it shows.
    d.showPlaying(characterOn(lines, 1, 0).character);
    d.showPlaying(-1);
    QCOMPARE(d.previewPage(), 1);
}

void TestPlayingHighlight::survivesZoomAndPageTurns() {
    const DocumentLines lines = twoPages();
    const Place p = characterOn(lines, 1, 4);
    PreviewPane d(nullptr, lines);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.showPlaying(p.character);
    const QSize fit = preview(d)->size();
    child<QToolButton>(d, "zoomInBtn")->click();
    child<QToolButton>(d, "zoomInBtn")->click();
    QVERIFY(preview(d)->width() > fit.width());
    QCOMPARE(d.playingRect(), p.rect);
    QCOMPARE(d.previewPage(), 1);
    const QImage with = grabPreview(d);
    d.showPlaying(-1);
    const QImage without = grabPreview(d);
    QVERIFY(tintedPixels(with, without, onPreview(d, p.rect)) > 20);

    // Over to the first page and back, still zoomed.
    const Place first = characterOn(lines, 0, 0);
    d.showPlaying(first.character);
    QCOMPARE(d.previewPage(), 0);
    d.showPlaying(p.character);
    QCOMPARE(d.previewPage(), 1);
    QCOMPARE(d.playingRect(), p.rect);
    QVERIFY(tintedPixels(grabPreview(d), without, onPreview(d, p.rect)) > 20);
    child<QToolButton>(d, "zoomFitBtn")->click();
    QCOMPARE(preview(d)->size(), fit);
    QCOMPARE(d.playingRect(), p.rect);
}

// Playback calls for every character in turn: the pages are typeset once,
// then every call only looks the character up.
void TestPlayingHighlight::followingPlaybackTypesetsOnce() {
    const DocumentLines lines = manyPages(2);
    const int count = characterCount(lines);
    Typesetter reference;
    reference.generate(cfg().pageStyle(), lines, false);
    PreviewPane d(nullptr, lines);
    QSignalSpy runs(d.engine(), &Typesetter::progressUpdate);
    int pagesSeen = 0;
    for (int c = 0; c < count; ++c) {
        d.showPlaying(c);
        int page = -1;
        QRectF rect;
        QVERIFY(reference.findCharacter(c, &page, &rect));
        QCOMPARE(d.previewPage(), page);
        QCOMPARE(d.playingRect(), rect);
        pagesSeen = std::max(pagesSeen, page + 1);
        d.showPlaying(c); // the same character again changes nothing
    }
    QVERIFY(pagesSeen >= 4);
    QCOMPARE(runsStarted(runs), 1);
}

void TestPlayingHighlight::onePageNeedsNoMoreTypesetting() {
    const DocumentLines lines = onePage();
    const int count = characterCount(lines);
    QVERIFY(count > 10);
    PreviewPane d(nullptr, lines);
    QCOMPARE(d.engine()->pages().size(), 1);
    QSignalSpy runs(d.engine(), &Typesetter::progressUpdate);
    d.showPlaying(0);
    d.showPlaying(count - 1);
    QVERIFY(!d.playingRect().isEmpty());
    d.showPlaying(count); // beyond the end: the whole document is already there
    QVERIFY(d.playingRect().isEmpty());
    QCOMPARE(runsStarted(runs), 0);
}

// New settings typeset the preview again: the highlight goes where the
// character is now.
void TestPlayingHighlight::newSettingsMoveTheHighlight() {
    const DocumentLines lines = twoPages();
    const Place before = characterOn(lines, 1, 6);
    PreviewDock dock(nullptr, lines);
    PreviewPane &d = *dock.pane();
    dock.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dock));
    d.showPlaying(before.character);
    QCOMPARE(d.previewPage(), 1);
    auto *colWidth = child<QLineEdit>(dock, "colWidthBox");
    colWidth->setText(QStringLiteral("150"));
    emit colWidth->editingFinished();
    QCOMPARE(cfg().colWidth(), 150);
    Typesetter now;
    now.generate(cfg().pageStyle(), lines, false);
    int page = -1;
    QRectF rect;
    QVERIFY(now.findCharacter(before.character, &page, &rect));
    QVERIFY(rect != before.rect);
    QCOMPARE(d.previewPage(), page);
    QCOMPARE(d.playingRect(), rect);
}

// The highlight is drawn over the preview only: the pages the engine holds,
// which every export writes, are those of a typesetter that never played.
void TestPlayingHighlight::pagesCarryNoHighlight() {
    const DocumentLines lines = twoPages();
    PreviewPane d(nullptr, lines);
    d.showPlaying(characterOn(lines, 1, 0).character);
    QVERIFY(!d.playingRect().isEmpty());
    Typesetter plain;
    plain.generate(cfg().pageStyle(), lines, false);
    QCOMPARE(d.engine()->pages(), plain.pages());
}

// 预览全部 keeps the highlight on its page and goes on following.
void TestPlayingHighlight::previewOfAllPagesFollows() {
    const DocumentLines lines = twoPages();
    const Place second = characterOn(lines, 1, 0);
    const Place first = characterOn(lines, 0, 1);
    PreviewPane d(nullptr, lines);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.showPlaying(second.character);
    child<QToolButton>(d, "previewAllBtn")->click();
    QVERIFY(d.isWide());
    QCOMPARE(d.previewPage(), 1);
    QCOMPARE(d.playingRect(), second.rect);
    QCOMPARE(child<QLabel>(d, "pageLabel")->text(), QStringLiteral("2/2"));
    d.showPlaying(first.character);
    QCOMPARE(d.previewPage(), 0);
    QCOMPARE(d.playingRect(), first.rect);
    // Turned by hand, the page shows the highlight only where it is.
    child<QToolButton>(d, "nextPageBtn")->click();
    QCOMPARE(d.previewPage(), 1);
    QVERIFY(d.playingRect().isEmpty());
    child<QToolButton>(d, "prevPageBtn")->click();
    QCOMPARE(d.playingRect(), first.rect);
}

QTEST_MAIN(TestPlayingHighlight)
#include "tst_playinghighlight.moc"
