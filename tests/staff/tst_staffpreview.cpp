// The staff preview in the window: LilyPond's pages shown in the preview
// pane, a click on a note putting both cursors at its character and pitch
// sign, the cursor outlining the character's notes.
#include "../export/exportfixture.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "export/exportconfig.h"
#include "export/previewdock.h"
#include "export/previewpane.h"
#include "fonts/fontsubstitutions.h"
#include "staff/staffedition.h"
#include "staff/staffengraver.h"
#include "windowfixture.h"

#include <QTemporaryDir>
#include <QtTest>

class TestStaffPreview : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void clickOnANoteMovesTheCursors();

private:
    // The sample scene in a new tab, its preview pane set to staff pages.
    PreviewPane *openStaffPreview();
    QPoint onPreview(const QRectF &area) const;

    QTemporaryDir m_dir;
    MainWindow *m_window = nullptr;
    PreviewPane *m_pane = nullptr;
};

void TestStaffPreview::initTestCase() {
    windowfixture::useProgramDir(m_dir.filePath(QStringLiteral("program")));
    installChineseFontSubstitutions();
}

void TestStaffPreview::init() {
    ExportConfig::instance()->restoreDefaults();
    ExportConfig::instance()->setNotation(PageStyle::Notation::Staff);
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestStaffPreview::cleanup() {
    windowfixture::closeWindow(m_window);
    m_pane = nullptr;
}

PreviewPane *TestStaffPreview::openStaffPreview() {
    const SampleScore s = sampleScore();
    m_window->newAction();
    m_window->currentEdit()->restore(s.lyric, s.score, QString());
    PreviewDock *dock = m_window->previewDock();
    dock->show();
    m_pane = dock->pane();
    return QTest::qWaitFor(
               [this] { return m_pane->lines() == m_window->currentEdit()->documentLines(); })
               ? m_pane
               : nullptr;
}

QPoint TestStaffPreview::onPreview(const QRectF &area) const {
    const QWidget *preview = m_pane->findChild<QWidget *>(QStringLiteral("preViewWidget"));
    const QSize page = m_pane->engine()->pageSize();
    return QPoint(qRound(area.center().x() * preview->width() / page.width()),
                  qRound(area.center().y() * preview->height() / page.height()));
}

void TestStaffPreview::clickOnANoteMovesTheCursors() {
    if (StaffEngraver::program().isEmpty()) {
        QSKIP("lilypond is not installed");
    }
    QVERIFY(openStaffPreview());
    // Engraved, off the window's thread: the pages come when LilyPond is done.
    QVERIFY(QTest::qWaitFor(
        [this] {
            return !m_pane->staffEdition()->isRunning() && m_pane->engravingText().isEmpty() &&
                   !m_pane->engine()->sourceAreas(0).isEmpty();
        },
        120000));
    QVERIFY(m_pane->engine()->pageCanvas(0).operationCount() > 0);

    // The second pitch sign of some character sung to several notes.
    SourceArea note;
    for (const SourceArea &a : m_pane->engine()->sourceAreas(0)) {
        if (a.kind == SourceArea::Symbol && a.symbol > 0 && a.character > 2) {
            note = a;
            break;
        }
    }
    QVERIFY(note.character > 0);
    QWidget *preview = m_pane->findChild<QWidget *>(QStringLiteral("preViewWidget"));
    QTest::mouseClick(preview, Qt::LeftButton, Qt::NoModifier, onPreview(note.rect));
    DocumentTab *tab = m_window->currentEdit();
    QCOMPARE(tab->scoreEditor()->textCursor().blockNumber(), note.character);
    QCOMPARE(tab->scoreEditor()->textCursor().positionInBlock(), 2 * (note.symbol + 1));
    QCOMPARE(tab->lyricEditor()->textCursor().position(),
             tab->lyricEditor()->sungCharEnd(note.character + 1));
    // The outline follows the cursor and holds the note clicked.
    QCOMPARE(m_pane->cursorCharacter(), note.character);
    QVERIFY(m_pane->cursorRect().contains(note.rect));
}

QTEST_MAIN(TestStaffPreview)
#include "tst_staffpreview.moc"
