#include "export/exportdialog.h"

#include "dialogs/prompt.h"
#include "dialogs/screenfit.h"
#include "export/exportconfig.h"
#include "export/exportformat.h"
#include "export/previewwindow.h"
#include "fonts/fontregistry.h"
#include "shell/apppaths.h"
#include "typeset/inkcollisions.h"
#include "typeset/sourcepicker.h"
#include "typeset/typesetter.h"
#include "ui_exportdialog.h"

#include <QAbstractItemView>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QIntValidator>
#include <QMouseEvent>
#include <QPageSize>
#include <QPainter>
#include <QProgressDialog>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QWheelEvent>
#include <QtMath>
#include <algorithm>

namespace {

// The index of the item whose data equals value: -1 when a non-empty list
// has none, 0 for an empty list.
int indexOfData(const QComboBox *box, const QVariant &value) {
    if (box->count() == 0) {
        return 0;
    }
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemData(i) == value) {
            return i;
        }
    }
    return -1;
}

// An empty or unconvertible text reads as 0.
int numberOf(const QLineEdit *edit) {
    return edit->text().toInt();
}

// The preview's zoom: one step of a button or a wheel notch, and its bounds
// relative to the whole page.
constexpr double zoomStep = 1.25;
constexpr double minZoom = 0.25;
constexpr double maxZoom = 8;
// The outline of the character at the editors' cursor.
const QColor cursorColor(0, 150, 80);

// The dialog's size is kept beside the export settings, in a group of its own.
const QString sizeGroup = QStringLiteral("ExportDialog");

} // namespace

ExportDialog::ExportDialog(QWidget *parent, const DocumentLines &lines)
    : QDialog(parent)
    , ui(new Ui::ExportDialog)
    , m_lines(lines)
    , m_engine(nullptr)
    , m_config(*ExportConfig::instance()) {
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::WindowMaximizeButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);
    m_engine = new Typesetter(this);
    m_overlay = new QWidget(ui->preViewWidget);
    m_overlay->setObjectName(QStringLiteral("overlapOverlay"));
    m_overlay->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_overlay->installEventFilter(this);
    fillComboBoxes();
    installValidators();
    loadForm();
    connectSignals();
    refreshPreview(true);

    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    settings.beginGroup(sizeGroup);
    const QSize remembered(settings.value(QStringLiteral("width")).toInt(),
                           settings.value(QStringLiteral("height")).toInt());
    if (!remembered.isEmpty()) {
        resize(remembered);
    }
    ScreenFit::fit(this);
}

ExportDialog::~ExportDialog() {
    if (m_shown) {
        const QSize last = isMaximized() ? normalGeometry().size() : size();
        QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
        settings.beginGroup(sizeGroup);
        settings.setValue(QStringLiteral("width"), last.width());
        settings.setValue(QStringLiteral("height"), last.height());
    }
    m_config.save();
    delete ui;
}

void ExportDialog::showEvent(QShowEvent *event) {
    m_shown = true; // a size the user saw is worth remembering
    QDialog::showEvent(event);
}

void ExportDialog::fillComboBoxes() {
    for (const auto &o : m_config.notationOptions()) {
        ui->notationBox->addItem(o.first, int(o.second));
    }
    for (const auto &o : m_config.zengOptions()) {
        ui->zengBox->addItem(o.first, o.second);
    }
    for (const auto &o : m_config.pageSizeOptions()) {
        ui->pageSizeBox->addItem(o.first, QVariant::fromValue(o.second));
    }
    for (const auto &o : m_config.orientationOptions()) {
        ui->isLandscapeBox->addItem(o.first, o.second);
    }
    for (const auto &o : m_config.lineBreakOptions()) {
        ui->isLineBreakScoreOverflowBox->addItem(o.first, o.second);
    }
    for (const auto &o : m_config.titlePosOptions()) {
        ui->titlePosBox->addItem(o.first, o.second);
    }
    fitPageSizeList();
    for (const ExportFormat &f : ExportFormat::all()) {
        ui->fileTypeBox->addItem(QIcon(f.icon), f.label, f.id);
    }
    // The digits of 简谱 are Latin: any font that has them will do.
    ui->jianpuNoteFontBox->fontCombo()->setWritingSystem(QFontDatabase::Latin);
}

void ExportDialog::fitPageSizeList() {
    QAbstractItemView *list = ui->pageSizeBox->view();
    const QFontMetrics fm(list->font());
    int widest = 0;
    for (int i = 0; i < ui->pageSizeBox->count(); ++i) {
        widest = std::max(widest, fm.horizontalAdvance(ui->pageSizeBox->itemText(i)));
    }
    list->setFixedWidth(std::max(widest, ui->pageSizeBox->width()));
}

