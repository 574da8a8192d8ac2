#include "export/exportsettingsform.h"

#include "dialogs/prompt.h"
#include "dialogs/screenfit.h"
#include "export/exportconfig.h"
#include "export/exportformat.h"
#include "fonts/fontregistry.h"
#include "shell/apppaths.h"
#include "ui_exportsettingsform.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QIntValidator>
#include <QPageSize>
#include <QSettings>
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

// The form's size is kept beside the export settings, in a group of its own.
const QString sizeGroup = QStringLiteral("ExportSettings");

} // namespace

ExportSettingsForm::ExportSettingsForm(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::ExportSettingsForm)
    , m_config(*ExportConfig::instance()) {
    ui->setupUi(this);
    setWindowFlags((windowFlags() | Qt::WindowMaximizeButtonHint) &
                   ~Qt::WindowContextHelpButtonHint);
    fillComboBoxes();
    installValidators();
    loadForm();
    connectSignals();

    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    settings.beginGroup(sizeGroup);
    const QSize remembered(settings.value(QStringLiteral("width")).toInt(),
                           settings.value(QStringLiteral("height")).toInt());
    if (!remembered.isEmpty()) {
        resize(remembered);
    }
    ScreenFit::fit(this);
}

ExportSettingsForm::~ExportSettingsForm() {
    saveSize();
    m_config.save();
    delete ui;
}

void ExportSettingsForm::saveSize() {
    if (!m_shown) {
        return;
    }
    const QSize last = isMaximized() ? normalGeometry().size() : size();
    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    settings.beginGroup(sizeGroup);
    settings.setValue(QStringLiteral("width"), last.width());
    settings.setValue(QStringLiteral("height"), last.height());
}

void ExportSettingsForm::showEvent(QShowEvent *event) {
    m_shown = true; // a size the user saw is worth remembering
    QDialog::showEvent(event);
}

void ExportSettingsForm::hideEvent(QHideEvent *event) {
    // Closing the form keeps what it set, as the next start will.
    saveSize();
    m_config.save();
    QDialog::hideEvent(event);
}

int ExportSettingsForm::resolutionIndex() const {
    const int dpi = ui->dpiBox->currentIndex();
    return dpi >= 1 && dpi <= 3 ? dpi : 0;
}

void ExportSettingsForm::reload() {
    loadForm();
}

