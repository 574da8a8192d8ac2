#include "export/export.h"

#include "dialogs/prompt.h"
#include "export/exportconfig.h"
#include "export/generatesvg.h"
#include "export/previewwindow.h"
#include "fonts/fontregistry.h"
#include "ui_export.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QIntValidator>
#include <QPageSize>
#include <QProgressDialog>
#include <QtMath>

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

} // namespace

Export::Export(QWidget *parent, const DocumentLines &lines)
    : QDialog(parent)
    , ui(new Ui::Export)
    , m_lines(lines)
    , m_engine(nullptr)
    , m_config(*ExportConfig::instance()) {
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::WindowMaximizeButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);
    m_engine = new GenerateSVG(this);
    fillComboBoxes();
    installValidators();
    loadForm();
    connectSignals();
    refreshPreview(true);
}

Export::~Export() {
    m_config.save();
    delete ui;
}

void Export::fillComboBoxes() {
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
}

void Export::fitPageSizeList() {
    QAbstractItemView *list = ui->pageSizeBox->view();
    const QFontMetrics fm(list->font());
    int widest = 0;
    for (int i = 0; i < ui->pageSizeBox->count(); ++i) {
        widest = std::max(widest, fm.horizontalAdvance(ui->pageSizeBox->itemText(i)));
    }
    list->setFixedWidth(std::max(widest, ui->pageSizeBox->width()));
}

void Export::installValidators() {
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
}

void Export::loadForm() {
    m_loading = true;
    const ExportConfig &c = m_config;
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
    m_loading = false;
}