void ExportDialog::installValidators() {
    auto set = [this](QLineEdit *edit, int min, int max) {
        edit->setValidator(new QIntValidator(min, max, edit));
    };
    set(ui->widthBox, 10, 10000);
    set(ui->heightBox, 10, 10000);
    set(ui->marginTopBox, 0, 10000);
    set(ui->marginRightBox, 0, 10000);
    set(ui->marginBottomBox, 0, 10000);
    set(ui->marginLeftBox, 0, 10000);
    set(ui->colWidthBox, 10, 10000);
    set(ui->mColWidthBox, 10, 10000);
    set(ui->titleWidthBox, 10, 10000);
    set(ui->lyricSpaceBox, -200, 200);
    set(ui->scoreSpaceBox, -200, 200);
    set(ui->banYanSpaceBox, -200, 200);
    set(ui->lyricScoreSpaceBox, -200, 200);
    set(ui->scoreBanYanSpaceBox, -200, 200);
    set(ui->scoreAngleBox, -360, 360);
    set(ui->jianpuLyricDistanceBox, -200, 200);
    set(ui->jianpuSystemSpaceBox, -200, 200);
    set(ui->jianpuBeatWidthBox, 10, 10000);
    set(ui->jianpuMinNoteSpaceBox, 0, 200);
}

void ExportDialog::loadForm() {
    m_loading = true;
    const ExportConfig &c = m_config;
    ui->notationBox->setCurrentIndex(indexOfData(ui->notationBox, int(c.notation())));
    ui->zengBox->setCurrentIndex(indexOfData(ui->zengBox, c.splitZeng()));
    ui->pageSizeBox->setCurrentIndex(
        indexOfData(ui->pageSizeBox, QVariant::fromValue(c.pageSizeId())));
    ui->isLandscapeBox->setCurrentIndex(indexOfData(ui->isLandscapeBox, c.isLandscape()));
    ui->isLineBreakScoreOverflowBox->setCurrentIndex(
        indexOfData(ui->isLineBreakScoreOverflowBox, c.isLineBreakScoreOverflow()));
    ui->titlePosBox->setCurrentIndex(indexOfData(ui->titlePosBox, c.titlePos()));

    // Width and height are typed only for the custom paper.
    const bool custom = c.pageSizeId() == QPageSize::Custom;
    ui->widthBox->setEnabled(custom);
    ui->heightBox->setEnabled(custom);
    ui->widthBox->setText(QString::number(c.pageWidth()));
    ui->heightBox->setText(QString::number(c.pageHeight()));
    ui->marginTopBox->setText(QString::number(c.marginTop()));
    ui->marginRightBox->setText(QString::number(c.marginRight()));
    ui->marginBottomBox->setText(QString::number(c.marginBottom()));
    ui->marginLeftBox->setText(QString::number(c.marginLeft()));
    ui->colWidthBox->setText(QString::number(c.colWidth()));
    ui->mColWidthBox->setText(QString::number(c.mColWidth()));
    ui->titleWidthBox->setText(QString::number(c.titleWidth()));
    ui->lyricSpaceBox->setText(QString::number(c.lyricSpace()));
    ui->scoreSpaceBox->setText(QString::number(c.scoreSpace()));
    ui->banYanSpaceBox->setText(QString::number(c.banYanSpace()));
    ui->lyricScoreSpaceBox->setText(QString::number(c.lyricScoreSpace()));
    ui->scoreBanYanSpaceBox->setText(QString::number(c.scoreBanYanSpace()));
    ui->scoreAngleBox->setText(QString::number(c.scoreAngle()));

    ui->bgTransparentBox->setChecked(c.isBgTransparent());
    ui->hiddenSymbolBox->setChecked(c.isHiddenSymbol());
    ui->livePreviewBox->setChecked(c.isLivePreview());

    ui->titleColorBox->setColor(c.titleColor());
    ui->lyricColorBox->setColor(c.lyricColor());
    ui->quPaiColorBox->setColor(c.quPaiColor());
    ui->diaoMingColorBox->setColor(c.diaoMingColor());
    ui->lianBaiColorBox->setColor(c.lianBaiColor());
    ui->jiaBaiColorBox->setColor(c.jiaBaiColor());
    ui->scoreColorBox->setColor(c.scoreColor());
    ui->banColorBox->setColor(c.banColor());
    ui->xiaoYanColorBox->setColor(c.xiaoYanColor());
    ui->zhongYanColorBox->setColor(c.zhongYanColor());
    ui->qiangGeColorBox->setColor(c.qiangGeColor());
    ui->backgroundColorBox->setColor(c.backgroundColor());

    ui->titleFontBox->setCurrentFont(c.titleFont());
    ui->titleFontBox->setFontSize(c.titleFontSize());
    ui->lyricFontBox->setCurrentFont(c.lyricFont());
    ui->lyricFontBox->setFontSize(c.lyricFontSize());
    ui->quPaiFontBox->setCurrentFont(c.quPaiFont());
    ui->quPaiFontBox->setFontSize(c.quPaiFontSize());
    ui->diaoMingFontBox->setCurrentFont(c.diaoMingFont());
    ui->diaoMingFontBox->setFontSize(c.diaoMingFontSize());
    ui->lianBaiFontBox->setCurrentFont(c.lianBaiFont());
    ui->lianBaiFontBox->setFontSize(c.lianBaiFontSize());
    ui->jiaBaiFontBox->setCurrentFont(c.jiaBaiFont());
    ui->jiaBaiFontBox->setFontSize(c.jiaBaiFontSize());
    // The score font must be one of the installed gongche fonts.
    const FontRegistry *fonts = FontRegistry::instance();
    if (!fonts->families().contains(c.scoreFont().family())) {
        m_config.setScoreFont(QFont(fonts->defaultFamily()));
    }
    ui->scoreFontBox->setCurrentFont(c.scoreFont());
    ui->scoreFontBox->setFontSize(c.scoreFontSize());

    ui->jianpuNoteFontBox->setCurrentFont(c.jianpuNoteFont());
    ui->jianpuNoteFontBox->setFontSize(c.jianpuNoteFontSize());
    ui->jianpuLyricDistanceBox->setText(QString::number(c.jianpuLyricDistance()));
    ui->jianpuSystemSpaceBox->setText(QString::number(c.jianpuSystemSpace()));
    ui->jianpuBeatWidthBox->setText(QString::number(c.jianpuBeatWidth()));
    ui->jianpuMinNoteSpaceBox->setText(QString::number(c.jianpuMinNoteSpace()));
    ui->jianpuFlatAfterLetterBox->setChecked(c.jianpuFlatAfterLetter());
    ui->jianpuSanBanWordBox->setChecked(c.jianpuSanBanWord());
    ui->jianpuBanYanSignsBox->setChecked(c.jianpuBanYanSigns());
    showNotationSettings();
    m_loading = false;
}

