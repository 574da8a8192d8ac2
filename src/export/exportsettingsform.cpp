#include "export/exportsettingsform.h"

#include "dialogs/prompt.h"
#include "dialogs/screenfit.h"
#include "export/exportconfig.h"
#include "export/exportformat.h"
#include "fonts/fontregistry.h"
#include "platform/apppaths.h"
#include "staff/staffengraver.h"
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
    set(ui->staffSizeBox, PageStyle::Ranges::minStaffSize, PageStyle::Ranges::maxStaffSize);
}

// ---- the settings edited alike, a table for each kind

QVector<ExportSettingsForm::FontSetting> ExportSettingsForm::fontSettings() const {
    return {
        {ui->titleFontBox, &ExportConfig::titleFont, &ExportConfig::titleFontSize,
         &ExportConfig::setTitleFont, &ExportConfig::setTitleFontSize},
        {ui->lyricFontBox, &ExportConfig::lyricFont, &ExportConfig::lyricFontSize,
         &ExportConfig::setLyricFont, &ExportConfig::setLyricFontSize},
        {ui->quPaiFontBox, &ExportConfig::quPaiFont, &ExportConfig::quPaiFontSize,
         &ExportConfig::setQuPaiFont, &ExportConfig::setQuPaiFontSize},
        {ui->diaoMingFontBox, &ExportConfig::diaoMingFont, &ExportConfig::diaoMingFontSize,
         &ExportConfig::setDiaoMingFont, &ExportConfig::setDiaoMingFontSize},
        {ui->lianBaiFontBox, &ExportConfig::lianBaiFont, &ExportConfig::lianBaiFontSize,
         &ExportConfig::setLianBaiFont, &ExportConfig::setLianBaiFontSize},
        {ui->jiaBaiFontBox, &ExportConfig::jiaBaiFont, &ExportConfig::jiaBaiFontSize,
         &ExportConfig::setJiaBaiFont, &ExportConfig::setJiaBaiFontSize},
        {ui->scoreFontBox, &ExportConfig::scoreFont, &ExportConfig::scoreFontSize,
         &ExportConfig::setScoreFont, &ExportConfig::setScoreFontSize},
        {ui->jianpuNoteFontBox, &ExportConfig::jianpuNoteFont, &ExportConfig::jianpuNoteFontSize,
         &ExportConfig::setJianpuNoteFont, &ExportConfig::setJianpuNoteFontSize},
        {ui->staffLyricFontBox, &ExportConfig::staffLyricFont, &ExportConfig::staffLyricFontSize,
         &ExportConfig::setStaffLyricFont, &ExportConfig::setStaffLyricFontSize},
    };
}

QVector<ExportSettingsForm::ColorSetting> ExportSettingsForm::colorSettings() const {
    return {
        {ui->titleColorBox, &ExportConfig::titleColor, &ExportConfig::setTitleColor},
        {ui->lyricColorBox, &ExportConfig::lyricColor, &ExportConfig::setLyricColor},
        {ui->quPaiColorBox, &ExportConfig::quPaiColor, &ExportConfig::setQuPaiColor},
        {ui->diaoMingColorBox, &ExportConfig::diaoMingColor, &ExportConfig::setDiaoMingColor},
        {ui->lianBaiColorBox, &ExportConfig::lianBaiColor, &ExportConfig::setLianBaiColor},
        {ui->jiaBaiColorBox, &ExportConfig::jiaBaiColor, &ExportConfig::setJiaBaiColor},
        {ui->scoreColorBox, &ExportConfig::scoreColor, &ExportConfig::setScoreColor},
        {ui->banColorBox, &ExportConfig::banColor, &ExportConfig::setBanColor},
        {ui->xiaoYanColorBox, &ExportConfig::xiaoYanColor, &ExportConfig::setXiaoYanColor},
        {ui->zhongYanColorBox, &ExportConfig::zhongYanColor, &ExportConfig::setZhongYanColor},
        {ui->qiangGeColorBox, &ExportConfig::qiangGeColor, &ExportConfig::setQiangGeColor},
        {ui->backgroundColorBox, &ExportConfig::backgroundColor, &ExportConfig::setBackgroundColor},
    };
}

QVector<ExportSettingsForm::SwitchSetting> ExportSettingsForm::switchSettings() const {
    return {
        {ui->bgTransparentBox, &ExportConfig::isBgTransparent, &ExportConfig::setIsBgTransparent},
        {ui->hiddenSymbolBox, &ExportConfig::isHiddenSymbol, &ExportConfig::setIsHiddenSymbol},
        {ui->jianpuFlatAfterLetterBox, &ExportConfig::jianpuFlatAfterLetter,
         &ExportConfig::setJianpuFlatAfterLetter},
        {ui->jianpuSanBanWordBox, &ExportConfig::jianpuSanBanWord,
         &ExportConfig::setJianpuSanBanWord},
        {ui->jianpuBanYanSignsBox, &ExportConfig::jianpuBanYanSigns,
         &ExportConfig::setJianpuBanYanSigns},
        {ui->staffBanYanSignsBox, &ExportConfig::staffBanYanSigns,
         &ExportConfig::setStaffBanYanSigns},
    };
}

