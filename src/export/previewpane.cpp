#include "export/previewpane.h"

#include "export/exportconfig.h"
#include "export/exportformat.h"
#include "staff/staffedition.h"
#include "typeset/inkcollisions.h"
#include "typeset/sourcepicker.h"
#include "ui_previewpane.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>

namespace {

// The preview's zoom: one step of a button or a wheel notch, and its bounds
// relative to the whole page.
constexpr double zoomStep = 1.25;
constexpr double minZoom = 0.25;
constexpr double maxZoom = 8;
// The outline of the character at the editors' cursor.
const QColor cursorColor(0, 150, 80);

} // namespace

PreviewPane::PreviewPane(QWidget *parent, const DocumentLines &lines)
    : QWidget(parent)
    , ui(new Ui::PreviewPane)
    , m_lines(lines)
    , m_engine(new Typesetter(this)) {
    ui->setupUi(this);
    m_overlay = new QWidget(ui->preViewWidget);
    m_overlay->setObjectName(QStringLiteral("overlapOverlay"));
    m_overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_overlay->installEventFilter(this);

    connect(m_engine, &Typesetter::progressUpdate, this, &PreviewPane::onProgressUpdate);
    connect(ui->zoomInBtn, &QToolButton::clicked, this, &PreviewPane::onZoomInBtnClicked);
    connect(ui->zoomOutBtn, &QToolButton::clicked, this, &PreviewPane::onZoomOutBtnClicked);
    connect(ui->zoomFitBtn, &QToolButton::clicked, this, &PreviewPane::onZoomFitBtnClicked);
    connect(ui->prevPageBtn, &QToolButton::clicked, this, [this] { showPage(m_previewPage - 1); });
    connect(ui->nextPageBtn, &QToolButton::clicked, this, [this] { showPage(m_previewPage + 1); });
    connect(ui->settingsBtn, &QToolButton::clicked, this, &PreviewPane::settingsRequested);
    connect(ui->exportBtn, &QToolButton::clicked, this, &PreviewPane::exportRequested);
    connect(ui->closeBtn, &QToolButton::clicked, this, &PreviewPane::closeRequested);
    connect(ui->previewAllBtn, &QToolButton::toggled, this, [this](bool on) {
        setWide(on);
        emit wideToggled(on);
    });

    // The preview follows its frame and zooms with Ctrl + wheel.
    ui->preViewFrame->installEventFilter(this);
    ui->preViewFrame->viewport()->installEventFilter(this);
    ui->preViewWidget->installEventFilter(this);

    m_staff = new StaffEdition(this);
    connect(m_staff, &StaffEdition::progress, this, &PreviewPane::onStaffProgress);
    connect(m_staff, &StaffEdition::finished, this, &PreviewPane::onStaffEngraved);
    connect(ui->cancelEngravingBtn, &QToolButton::clicked, m_staff, &StaffEdition::cancel);
    refreshPreview(true);
}

PreviewPane::~PreviewPane() {
    delete ui;
}

bool PreviewPane::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Wheel &&
        (watched == ui->preViewWidget || watched == ui->preViewFrame->viewport())) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            const int delta = wheel->angleDelta().y();
            if (delta != 0) {
                const QPoint at = static_cast<QWidget *>(watched)->mapTo(
                    ui->preViewFrame->viewport(), wheel->position().toPoint());
                zoomPreview(delta > 0 ? zoomStep : 1 / zoomStep, at);
            }
            return true;
        }
    }
    if (watched == ui->preViewWidget && event->type() == QEvent::MouseButtonPress) {
        auto *mouse = static_cast<QMouseEvent *>(event);
        const QSize page = m_engine->pageSize();
        if (mouse->button() == Qt::LeftButton && !page.isEmpty() &&
            ui->preViewWidget->width() > 0 && ui->preViewWidget->height() > 0) {
            // The preview shows the page stretched over the whole widget.
            pickSource(
                m_previewPage,
                QPointF(mouse->pos().x() * page.width() / double(ui->preViewWidget->width()),
                        mouse->pos().y() * page.height() / double(ui->preViewWidget->height())));
        }
    }
    if (watched == m_overlay && event->type() == QEvent::Paint) {
        paintOverlay();
        return true;
    }
    if (event->type() == QEvent::Resize && watched == ui->preViewFrame) {
        fitPreview();
    }
    return QWidget::eventFilter(watched, event);
}