void ExportDialog::showNotationSettings() {
    const bool jianpu = m_config.notation() == PageStyle::Notation::Jianpu;
    ui->jianpuGroup->setVisible(jianpu);
    // Kept, not lost: they come back with gongche pages.
    ui->spaceGroupBox->setVisible(!jianpu);
    for (QWidget *w :
         {static_cast<QWidget *>(ui->scoreFontBoxLabel), static_cast<QWidget *>(ui->scoreFontBox),
          static_cast<QWidget *>(ui->qiangGeColorBoxLabel),
          static_cast<QWidget *>(ui->qiangGeColorBox)}) {
        w->setEnabled(!jianpu);
    }
}

void ExportDialog::connectSignals() {
    connect(ui->titleFontBox, &FontBox::fontChanged, this, &ExportDialog::onTitleFontChanged);
    connect(ui->lyricFontBox, &FontBox::fontChanged, this, &ExportDialog::onLyricFontChanged);
    connect(ui->quPaiFontBox, &FontBox::fontChanged, this, &ExportDialog::onQuPaiFontChanged);
    connect(ui->diaoMingFontBox, &FontBox::fontChanged, this, &ExportDialog::onDiaoMingFontChanged);
    connect(ui->lianBaiFontBox, &FontBox::fontChanged, this, &ExportDialog::onLianBaiFontChanged);
    connect(ui->jiaBaiFontBox, &FontBox::fontChanged, this, &ExportDialog::onJiaBaiFontChanged);
    connect(ui->scoreFontBox, &CustomFontBox::fontChanged, this, &ExportDialog::onScoreFontChanged);
    connect(ui->jianpuNoteFontBox, &FontBox::fontChanged, this,
            &ExportDialog::onJianpuNoteFontChanged);

    connect(ui->titleColorBox, &ColorBox::colorChanged, this, &ExportDialog::onTitleColorChanged);
    connect(ui->lyricColorBox, &ColorBox::colorChanged, this, &ExportDialog::onLyricColorChanged);
    connect(ui->quPaiColorBox, &ColorBox::colorChanged, this, &ExportDialog::onQuPaiColorChanged);
    connect(ui->diaoMingColorBox, &ColorBox::colorChanged, this,
            &ExportDialog::onDiaoMingColorChanged);
    connect(ui->lianBaiColorBox, &ColorBox::colorChanged, this,
            &ExportDialog::onLianBaiColorChanged);
    connect(ui->jiaBaiColorBox, &ColorBox::colorChanged, this, &ExportDialog::onJiaBaiColorChanged);
    connect(ui->scoreColorBox, &ColorBox::colorChanged, this, &ExportDialog::onScoreColorChanged);
    connect(ui->banColorBox, &ColorBox::colorChanged, this, &ExportDialog::onBanColorChanged);
    connect(ui->xiaoYanColorBox, &ColorBox::colorChanged, this,
            &ExportDialog::onXiaoYanColorChanged);
    connect(ui->zhongYanColorBox, &ColorBox::colorChanged, this,
            &ExportDialog::onZhongYanColorChanged);
    connect(ui->qiangGeColorBox, &ColorBox::colorChanged, this,
            &ExportDialog::onQiangGeColorChanged);
    connect(ui->backgroundColorBox, &ColorBox::colorChanged, this,
            &ExportDialog::onBackgroundColorChanged);

    connect(ui->bgTransparentBox, &QCheckBox::stateChanged, this,
            &ExportDialog::onBgTransparentChanged);
    connect(ui->hiddenSymbolBox, &QCheckBox::stateChanged, this,
            &ExportDialog::onHiddenSymbolChanged);
    connect(ui->pageSizeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportDialog::onPageSizeChanged);
    connect(ui->isLandscapeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportDialog::onIsLandscapeChanged);
    connect(ui->widthBox, &QLineEdit::editingFinished, this, &ExportDialog::onPageWidthChanged);
    connect(ui->heightBox, &QLineEdit::editingFinished, this, &ExportDialog::onPageHeightChanged);
    connect(ui->marginTopBox, &QLineEdit::editingFinished, this, &ExportDialog::onMarginTopChanged);
    connect(ui->marginRightBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onMarginRightChanged);
    connect(ui->marginBottomBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onMarginBottomChanged);
    connect(ui->marginLeftBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onMarginLeftChanged);
    connect(ui->isLineBreakScoreOverflowBox, QOverload<int>::of(&QComboBox::currentIndexChanged),
            this, &ExportDialog::onIsLineBreakScoreOverflowChanged);
    connect(ui->colWidthBox, &QLineEdit::editingFinished, this, &ExportDialog::onColWidthChanged);
    connect(ui->lyricSpaceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onLyricSpaceChanged);
    connect(ui->scoreSpaceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onScoreSpaceChanged);
    connect(ui->banYanSpaceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onBanYanSpaceChanged);
    connect(ui->scoreAngleBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onScoreAngleChanged);
    connect(ui->lyricScoreSpaceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onLyricScoreSpaceChanged);
    connect(ui->scoreBanYanSpaceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onScoreBanYanSpaceChanged);
    connect(ui->mColWidthBox, &QLineEdit::editingFinished, this, &ExportDialog::onMColWidthChanged);
    connect(ui->titlePosBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportDialog::onTitlePosChanged);
    connect(ui->titleWidthBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onTitleWidthChanged);
    connect(ui->notationBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportDialog::onNotationChanged);
    connect(ui->zengBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportDialog::onZengChanged);
    connect(ui->jianpuLyricDistanceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onJianpuLyricDistanceChanged);
    connect(ui->jianpuSystemSpaceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onJianpuSystemSpaceChanged);
    connect(ui->jianpuBeatWidthBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onJianpuBeatWidthChanged);
    connect(ui->jianpuMinNoteSpaceBox, &QLineEdit::editingFinished, this,
            &ExportDialog::onJianpuMinNoteSpaceChanged);
    connect(ui->jianpuFlatAfterLetterBox, &QCheckBox::stateChanged, this,
            &ExportDialog::onJianpuFlatAfterLetterChanged);
    connect(ui->jianpuSanBanWordBox, &QCheckBox::stateChanged, this,
            &ExportDialog::onJianpuSanBanWordChanged);
    connect(ui->jianpuBanYanSignsBox, &QCheckBox::stateChanged, this,
            &ExportDialog::onJianpuBanYanSignsChanged);
    connect(ui->fileTypeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportDialog::onFileTypeChanged);
    connect(ui->livePreviewBox, &QCheckBox::stateChanged, this,
            &ExportDialog::onLivePreviewChanged);
    connect(ui->restoreBtn, &QPushButton::clicked, this, &ExportDialog::onRestoreBtnClicked);
    connect(ui->saveBtn, &QPushButton::clicked, this, &ExportDialog::onSaveBtnClicked);
    connect(ui->importBtn, &QPushButton::clicked, this, &ExportDialog::onImportBtnClicked);
    connect(ui->submitBtn, &QPushButton::clicked, this, &ExportDialog::onSubmitBtnClicked);
    connect(m_engine, &Typesetter::progressUpdate, this, &ExportDialog::onProgressUpdate);
    connect(ui->previewAllBtn, &QPushButton::clicked, this, &ExportDialog::onPreviewAllBtnClicked);
    connect(ui->zoomInBtn, &QToolButton::clicked, this, &ExportDialog::onZoomInBtnClicked);
    connect(ui->zoomOutBtn, &QToolButton::clicked, this, &ExportDialog::onZoomOutBtnClicked);
    connect(ui->zoomFitBtn, &QToolButton::clicked, this, &ExportDialog::onZoomFitBtnClicked);

    // The preview follows its frame and zooms with Ctrl + wheel; the combo
    // boxes ignore the wheel, so that scrolling the form never changes a choice.
    ui->preViewFrame->installEventFilter(this);
    ui->preViewFrame->viewport()->installEventFilter(this);
    ui->preViewWidget->installEventFilter(this);
    for (QComboBox *box : {ui->notationBox, ui->zengBox, ui->pageSizeBox, ui->isLandscapeBox,
                           ui->isLineBreakScoreOverflowBox, ui->titlePosBox}) {
        box->installEventFilter(this);
    }
    onFileTypeChanged(ui->fileTypeBox->currentIndex());
}

