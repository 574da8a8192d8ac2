#pragma once

#include "typeset/pagestyle.h"

#include <QColor>
#include <QFont>
#include <QJsonValue>
#include <QList>
#include <QMetaType>
#include <QPageSize>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <array>
#include <memory>

class QSettings;
class QTemporaryDir;

// The export settings: every parameter of the typeset score (paper, margins,
// the seven text fonts with their sizes, the element colours, spacings, column
// widths, the score angle and the switches; the notation, and how 简谱 pages
// look), kept in the group "Export" of "settings.ini" and exchangeable as JSON
// scheme files, and the option lists of the export form. One instance per
// process.
//
// The record stores what it is given; only titlePos and the notation are
// checked (an unknown notation reads as gongche). The page style it hands to
// the typesetter is bounded, so that values no dialog would accept (from a
// hand-made scheme, say) cannot make the typesetter run away.
class ExportConfig {
public:
    using PageSizeOption = QPair<QString, QPageSize::PageSizeId>;
    using BoolOption = QPair<QString, bool>;
    using IntOption = QPair<QString, int>;
    using NotationOption = QPair<QString, PageStyle::Notation>;

    using Ranges = PageStyle::Ranges;

    static ExportConfig *instance();
    ~ExportConfig();

    ExportConfig(const ExportConfig &) = delete;
    ExportConfig &operator=(const ExportConfig &) = delete;

    // The 63 keys of the group "Export", in load and save order.
    static QStringList keys();

    // The stored name of a notation: "gongche", "jianpu" or "staff".
    static QString notationName(PageStyle::Notation notation);
    // The notation of a stored name (any case); false for any other text.
    static bool notationFromName(const QString &name, PageStyle::Notation *notation);
    // The stored name of how 加赠 measures are written: "split" at the 赠板
    // into two, or "whole".
    static QString zengName(bool split);
    // Whether a stored name (any case) splits them; false for any other text.
    static bool zengFromName(const QString &name, bool *split);

    const QList<PageSizeOption> &pageSizeOptions() const { return m_pageSizeOptions; }
    const QList<BoolOption> &orientationOptions() const { return m_orientationOptions; }
    const QList<BoolOption> &lineBreakOptions() const { return m_lineBreakOptions; }
    const QList<IntOption> &titlePosOptions() const { return m_titlePosOptions; }
    const QList<NotationOption> &notationOptions() const { return m_notationOptions; }

    void load();
    void save();
    // From now on the configuration keeps its settings in a private temporary
    // copy of "settings.ini", removed when the configuration is destroyed:
    // whatever it stores or imports no longer reaches the file. The values in
    // force stay. For runs that must leave the user's settings as they are,
    // such as an export from the command line with a scheme of its own.
    bool detachSettings();
    void restoreDefaults();
    bool saveScheme(const QString &path);
    // Takes the members of the scheme and keeps the other settings; a scheme
    // without "notation" sets gongche pages.
    bool importScheme(const QString &path);
    // The page style of these settings with the scheme at path taken over
    // them, as importScheme would make it, while these settings stay as they
    // are: for pages that name a scheme of their own, such as a book's. False,
    // with style untouched, when the scheme cannot be read.
    bool pageStyleWithScheme(const QString &path, PageStyle *style);

    // Page
    int pageWidth() const { return m_pageWidth; }
    int pageHeight() const { return m_pageHeight; }
    QPageSize::PageSizeId pageSizeId() const { return m_pageSizeId; }
    int marginTop() const { return m_marginTop; }
    int marginBottom() const { return m_marginBottom; }
    int marginLeft() const { return m_marginLeft; }
    int marginRight() const { return m_marginRight; }
    void setPageWidth(int v) { m_pageWidth = v; }
    void setPageHeight(int v) { m_pageHeight = v; }
    // Stores id; a standard paper (any id but Custom) also sets the portrait
    // page width and height in points.
    void setPageSizeId(QPageSize::PageSizeId id);
    void setMarginTop(int v) { m_marginTop = v; }
    void setMarginBottom(int v) { m_marginBottom = v; }
    void setMarginLeft(int v) { m_marginLeft = v; }
    void setMarginRight(int v) { m_marginRight = v; }