void ExportSettingsForm::fillComboBoxes() {
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

void ExportSettingsForm::fitPageSizeList() {
    QAbstractItemView *list = ui->pageSizeBox->view();
    const QFontMetrics fm(list->font());
    int widest = 0;
    for (int i = 0; i < ui->pageSizeBox->count(); ++i) {
        widest = std::max(widest, fm.horizontalAdvance(ui->pageSizeBox->itemText(i)));
    }
    list->setFixedWidth(std::max(widest, ui->pageSizeBox->width()));
}

void ExportSettingsForm::installValidators() {
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

void ExportSettingsForm::loadForm() {
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

void ExportSettingsForm::showNotationSettings() {
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

void ExportSettingsForm::connectSignals() {
    connect(ui->titleFontBox, &FontBox::fontChanged, this, &ExportSettingsForm::onTitleFontChanged);
    connect(ui->lyricFontBox, &FontBox::fontChanged, this, &ExportSettingsForm::onLyricFontChanged);
    connect(ui->quPaiFontBox, &FontBox::fontChanged, this, &ExportSettingsForm::onQuPaiFontChanged);
    connect(ui->diaoMingFontBox, &FontBox::fontChanged, this,
            &ExportSettingsForm::onDiaoMingFontChanged);
    connect(ui->lianBaiFontBox, &FontBox::fontChanged, this,
            &ExportSettingsForm::onLianBaiFontChanged);
    connect(ui->jiaBaiFontBox, &FontBox::fontChanged, this,
            &ExportSettingsForm::onJiaBaiFontChanged);
    connect(ui->scoreFontBox, &CustomFontBox::fontChanged, this,
            &ExportSettingsForm::onScoreFontChanged);
    connect(ui->jianpuNoteFontBox, &FontBox::fontChanged, this,
            &ExportSettingsForm::onJianpuNoteFontChanged);

    connect(ui->titleColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onTitleColorChanged);
    connect(ui->lyricColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onLyricColorChanged);
    connect(ui->quPaiColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onQuPaiColorChanged);
    connect(ui->diaoMingColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onDiaoMingColorChanged);
    connect(ui->lianBaiColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onLianBaiColorChanged);
    connect(ui->jiaBaiColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onJiaBaiColorChanged);
    connect(ui->scoreColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onScoreColorChanged);
    connect(ui->banColorBox, &ColorBox::colorChanged, this, &ExportSettingsForm::onBanColorChanged);
    connect(ui->xiaoYanColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onXiaoYanColorChanged);
    connect(ui->zhongYanColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onZhongYanColorChanged);
    connect(ui->qiangGeColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onQiangGeColorChanged);
    connect(ui->backgroundColorBox, &ColorBox::colorChanged, this,
            &ExportSettingsForm::onBackgroundColorChanged);

    connect(ui->bgTransparentBox, &QCheckBox::stateChanged, this,
            &ExportSettingsForm::onBgTransparentChanged);
    connect(ui->hiddenSymbolBox, &QCheckBox::stateChanged, this,
            &ExportSettingsForm::onHiddenSymbolChanged);
    connect(ui->pageSizeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportSettingsForm::onPageSizeChanged);
    connect(ui->isLandscapeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportSettingsForm::onIsLandscapeChanged);
    connect(ui->widthBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onPageWidthChanged);
    connect(ui->heightBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onPageHeightChanged);
    connect(ui->marginTopBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onMarginTopChanged);
    connect(ui->marginRightBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onMarginRightChanged);
    connect(ui->marginBottomBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onMarginBottomChanged);
    connect(ui->marginLeftBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onMarginLeftChanged);
    connect(ui->isLineBreakScoreOverflowBox, QOverload<int>::of(&QComboBox::currentIndexChanged),
            this, &ExportSettingsForm::onIsLineBreakScoreOverflowChanged);
    connect(ui->colWidthBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onColWidthChanged);
    connect(ui->lyricSpaceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onLyricSpaceChanged);
    connect(ui->scoreSpaceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onScoreSpaceChanged);
    connect(ui->banYanSpaceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onBanYanSpaceChanged);
    connect(ui->scoreAngleBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onScoreAngleChanged);
    connect(ui->lyricScoreSpaceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onLyricScoreSpaceChanged);
    connect(ui->scoreBanYanSpaceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onScoreBanYanSpaceChanged);
    connect(ui->mColWidthBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onMColWidthChanged);
    connect(ui->titlePosBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportSettingsForm::onTitlePosChanged);
    connect(ui->titleWidthBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onTitleWidthChanged);
    connect(ui->notationBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportSettingsForm::onNotationChanged);
    connect(ui->zengBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportSettingsForm::onZengChanged);
    connect(ui->jianpuLyricDistanceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onJianpuLyricDistanceChanged);
    connect(ui->jianpuSystemSpaceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onJianpuSystemSpaceChanged);
    connect(ui->jianpuBeatWidthBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onJianpuBeatWidthChanged);
    connect(ui->jianpuMinNoteSpaceBox, &QLineEdit::editingFinished, this,
            &ExportSettingsForm::onJianpuMinNoteSpaceChanged);
    connect(ui->jianpuFlatAfterLetterBox, &QCheckBox::stateChanged, this,
            &ExportSettingsForm::onJianpuFlatAfterLetterChanged);
    connect(ui->jianpuSanBanWordBox, &QCheckBox::stateChanged, this,
            &ExportSettingsForm::onJianpuSanBanWordChanged);
    connect(ui->jianpuBanYanSignsBox, &QCheckBox::stateChanged, this,
            &ExportSettingsForm::onJianpuBanYanSignsChanged);
    connect(ui->fileTypeBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ExportSettingsForm::onFileTypeChanged);
    connect(ui->livePreviewBox, &QCheckBox::stateChanged, this,
            &ExportSettingsForm::onLivePreviewChanged);
    connect(ui->restoreBtn, &QPushButton::clicked, this, &ExportSettingsForm::onRestoreBtnClicked);
    connect(ui->saveBtn, &QPushButton::clicked, this, &ExportSettingsForm::onSaveBtnClicked);
    connect(ui->importBtn, &QPushButton::clicked, this, &ExportSettingsForm::onImportBtnClicked);
    connect(ui->submitBtn, &QPushButton::clicked, this, &ExportSettingsForm::exportRequested);

    // The combo boxes ignore the wheel, so that scrolling the form never
    // changes a choice.
    for (QComboBox *box : {ui->notationBox, ui->zengBox, ui->pageSizeBox, ui->isLandscapeBox,
                           ui->isLineBreakScoreOverflowBox, ui->titlePosBox}) {
        box->installEventFilter(this);
    }
    onFileTypeChanged(ui->fileTypeBox->currentIndex());
}

bool ExportSettingsForm::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Wheel &&
        (watched == ui->notationBox || watched == ui->zengBox || watched == ui->pageSizeBox ||
         watched == ui->isLandscapeBox || watched == ui->isLineBreakScoreOverflowBox ||
         watched == ui->titlePosBox)) {
        return true;
    }
    if (event->type() == QEvent::Resize) {
        if (watched == ui->pageSizeBox) {
            fitPageSizeList();
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Fonts

void ExportSettingsForm::fontChanged(const QFont &font, int size, FontGetter getFont,
                                     SizeGetter getSize, FontSetter setFont, SizeSetter setSize) {
    if (m_loading) {
        return;
    }
    // A font box chooses a family and a size.
    if (font.family() == (m_config.*getFont)().family() && size == (m_config.*getSize)()) {
        return;
    }
    (m_config.*setSize)(size);
    (m_config.*setFont)(font);
    emit changed(false);
}

void ExportSettingsForm::onTitleFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::titleFont, &ExportConfig::titleFontSize,
                &ExportConfig::setTitleFont, &ExportConfig::setTitleFontSize);
}

void ExportSettingsForm::onLyricFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::lyricFont, &ExportConfig::lyricFontSize,
                &ExportConfig::setLyricFont, &ExportConfig::setLyricFontSize);
}

void ExportSettingsForm::onQuPaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::quPaiFont, &ExportConfig::quPaiFontSize,
                &ExportConfig::setQuPaiFont, &ExportConfig::setQuPaiFontSize);
}