bool ExportDialog::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Wheel &&
        (watched == ui->notationBox || watched == ui->zengBox || watched == ui->pageSizeBox ||
         watched == ui->isLandscapeBox || watched == ui->isLineBreakScoreOverflowBox ||
         watched == ui->titlePosBox)) {
        return true;
    }
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
    if (event->type() == QEvent::Resize) {
        if (watched == ui->preViewFrame) {
            fitPreview();
        } else if (watched == ui->pageSizeBox) {
            fitPageSizeList();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ExportDialog::refreshPreview(bool force) {
    if (!force && !m_config.isLivePreview()) {
        return;
    }
    // While a character beyond the first page plays or holds the cursor, the
    // preview will turn to it again: typeset every page at once rather than
    // the first one twice.
    const bool all = (m_playing >= 0 || m_cursor >= 0) && m_previewPage > 0;
    {
        const QScopedValueRollback<int> busy(m_busy, m_busy + 1);
        m_engine->reset();
        m_engine->generate(m_config.pageStyle(), m_lines, !all);
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

void ExportDialog::showPreviewPage(int index) {
    if (index < 0 || index >= m_engine->pages().size()) {
        return;
    }
    m_previewPage = index;
    ui->preViewWidget->load(m_engine->pages().at(index));

    const InkCollisions collisions(m_engine->pageCanvas(index));
    m_overlapInks = collisions.overlappingInks();
    const int count = collisions.overlaps().size();
    ui->overlapLabel->setText(count > 0 ? QStringLiteral("%1 处重叠").arg(count) : QString());
    m_overlay->update();
}

void ExportDialog::typesetAllPages() {
    const QScopedValueRollback<int> busy(m_busy, m_busy + 1);
    m_engine->reset();
    m_engine->generate(m_config.pageStyle(), m_lines, false);
    m_allPages = true;
}

void ExportDialog::showPlaying(int character) {
    character = std::max(character, -1);
    if (character == m_playing) {
        return;
    }
    m_playing = character;
    placePlaying();
}

bool ExportDialog::locate(int character, int *page, QRectF *rect) {
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

void ExportDialog::placePlaying() {
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
    if (!after.isEmpty()) {
        // Zoomed in, the frame scrolls to what is played.
        const QPoint centre = m_overlay->mapTo(ui->preViewWidget, after.center());
        ui->preViewFrame->ensureVisible(centre.x(), centre.y(), after.width() / 2 + 20,
                                        after.height() / 2 + 20);
    }
    m_overlay->update(before.united(after));
    if (m_previewWindow) {
        int page = -1;
        QRectF rect;
        if (!m_engine->findCharacter(m_playing, &page, &rect)) {
            page = -1;
        }
        m_previewWindow->setPlayingArea(page, rect);
    }
}

void ExportDialog::showCursor(int character) {
    character = std::max(character, -1);
    if (character == m_cursor) {
        return;
    }
    m_cursor = character;
    placeCursor();
}

void ExportDialog::placeCursor() {
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
        const QRect after = overlayRect(m_cursorRect);
        const QPoint centre = m_overlay->mapTo(ui->preViewWidget, after.center());
        ui->preViewFrame->ensureVisible(centre.x(), centre.y(), after.width() / 2 + 20,
                                        after.height() / 2 + 20);
    }
    m_overlay->update(before.united(overlayRect(m_cursorRect)));
}

void ExportDialog::pickSource(int page, const QPointF &point) {
    SourceArea area;
    if (SourcePicker::pick(m_engine->sourceAreas(page), point, &area)) {
        emit sourceClicked(area.character, area.kind == SourceArea::Symbol ? area.symbol : -1);
    }
}

void ExportDialog::setLines(const DocumentLines &lines) {
    if (lines == m_lines) {
        return;
    }
    m_lines = lines;
    m_allPages = false;
    refreshPreview();
}

QRect ExportDialog::overlayRect(const QRectF &rect) const {
    const QSize page = m_engine->pageSize();
    if (rect.isEmpty() || page.isEmpty()) {
        return QRect();
    }
    const double sx = m_overlay->width() / double(page.width());
    const double sy = m_overlay->height() / double(page.height());
    const QRectF shown(rect.x() * sx, rect.y() * sy, rect.width() * sx, rect.height() * sy);
    return shown.toAlignedRect().adjusted(-3, -3, 3, 3);
}

void ExportDialog::fitPreview() {
    int pageWidth = m_config.pageWidth();
    int pageHeight = m_config.pageHeight();
    if (m_config.isLandscape()) {
        std::swap(pageWidth, pageHeight);
    }
    if (pageWidth <= 0 || pageHeight <= 0) {
        return;
    }
    const QRect inner = ui->preViewFrame->contentsRect();
    const int W = inner.width();
    const int H = inner.height();
    const double scale = std::min(0.9 * W / pageWidth, 0.9 * H / pageHeight) * m_zoom;
    const int width = qFloor(pageWidth * scale + 0.5);
    const int height = qFloor(pageHeight * scale + 0.5);
    // The frame centres the page while it is smaller, and scrolls it when larger.
    ui->preViewWidget->setFixedSize(std::max(width, 0), std::max(height, 0));
    m_overlay->setGeometry(ui->preViewWidget->rect());
}

void ExportDialog::zoomPreview(double factor, const QPoint &anchor) {
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

void ExportDialog::onZoomInBtnClicked() {
    zoomPreview(zoomStep, ui->preViewFrame->viewport()->rect().center());
}

void ExportDialog::onZoomOutBtnClicked() {
    zoomPreview(1 / zoomStep, ui->preViewFrame->viewport()->rect().center());
}

void ExportDialog::onZoomFitBtnClicked() {
    m_zoom = 1;
    fitPreview();
}

void ExportDialog::paintOverlay() {
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
        QPen pen(PreviewWindow::playingColor(), 1.5);
        pen.setCosmetic(true);
        painter.setPen(pen);
        QColor fill = PreviewWindow::playingColor();
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

// Fonts

void ExportDialog::fontChanged(const QFont &font, int size, FontGetter getFont, SizeGetter getSize,
                               FontSetter setFont, SizeSetter setSize) {
    if (m_loading) {
        return;
    }
    // A font box chooses a family and a size.
    if (font.family() == (m_config.*getFont)().family() && size == (m_config.*getSize)()) {
        return;
    }
    (m_config.*setSize)(size);
    (m_config.*setFont)(font);
    refreshPreview();
}

void ExportDialog::onTitleFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::titleFont, &ExportConfig::titleFontSize,
                &ExportConfig::setTitleFont, &ExportConfig::setTitleFontSize);
}

void ExportDialog::onLyricFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::lyricFont, &ExportConfig::lyricFontSize,
                &ExportConfig::setLyricFont, &ExportConfig::setLyricFontSize);
}

void ExportDialog::onQuPaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::quPaiFont, &ExportConfig::quPaiFontSize,
                &ExportConfig::setQuPaiFont, &ExportConfig::setQuPaiFontSize);
}