    // Font sizes: storing one also resizes its font.
    int titleFontSize() const { return m_fontSizes[Title]; }
    int lyricFontSize() const { return m_fontSizes[Lyric]; }
    int scoreFontSize() const { return m_fontSizes[Score]; }
    int quPaiFontSize() const { return m_fontSizes[QuPai]; }
    int diaoMingFontSize() const { return m_fontSizes[DiaoMing]; }
    int lianBaiFontSize() const { return m_fontSizes[LianBai]; }
    int jiaBaiFontSize() const { return m_fontSizes[JiaBai]; }
    void setTitleFontSize(int v) { setFontSize(Title, v); }
    void setLyricFontSize(int v) { setFontSize(Lyric, v); }
    void setScoreFontSize(int v) { setFontSize(Score, v); }
    void setQuPaiFontSize(int v) { setFontSize(QuPai, v); }
    void setDiaoMingFontSize(int v) { setFontSize(DiaoMing, v); }
    void setLianBaiFontSize(int v) { setFontSize(LianBai, v); }
    void setJiaBaiFontSize(int v) { setFontSize(JiaBai, v); }

    // Fonts: the given font is copied and takes the stored size of its element.
    const QFont &titleFont() const { return m_fonts[Title]; }
    const QFont &lyricFont() const { return m_fonts[Lyric]; }
    const QFont &scoreFont() const { return m_fonts[Score]; }
    const QFont &quPaiFont() const { return m_fonts[QuPai]; }
    const QFont &diaoMingFont() const { return m_fonts[DiaoMing]; }
    const QFont &lianBaiFont() const { return m_fonts[LianBai]; }
    const QFont &jiaBaiFont() const { return m_fonts[JiaBai]; }
    void setTitleFont(const QFont &f) { setFont(Title, f); }
    void setLyricFont(const QFont &f) { setFont(Lyric, f); }
    void setScoreFont(const QFont &f) { setFont(Score, f); }
    void setQuPaiFont(const QFont &f) { setFont(QuPai, f); }
    void setDiaoMingFont(const QFont &f) { setFont(DiaoMing, f); }
    void setLianBaiFont(const QFont &f) { setFont(LianBai, f); }
    void setJiaBaiFont(const QFont &f) { setFont(JiaBai, f); }

    // Colours
    const QColor &titleColor() const { return m_titleColor; }
    const QColor &lyricColor() const { return m_lyricColor; }
    const QColor &quPaiColor() const { return m_quPaiColor; }
    const QColor &diaoMingColor() const { return m_diaoMingColor; }
    const QColor &lianBaiColor() const { return m_lianBaiColor; }
    const QColor &jiaBaiColor() const { return m_jiaBaiColor; }
    const QColor &scoreColor() const { return m_scoreColor; }
    const QColor &banColor() const { return m_banColor; }
    const QColor &xiaoYanColor() const { return m_xiaoYanColor; }
    const QColor &zhongYanColor() const { return m_zhongYanColor; }
    const QColor &qiangGeColor() const { return m_qiangGeColor; }
    const QColor &backgroundColor() const { return m_backgroundColor; }
    void setTitleColor(const QColor &c) { m_titleColor = c; }
    void setLyricColor(const QColor &c) { m_lyricColor = c; }
    void setQuPaiColor(const QColor &c) { m_quPaiColor = c; }
    void setDiaoMingColor(const QColor &c) { m_diaoMingColor = c; }
    void setLianBaiColor(const QColor &c) { m_lianBaiColor = c; }
    void setJiaBaiColor(const QColor &c) { m_jiaBaiColor = c; }
    void setScoreColor(const QColor &c) { m_scoreColor = c; }
    void setBanColor(const QColor &c) { m_banColor = c; }
    void setXiaoYanColor(const QColor &c) { m_xiaoYanColor = c; }
    void setZhongYanColor(const QColor &c) { m_zhongYanColor = c; }
    void setQiangGeColor(const QColor &c) { m_qiangGeColor = c; }
    void setBackgroundColor(const QColor &c) { m_backgroundColor = c; }