void PreviewPane::refreshPreview(bool force) {
    if (!force && !ExportConfig::instance()->isLivePreview()) {
        return;
    }
    // While a character beyond the first page plays or holds the cursor, or
    // every page is shown, the preview will turn to a later page: typeset
    // every page at once rather than the first one twice.
    const bool all = m_wide || ((m_playing >= 0 || m_cursor >= 0) && m_previewPage > 0);
    if (staffNotation()) {
        // LilyPond engraves every page; those it has engraved before come
        // from its cache. The pages shown stay until the new ones are there.
        m_staff->start(m_engine, m_lines, ExportConfig::instance()->pageStyle());
        onStaffProgress(0, 0);
        return;
    }
    // Staff pages no longer wanted: nothing more is said of them.
    if (m_staff->isRunning()) {
        m_staff->cancel();
    }
    ui->engravingLabel->setVisible(false);
    ui->cancelEngravingBtn->setVisible(false);
    {
        const QScopedValueRollback<int> busy(m_busy, m_busy + 1);
        m_engine->reset();
        m_engine->generate(ExportConfig::instance()->pageStyle(), m_lines, !all);
    }
    // A preview stops once a second page is begun: a single page is all.
    m_allPages = all || m_engine->pages().size() == 1;
    if (m_engine->pages().isEmpty()) {
        return;
    }
    fitPreview();
    showPreviewPage(0);
    // The cursor's page first: playing, when both are shown, turns the page.
    placeCursor();
    placePlaying();
}

void PreviewPane::showPreviewPage(int index) {
    if (index < 0 || index >= m_engine->pages().size()) {
        return;
    }
    m_previewPage = index;
    ui->preViewWidget->load(m_engine->pages().at(index));

    const InkCollisions collisions(m_engine->pageCanvas(index));
    m_overlapInks = collisions.overlappingInks();
    const int count = collisions.overlaps().size();
    ui->overlapLabel->setText(count > 0 ? QStringLiteral("%1 处重叠").arg(count) : QString());
    updatePageLabel();
    m_overlay->update();
}

void PreviewPane::updatePageLabel() {
    const int count = m_engine->pages().size();
    // Until every page is typeset, their number is not known.
    ui->pageLabel->setText(m_allPages ? QStringLiteral("%1/%2").arg(m_previewPage + 1).arg(count)
                                      : QStringLiteral("%1/…").arg(m_previewPage + 1));
    ui->prevPageBtn->setEnabled(m_previewPage > 0);
    ui->nextPageBtn->setEnabled(!m_allPages || m_previewPage + 1 < count);
}

void PreviewPane::showPage(int index) {
    if (index > 0 && !m_allPages) {
        typesetAllPages();
    }
    if (index < 0 || index >= m_engine->pages().size()) {
        updatePageLabel();
        return;
    }
    showPreviewPage(index);
    // The outlines belong to their own pages.
    m_cursorRect = QRectF();
    m_playingRect = QRectF();
    int page = -1;
    QRectF rect;
    if (m_cursor >= 0 && m_engine->findCharacter(m_cursor, &page, &rect) && page == index) {
        m_cursorRect = rect;
    }
    if (m_playing >= 0 && m_engine->findCharacter(m_playing, &page, &rect) && page == index) {
        m_playingRect = rect;
    }
    m_overlay->update();
}

void PreviewPane::setWide(bool wide) {
    if (wide == m_wide) {
        return;
    }
    m_wide = wide;
    {
        const QSignalBlocker quiet(ui->previewAllBtn);
        ui->previewAllBtn->setChecked(wide);
    }
    if (wide && !m_allPages) {
        const int page = m_previewPage;
        typesetAllPages();
        showPage(std::min(page, int(m_engine->pages().size()) - 1));
    }
    updatePageLabel();
}