void ExportDialog::onDiaoMingFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::diaoMingFont, &ExportConfig::diaoMingFontSize,
                &ExportConfig::setDiaoMingFont, &ExportConfig::setDiaoMingFontSize);
}

void ExportDialog::onLianBaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::lianBaiFont, &ExportConfig::lianBaiFontSize,
                &ExportConfig::setLianBaiFont, &ExportConfig::setLianBaiFontSize);
}

void ExportDialog::onJiaBaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::jiaBaiFont, &ExportConfig::jiaBaiFontSize,
                &ExportConfig::setJiaBaiFont, &ExportConfig::setJiaBaiFontSize);
}

void ExportDialog::onScoreFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::scoreFont, &ExportConfig::scoreFontSize,
                &ExportConfig::setScoreFont, &ExportConfig::setScoreFontSize);
}

void ExportDialog::onJianpuNoteFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::jianpuNoteFont, &ExportConfig::jianpuNoteFontSize,
                &ExportConfig::setJianpuNoteFont, &ExportConfig::setJianpuNoteFontSize);
}

// Colours

void ExportDialog::colorChanged(const QColor &c, ColorGetter get, ColorSetter set) {
    if (m_loading || c == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(c);
    refreshPreview();
}

void ExportDialog::onTitleColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::titleColor, &ExportConfig::setTitleColor);
}