    // Switches
    bool isBgTransparent() const { return m_isBgTransparent; }
    bool isHiddenSymbol() const { return m_isHiddenSymbol; }
    bool isLandscape() const { return m_isLandscape; }
    bool isLineBreakScoreOverflow() const { return m_isLineBreakScoreOverflow; }
    bool isLivePreview() const { return m_isLivePreview; }
    void setIsBgTransparent(bool v) { m_isBgTransparent = v; }
    void setIsHiddenSymbol(bool v) { m_isHiddenSymbol = v; }
    void setIsLandscape(bool v) { m_isLandscape = v; }
    void setIsLineBreakScoreOverflow(bool v) { m_isLineBreakScoreOverflow = v; }
    void setIsLivePreview(bool v) { m_isLivePreview = v; }

    // Spacings and widths
    int colWidth() const { return m_colWidth; }
    int lyricSpace() const { return m_lyricSpace; }
    int scoreSpace() const { return m_scoreSpace; }
    int banYanSpace() const { return m_banYanSpace; }
    int scoreAngle() const { return m_scoreAngle; }
    int lyricScoreSpace() const { return m_lyricScoreSpace; }
    int scoreBanYanSpace() const { return m_scoreBanYanSpace; }
    int mColWidth() const { return m_mColWidth; }
    int titleWidth() const { return m_titleWidth; }
    int titlePos() const { return m_titlePos; }
    void setColWidth(int v) { m_colWidth = v; }
    void setLyricSpace(int v) { m_lyricSpace = v; }
    void setScoreSpace(int v) { m_scoreSpace = v; }
    void setBanYanSpace(int v) { m_banYanSpace = v; }
    void setScoreAngle(int v) { m_scoreAngle = v; }
    void setLyricScoreSpace(int v) { m_lyricScoreSpace = v; }
    void setScoreBanYanSpace(int v) { m_scoreBanYanSpace = v; }
    void setMColWidth(int v) { m_mColWidth = v; }
    void setTitleWidth(int v) { m_titleWidth = v; }
    void setTitlePos(int v) { m_titlePos = v; }

    // The notation, and the look of 简谱 pages (see JianpuStyle).
    PageStyle::Notation notation() const { return m_notation; }
    void setNotation(PageStyle::Notation v) { m_notation = v; }
    // As with the other fonts, storing the size also resizes the font, and a
    // font given takes the stored size.
    const QFont &jianpuNoteFont() const { return m_jianpu.noteFont; }
    int jianpuNoteFontSize() const { return m_jianpuNoteFontSize; }
    void setJianpuNoteFont(const QFont &f);
    void setJianpuNoteFontSize(int v);
    int jianpuLyricDistance() const { return m_jianpu.lyricDistance; }
    int jianpuSystemSpace() const { return m_jianpu.systemSpace; }
    int jianpuBeatWidth() const { return m_jianpu.beatWidth; }
    int jianpuMinNoteSpace() const { return m_jianpu.minNoteSpace; }
    bool jianpuFlatAfterLetter() const { return m_jianpu.flatAfterLetter; }
    bool jianpuSanBanWord() const { return m_jianpu.sanBanWord; }
    bool jianpuBanYanSigns() const { return m_jianpu.banYanSigns; }
    void setJianpuLyricDistance(int v) { m_jianpu.lyricDistance = v; }
    void setJianpuSystemSpace(int v) { m_jianpu.systemSpace = v; }
    void setJianpuBeatWidth(int v) { m_jianpu.beatWidth = v; }
    void setJianpuMinNoteSpace(int v) { m_jianpu.minNoteSpace = v; }
    void setJianpuFlatAfterLetter(bool v) { m_jianpu.flatAfterLetter = v; }
    void setJianpuSanBanWord(bool v) { m_jianpu.sanBanWord = v; }
    void setJianpuBanYanSigns(bool v) { m_jianpu.banYanSigns = v; }
    // 加赠 measures split at the 赠板 on 简谱 pages and in MusicXML.
    bool splitZeng() const { return m_jianpu.splitZeng; }
    void setSplitZeng(bool v) { m_jianpu.splitZeng = v; }
    const QList<BoolOption> &zengOptions() const { return m_zengOptions; }