void PreviewPane::typesetAllPages() {
    // Staff pages are all there once engraved: nothing to wait for here.
    if (staffNotation()) {
        return;
    }
    const QScopedValueRollback<int> busy(m_busy, m_busy + 1);
    m_engine->reset();
    m_engine->generate(ExportConfig::instance()->pageStyle(), m_lines, false);
    m_allPages = true;
}

void PreviewPane::showPlaying(int character) {
    character = std::max(character, -1);
    if (character == m_playing) {
        return;
    }
    m_playing = character;
    placePlaying();
}

bool PreviewPane::locate(int character, int *page, QRectF *rect) {
    bool found = m_engine->findCharacter(character, page, rect);
    // The first page of a preview is complete; later ones need the whole
    // document, typeset once for the settings in force.
    if ((!found || *page > 0) && !m_allPages) {
        typesetAllPages();
        found = m_engine->findCharacter(character, page, rect);
        // The pages may have changed under the preview (with live preview
        // off): show them as they are now.
        showPreviewPage(found ? *page : std::min(m_previewPage, int(m_engine->pages().size()) - 1));
    }
    return found;
}

void PreviewPane::scrollTo(const QRect &onOverlay) {
    if (onOverlay.isEmpty()) {
        return;
    }
    const QPoint centre = m_overlay->mapTo(ui->preViewWidget, onOverlay.center());
    ui->preViewFrame->ensureVisible(centre.x(), centre.y(), onOverlay.width() / 2 + 20,
                                    onOverlay.height() / 2 + 20);
}

void PreviewPane::placePlaying() {
    if (m_busy > 0) {
        // The engine is typesetting or writing (its progress dialog lets
        // playback go on meanwhile): look the character up once it is done.
        m_playingPending = true;
        return;
    }
    m_playingPending = false;
    const QRect before = overlayRect(m_playingRect);
    m_playingRect = QRectF();
    if (m_playing >= 0) {
        int page = -1;
        QRectF rect;
        if (locate(m_playing, &page, &rect)) {
            if (page != m_previewPage) {
                showPreviewPage(page);
            }
            m_playingRect = rect;
        }
    }
    const QRect after = overlayRect(m_playingRect);
    scrollTo(after);
    m_overlay->update(before.united(after));
}

void PreviewPane::showCursor(int character) {
    character = std::max(character, -1);
    if (character == m_cursor) {
        return;
    }
    m_cursor = character;
    placeCursor();
}

void PreviewPane::placeCursor() {
    if (m_busy > 0) {
        return; // looked up again when the run ends
    }
    const QRect before = overlayRect(m_cursorRect);
    m_cursorRect = QRectF();
    int page = -1;
    QRectF rect;
    if (m_cursor >= 0 && locate(m_cursor, &page, &rect)) {
        if (page != m_previewPage) {
            showPreviewPage(page);
        }
        m_cursorRect = rect;
        scrollTo(overlayRect(m_cursorRect));
    }
    m_overlay->update(before.united(overlayRect(m_cursorRect)));
}

void PreviewPane::pickSource(int page, const QPointF &point) {
    SourceArea area;
    if (SourcePicker::pick(m_engine->sourceAreas(page), point, &area)) {
        emit sourceClicked(area.character, area.kind == SourceArea::Symbol ? area.symbol : -1);
    }
}

void PreviewPane::setLines(const DocumentLines &lines) {
    if (lines == m_lines) {
        return;
    }
    m_lines = lines;
    m_allPages = false;
    refreshPreview();
}

Outcome PreviewPane::write(const ExportFormat &format, const QString &path, int resolutionIndex) {
    m_writing = &format;
    Outcome outcome;
    {
        const QScopedValueRollback<int> busy(m_busy, m_busy + 1);
        if (format.needsPages && staffNotation()) {
            outcome = engraveForWriting(format);
        } else {
            m_engine->reset();
            m_allPages = false;
            if (format.needsPages) {
                typesetAllPages();
            }
        }
        if (outcome) {
            outcome = format.write({*m_engine, m_lines, path, resolutionIndex});
        }
    }
    m_writing = nullptr;
    if (!m_engine->pages().isEmpty()) {
        showPreviewPage(std::min(m_previewPage, int(m_engine->pages().size()) - 1));
    }
    placeCursor();
    if (m_playingPending) {
        placePlaying();
    }
    return outcome;
}

