#include "appearance/settings.h"

#include "appearance/editorconfig.h"
#include "dialogs/screenfit.h"
#include "ui_settings.h"

Settings::Settings(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Settings>())
    , m_config(EditorConfig::instance()) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ScreenFit::fit(this);

    ui->scoreFontBox->setRange(5, 80);
    ui->scoreLineFontBox->setRange(5, 80);
    ui->lyricFontBox->setRange(5, 80);
    ui->lyricLineFontBox->setRange(5, 80);

    loadForm();

    connect(ui->restoreBtn, &QPushButton::clicked, this, &Settings::onRestoreBtnClicked);
    connect(ui->cancelBtn, &QPushButton::clicked, this, &Settings::onCancelBtnClick);
    connect(ui->submitBtn, &QPushButton::clicked, this, &Settings::onSubmitBtnClick);
}

Settings::~Settings() = default;

void Settings::loadForm() {
    ui->scoreFontBox->setCurrentFont(m_config->scoreFont());
    ui->scoreFontBox->setFontSize(m_config->scoreFontSize());
    ui->scoreColorBox->setColor(m_config->scoreColor());
    ui->scoreBgColorBox->setColor(m_config->scoreBgColor());
    ui->scoreLineFontBox->setCurrentFont(m_config->scoreLineNumberFont());
    ui->scoreLineFontBox->setFontSize(m_config->scoreLineNumberFontSize());
    ui->scoreLineColorBox->setColor(m_config->scoreLineNumberColor());
    ui->scoreLineBgColorBox->setColor(m_config->scoreLineNumberBgColor());

    ui->lyricFontBox->setCurrentFont(m_config->lyricFont());
    ui->lyricFontBox->setFontSize(m_config->lyricFontSize());
    ui->lyricBgColorBox->setColor(m_config->lyricBgColor());
    ui->lyricColorBox->setColor(m_config->lyricColor());
    ui->titleColorBox->setColor(m_config->titleColor());
    ui->quPaiColorBox->setColor(m_config->quPaiColor());
    ui->jiaBaiColorBox->setColor(m_config->jiaBaiColor());
    ui->lianBaiColorBox->setColor(m_config->lianBaiColor());
    ui->lyricLineFontBox->setCurrentFont(m_config->lyricLineNumberFont());
    ui->lyricLineFontBox->setFontSize(m_config->lyricLineNumberFontSize());
    ui->lyricLineBgColorBox->setColor(m_config->lyricLineNumberBgColor());
    ui->lyricLineColorBox->setColor(m_config->lyricLineNumberColor());
    ui->commentColorBox->setColor(m_config->commentColor());
    ui->biaoDianColorBox->setColor(m_config->biaoDianColor());
    ui->breakSymbolColorBox->setColor(m_config->breakSymbolColor());
    ui->errorColorBox->setColor(m_config->errorColor());
}

void Settings::storeForm() {
    // The font setter keeps the held size; the size setter then applies the
    // size typed into the box.
    m_config->setScoreFont(ui->scoreFontBox->currentFont());
    m_config->setScoreFontSize(ui->scoreFontBox->fontSize());
    m_config->setScoreColor(ui->scoreColorBox->color());
    m_config->setScoreBgColor(ui->scoreBgColorBox->color());
    m_config->setScoreLineNumberFont(ui->scoreLineFontBox->currentFont());
    m_config->setScoreLineNumberFontSize(ui->scoreLineFontBox->fontSize());
    m_config->setScoreLineNumberColor(ui->scoreLineColorBox->color());
    m_config->setScoreLineNumberBgColor(ui->scoreLineBgColorBox->color());

    m_config->setLyricFont(ui->lyricFontBox->currentFont());
    m_config->setLyricFontSize(ui->lyricFontBox->fontSize());
    m_config->setLyricBgColor(ui->lyricBgColorBox->color());
    m_config->setLyricColor(ui->lyricColorBox->color());
    m_config->setTitleColor(ui->titleColorBox->color());
    m_config->setQuPaiColor(ui->quPaiColorBox->color());
    m_config->setJiaBaiColor(ui->jiaBaiColorBox->color());
    m_config->setLianBaiColor(ui->lianBaiColorBox->color());
    m_config->setLyricLineNumberFont(ui->lyricLineFontBox->currentFont());
    m_config->setLyricLineNumberFontSize(ui->lyricLineFontBox->fontSize());
    m_config->setLyricLineNumberBgColor(ui->lyricLineBgColorBox->color());
    m_config->setLyricLineNumberColor(ui->lyricLineColorBox->color());
    m_config->setCommentColor(ui->commentColorBox->color());
    m_config->setBiaoDianColor(ui->biaoDianColorBox->color());
    m_config->setBreakSymbolColor(ui->breakSymbolColorBox->color());
    m_config->setErrorColor(ui->errorColorBox->color());

    m_config->save();
}

void Settings::onRestoreBtnClicked() {
    m_config->restoreDefaults();
    loadForm();
}

void Settings::onCancelBtnClick() {
    close();
}

void Settings::onSubmitBtnClick() {
    storeForm();
    close();
}