void Export::connectSignals() {
    connect(ui->titleFontBox, &FontBox::fontChanged, this, &Export::onTitleFontChanged);
    connect(ui->lyricFontBox, &FontBox::fontChanged, this, &Export::onLyricFontChanged);
    connect(ui->quPaiFontBox, &FontBox::fontChanged, this, &Export::onQuPaiFontChanged);
    connect(ui->diaoMingFontBox, &FontBox::fontChanged, this, &Export::onDiaoMingFontChanged);
    connect(ui->lianBaiFontBox, &FontBox::fontChanged, this, &Export::onLianBaiFontChanged);
    connect(ui->jiaBaiFontBox, &FontBox::fontChanged, this, &Export::onJiaBaiFontChanged);
    connect(ui->scoreFontBox, &CustomFontBox::fontChanged, this, &Export::onScoreFontChanged);

    connect(ui->titleColorBox, &ColorBox::colorChanged, this, &Export::onTitleColorChanged);
    connect(ui->lyricColorBox, &ColorBox::colorChanged, this, &Export::onLyricColorChanged);
    connect(ui->quPaiColorBox, &ColorBox::colorChanged, this, &Export::onQuPaiColorChanged);
    connect(ui->diaoMingColorBox, &ColorBox::colorChanged, this, &Export::onDiaoMingColorChanged);
    connect(ui->lianBaiColorBox, &ColorBox::colorChanged, this, &Export::onLianBaiColorChanged);
    connect(ui->jiaBaiColorBox, &ColorBox::colorChanged, this, &Export::onJiaBaiColorChanged);
    connect(ui->scoreColorBox, &ColorBox::colorChanged, this, &Export::onScoreColorChanged);
    connect(ui->banColorBox, &ColorBox::colorChanged, this, &Export::onBanColorChanged);
    connect(ui->xiaoYanColorBox, &ColorBox::colorChanged, this, &Export::onXiaoYanColorChanged);
    connect(ui->zhongYanColorBox, &ColorBox::colorChanged, this, &Export::onZhongYanColorChanged);
    connect(ui->qiangGeColorBox, &ColorBox::colorChanged, this, &Export::onQiangGeColorChanged);
    connect(ui->backgroundColorBox, &ColorBox::colorChanged, this,
            &Export::onBackgroundColorChanged);

    connect(ui->bgTransparentBox, &QCheckBox::stateChanged, this, &Export::onBgTransparentChanged);
    connect(ui->hiddenSymbolBox, &QCheckBox::stateChanged, this, &Export::onHiddenSymbolChanged);
    connect(ui->pageSizeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Export::onPageSizeChanged);
    connect(ui->isLandscapeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Export::onIsLandscapeChanged);
    connect(ui->widthBox, &QLineEdit::editingFinished, this, &Export::onPageWidthChanged);
    connect(ui->heightBox, &QLineEdit::editingFinished, this, &Export::onPageHeightChanged);
    connect(ui->marginTopBox, &QLineEdit::editingFinished, this, &Export::onMarginTopChanged);
    connect(ui->marginRightBox, &QLineEdit::editingFinished, this, &Export::onMarginRightChanged);
    connect(ui->marginBottomBox, &QLineEdit::editingFinished, this, &Export::onMarginBottomChanged);
    connect(ui->marginLeftBox, &QLineEdit::editingFinished, this, &Export::onMarginLeftChanged);
    connect(ui->isLineBreakScoreOverflowBox, QOverload<int>::of(&QComboBox::currentIndexChanged),
            this, &Export::onIsLineBreakScoreOverflowChanged);
    connect(ui->colWidthBox, &QLineEdit::editingFinished, this, &Export::onColWidthChanged);
    connect(ui->lyricSpaceBox, &QLineEdit::editingFinished, this, &Export::onLyricSpaceChanged);
    connect(ui->scoreSpaceBox, &QLineEdit::editingFinished, this, &Export::onScoreSpaceChanged);
    connect(ui->banYanSpaceBox, &QLineEdit::editingFinished, this, &Export::onBanYanSpaceChanged);
    connect(ui->scoreAngleBox, &QLineEdit::editingFinished, this, &Export::onScoreAngleChanged);
    connect(ui->lyricScoreSpaceBox, &QLineEdit::editingFinished, this,
            &Export::onLyricScoreSpaceChanged);
    connect(ui->scoreBanYanSpaceBox, &QLineEdit::editingFinished, this,
            &Export::onScoreBanYanSpaceChanged);
    connect(ui->mColWidthBox, &QLineEdit::editingFinished, this, &Export::onMColWidthChanged);
    connect(ui->titlePosBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Export::onTitlePosChanged);
    connect(ui->titleWidthBox, &QLineEdit::editingFinished, this, &Export::onTitleWidthChanged);
    connect(ui->fileTypeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Export::onFileTypeChanged);
    connect(ui->livePreviewBox, &QCheckBox::stateChanged, this, &Export::onLivePreviewChanged);
    connect(ui->restoreBtn, &QPushButton::clicked, this, &Export::onRestoreBtnClicked);
    connect(ui->saveBtn, &QPushButton::clicked, this, &Export::onSaveBtnClicked);
    connect(ui->importBtn, &QPushButton::clicked, this, &Export::onImportBtnClicked);
    connect(ui->submitBtn, &QPushButton::clicked, this, &Export::onSubmitBtnClicked);
    connect(m_engine, &GenerateSVG::progressUpdate, this, &Export::onProgressUpdate);
    connect(ui->previewAllBtn, &QPushButton::clicked, this, &Export::onPreviewAllBtnClicked);

    // The preview follows its frame; the combo boxes ignore the wheel, so
    // that scrolling the form never changes a choice.
    ui->preViewFrame->installEventFilter(this);
    for (QComboBox *box :
         {ui->pageSizeBox, ui->isLandscapeBox, ui->isLineBreakScoreOverflowBox, ui->titlePosBox}) {
        box->installEventFilter(this);
    }
    onFileTypeChanged(ui->fileTypeBox->currentIndex());
}

bool Export::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Wheel &&
        (watched == ui->pageSizeBox || watched == ui->isLandscapeBox ||
         watched == ui->isLineBreakScoreOverflowBox || watched == ui->titlePosBox)) {
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

void Export::refreshPreview(bool force) {
    if (!force && !m_config.isLivePreview()) {
        return;
    }
    m_engine->reset();
    m_engine->generate(m_lines, true);
    if (m_engine->pages().isEmpty()) {
        return;
    }
    fitPreview();
    ui->preViewWidget->load(m_engine->pages().first());
}

void Export::fitPreview() {
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
    const double scale = std::min(0.9 * W / pageWidth, 0.9 * H / pageHeight);
    const int width = qFloor(pageWidth * scale + 0.5);
    const int height = qFloor(pageHeight * scale + 0.5);
    ui->preViewWidget->setFixedSize(std::max(width, 0), std::max(height, 0));
    ui->preViewWidget->move((W - width) / 2, (H - height) / 2);
}

// Fonts

void Export::fontChanged(const QFont &font, int size, FontGetter getFont, SizeGetter getSize,
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

void Export::onTitleFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::titleFont, &ExportConfig::titleFontSize,
                &ExportConfig::setTitleFont, &ExportConfig::setTitleFontSize);
}

void Export::onLyricFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::lyricFont, &ExportConfig::lyricFontSize,
                &ExportConfig::setLyricFont, &ExportConfig::setLyricFontSize);
}