    // The look of staff pages (see StaffStyle); the lyric font as the 简谱
    // note font: its stored size resizes it, a font given takes the size.
    int staffSize() const { return m_staff.staffSize; }
    void setStaffSize(int v) { m_staff.staffSize = v; }
    const QFont &staffLyricFont() const { return m_staff.lyricFont; }
    int staffLyricFontSize() const { return m_staffLyricFontSize; }
    void setStaffLyricFont(const QFont &f);
    void setStaffLyricFontSize(int v);
    bool staffBanYanSigns() const { return m_staff.banYanSigns; }
    void setStaffBanYanSigns(bool v) { m_staff.banYanSigns = v; }

    // The page style of these settings, bounded to the ranges that the export
    // form accepts; inside those ranges it holds the stored values.
    PageStyle pageStyle() const;

private:
    ExportConfig();

    enum FontRole { Title, Lyric, Score, QuPai, DiaoMing, LianBai, JiaBai, FontRoleCount };

    void setFontSize(FontRole role, int size);
    void setFont(FontRole role, const QFont &font);
    QJsonValue jsonValueOf(const QString &key) const;
    void loadFonts();
    // The notation, the 简谱 settings and the 加赠 choice.
    void loadJianpu();
    void loadStaff();

    // The settings stored as they are, a table for each type: the key, the
    // member and what a missing key reads as.
    struct StoredInt {
        QString key;
        int ExportConfig::*member;
        int fallback;
    };
    struct StoredBool {
        QString key;
        bool ExportConfig::*member;
        bool fallback;
    };
    struct StoredColor {
        QString key;
        QColor ExportConfig::*member;
        const char *fallback;
    };
    static const QVector<StoredInt> &storedInts();
    static const QVector<StoredBool> &storedBools();
    static const QVector<StoredColor> &storedColors();

    QList<PageSizeOption> m_pageSizeOptions;
    QList<BoolOption> m_orientationOptions;
    QList<BoolOption> m_lineBreakOptions;
    QList<IntOption> m_titlePosOptions;
    QList<NotationOption> m_notationOptions;
    QList<BoolOption> m_zengOptions;

    std::unique_ptr<QTemporaryDir> m_detachedDir; // outlives m_settings
    std::unique_ptr<QSettings> m_settings;

    int m_pageWidth = 595;
    int m_pageHeight = 842;
    QPageSize::PageSizeId m_pageSizeId = QPageSize::A4;
    int m_marginTop = 25;
    int m_marginBottom = 25;
    int m_marginLeft = 25;
    int m_marginRight = 25;
    QColor m_backgroundColor;

    std::array<int, FontRoleCount> m_fontSizes{};
    std::array<QFont, FontRoleCount> m_fonts;

    QColor m_titleColor;
    QColor m_lyricColor;
    QColor m_quPaiColor;
    QColor m_diaoMingColor;
    QColor m_lianBaiColor;
    QColor m_jiaBaiColor;
    QColor m_scoreColor;
    QColor m_banColor;
    QColor m_xiaoYanColor;
    QColor m_zhongYanColor;
    QColor m_qiangGeColor;

    bool m_isBgTransparent = false;
    bool m_isHiddenSymbol = false;
    bool m_isLandscape = false;
    bool m_isLineBreakScoreOverflow = true;

    int m_colWidth = 130;
    int m_lyricSpace = 6;
    int m_scoreSpace = 0;
    int m_banYanSpace = 0;
    int m_lyricScoreSpace = 0;
    int m_scoreBanYanSpace = 0;
    int m_scoreAngle = -45;
    int m_mColWidth = 35;
    int m_titleWidth = 130;
    int m_titlePos = 0;
    PageStyle::Notation m_notation = PageStyle::Notation::Gongche;
    JianpuStyle m_jianpu; // its note font has the bounded size
    int m_jianpuNoteFontSize = JianpuStyle::defaultNoteFont().pointSize();
    StaffStyle m_staff; // its lyric font has the bounded size
    int m_staffLyricFontSize = StaffStyle::defaultLyricFont().pointSize();
    bool m_isLivePreview = true;
};