// The paper's width and height are not here: they count only for the custom paper.
QVector<ExportSettingsForm::NumberSetting> ExportSettingsForm::numberSettings() const {
    return {
        {ui->marginTopBox, &ExportConfig::marginTop, &ExportConfig::setMarginTop},
        {ui->marginRightBox, &ExportConfig::marginRight, &ExportConfig::setMarginRight},
        {ui->marginBottomBox, &ExportConfig::marginBottom, &ExportConfig::setMarginBottom},
        {ui->marginLeftBox, &ExportConfig::marginLeft, &ExportConfig::setMarginLeft},
        {ui->colWidthBox, &ExportConfig::colWidth, &ExportConfig::setColWidth},
        {ui->lyricSpaceBox, &ExportConfig::lyricSpace, &ExportConfig::setLyricSpace},
        {ui->scoreSpaceBox, &ExportConfig::scoreSpace, &ExportConfig::setScoreSpace},
        {ui->banYanSpaceBox, &ExportConfig::banYanSpace, &ExportConfig::setBanYanSpace},
        {ui->scoreAngleBox, &ExportConfig::scoreAngle, &ExportConfig::setScoreAngle},
        {ui->lyricScoreSpaceBox, &ExportConfig::lyricScoreSpace, &ExportConfig::setLyricScoreSpace},
        {ui->scoreBanYanSpaceBox, &ExportConfig::scoreBanYanSpace,
         &ExportConfig::setScoreBanYanSpace},
        {ui->mColWidthBox, &ExportConfig::mColWidth, &ExportConfig::setMColWidth},
        {ui->titleWidthBox, &ExportConfig::titleWidth, &ExportConfig::setTitleWidth},
        {ui->jianpuLyricDistanceBox, &ExportConfig::jianpuLyricDistance,
         &ExportConfig::setJianpuLyricDistance},
        {ui->jianpuSystemSpaceBox, &ExportConfig::jianpuSystemSpace,
         &ExportConfig::setJianpuSystemSpace},
        {ui->jianpuBeatWidthBox, &ExportConfig::jianpuBeatWidth, &ExportConfig::setJianpuBeatWidth},
        {ui->jianpuMinNoteSpaceBox, &ExportConfig::jianpuMinNoteSpace,
         &ExportConfig::setJianpuMinNoteSpace},
        {ui->staffSizeBox, &ExportConfig::staffSize, &ExportConfig::setStaffSize},
    };
}

// ---- the form from the settings

void ExportSettingsForm::loadForm() {
    m_loading = true;
    loadChoices();
    loadPaperSize();
    const ExportConfig &c = m_config;
    for (const NumberSetting &n : numberSettings()) {
        n.edit->setText(QString::number((c.*n.get)()));
    }
    for (const SwitchSetting &s : switchSettings()) {
        s.box->setChecked((c.*s.get)());
    }
    ui->livePreviewBox->setChecked(c.isLivePreview());
    for (const ColorSetting &k : colorSettings()) {
        k.box->setColor((c.*k.get)());
    }
    // The score font must be one of the installed gongche fonts.
    const FontRegistry *fonts = FontRegistry::instance();
    if (!fonts->families().contains(c.scoreFont().family())) {
        m_config.setScoreFont(QFont(fonts->defaultFamily()));
    }
    for (const FontSetting &f : fontSettings()) {
        f.box->setCurrentFont((c.*f.getFont)());
        f.box->setFontSize((c.*f.getSize)());
    }
    showNotationSettings();
    m_loading = false;
}

void ExportSettingsForm::loadChoices() {
    const ExportConfig &c = m_config;
    ui->notationBox->setCurrentIndex(indexOfData(ui->notationBox, int(c.notation())));
    ui->zengBox->setCurrentIndex(indexOfData(ui->zengBox, c.splitZeng()));
    ui->pageSizeBox->setCurrentIndex(
        indexOfData(ui->pageSizeBox, QVariant::fromValue(c.pageSizeId())));
    ui->isLandscapeBox->setCurrentIndex(indexOfData(ui->isLandscapeBox, c.isLandscape()));
    ui->isLineBreakScoreOverflowBox->setCurrentIndex(
        indexOfData(ui->isLineBreakScoreOverflowBox, c.isLineBreakScoreOverflow()));
    ui->titlePosBox->setCurrentIndex(indexOfData(ui->titlePosBox, c.titlePos()));
}

void ExportSettingsForm::loadPaperSize() {
    // Width and height are typed only for the custom paper.
    const bool custom = m_config.pageSizeId() == QPageSize::Custom;
    ui->widthBox->setEnabled(custom);
    ui->heightBox->setEnabled(custom);
    ui->widthBox->setText(QString::number(m_config.pageWidth()));
    ui->heightBox->setText(QString::number(m_config.pageHeight()));
}