void Export::onQuPaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::quPaiFont, &ExportConfig::quPaiFontSize,
                &ExportConfig::setQuPaiFont, &ExportConfig::setQuPaiFontSize);
}

void Export::onDiaoMingFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::diaoMingFont, &ExportConfig::diaoMingFontSize,
                &ExportConfig::setDiaoMingFont, &ExportConfig::setDiaoMingFontSize);
}

void Export::onLianBaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::lianBaiFont, &ExportConfig::lianBaiFontSize,
                &ExportConfig::setLianBaiFont, &ExportConfig::setLianBaiFontSize);
}

void Export::onJiaBaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::jiaBaiFont, &ExportConfig::jiaBaiFontSize,
                &ExportConfig::setJiaBaiFont, &ExportConfig::setJiaBaiFontSize);
}

void Export::onScoreFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::scoreFont, &ExportConfig::scoreFontSize,
                &ExportConfig::setScoreFont, &ExportConfig::setScoreFontSize);
}

// Colours

void Export::colorChanged(const QColor &c, ColorGetter get, ColorSetter set) {
    if (m_loading || c == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(c);
    refreshPreview();
}

void Export::onTitleColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::titleColor, &ExportConfig::setTitleColor);
}

void Export::onLyricColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::lyricColor, &ExportConfig::setLyricColor);
}

void Export::onQuPaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::quPaiColor, &ExportConfig::setQuPaiColor);
}

void Export::onDiaoMingColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::diaoMingColor, &ExportConfig::setDiaoMingColor);
}

void Export::onLianBaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::lianBaiColor, &ExportConfig::setLianBaiColor);
}

void Export::onJiaBaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::jiaBaiColor, &ExportConfig::setJiaBaiColor);
}

void Export::onScoreColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::scoreColor, &ExportConfig::setScoreColor);
}

void Export::onBanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::banColor, &ExportConfig::setBanColor);
}

void Export::onXiaoYanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::xiaoYanColor, &ExportConfig::setXiaoYanColor);
}

void Export::onZhongYanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::zhongYanColor, &ExportConfig::setZhongYanColor);
}

void Export::onQiangGeColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::qiangGeColor, &ExportConfig::setQiangGeColor);
}

void Export::onBackgroundColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::backgroundColor, &ExportConfig::setBackgroundColor);
}

// Switches and lists

void Export::boolChanged(bool value, BoolGetter get, BoolSetter set) {
    if (m_loading || value == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(value);
    refreshPreview();
}

void Export::onBgTransparentChanged(int transparent) {
    boolChanged(transparent == Qt::Checked, &ExportConfig::isBgTransparent,
                &ExportConfig::setIsBgTransparent);
}

void Export::onHiddenSymbolChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::isHiddenSymbol,
                &ExportConfig::setIsHiddenSymbol);
}

void Export::onIsLandscapeChanged(int index) {
    if (m_loading) {
        return;
    }
    boolChanged(ui->isLandscapeBox->itemData(index).toBool(), &ExportConfig::isLandscape,
                &ExportConfig::setIsLandscape);
}

void Export::onIsLineBreakScoreOverflowChanged(int index) {
    if (m_loading) {
        return;
    }
    boolChanged(ui->isLineBreakScoreOverflowBox->itemData(index).toBool(),
                &ExportConfig::isLineBreakScoreOverflow,
                &ExportConfig::setIsLineBreakScoreOverflow);
}

