#pragma once

#include "model/documentline.h"
#include "model/outcome.h"
#include "typeset/typesetter.h"

#include <QColor>
#include <QPolygonF>
#include <QRect>
#include <QRectF>
#include <QVector>
#include <QWidget>

struct ExportFormat;
class QProgressDialog;
class StaffEdition;

namespace Ui {
class PreviewPane;
}

// The live preview of the document's pages, as the export settings in force
// set them: one page at a time, zoomed with the buttons or Ctrl + wheel, the
// texts whose ink overlaps outlined in red and counted ("N 处重叠"). The
// first page is typeset alone while that is all that shows; turning to a
// later page, or the 预览全部 mode, typesets every page once.
//
// The character at the editors' cursor is outlined (showCursor()) and the
// sung character heard is highlighted (showPlaying()), the preview turning to
// their page; both are painted over the page, never into it. A click on the
// page is told by sourceClicked(). The pane's tool row opens the settings,
// switches 预览全部 on and off, exports and closes; those it only tells.
class PreviewPane : public QWidget {
    Q_OBJECT

public:
    explicit PreviewPane(QWidget *parent = nullptr, const DocumentLines &lines = {});
    ~PreviewPane() override;

    Typesetter *engine() const { return m_engine; }
    QProgressDialog *progressDialog() const { return m_progress; }
    // The preview's scale relative to the whole page fitting its frame.
    double previewZoom() const { return m_zoom; }
    // The page of the document the preview shows, 0 for the first.
    int previewPage() const { return m_previewPage; }
    // The sung character highlighted, -1 for none.
    int playingCharacter() const { return m_playing; }
    // Where the highlight is, in page units (see SourceArea), on the page
    // shown; empty when nothing is highlighted or no page shows it.
    QRectF playingRect() const { return m_playingRect; }
    // The sung character whose outline follows the editors' cursor, -1 for
    // none, and where it is (page units, on the page shown).
    int cursorCharacter() const { return m_cursor; }
    QRectF cursorRect() const { return m_cursorRect; }
    // The colour of the playing highlight.
    static QColor playingColor() { return QColor(20, 110, 240); }
    // The 预览全部 mode: every page typeset and paged through.
    bool isWide() const { return m_wide; }

    // Takes the document's lines anew (it was edited), and refreshes the preview.
    void setLines(const DocumentLines &lines);
    const DocumentLines &lines() const { return m_lines; }

    // Staff pages are engraved by LilyPond in a process of its own: the
    // pane goes on showing the pages it has, says how far the engraving is
    // (with a button that stops it) and shows the new pages when it is done,
    // or why there are none.
    StaffEdition *staffEdition() const { return m_staff; }
    // What the pane says about the staff engraving: under way, or why it failed.
    QString engravingText() const;

    // Typesets every page and writes them as format to path; the preview
    // then shows the pages as they are now.
    Outcome write(const ExportFormat &format, const QString &path, int resolutionIndex);

signals:
    // A click on the preview at a sung character or, with symbol >= 0, at
    // symbol `symbol` of its score line.
    void sourceClicked(int character, int symbol);
    void settingsRequested();
    void exportRequested();
    void closeRequested();
    // The 预览全部 button turned the mode on or off.
    void wideToggled(bool wide);

public slots:
    // Regenerates the first page when live preview is on, or always when forced.
    void refreshPreview(bool force = false);
    // Highlights sung character `character` (its index among the sung
    // characters of the document, which is that of its score line), turning
    // to its page; -1 clears the highlight. Cheap enough to follow playback:
    // the pages are typeset at most once for the settings in force.
    void showPlaying(int character);
    // Outlines sung character `character` and its score, turning to its
    // page, as the editors' cursor moves; -1 clears it.
    void showCursor(int character);
    void setWide(bool wide);
    void showPage(int index);
    void onZoomInBtnClicked();
    void onZoomOutBtnClicked();
    void onZoomFitBtnClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onProgressUpdate(Typesetter::Task task, Typesetter::Progress progress, int value,
                          int maxValue);
    void fitPreview();
    // Scales the preview by factor, keeping the point under anchor (in the
    // preview frame's viewport) in place.
    void zoomPreview(double factor, const QPoint &anchor);
    void paintOverlay();
    // Shows page index of the engine's pages, with its overlaps.
    void showPreviewPage(int index);
    void updatePageLabel();
    void placePlaying();
    void placeCursor();
    // Where sung character `character` is: its page and outline, typesetting
    // every page first when the preview's run stopped before it. False when
    // no page shows it.
    bool locate(int character, int *page, QRectF *rect);
    void pickSource(int page, const QPointF &point);
    void typesetAllPages();
    bool staffNotation() const;
    void onStaffProgress(int done, int total);
    void onStaffEngraved(const Outcome &outcome);
    // Shows the new pages, on the page the preview was at.
    void showNewPages();
    // Engraves the staff pages and waits, with a progress dialog that can
    // stop it: for a writer.
    Outcome engraveForWriting(const ExportFormat &format);
    // The region of the overlay that shows rect (in page units), with room
    // for the outline's pen; empty for an empty rect.
    QRect overlayRect(const QRectF &rect) const;
    // Zoomed in, the frame scrolls to what is outlined.
    void scrollTo(const QRect &onOverlay);

    Ui::PreviewPane *ui;
    DocumentLines m_lines;
    Typesetter *m_engine;
    QProgressDialog *m_progress = nullptr;
    double m_zoom = 1;
    QWidget *m_overlay = nullptr;     // draws the outlines over the preview
    QVector<QPolygonF> m_overlapInks; // in page units
    int m_previewPage = 0;
    // The engine holds every page of the document, not only those of a
    // preview that stopped after the first.
    bool m_allPages = false;
    bool m_wide = false;
    int m_playing = -1;
    // The engine's runs and writers under way; while there are any, the
    // playing character waits (pending) to be looked up.
    int m_busy = 0;
    bool m_playingPending = false;
    QRectF m_playingRect; // in page units, on m_previewPage
    int m_cursor = -1;
    QRectF m_cursorRect;                     // in page units, on m_previewPage
    const ExportFormat *m_writing = nullptr; // while a format writes
    StaffEdition *m_staff = nullptr;
};