void ExportDialog::onLyricColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::lyricColor, &ExportConfig::setLyricColor);
}

void ExportDialog::onQuPaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::quPaiColor, &ExportConfig::setQuPaiColor);
}

void ExportDialog::onDiaoMingColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::diaoMingColor, &ExportConfig::setDiaoMingColor);
}

void ExportDialog::onLianBaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::lianBaiColor, &ExportConfig::setLianBaiColor);
}

void ExportDialog::onJiaBaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::jiaBaiColor, &ExportConfig::setJiaBaiColor);
}

void ExportDialog::onScoreColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::scoreColor, &ExportConfig::setScoreColor);
}

void ExportDialog::onBanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::banColor, &ExportConfig::setBanColor);
}

void ExportDialog::onXiaoYanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::xiaoYanColor, &ExportConfig::setXiaoYanColor);
}

void ExportDialog::onZhongYanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::zhongYanColor, &ExportConfig::setZhongYanColor);
}

void ExportDialog::onQiangGeColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::qiangGeColor, &ExportConfig::setQiangGeColor);
}

void ExportDialog::onBackgroundColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::backgroundColor, &ExportConfig::setBackgroundColor);
}

// Switches and lists

void ExportDialog::boolChanged(bool value, BoolGetter get, BoolSetter set) {
    if (m_loading || value == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(value);
    refreshPreview();
}

void ExportDialog::onBgTransparentChanged(int transparent) {
    boolChanged(transparent == Qt::Checked, &ExportConfig::isBgTransparent,
                &ExportConfig::setIsBgTransparent);
}

void ExportDialog::onHiddenSymbolChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::isHiddenSymbol,
                &ExportConfig::setIsHiddenSymbol);
}

void ExportDialog::onIsLandscapeChanged(int index) {
    if (m_loading) {
        return;
    }
    boolChanged(ui->isLandscapeBox->itemData(index).toBool(), &ExportConfig::isLandscape,
                &ExportConfig::setIsLandscape);
}

void ExportDialog::onIsLineBreakScoreOverflowChanged(int index) {
    if (m_loading) {
        return;
    }
    boolChanged(ui->isLineBreakScoreOverflowBox->itemData(index).toBool(),
                &ExportConfig::isLineBreakScoreOverflow,
                &ExportConfig::setIsLineBreakScoreOverflow);
}

void ExportDialog::onTitlePosChanged(int index) {
    if (m_loading) {
        return;
    }
    const int pos = ui->titlePosBox->itemData(index).toInt();
    if (pos == m_config.titlePos()) {
        return;
    }
    m_config.setTitlePos(pos);
    refreshPreview();
}

void ExportDialog::onNotationChanged(int index) {
    if (m_loading) {
        return;
    }
    const auto notation = PageStyle::Notation(ui->notationBox->itemData(index).toInt());
    if (notation == m_config.notation()) {
        return;
    }
    m_config.setNotation(notation);
    showNotationSettings();
    refreshPreview();
}