void Export::onTitlePosChanged(int index) {
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

void Export::onPageSizeChanged(int index) {
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

void Export::lineEditChanged(const QLineEdit *edit, IntGetter get, IntSetter set) {
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

void Export::onPageWidthChanged() {
    if (ui->widthBox->isEnabled()) {
        lineEditChanged(ui->widthBox, &ExportConfig::pageWidth, &ExportConfig::setPageWidth);
    }
}

void Export::onPageHeightChanged() {
    if (ui->heightBox->isEnabled()) {
        lineEditChanged(ui->heightBox, &ExportConfig::pageHeight, &ExportConfig::setPageHeight);
    }
}

void Export::onMarginTopChanged() {
    lineEditChanged(ui->marginTopBox, &ExportConfig::marginTop, &ExportConfig::setMarginTop);
}

void Export::onMarginRightChanged() {
    lineEditChanged(ui->marginRightBox, &ExportConfig::marginRight, &ExportConfig::setMarginRight);
}

void Export::onMarginBottomChanged() {
    lineEditChanged(ui->marginBottomBox, &ExportConfig::marginBottom,
                    &ExportConfig::setMarginBottom);
}

void Export::onMarginLeftChanged() {
    lineEditChanged(ui->marginLeftBox, &ExportConfig::marginLeft, &ExportConfig::setMarginLeft);
}

void Export::onColWidthChanged() {
    lineEditChanged(ui->colWidthBox, &ExportConfig::colWidth, &ExportConfig::setColWidth);
}

void Export::onLyricSpaceChanged() {
    lineEditChanged(ui->lyricSpaceBox, &ExportConfig::lyricSpace, &ExportConfig::setLyricSpace);
}

void Export::onScoreSpaceChanged() {
    lineEditChanged(ui->scoreSpaceBox, &ExportConfig::scoreSpace, &ExportConfig::setScoreSpace);
}

void Export::onBanYanSpaceChanged() {
    lineEditChanged(ui->banYanSpaceBox, &ExportConfig::banYanSpace, &ExportConfig::setBanYanSpace);
}

void Export::onScoreAngleChanged() {
    lineEditChanged(ui->scoreAngleBox, &ExportConfig::scoreAngle, &ExportConfig::setScoreAngle);
}

void Export::onLyricScoreSpaceChanged() {
    lineEditChanged(ui->lyricScoreSpaceBox, &ExportConfig::lyricScoreSpace,
                    &ExportConfig::setLyricScoreSpace);
}

void Export::onScoreBanYanSpaceChanged() {
    lineEditChanged(ui->scoreBanYanSpaceBox, &ExportConfig::scoreBanYanSpace,
                    &ExportConfig::setScoreBanYanSpace);
}

void Export::onMColWidthChanged() {
    lineEditChanged(ui->mColWidthBox, &ExportConfig::mColWidth, &ExportConfig::setMColWidth);
}

void Export::onTitleWidthChanged() {
    lineEditChanged(ui->titleWidthBox, &ExportConfig::titleWidth, &ExportConfig::setTitleWidth);
}

// Output

void Export::onFileTypeChanged(int index) {
    // Only images have a resolution.
    ui->dpiBox->setEnabled(index == 1 || index == 2);
}

void Export::onLivePreviewChanged(int state) {
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

void Export::onRestoreBtnClicked() {
    m_config.restoreDefaults();
    loadForm();
    refreshPreview(true);
}

void Export::onSaveBtnClicked() {
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

void Export::onImportBtnClicked() {
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

void Export::onPreviewAllBtnClicked() {
    m_engine->reset();
    m_engine->generate(m_lines, false);
    auto *window = new PreviewWindow(this);
    window->setPages(m_engine->pages());
    window->exec();
    delete window;
}

void Export::onSubmitBtnClicked() {
    const int type = ui->fileTypeBox->currentIndex();
    const int dpi = ui->dpiBox->currentIndex();
    const int resolutionIndex = dpi >= 1 && dpi <= 3 ? dpi : 0;
    QString path;
    switch (type) {
    case 0:
        path = Prompt::saveFileName(this, QStringLiteral("导出为PDF文件"), QString(),
                                    QStringLiteral("PDF文件 (*.pdf)"));
        break;
    case 1:
        path = Prompt::existingDirectory(this, QStringLiteral("导出为JPG文件"), QString());
        break;
    case 2:
        path = Prompt::existingDirectory(this, QStringLiteral("导出为PNG文件"), QString());
        break;
    case 3:
        path = Prompt::existingDirectory(this, QStringLiteral("导出为SVG文件"), QString());
        break;
    default:
        return;
    }
    if (path.isEmpty()) {
        return;
    }
    m_engine->reset();
    m_engine->generate(m_lines, false);
    bool ok = false;
    switch (type) {
    case 0:
        ok = m_engine->exportPdf(path);
        break;
    case 1:
        ok = m_engine->exportImages(path, resolutionIndex, QStringLiteral("jpg"));
        break;
    case 2:
        ok = m_engine->exportImages(path, resolutionIndex, QStringLiteral("png"));
        break;
    default:
        ok = m_engine->exportSvg(path);
        break;
    }
    if (ok) {
        Prompt::information(this, QStringLiteral("成功"), QStringLiteral("导出成功！"));
        accept();
    }
}

void Export::onProgressUpdate(int status, int value, int maxValue, QString winTitle, QString tip) {
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
    switch (status) {
    case 0:
        setEnabled(false);
        m_progress->setLabelText(tip);
        m_progress->setWindowTitle(winTitle);
        m_progress->setRange(0, maxValue);
        m_progress->setValue(value);
        m_progress->show();
        break;
    case 1:
        m_progress->setValue(value);
        break;
    default:
        m_progress->hide();
        setEnabled(true);
        break;
    }
}
