#pragma once

#include "model/documentline.h"
#include "typeset/typesetter.h"

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QPolygonF>
#include <QRect>
#include <QRectF>
#include <QVector>

class ExportConfig;
struct ExportFormat;
class PreviewWindow;
class QComboBox;
class QLineEdit;
class QProgressDialog;

namespace Ui {
class ExportDialog;
}

// The export dialog: every export parameter (the notation first: with 简谱
// chosen, the 简谱 settings show and those of gongche columns hide), a live
// preview of the first page, preview of all pages, parameter schemes, and the
// export itself as PDF, JPG, PNG or SVG. It edits the one ExportConfig in place and saves it
// when it is destroyed. The preview zooms and outlines in red the texts whose
// ink overlaps. A successful export leaves the dialog open and is reported by
// exported(). The dialog remembers its size; shown, it fits its screen.
//
// While the score plays, showPlaying() highlights the sung character heard in
// the preview (and in the preview of all pages while that is open), turning
// to the page that holds it. The highlight is painted over the preview, never
// into the page.
class ExportDialog : public QDialog {
    Q_OBJECT

public:
    ExportDialog(QWidget *parent, const DocumentLines &lines);
    ~ExportDialog() override;

    Typesetter *engine() const { return m_engine; }
    QProgressDialog *progressDialog() const { return m_progress; }
    // The preview's scale relative to the whole page fitting its frame.
    double previewZoom() const { return m_zoom; }
    // The page of the document the preview shows, 0 for the first.
    int previewPage() const { return m_previewPage; }
    // The sung character highlighted, -1 for none.
    int playingCharacter() const { return m_playing; }
    // Where the highlight is, in page units (see SourceArea): the outline of
    // the playing character and its score on the page shown. Empty when
    // nothing is highlighted or no page shows the character.
    QRectF playingRect() const { return m_playingRect; }

    // The sung character whose outline follows the editors' cursor, -1 for
    // none, and where it is (page units, on the page shown).
    int cursorCharacter() const { return m_cursor; }
    QRectF cursorRect() const { return m_cursorRect; }

    // Takes the document's lines anew (it was edited), and refreshes the preview.
    void setLines(const DocumentLines &lines);

signals:
    // A successful export wrote path: the PDF file or the folder of pages.
    void exported(const QString &path);
    // A click on the preview (or the preview of all pages) at a sung character
    // or, with symbol >= 0, at symbol `symbol` of its score line.
    void sourceClicked(int character, int symbol);

public slots:
    // Highlights sung character `character` (its index among the sung
    // characters of the document, which is that of its score line) in the
    // preview, turning to its page; -1 clears the highlight. Cheap enough to
    // follow playback: the pages are typeset at most once for the settings in
    // force, a call after that only looks the character up and repaints.
    void showPlaying(int character);
    // Outlines sung character `character` and its score in the preview,
    // turning to its page, as the editors' cursor moves; -1 clears it.
    void showCursor(int character);
    void onTitleFontChanged(QFont font, int size);
    void onLyricFontChanged(QFont font, int size);
    void onQuPaiFontChanged(QFont font, int size);
    void onDiaoMingFontChanged(QFont font, int size);
    void onLianBaiFontChanged(QFont font, int size);
    void onJiaBaiFontChanged(QFont font, int size);
    void onScoreFontChanged(QFont font, int size);
    void onTitleColorChanged(QColor c);
    void onLyricColorChanged(QColor c);
    void onQuPaiColorChanged(QColor c);
    void onDiaoMingColorChanged(QColor c);
    void onLianBaiColorChanged(QColor c);
    void onJiaBaiColorChanged(QColor c);
    void onScoreColorChanged(QColor c);
    void onBanColorChanged(QColor c);
    void onXiaoYanColorChanged(QColor c);
    void onZhongYanColorChanged(QColor c);
    void onQiangGeColorChanged(QColor c);
    void onBackgroundColorChanged(QColor c);
    void onBgTransparentChanged(int transparent);
    void onHiddenSymbolChanged(int state);
    void onPageSizeChanged(int index);
    void onIsLandscapeChanged(int index);
    void onPageWidthChanged();
    void onPageHeightChanged();
    void onMarginTopChanged();
    void onMarginRightChanged();
    void onMarginBottomChanged();
    void onMarginLeftChanged();
    void onIsLineBreakScoreOverflowChanged(int index);
    void onColWidthChanged();
    void onLyricSpaceChanged();
    void onScoreSpaceChanged();
    void onBanYanSpaceChanged();
    void onScoreAngleChanged();
    void onLyricScoreSpaceChanged();
    void onScoreBanYanSpaceChanged();
    void onMColWidthChanged();
    void onTitlePosChanged(int index);
    void onTitleWidthChanged();
    void onNotationChanged(int index);
    void onZengChanged(int index);
    void onJianpuNoteFontChanged(QFont font, int size);
    void onJianpuLyricDistanceChanged();
    void onJianpuSystemSpaceChanged();
    void onJianpuBeatWidthChanged();
    void onJianpuMinNoteSpaceChanged();
    void onJianpuFlatAfterLetterChanged(int state);
    void onJianpuSanBanWordChanged(int state);
    void onJianpuBanYanSignsChanged(int state);
    void onFileTypeChanged(int index);
    void onLivePreviewChanged(int state);
    void onRestoreBtnClicked();
    void onSaveBtnClicked();
    void onImportBtnClicked();
    void onSubmitBtnClicked();
    void onProgressUpdate(Typesetter::Task task, Typesetter::Progress progress, int value,
                          int maxValue);
    void onPreviewAllBtnClicked();
    void onZoomInBtnClicked();
    void onZoomOutBtnClicked();
    void onZoomFitBtnClicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The format chosen in the file-type list.
    const ExportFormat *currentFormat() const;
    void fillComboBoxes();
    void installValidators();
    void loadForm();
    void connectSignals();
    // Shows the settings of the notation chosen: the 简谱 group for 简谱
    // pages; the column spacings, score font and 腔格 colour for gongche ones.
    void showNotationSettings();
    // Regenerates the first page when live preview is on, or always when forced.
    void refreshPreview(bool force = false);
    void fitPreview();
    // Scales the preview by factor, keeping the point under anchor (in the
    // preview frame's viewport) in place.
    void zoomPreview(double factor, const QPoint &anchor);
    // Paints the overlap outlines and the playing highlight over the preview.
    void paintOverlay();
    // Shows page index of the engine's pages in the preview, with its overlaps.
    void showPreviewPage(int index);
    // Looks the playing character up, turns the preview to it and moves the
    // highlight; typesets every page first when the preview's run stopped
    // before the character's page.
    void placePlaying();
    void placeCursor();
    // Where sung character `character` is: its page and outline, typesetting
    // every page first when the preview's run stopped before it. False when
    // no page shows it.
    bool locate(int character, int *page, QRectF *rect);
    // A click at point (page units) on page: the source it falls on, told by
    // sourceClicked().
    void pickSource(int page, const QPointF &point);
    void typesetAllPages();
    // The region of the overlay that shows rect (in page units), with room for
    // the outline's pen; empty for an empty rect.
    QRect overlayRect(const QRectF &rect) const;
    void fitPageSizeList();
    // Where the file or folder chooser of format starts.
    QString suggestedPath(const ExportFormat &format) const;