bool PreviewPane::staffNotation() const {
    return ExportConfig::instance()->notation() == PageStyle::Notation::Staff;
}

QString PreviewPane::engravingText() const {
    return ui->engravingLabel->isVisible() ? ui->engravingLabel->text() : QString();
}

void PreviewPane::onStaffProgress(int done, int total) {
    const QString count = total > 0 ? QStringLiteral("（%1/%2）").arg(done).arg(total) : QString();
    ui->engravingLabel->setStyleSheet(QString());
    ui->engravingLabel->setText(QStringLiteral("正在排五线谱%1···").arg(count));
    ui->engravingLabel->setVisible(true);
    ui->cancelEngravingBtn->setVisible(true);
}

void PreviewPane::onStaffEngraved(const Outcome &outcome) {
    ui->cancelEngravingBtn->setVisible(false);
    if (outcome) {
        ui->engravingLabel->setVisible(false);
        showNewPages();
        return;
    }
    // Why there are no new pages, in one line; a run stopped by the user
    // needs no reason.
    const QString why =
        outcome.message().isEmpty() ? QStringLiteral("已停止排五线谱") : outcome.message();
    ui->engravingLabel->setStyleSheet(QStringLiteral("color: #d00000;"));
    ui->engravingLabel->setText(why);
    ui->engravingLabel->setVisible(true);
}

void PreviewPane::showNewPages() {
    m_allPages = true;
    if (m_engine->pages().isEmpty()) {
        updatePageLabel();
        return;
    }
    fitPreview();
    showPreviewPage(std::min(m_previewPage, int(m_engine->pages().size()) - 1));
    placeCursor();
    placePlaying();
}

Outcome PreviewPane::engraveForWriting(const ExportFormat &format) {
    QProgressDialog dialog(QStringLiteral("正在排五线谱···"), QStringLiteral("取消"), 0, 0, this);
    dialog.setWindowTitle(format.label);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    const QMetaObject::Connection shown =
        connect(m_staff, &StaffEdition::progress, &dialog, [&dialog](int done, int total) {
            dialog.setMaximum(total);
            dialog.setValue(done);
        });
    connect(&dialog, &QProgressDialog::canceled, m_staff, &StaffEdition::cancel);
    dialog.show();
    const Outcome outcome =
        m_staff->engrave(m_engine, m_lines, ExportConfig::instance()->pageStyle());
    disconnect(shown);
    ui->cancelEngravingBtn->setVisible(false);
    ui->engravingLabel->setVisible(false);
    if (outcome) {
        m_allPages = true;
    }
    return outcome;
}

QRect PreviewPane::overlayRect(const QRectF &rect) const {
    const QSize page = m_engine->pageSize();
    if (rect.isEmpty() || page.isEmpty()) {
        return QRect();
    }
    const double sx = m_overlay->width() / double(page.width());
    const double sy = m_overlay->height() / double(page.height());
    const QRectF shown(rect.x() * sx, rect.y() * sy, rect.width() * sx, rect.height() * sy);
    return shown.toAlignedRect().adjusted(-3, -3, 3, 3);
}

void PreviewPane::fitPreview() {
    const ExportConfig &config = *ExportConfig::instance();
    int pageWidth = config.pageWidth();
    int pageHeight = config.pageHeight();
    if (config.isLandscape()) {
        std::swap(pageWidth, pageHeight);
    }
    if (pageWidth <= 0 || pageHeight <= 0) {
        return;
    }
    const QRect inner = ui->preViewFrame->contentsRect();
    const double scale =
        std::min(0.9 * inner.width() / pageWidth, 0.9 * inner.height() / pageHeight) * m_zoom;
    const int width = qFloor(pageWidth * scale + 0.5);
    const int height = qFloor(pageHeight * scale + 0.5);
    // The frame centres the page while it is smaller, and scrolls it when larger.
    ui->preViewWidget->setFixedSize(std::max(width, 0), std::max(height, 0));
    m_overlay->setGeometry(ui->preViewWidget->rect());
}