void ExportDialog::onZengChanged(int index) {
    boolChanged(ui->zengBox->itemData(index).toBool(), &ExportConfig::splitZeng,
                &ExportConfig::setSplitZeng);
}

void ExportDialog::onJianpuFlatAfterLetterChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::jianpuFlatAfterLetter,
                &ExportConfig::setJianpuFlatAfterLetter);
}

void ExportDialog::onJianpuSanBanWordChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::jianpuSanBanWord,
                &ExportConfig::setJianpuSanBanWord);
}

void ExportDialog::onJianpuBanYanSignsChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::jianpuBanYanSigns,
                &ExportConfig::setJianpuBanYanSigns);
}

void ExportDialog::onPageSizeChanged(int index) {
    if (m_loading) {
        return;
    }
    static const int registered = qRegisterMetaType<QPageSize::PageSizeId>("QPageSize::PageSizeId");
    Q_UNUSED(registered)
    const QVariant data = ui->pageSizeBox->itemData(index);
    QPageSize::PageSizeId id = QPageSize::A4;
    if (data.canConvert<QPageSize::PageSizeId>()) {
        id = data.value<QPageSize::PageSizeId>();
    }
    if (id == m_config.pageSizeId()) {
        return;
    }
    m_config.setPageSizeId(id);
    if (id == QPageSize::Custom) {
        ui->widthBox->setEnabled(true);
        ui->heightBox->setEnabled(true);
        return;
    }
    ui->widthBox->setEnabled(false);
    ui->heightBox->setEnabled(false);
    const QSize points = QPageSize(id).sizePoints();
    ui->widthBox->setText(QString::number(points.width()));
    ui->heightBox->setText(QString::number(points.height()));
    m_config.setPageWidth(points.width());
    m_config.setPageHeight(points.height());
    refreshPreview();
}

// Numbers