    // Shared by the handlers of one kind: compare, store, refresh.
    using FontGetter = const QFont &(ExportConfig::*)() const;
    using SizeGetter = int (ExportConfig::*)() const;
    using FontSetter = void (ExportConfig::*)(const QFont &);
    using SizeSetter = void (ExportConfig::*)(int);
    void fontChanged(const QFont &font, int size, FontGetter getFont, SizeGetter getSize,
                     FontSetter setFont, SizeSetter setSize);
    using ColorGetter = const QColor &(ExportConfig::*)() const;
    using ColorSetter = void (ExportConfig::*)(const QColor &);
    void colorChanged(const QColor &c, ColorGetter get, ColorSetter set);
    using IntGetter = int (ExportConfig::*)() const;
    using IntSetter = void (ExportConfig::*)(int);
    void lineEditChanged(const QLineEdit *edit, IntGetter get, IntSetter set);
    using BoolGetter = bool (ExportConfig::*)() const;
    using BoolSetter = void (ExportConfig::*)(bool);
    void boolChanged(bool value, BoolGetter get, BoolSetter set);

    Ui::ExportDialog *ui;
    DocumentLines m_lines;
    Typesetter *m_engine;
    QProgressDialog *m_progress = nullptr;
    ExportConfig &m_config;
    bool m_loading = false;
    bool m_shown = false;
    double m_zoom = 1;
    QWidget *m_overlay = nullptr;     // draws the outlines over the preview
    QVector<QPolygonF> m_overlapInks; // in page units
    int m_previewPage = 0;
    // The engine holds every page of the document, not only those of a
    // preview that stopped after the first.
    bool m_allPages = false;
    int m_playing = -1;
    // The engine's runs and writers under way; while there are any, the
    // playing character waits (pending) to be looked up.
    int m_busy = 0;
    bool m_playingPending = false;
    QRectF m_playingRect; // in page units, on m_previewPage
    int m_cursor = -1;
    QRectF m_cursorRect;                     // in page units, on m_previewPage
    QPointer<PreviewWindow> m_previewWindow; // while the preview of all pages runs
    const ExportFormat *m_writing = nullptr; // while a format writes
};