void PreviewPane::zoomPreview(double factor, const QPoint &anchor) {
    const double zoom = qBound(minZoom, m_zoom * factor, maxZoom);
    if (qFuzzyCompare(zoom, m_zoom)) {
        return;
    }
    const QWidget *page = ui->preViewWidget;
    const QPointF onPage((anchor.x() - page->x()) / std::max(1.0, double(page->width())),
                         (anchor.y() - page->y()) / std::max(1.0, double(page->height())));
    m_zoom = zoom;
    fitPreview();
    ui->preViewFrame->horizontalScrollBar()->setValue(
        qRound(onPage.x() * page->width() - anchor.x()));
    ui->preViewFrame->verticalScrollBar()->setValue(
        qRound(onPage.y() * page->height() - anchor.y()));
}

void PreviewPane::onZoomInBtnClicked() {
    zoomPreview(zoomStep, ui->preViewFrame->viewport()->rect().center());
}

void PreviewPane::onZoomOutBtnClicked() {
    zoomPreview(1 / zoomStep, ui->preViewFrame->viewport()->rect().center());
}

void PreviewPane::onZoomFitBtnClicked() {
    m_zoom = 1;
    fitPreview();
}

void PreviewPane::paintOverlay() {
    const QSize page = m_engine->pageSize();
    if ((m_overlapInks.isEmpty() && m_playingRect.isEmpty() && m_cursorRect.isEmpty()) ||
        page.isEmpty()) {
        return;
    }
    QPainter painter(m_overlay);
    painter.setRenderHint(QPainter::Antialiasing);
    // The preview shows the page stretched over the whole widget.
    painter.scale(m_overlay->width() / double(page.width()),
                  m_overlay->height() / double(page.height()));
    if (!m_cursorRect.isEmpty()) {
        // The cursor's character: a dashed outline, under the playing highlight.
        QPen pen(cursorColor, 1.2, Qt::DashLine);
        pen.setCosmetic(true);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(m_cursorRect.adjusted(-1.5, -1.5, 1.5, 1.5));
    }
    if (!m_playingRect.isEmpty()) {
        QPen pen(playingColor(), 1.5);
        pen.setCosmetic(true);
        painter.setPen(pen);
        QColor fill = playingColor();
        fill.setAlpha(60);
        painter.setBrush(fill);
        painter.drawRect(m_playingRect);
    }
    QPen pen(QColor(230, 0, 0), 1.5);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    for (const QPolygonF &ink : qAsConst(m_overlapInks)) {
        painter.drawPolygon(ink);
    }
}

void PreviewPane::onProgressUpdate(Typesetter::Task task, Typesetter::Progress progress, int value,
                                   int maxValue) {
    if (!m_progress) {
        m_progress = new QProgressDialog(this, Qt::CustomizeWindowHint | Qt::WindowTitleHint);
        m_progress->setCancelButton(nullptr);
        m_progress->setRange(0, maxValue);
        m_progress->setModal(true);
        m_progress->setMinimumDuration(0);
        m_progress->setAutoClose(false);
        m_progress->setAutoReset(false);
        m_progress->reset();
        m_progress->hide();
    }
    // The pane typesets its preview quietly, as the text is edited: a
    // progress dialog, modal, would take the keys from the editors. An export
    // shows its progress and holds the pane until it is done.
    if (!m_writing) {
        return;
    }
    switch (progress) {
    case Typesetter::Progress::Started: {
        QString title = QStringLiteral("导出");
        QString text;
        switch (task) {
        case Typesetter::Task::Preview:
            title = QStringLiteral("生成预览");
            text = QStringLiteral("正在生成预览···");
            break;
        case Typesetter::Task::Typeset:
            title = QStringLiteral("绘制曲谱");
            text = QStringLiteral("正在绘制曲谱···");
            break;
        default:
            text = m_writing ? m_writing->progressText : QString();
            break;
        }
        m_progress->setLabelText(text);
        m_progress->setWindowTitle(title);
        m_progress->setRange(0, maxValue);
        m_progress->setValue(value);
        setEnabled(false);
        m_progress->show();
        break;
    }
    case Typesetter::Progress::Advanced:
        m_progress->setValue(value);
        break;
    case Typesetter::Progress::Finished:
        m_progress->hide();
        setEnabled(true);
        break;
    }
}