void ExportSettingsForm::onDiaoMingFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::diaoMingFont, &ExportConfig::diaoMingFontSize,
                &ExportConfig::setDiaoMingFont, &ExportConfig::setDiaoMingFontSize);
}

void ExportSettingsForm::onLianBaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::lianBaiFont, &ExportConfig::lianBaiFontSize,
                &ExportConfig::setLianBaiFont, &ExportConfig::setLianBaiFontSize);
}

void ExportSettingsForm::onJiaBaiFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::jiaBaiFont, &ExportConfig::jiaBaiFontSize,
                &ExportConfig::setJiaBaiFont, &ExportConfig::setJiaBaiFontSize);
}

void ExportSettingsForm::onScoreFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::scoreFont, &ExportConfig::scoreFontSize,
                &ExportConfig::setScoreFont, &ExportConfig::setScoreFontSize);
}

void ExportSettingsForm::onJianpuNoteFontChanged(QFont font, int size) {
    fontChanged(font, size, &ExportConfig::jianpuNoteFont, &ExportConfig::jianpuNoteFontSize,
                &ExportConfig::setJianpuNoteFont, &ExportConfig::setJianpuNoteFontSize);
}

// Colours

void ExportSettingsForm::colorChanged(const QColor &c, ColorGetter get, ColorSetter set) {
    if (m_loading || c == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(c);
    emit changed(false);
}

void ExportSettingsForm::onTitleColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::titleColor, &ExportConfig::setTitleColor);
}

void ExportSettingsForm::onLyricColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::lyricColor, &ExportConfig::setLyricColor);
}

void ExportSettingsForm::onQuPaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::quPaiColor, &ExportConfig::setQuPaiColor);
}

void ExportSettingsForm::onDiaoMingColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::diaoMingColor, &ExportConfig::setDiaoMingColor);
}

void ExportSettingsForm::onLianBaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::lianBaiColor, &ExportConfig::setLianBaiColor);
}

void ExportSettingsForm::onJiaBaiColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::jiaBaiColor, &ExportConfig::setJiaBaiColor);
}

void ExportSettingsForm::onScoreColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::scoreColor, &ExportConfig::setScoreColor);
}

void ExportSettingsForm::onBanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::banColor, &ExportConfig::setBanColor);
}

void ExportSettingsForm::onXiaoYanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::xiaoYanColor, &ExportConfig::setXiaoYanColor);
}

void ExportSettingsForm::onZhongYanColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::zhongYanColor, &ExportConfig::setZhongYanColor);
}

void ExportSettingsForm::onQiangGeColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::qiangGeColor, &ExportConfig::setQiangGeColor);
}