void ExportDialog::lineEditChanged(const QLineEdit *edit, IntGetter get, IntSetter set) {
    if (m_loading) {
        return;
    }
    const int value = numberOf(edit);
    if (value == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(value);
    refreshPreview();
}

void ExportDialog::onPageWidthChanged() {
    if (ui->widthBox->isEnabled()) {
        lineEditChanged(ui->widthBox, &ExportConfig::pageWidth, &ExportConfig::setPageWidth);
    }
}

void ExportDialog::onPageHeightChanged() {
    if (ui->heightBox->isEnabled()) {
        lineEditChanged(ui->heightBox, &ExportConfig::pageHeight, &ExportConfig::setPageHeight);
    }
}

void ExportDialog::onMarginTopChanged() {
    lineEditChanged(ui->marginTopBox, &ExportConfig::marginTop, &ExportConfig::setMarginTop);
}

void ExportDialog::onMarginRightChanged() {
    lineEditChanged(ui->marginRightBox, &ExportConfig::marginRight, &ExportConfig::setMarginRight);
}

void ExportDialog::onMarginBottomChanged() {
    lineEditChanged(ui->marginBottomBox, &ExportConfig::marginBottom,
                    &ExportConfig::setMarginBottom);
}

void ExportDialog::onMarginLeftChanged() {
    lineEditChanged(ui->marginLeftBox, &ExportConfig::marginLeft, &ExportConfig::setMarginLeft);
}

void ExportDialog::onColWidthChanged() {
    lineEditChanged(ui->colWidthBox, &ExportConfig::colWidth, &ExportConfig::setColWidth);
}

void ExportDialog::onLyricSpaceChanged() {
    lineEditChanged(ui->lyricSpaceBox, &ExportConfig::lyricSpace, &ExportConfig::setLyricSpace);
}

void ExportDialog::onScoreSpaceChanged() {
    lineEditChanged(ui->scoreSpaceBox, &ExportConfig::scoreSpace, &ExportConfig::setScoreSpace);
}

void ExportDialog::onBanYanSpaceChanged() {
    lineEditChanged(ui->banYanSpaceBox, &ExportConfig::banYanSpace, &ExportConfig::setBanYanSpace);
}

void ExportDialog::onScoreAngleChanged() {
    lineEditChanged(ui->scoreAngleBox, &ExportConfig::scoreAngle, &ExportConfig::setScoreAngle);
}

void ExportDialog::onLyricScoreSpaceChanged() {
    lineEditChanged(ui->lyricScoreSpaceBox, &ExportConfig::lyricScoreSpace,
                    &ExportConfig::setLyricScoreSpace);
}

void ExportDialog::onScoreBanYanSpaceChanged() {
    lineEditChanged(ui->scoreBanYanSpaceBox, &ExportConfig::scoreBanYanSpace,
                    &ExportConfig::setScoreBanYanSpace);
}

void ExportDialog::onMColWidthChanged() {
    lineEditChanged(ui->mColWidthBox, &ExportConfig::mColWidth, &ExportConfig::setMColWidth);
}

void ExportDialog::onTitleWidthChanged() {
    lineEditChanged(ui->titleWidthBox, &ExportConfig::titleWidth, &ExportConfig::setTitleWidth);
}

void ExportDialog::onJianpuLyricDistanceChanged() {
    lineEditChanged(ui->jianpuLyricDistanceBox, &ExportConfig::jianpuLyricDistance,
                    &ExportConfig::setJianpuLyricDistance);
}

void ExportDialog::onJianpuSystemSpaceChanged() {
    lineEditChanged(ui->jianpuSystemSpaceBox, &ExportConfig::jianpuSystemSpace,
                    &ExportConfig::setJianpuSystemSpace);
}

void ExportDialog::onJianpuBeatWidthChanged() {
    lineEditChanged(ui->jianpuBeatWidthBox, &ExportConfig::jianpuBeatWidth,
                    &ExportConfig::setJianpuBeatWidth);
}

void ExportDialog::onJianpuMinNoteSpaceChanged() {
    lineEditChanged(ui->jianpuMinNoteSpaceBox, &ExportConfig::jianpuMinNoteSpace,
                    &ExportConfig::setJianpuMinNoteSpace);
}

// Output

const ExportFormat *ExportDialog::currentFormat() const {
    const int index = ui->fileTypeBox->currentIndex();
    const QVector<ExportFormat> &formats = ExportFormat::all();
    return index >= 0 && index < formats.size() ? &formats.at(index) : nullptr;
}

void ExportDialog::onFileTypeChanged(int) {
    const ExportFormat *format = currentFormat();
    ui->dpiBox->setEnabled(format && format->usesResolution);
}

void ExportDialog::onLivePreviewChanged(int state) {
    if (m_loading) {
        return;
    }
    const bool on = state == Qt::Checked;
    if (on == m_config.isLivePreview()) {
        return;
    }
    m_config.setIsLivePreview(on);
    if (on) {
        refreshPreview(true);
    }
}

void ExportDialog::onRestoreBtnClicked() {
    m_config.restoreDefaults();
    loadForm();
    refreshPreview(true);
}

void ExportDialog::onSaveBtnClicked() {
    const QString path = Prompt::saveFileName(this, QStringLiteral("保存方案"), QString(),
                                              QStringLiteral("JSON文件 (*.json)"));
    if (path.isEmpty()) {
        return;
    }
    if (m_config.saveScheme(path)) {
        Prompt::information(this, QStringLiteral("成功"), QStringLiteral("保存成功！"));
    } else {
        Prompt::warning(this, QStringLiteral("错误"), QStringLiteral("保存失败！"));
    }
}

void ExportDialog::onImportBtnClicked() {
    const QString path = Prompt::openFileName(this, QStringLiteral("导入方案"), QString(),
                                              QStringLiteral("JSON文件 (*.json)"));
    if (path.isEmpty()) {
        return;
    }
    if (m_config.importScheme(path)) {
        loadForm();
        refreshPreview(true);
        Prompt::information(this, QStringLiteral("成功"), QStringLiteral("导入成功！"));
    } else {
        Prompt::warning(this, QStringLiteral("错误"), QStringLiteral("导入失败，文件错误！"));
    }
}

void ExportDialog::onPreviewAllBtnClicked() {
    typesetAllPages();
    auto *window = new PreviewWindow(this);
    window->setPages(m_engine->pages());
    connect(window, &PreviewWindow::pageClicked, this, &ExportDialog::pickSource);
    m_previewWindow = window;
    // Also catches up with a character played while the pages were typeset.
    placePlaying();
    window->exec();
    delete window;
}

void ExportDialog::onSubmitBtnClicked() {
    const ExportFormat *format = currentFormat();
    if (!format) {
        return;
    }
    const int dpi = ui->dpiBox->currentIndex();
    const int resolutionIndex = dpi >= 1 && dpi <= 3 ? dpi : 0;
    const QString start = suggestedPath(*format);
    const QString path =
        format->toFolder
            ? Prompt::existingDirectory(this, format->chooserTitle, start)
            : Prompt::saveFileName(this, format->chooserTitle, start, format->fileFilter);
    if (path.isEmpty()) {
        return;
    }
    m_writing = format;
    Outcome outcome;
    {
        const QScopedValueRollback<int> busy(m_busy, m_busy + 1);
        m_engine->reset();
        m_allPages = false;
        if (format->needsPages) {
            typesetAllPages();
        }
        outcome = format->write({*m_engine, m_lines, path, resolutionIndex});
    }
    m_writing = nullptr;
    placeCursor();
    if (m_playingPending) {
        placePlaying();
    }
    if (!outcome) {
        Prompt::warning(this, outcome.title(), outcome.message());
        return;
    }
    emit exported(outcome.path());
}

QString ExportDialog::suggestedPath(const ExportFormat &format) const {
    // Beside the last export of this dialog, else among the user's documents.
    const QString last = m_engine->lastExportPath();
    const QString dir = last.isEmpty()
                            ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                            : QFileInfo(last).absolutePath();
    if (format.toFolder) {
        return dir;
    }
    // The preview has typeset the title.
    return QDir(dir).filePath(Typesetter::safeFileName(m_engine->documentTitle()) + format.suffix);
}

void ExportDialog::onProgressUpdate(Typesetter::Task task, Typesetter::Progress progress, int value,
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
        setEnabled(false);
        m_progress->setLabelText(text);
        m_progress->setWindowTitle(title);
        m_progress->setRange(0, maxValue);
        m_progress->setValue(value);
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