void ExportSettingsForm::showNotationSettings() {
    const PageStyle::Notation notation = m_config.notation();
    const bool gongche = notation == PageStyle::Notation::Gongche;
    ui->jianpuGroup->setVisible(notation == PageStyle::Notation::Jianpu);
    ui->staffGroup->setVisible(notation == PageStyle::Notation::Staff);
    // Staff pages need LilyPond: where it is missing the form says so at once.
    const bool missing =
        notation == PageStyle::Notation::Staff && StaffEngraver::program().isEmpty();
    ui->staffMissingLabel->setText(missing ? StaffEngraver::missingMessage() : QString());
    ui->staffMissingLabel->setVisible(missing);
    // Kept, not lost: they come back with gongche pages.
    ui->spaceGroupBox->setVisible(gongche);
    for (QWidget *w :
         {static_cast<QWidget *>(ui->scoreFontBoxLabel), static_cast<QWidget *>(ui->scoreFontBox),
          static_cast<QWidget *>(ui->qiangGeColorBoxLabel),
          static_cast<QWidget *>(ui->qiangGeColorBox)}) {
        w->setEnabled(gongche);
    }
}

// ---- the settings from the form

void ExportSettingsForm::connectSignals() {
    connectSettingTables();
    connectPaperSize();
    connectChoices();
    connect(ui->livePreviewBox, &QCheckBox::stateChanged, this,
            &ExportSettingsForm::onLivePreviewChanged);
    connect(ui->restoreBtn, &QPushButton::clicked, this, &ExportSettingsForm::onRestoreBtnClicked);
    connect(ui->saveBtn, &QPushButton::clicked, this, &ExportSettingsForm::onSaveBtnClicked);
    connect(ui->importBtn, &QPushButton::clicked, this, &ExportSettingsForm::onImportBtnClicked);
    connect(ui->submitBtn, &QPushButton::clicked, this, &ExportSettingsForm::exportRequested);
    onFileTypeChanged(ui->fileTypeBox->currentIndex());
}

void ExportSettingsForm::connectSettingTables() {
    // Alike settings share their handler.
    for (const FontSetting &f : fontSettings()) {
        connect(f.box, &SizedFontBox::fontChanged, this, [this, f](QFont font, int size) {
            fontChanged(font, size, f.getFont, f.getSize, f.setFont, f.setSize);
        });
    }
    for (const ColorSetting &c : colorSettings()) {
        connect(c.box, &ColorBox::colorChanged, this,
                [this, c](QColor color) { colorChanged(color, c.get, c.set); });
    }
    for (const SwitchSetting &s : switchSettings()) {
        connect(s.box, &QCheckBox::stateChanged, this,
                [this, s](int state) { boolChanged(state == Qt::Checked, s.get, s.set); });
    }
    for (const NumberSetting &n : numberSettings()) {
        connect(n.edit, &QLineEdit::editingFinished, this,
                [this, n] { lineEditChanged(n.edit, n.get, n.set); });
    }
}

void ExportSettingsForm::connectPaperSize() {
    // Width and height count only for the custom paper.
    connect(ui->widthBox, &QLineEdit::editingFinished, this, [this] {
        if (ui->widthBox->isEnabled()) {
            lineEditChanged(ui->widthBox, &ExportConfig::pageWidth, &ExportConfig::setPageWidth);
        }
    });
    connect(ui->heightBox, &QLineEdit::editingFinished, this, [this] {
        if (ui->heightBox->isEnabled()) {
            lineEditChanged(ui->heightBox, &ExportConfig::pageHeight, &ExportConfig::setPageHeight);
        }
    });
}

void ExportSettingsForm::connectChoices() {
    const auto index = QOverload<int>::of(&QComboBox::currentIndexChanged);
    connect(ui->pageSizeBox, index, this, &ExportSettingsForm::onPageSizeChanged);
    connect(ui->isLandscapeBox, index, this, &ExportSettingsForm::onIsLandscapeChanged);
    connect(ui->isLineBreakScoreOverflowBox, index, this,
            &ExportSettingsForm::onIsLineBreakScoreOverflowChanged);
    connect(ui->titlePosBox, index, this, &ExportSettingsForm::onTitlePosChanged);
    connect(ui->notationBox, index, this, &ExportSettingsForm::onNotationChanged);
    connect(ui->zengBox, index, this, &ExportSettingsForm::onZengChanged);
    connect(ui->fileTypeBox, index, this, &ExportSettingsForm::onFileTypeChanged);
    // The choices ignore the wheel, so that scrolling the form never changes one.
    for (QComboBox *box : wheelProofBoxes()) {
        box->installEventFilter(this);
    }
}

QList<QComboBox *> ExportSettingsForm::wheelProofBoxes() const {
    return {ui->notationBox,
            ui->zengBox,
            ui->pageSizeBox,
            ui->isLandscapeBox,
            ui->isLineBreakScoreOverflowBox,
            ui->titlePosBox};
}

bool ExportSettingsForm::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Wheel &&
        wheelProofBoxes().contains(qobject_cast<QComboBox *>(watched))) {
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

// Colours

void ExportSettingsForm::colorChanged(const QColor &c, ColorGetter get, ColorSetter set) {
    if (m_loading || c == (m_config.*get)()) {
        return;
    }
    (m_config.*set)(c);
    emit changed(false);
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