void ExportSettingsForm::onBackgroundColorChanged(QColor c) {
    colorChanged(c, &ExportConfig::backgroundColor, &ExportConfig::setBackgroundColor);
}

// Switches and lists

void ExportSettingsForm::boolChanged(bool value, BoolGetter get, BoolSetter set) {
    if (m_loading || value == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(value);
    emit changed(false);
}

void ExportSettingsForm::onBgTransparentChanged(int transparent) {
    boolChanged(transparent == Qt::Checked, &ExportConfig::isBgTransparent,
                &ExportConfig::setIsBgTransparent);
}

void ExportSettingsForm::onHiddenSymbolChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::isHiddenSymbol,
                &ExportConfig::setIsHiddenSymbol);
}

void ExportSettingsForm::onIsLandscapeChanged(int index) {
    if (m_loading) {
        return;
    }
    boolChanged(ui->isLandscapeBox->itemData(index).toBool(), &ExportConfig::isLandscape,
                &ExportConfig::setIsLandscape);
}

void ExportSettingsForm::onIsLineBreakScoreOverflowChanged(int index) {
    if (m_loading) {
        return;
    }
    boolChanged(ui->isLineBreakScoreOverflowBox->itemData(index).toBool(),
                &ExportConfig::isLineBreakScoreOverflow,
                &ExportConfig::setIsLineBreakScoreOverflow);
}

void ExportSettingsForm::onTitlePosChanged(int index) {
    if (m_loading) {
        return;
    }
    const int pos = ui->titlePosBox->itemData(index).toInt();
    if (pos == m_config.titlePos()) {
        return;
    }
    m_config.setTitlePos(pos);
    emit changed(false);
}

void ExportSettingsForm::onNotationChanged(int index) {
    if (m_loading) {
        return;
    }
    const auto notation = PageStyle::Notation(ui->notationBox->itemData(index).toInt());
    if (notation == m_config.notation()) {
        return;
    }
    m_config.setNotation(notation);
    showNotationSettings();
    emit changed(false);
}

void ExportSettingsForm::onZengChanged(int index) {
    boolChanged(ui->zengBox->itemData(index).toBool(), &ExportConfig::splitZeng,
                &ExportConfig::setSplitZeng);
}

void ExportSettingsForm::onJianpuFlatAfterLetterChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::jianpuFlatAfterLetter,
                &ExportConfig::setJianpuFlatAfterLetter);
}

void ExportSettingsForm::onJianpuSanBanWordChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::jianpuSanBanWord,
                &ExportConfig::setJianpuSanBanWord);
}

void ExportSettingsForm::onJianpuBanYanSignsChanged(int state) {
    boolChanged(state == Qt::Checked, &ExportConfig::jianpuBanYanSigns,
                &ExportConfig::setJianpuBanYanSigns);
}

void ExportSettingsForm::onPageSizeChanged(int index) {
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
    emit changed(false);
}

// Numbers

void ExportSettingsForm::lineEditChanged(const QLineEdit *edit, IntGetter get, IntSetter set) {
    if (m_loading) {
        return;
    }
    const int value = numberOf(edit);
    if (value == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(value);
    emit changed(false);
}

void ExportSettingsForm::onPageWidthChanged() {
    if (ui->widthBox->isEnabled()) {
        lineEditChanged(ui->widthBox, &ExportConfig::pageWidth, &ExportConfig::setPageWidth);
    }
}

void ExportSettingsForm::onPageHeightChanged() {
    if (ui->heightBox->isEnabled()) {
        lineEditChanged(ui->heightBox, &ExportConfig::pageHeight, &ExportConfig::setPageHeight);
    }
}

void ExportSettingsForm::onMarginTopChanged() {
    lineEditChanged(ui->marginTopBox, &ExportConfig::marginTop, &ExportConfig::setMarginTop);
}

void ExportSettingsForm::onMarginRightChanged() {
    lineEditChanged(ui->marginRightBox, &ExportConfig::marginRight, &ExportConfig::setMarginRight);
}

void ExportSettingsForm::onMarginBottomChanged() {
    lineEditChanged(ui->marginBottomBox, &ExportConfig::marginBottom,
                    &ExportConfig::setMarginBottom);
}

void ExportSettingsForm::onMarginLeftChanged() {
    lineEditChanged(ui->marginLeftBox, &ExportConfig::marginLeft, &ExportConfig::setMarginLeft);
}

void ExportSettingsForm::onColWidthChanged() {
    lineEditChanged(ui->colWidthBox, &ExportConfig::colWidth, &ExportConfig::setColWidth);
}

void ExportSettingsForm::onLyricSpaceChanged() {
    lineEditChanged(ui->lyricSpaceBox, &ExportConfig::lyricSpace, &ExportConfig::setLyricSpace);
}

void ExportSettingsForm::onScoreSpaceChanged() {
    lineEditChanged(ui->scoreSpaceBox, &ExportConfig::scoreSpace, &ExportConfig::setScoreSpace);
}

void ExportSettingsForm::onBanYanSpaceChanged() {
    lineEditChanged(ui->banYanSpaceBox, &ExportConfig::banYanSpace, &ExportConfig::setBanYanSpace);
}

void ExportSettingsForm::onScoreAngleChanged() {
    lineEditChanged(ui->scoreAngleBox, &ExportConfig::scoreAngle, &ExportConfig::setScoreAngle);
}

void ExportSettingsForm::onLyricScoreSpaceChanged() {
    lineEditChanged(ui->lyricScoreSpaceBox, &ExportConfig::lyricScoreSpace,
                    &ExportConfig::setLyricScoreSpace);
}

void ExportSettingsForm::onScoreBanYanSpaceChanged() {
    lineEditChanged(ui->scoreBanYanSpaceBox, &ExportConfig::scoreBanYanSpace,
                    &ExportConfig::setScoreBanYanSpace);
}

void ExportSettingsForm::onMColWidthChanged() {
    lineEditChanged(ui->mColWidthBox, &ExportConfig::mColWidth, &ExportConfig::setMColWidth);
}

void ExportSettingsForm::onTitleWidthChanged() {
    lineEditChanged(ui->titleWidthBox, &ExportConfig::titleWidth, &ExportConfig::setTitleWidth);
}

void ExportSettingsForm::onJianpuLyricDistanceChanged() {
    lineEditChanged(ui->jianpuLyricDistanceBox, &ExportConfig::jianpuLyricDistance,
                    &ExportConfig::setJianpuLyricDistance);
}

void ExportSettingsForm::onJianpuSystemSpaceChanged() {
    lineEditChanged(ui->jianpuSystemSpaceBox, &ExportConfig::jianpuSystemSpace,
                    &ExportConfig::setJianpuSystemSpace);
}

void ExportSettingsForm::onJianpuBeatWidthChanged() {
    lineEditChanged(ui->jianpuBeatWidthBox, &ExportConfig::jianpuBeatWidth,
                    &ExportConfig::setJianpuBeatWidth);
}

void ExportSettingsForm::onJianpuMinNoteSpaceChanged() {
    lineEditChanged(ui->jianpuMinNoteSpaceBox, &ExportConfig::jianpuMinNoteSpace,
                    &ExportConfig::setJianpuMinNoteSpace);
}

// Output

const ExportFormat *ExportSettingsForm::currentFormat() const {
    const int index = ui->fileTypeBox->currentIndex();
    const QVector<ExportFormat> &formats = ExportFormat::all();
    return index >= 0 && index < formats.size() ? &formats.at(index) : nullptr;
}

void ExportSettingsForm::onFileTypeChanged(int) {
    const ExportFormat *format = currentFormat();
    ui->dpiBox->setEnabled(format && format->usesResolution);
}

void ExportSettingsForm::onLivePreviewChanged(int state) {
    if (m_loading) {
        return;
    }
    const bool on = state == Qt::Checked;
    if (on == m_config.isLivePreview()) {
        return;
    }
    m_config.setIsLivePreview(on);
    if (on) {
        emit changed(true);
    }
}

void ExportSettingsForm::onRestoreBtnClicked() {
    m_config.restoreDefaults();
    loadForm();
    emit changed(true);
}

void ExportSettingsForm::onSaveBtnClicked() {
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

void ExportSettingsForm::onImportBtnClicked() {
    const QString path = Prompt::openFileName(this, QStringLiteral("导入方案"), QString(),
                                              QStringLiteral("JSON文件 (*.json)"));
    if (path.isEmpty()) {
        return;
    }
    if (m_config.importScheme(path)) {
        loadForm();
        emit changed(true);
        Prompt::information(this, QStringLiteral("成功"), QStringLiteral("导入成功！"));
    } else {
        Prompt::warning(this, QStringLiteral("错误"), QStringLiteral("导入失败，文件错误！"));
    }
}
