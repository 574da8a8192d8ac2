#include "export/exportconfig.h"

#include "fonts/fontregistry.h"
#include "platform/apppaths.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>

namespace {

const QString fontKeys[] = {
    QStringLiteral("titleFont"),  QStringLiteral("lyricFont"),    QStringLiteral("scoreFont"),
    QStringLiteral("quPaiFont"),  QStringLiteral("diaoMingFont"), QStringLiteral("lianBaiFont"),
    QStringLiteral("jiaBaiFont"),
};

const QString fontSizeKeys[] = {
    QStringLiteral("titleFontSize"),    QStringLiteral("lyricFontSize"),
    QStringLiteral("scoreFontSize"),    QStringLiteral("quPaiFontSize"),
    QStringLiteral("diaoMingFontSize"), QStringLiteral("lianBaiFontSize"),
    QStringLiteral("jiaBaiFontSize"),
};

constexpr int defaultFontSizes[] = {80, 30, 16, 50, 30, 20, 26};

QString colorText(const QColor &c) {
    return c.name(QColor::HexRgb);
}

bool isPageSizeId(int id) {
    return id >= 0 && id <= int(QPageSize::LastPageSize);
}

const QString notationKey = QStringLiteral("notation");
const QString gongcheName = QStringLiteral("gongche");
const QString jianpuName = QStringLiteral("jianpu");
const QString staffName = QStringLiteral("staff");
const QString zengKey = QStringLiteral("zengMeasures");
const QString splitName = QStringLiteral("split");
const QString wholeName = QStringLiteral("whole");

} // namespace

ExportConfig *ExportConfig::instance() {
    static ExportConfig config;
    return &config;
}

ExportConfig::ExportConfig() {
    qRegisterMetaType<QPageSize::PageSizeId>("QPageSize::PageSizeId");

    m_pageSizeOptions = {
        {QStringLiteral("自定义"), QPageSize::Custom},
        {QStringLiteral("A1 (1684, 2384)"), QPageSize::A1},
        {QStringLiteral("A2 (1191, 1684)"), QPageSize::A2},
        {QStringLiteral("A3 (842, 1191)"), QPageSize::A3},
        {QStringLiteral("A4 (595, 842)"), QPageSize::A4},
        {QStringLiteral("A5 (420, 595)"), QPageSize::A5},
        {QStringLiteral("A6 (297, 420)"), QPageSize::A6},
        {QStringLiteral("B1 (2004, 2835)"), QPageSize::B1},
        {QStringLiteral("B2 (1417, 2004)"), QPageSize::B2},
        {QStringLiteral("B3 (1001, 1417)"), QPageSize::B3},
        {QStringLiteral("B4 (709, 1001)"), QPageSize::B4},
    };
    m_orientationOptions = {{QStringLiteral("纵向"), false}, {QStringLiteral("横向"), true}};
    m_lineBreakOptions = {{QStringLiteral("换行"), true}, {QStringLiteral("不换行"), false}};
    m_titlePosOptions = {
        {QStringLiteral("顶部"), 0}, {QStringLiteral("居中"), 1}, {QStringLiteral("底部"), 2}};
    m_notationOptions = {{QStringLiteral("工尺谱"), PageStyle::Notation::Gongche},
                         {QStringLiteral("简谱"), PageStyle::Notation::Jianpu},
                         {QStringLiteral("五线谱"), PageStyle::Notation::Staff}};
    m_zengOptions = {{QStringLiteral("整小节（8/4）"), false},
                     {QStringLiteral("赠板处分为两小节（4/4，虚小节线）"), true}};

    for (int role = 0; role < FontRoleCount; ++role) {
        m_fontSizes[role] = defaultFontSizes[role];
        m_fonts[role] = QFont();
    }

    m_settings = std::make_unique<QSettings>(AppPaths::settingsFile(), QSettings::IniFormat);
    m_settings->beginGroup(QStringLiteral("Export"));
    load();
}

ExportConfig::~ExportConfig() {
    save();
    m_settings->endGroup();
    m_settings->sync();
}

QStringList ExportConfig::keys() {
    static const QStringList list = [] {
        QStringList k = {QStringLiteral("pageWidth"),    QStringLiteral("pageHeight"),
                         QStringLiteral("pageSizeId"),   QStringLiteral("marginTop"),
                         QStringLiteral("marginBottom"), QStringLiteral("marginLeft"),
                         QStringLiteral("marginRight")};
        for (const QString &s : fontSizeKeys) {
            k << s;
        }
        for (const QString &s : fontKeys) {
            k << s;
        }
        k << QStringLiteral("titleColor") << QStringLiteral("lyricColor")
          << QStringLiteral("quPaiColor") << QStringLiteral("diaoMingColor")
          << QStringLiteral("lianBaiColor") << QStringLiteral("jiaBaiColor")
          << QStringLiteral("scoreColor") << QStringLiteral("banColor")
          << QStringLiteral("xiaoYanColor") << QStringLiteral("zhongYanColor")
          << QStringLiteral("qiangGeColor") << QStringLiteral("backgroundColor")
          << QStringLiteral("isBgTransparent") << QStringLiteral("isHiddenSymbol")
          << QStringLiteral("isLandscape") << QStringLiteral("isLineBreakScoreOverflow")
          << QStringLiteral("colWidth") << QStringLiteral("lyricSpace")
          << QStringLiteral("scoreSpace") << QStringLiteral("banYanSpace")
          << QStringLiteral("scoreAngle") << QStringLiteral("lyricScoreSpace")
          << QStringLiteral("scoreBanYanSpace") << QStringLiteral("mColWidth")
          << QStringLiteral("titleWidth") << QStringLiteral("titlePos") << notationKey << zengKey
          << QStringLiteral("jianpuNoteFont") << QStringLiteral("jianpuNoteFontSize")
          << QStringLiteral("jianpuLyricDistance") << QStringLiteral("jianpuSystemSpace")
          << QStringLiteral("jianpuBeatWidth") << QStringLiteral("jianpuMinNoteSpace")
          << QStringLiteral("jianpuFlatAfterLetter") << QStringLiteral("jianpuSanBanWord")
          << QStringLiteral("jianpuBanYanSigns") << QStringLiteral("isLivePreview")
          << QStringLiteral("staffSize") << QStringLiteral("staffLyricFont")
          << QStringLiteral("staffLyricFontSize") << QStringLiteral("staffBanYanSigns");
        return k;
    }();
    return list;
}

QString ExportConfig::notationName(PageStyle::Notation notation) {
    switch (notation) {
    case PageStyle::Notation::Jianpu:
        return jianpuName;
    case PageStyle::Notation::Staff:
        return staffName;
    case PageStyle::Notation::Gongche:
        break;
    }
    return gongcheName;
}

QString ExportConfig::zengName(bool split) {
    return split ? splitName : wholeName;
}

bool ExportConfig::zengFromName(const QString &name, bool *split) {
    if (name.compare(splitName, Qt::CaseInsensitive) == 0) {
        *split = true;
        return true;
    }
    if (name.compare(wholeName, Qt::CaseInsensitive) == 0) {
        *split = false;
        return true;
    }
    return false;
}

bool ExportConfig::notationFromName(const QString &name, PageStyle::Notation *notation) {
    if (name.compare(gongcheName, Qt::CaseInsensitive) == 0) {
        *notation = PageStyle::Notation::Gongche;
        return true;
    }
    if (name.compare(jianpuName, Qt::CaseInsensitive) == 0) {
        *notation = PageStyle::Notation::Jianpu;
        return true;
    }
    if (name.compare(staffName, Qt::CaseInsensitive) == 0) {
        *notation = PageStyle::Notation::Staff;
        return true;
    }
    return false;
}

// ---- the settings stored as they are, a table for each type

const QVector<ExportConfig::StoredInt> &ExportConfig::storedInts() {
    static const QVector<StoredInt> table = {
        {QStringLiteral("pageWidth"), &ExportConfig::m_pageWidth, 595},
        {QStringLiteral("pageHeight"), &ExportConfig::m_pageHeight, 842},
        {QStringLiteral("marginTop"), &ExportConfig::m_marginTop, 25},
        {QStringLiteral("marginBottom"), &ExportConfig::m_marginBottom, 25},
        {QStringLiteral("marginLeft"), &ExportConfig::m_marginLeft, 25},
        {QStringLiteral("marginRight"), &ExportConfig::m_marginRight, 25},
        {QStringLiteral("colWidth"), &ExportConfig::m_colWidth, 130},
        {QStringLiteral("lyricSpace"), &ExportConfig::m_lyricSpace, 6},
        {QStringLiteral("scoreSpace"), &ExportConfig::m_scoreSpace, 0},
        {QStringLiteral("banYanSpace"), &ExportConfig::m_banYanSpace, 0},
        {QStringLiteral("scoreAngle"), &ExportConfig::m_scoreAngle, -45},
        {QStringLiteral("lyricScoreSpace"), &ExportConfig::m_lyricScoreSpace, 0},
        {QStringLiteral("scoreBanYanSpace"), &ExportConfig::m_scoreBanYanSpace, 0},
        {QStringLiteral("mColWidth"), &ExportConfig::m_mColWidth, 35},
        {QStringLiteral("titlePos"), &ExportConfig::m_titlePos, 0},
    };
    return table;
}

const QVector<ExportConfig::StoredBool> &ExportConfig::storedBools() {
    static const QVector<StoredBool> table = {
        {QStringLiteral("isBgTransparent"), &ExportConfig::m_isBgTransparent, false},
        {QStringLiteral("isHiddenSymbol"), &ExportConfig::m_isHiddenSymbol, false},
        {QStringLiteral("isLandscape"), &ExportConfig::m_isLandscape, false},
        {QStringLiteral("isLineBreakScoreOverflow"), &ExportConfig::m_isLineBreakScoreOverflow,
         true},
        {QStringLiteral("isLivePreview"), &ExportConfig::m_isLivePreview, true},
    };
    return table;
}

const QVector<ExportConfig::StoredColor> &ExportConfig::storedColors() {
    static const QVector<StoredColor> table = {
        {QStringLiteral("titleColor"), &ExportConfig::m_titleColor, "#000000"},
        {QStringLiteral("lyricColor"), &ExportConfig::m_lyricColor, "#000000"},
        {QStringLiteral("quPaiColor"), &ExportConfig::m_quPaiColor, "#000000"},
        {QStringLiteral("diaoMingColor"), &ExportConfig::m_diaoMingColor, "#000000"},
        {QStringLiteral("lianBaiColor"), &ExportConfig::m_lianBaiColor, "#000000"},
        {QStringLiteral("jiaBaiColor"), &ExportConfig::m_jiaBaiColor, "#000000"},
        {QStringLiteral("scoreColor"), &ExportConfig::m_scoreColor, "#000000"},
        {QStringLiteral("banColor"), &ExportConfig::m_banColor, "#ff4c00"},
        {QStringLiteral("xiaoYanColor"), &ExportConfig::m_xiaoYanColor, "#000000"},
        {QStringLiteral("zhongYanColor"), &ExportConfig::m_zhongYanColor, "#ff4c00"},
        {QStringLiteral("qiangGeColor"), &ExportConfig::m_qiangGeColor, "#000000"},
        {QStringLiteral("backgroundColor"), &ExportConfig::m_backgroundColor, "#FFFFFF"},
    };
    return table;
}

// ---- reading and writing the settings file

void ExportConfig::load() {
    QSettings &s = *m_settings;
    // Pick up changes written to the file by anyone else (an imported scheme).
    s.sync();
    for (const StoredInt &e : storedInts()) {
        this->*e.member = s.value(e.key, e.fallback).toInt();
    }
    for (const StoredBool &e : storedBools()) {
        this->*e.member = s.value(e.key, e.fallback).toBool();
    }
    for (const StoredColor &e : storedColors()) {
        this->*e.member = QColor(s.value(e.key, QString::fromLatin1(e.fallback)).toString());
    }
    bool ok = false;
    const int id = s.value(QStringLiteral("pageSizeId"), int(QPageSize::A4)).toInt(&ok);
    m_pageSizeId = ok && isPageSizeId(id) ? QPageSize::PageSizeId(id) : QPageSize::A4;
    m_titleWidth = s.value(QStringLiteral("titleWidth"), m_colWidth).toInt();
    if (unsigned(m_titlePos) > 2u) {
        m_titlePos = 0;
    }
    loadFonts();
    loadJianpu();
    loadStaff();
}

void ExportConfig::loadFonts() {
    QSettings &s = *m_settings;
    for (int role = 0; role < FontRoleCount; ++role) {
        m_fontSizes[role] = s.value(fontSizeKeys[role], defaultFontSizes[role]).toInt();
        const QString def =
            role == Score ? FontRegistry::instance()->defaultFamily() : QStringLiteral("楷体");
        QFont font(s.value(fontKeys[role], def).toString());
        font.setPointSize(PageStyle::boundedFontSize(m_fontSizes[role]));
        font.setWeight(QFont::Normal);
        font.setItalic(false);
        m_fonts[role] = font;
    }
}

void ExportConfig::loadJianpu() {
    QSettings &s = *m_settings;
    // Settings and schemes from before 简谱 pages have none of these keys:
    // they read as gongche pages.
    m_notation = PageStyle::Notation::Gongche;
    notationFromName(s.value(notationKey).toString(), &m_notation);
    const JianpuStyle jianpu;
    auto readInt = [&s](const QString &key, int def) { return s.value(key, def).toInt(); };
    auto readBool = [&s](const QString &key, bool def) { return s.value(key, def).toBool(); };
    m_jianpuNoteFontSize =
        readInt(QStringLiteral("jianpuNoteFontSize"), jianpu.noteFont.pointSize());
    m_jianpu.noteFont = jianpu.noteFont;
    const QString noteFamily = s.value(QStringLiteral("jianpuNoteFont")).toString();
    if (!noteFamily.trimmed().isEmpty()) {
        m_jianpu.noteFont.setFamily(noteFamily);
    }
    m_jianpu.noteFont.setPointSize(PageStyle::boundedFontSize(m_jianpuNoteFontSize));
    m_jianpu.lyricDistance = readInt(QStringLiteral("jianpuLyricDistance"), jianpu.lyricDistance);
    m_jianpu.systemSpace = readInt(QStringLiteral("jianpuSystemSpace"), jianpu.systemSpace);
    m_jianpu.beatWidth = readInt(QStringLiteral("jianpuBeatWidth"), jianpu.beatWidth);
    m_jianpu.minNoteSpace = readInt(QStringLiteral("jianpuMinNoteSpace"), jianpu.minNoteSpace);
    m_jianpu.flatAfterLetter =
        readBool(QStringLiteral("jianpuFlatAfterLetter"), jianpu.flatAfterLetter);
    m_jianpu.sanBanWord = readBool(QStringLiteral("jianpuSanBanWord"), jianpu.sanBanWord);
    m_jianpu.banYanSigns = readBool(QStringLiteral("jianpuBanYanSigns"), jianpu.banYanSigns);
    // Absent from older files, or unknown: written whole.
    m_jianpu.splitZeng = jianpu.splitZeng;
    zengFromName(s.value(zengKey).toString(), &m_jianpu.splitZeng);
}

void ExportConfig::loadStaff() {
    QSettings &s = *m_settings;
    const StaffStyle staff;
    m_staff.staffSize = s.value(QStringLiteral("staffSize"), staff.staffSize).toInt();
    m_staffLyricFontSize =
        s.value(QStringLiteral("staffLyricFontSize"), staff.lyricFont.pointSize()).toInt();
    m_staff.lyricFont = staff.lyricFont;
    const QString family = s.value(QStringLiteral("staffLyricFont")).toString();
    if (!family.trimmed().isEmpty()) {
        m_staff.lyricFont.setFamily(family);
    }
    m_staff.lyricFont.setPointSize(PageStyle::boundedFontSize(m_staffLyricFontSize));
    m_staff.banYanSigns = s.value(QStringLiteral("staffBanYanSigns"), staff.banYanSigns).toBool();
}

void ExportConfig::save() {
    QSettings &s = *m_settings;
    for (const StoredInt &e : storedInts()) {
        s.setValue(e.key, this->*e.member);
    }
    for (const StoredBool &e : storedBools()) {
        s.setValue(e.key, this->*e.member);
    }
    for (const StoredColor &e : storedColors()) {
        s.setValue(e.key, colorText(this->*e.member));
    }
    s.setValue(QStringLiteral("pageSizeId"), int(m_pageSizeId));
    s.setValue(QStringLiteral("titleWidth"), m_titleWidth);
    for (int role = 0; role < FontRoleCount; ++role) {
        s.setValue(fontSizeKeys[role], m_fontSizes[role]);
        s.setValue(fontKeys[role], m_fonts[role].family());
    }
    s.setValue(notationKey, notationName(m_notation));
    s.setValue(zengKey, zengName(m_jianpu.splitZeng));
    s.setValue(QStringLiteral("jianpuNoteFont"), m_jianpu.noteFont.family());
    s.setValue(QStringLiteral("jianpuNoteFontSize"), m_jianpuNoteFontSize);
    s.setValue(QStringLiteral("jianpuLyricDistance"), m_jianpu.lyricDistance);
    s.setValue(QStringLiteral("jianpuSystemSpace"), m_jianpu.systemSpace);
    s.setValue(QStringLiteral("jianpuBeatWidth"), m_jianpu.beatWidth);
    s.setValue(QStringLiteral("jianpuMinNoteSpace"), m_jianpu.minNoteSpace);
    s.setValue(QStringLiteral("jianpuFlatAfterLetter"), m_jianpu.flatAfterLetter);
    s.setValue(QStringLiteral("jianpuSanBanWord"), m_jianpu.sanBanWord);
    s.setValue(QStringLiteral("jianpuBanYanSigns"), m_jianpu.banYanSigns);
    s.setValue(QStringLiteral("staffSize"), m_staff.staffSize);
    s.setValue(QStringLiteral("staffLyricFont"), m_staff.lyricFont.family());
    s.setValue(QStringLiteral("staffLyricFontSize"), m_staffLyricFontSize);
    s.setValue(QStringLiteral("staffBanYanSigns"), m_staff.banYanSigns);
    s.sync();
}

bool ExportConfig::detachSettings() {
    if (m_detachedDir) {
        return true;
    }
    auto dir = std::make_unique<QTemporaryDir>();
    if (!dir->isValid()) {
        return false;
    }
    m_settings->sync();
    const QString copy = dir->filePath(QStringLiteral("settings.ini"));
    const QString original = AppPaths::settingsFile();
    if (QFileInfo::exists(original) && !QFile::copy(original, copy)) {
        return false;
    }
    m_settings->endGroup();
    m_settings = std::make_unique<QSettings>(copy, QSettings::IniFormat);
    m_settings->beginGroup(QStringLiteral("Export"));
    m_detachedDir = std::move(dir);
    return true;
}

void ExportConfig::restoreDefaults() {
    // Inside the open group, the empty key names every key of the group.
    m_settings->remove(QString());
    m_settings->sync();
    load();
    save();
}

QJsonValue ExportConfig::jsonValueOf(const QString &key) const {
    // Keys of the table keep their types; anything else travels as stored.
    static const QStringList boolKeys = {
        QStringLiteral("isBgTransparent"),  QStringLiteral("isHiddenSymbol"),
        QStringLiteral("isLandscape"),      QStringLiteral("isLineBreakScoreOverflow"),
        QStringLiteral("isLivePreview"),    QStringLiteral("jianpuFlatAfterLetter"),
        QStringLiteral("jianpuSanBanWord"), QStringLiteral("jianpuBanYanSigns"),
        QStringLiteral("staffBanYanSigns")};
    const QVariant v = m_settings->value(key);
    const int index = keys().indexOf(key);
    if (index < 0) {
        return QJsonValue::fromVariant(v);
    }
    if (boolKeys.contains(key)) {
        return v.toBool();
    }
    if (key.endsWith(QLatin1String("Font")) || key.endsWith(QLatin1String("Color")) ||
        key == notationKey || key == zengKey) {
        return v.toString();
    }
    return v.toInt();
}

bool ExportConfig::saveScheme(const QString &path) {
    save();
    QJsonObject object;
    const QStringList stored = m_settings->childKeys();
    for (const QString &key : stored) {
        object.insert(key, jsonValueOf(key));
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    file.close();
    return true;
}

bool ExportConfig::importScheme(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
    if (!doc.isObject()) {
        return false;
    }
    const QJsonObject object = doc.object();
    // A scheme without a notation was saved before 简谱 pages existed (or
    // made by hand for gongche pages): it sets gongche pages, as it always did.
    if (!object.contains(notationKey)) {
        m_settings->setValue(notationKey, gongcheName);
    }
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        // An empty name or one with a separator would leave the group.
        if (it.key().isEmpty() || it.key().contains(QLatin1Char('/')) ||
            it.key().contains(QLatin1Char('\\'))) {
            continue;
        }
        m_settings->setValue(it.key(), it.value().toVariant());
    }
    m_settings->sync();
    load();
    return true;
}

bool ExportConfig::pageStyleWithScheme(const QString &path, PageStyle *style) {
    save();
    ExportConfig copy;
    if (!copy.detachSettings()) {
        return false;
    }
    const QStringList stored = m_settings->childKeys();
    for (const QString &key : stored) {
        copy.m_settings->setValue(key, m_settings->value(key));
    }
    if (!copy.importScheme(path)) {
        return false;
    }
    *style = copy.pageStyle();
    return true;
}

void ExportConfig::setPageSizeId(QPageSize::PageSizeId id) {
    m_pageSizeId = id;
    if (id != QPageSize::Custom && isPageSizeId(int(id))) {
        const QSize points = QPageSize::sizePoints(id);
        m_pageWidth = points.width();
        m_pageHeight = points.height();
    }
}

void ExportConfig::setFontSize(FontRole role, int size) {
    m_fontSizes[role] = size;
    m_fonts[role].setPointSize(PageStyle::boundedFontSize(size));
}

void ExportConfig::setFont(FontRole role, const QFont &font) {
    m_fonts[role] = font;
    m_fonts[role].setPointSize(PageStyle::boundedFontSize(m_fontSizes[role]));
}

void ExportConfig::setJianpuNoteFontSize(int v) {
    m_jianpuNoteFontSize = v;
    m_jianpu.noteFont.setPointSize(PageStyle::boundedFontSize(v));
}

void ExportConfig::setStaffLyricFontSize(int v) {
    m_staffLyricFontSize = v;
    m_staff.lyricFont.setPointSize(PageStyle::boundedFontSize(v));
}

void ExportConfig::setStaffLyricFont(const QFont &f) {
    m_staff.lyricFont = f;
    m_staff.lyricFont.setPointSize(PageStyle::boundedFontSize(m_staffLyricFontSize));
}

void ExportConfig::setJianpuNoteFont(const QFont &f) {
    m_jianpu.noteFont = f;
    m_jianpu.noteFont.setPointSize(PageStyle::boundedFontSize(m_jianpuNoteFontSize));
}

PageStyle ExportConfig::pageStyle() const {
    PageStyle s;
    s.pageWidth = m_pageWidth;
    s.pageHeight = m_pageHeight;
    s.landscape = m_isLandscape;
    s.marginTop = m_marginTop;
    s.marginBottom = m_marginBottom;
    s.marginLeft = m_marginLeft;
    s.marginRight = m_marginRight;
    s.titleFont = m_fonts[Title];
    s.lyricFont = m_fonts[Lyric];
    s.scoreFont = m_fonts[Score];
    s.quPaiFont = m_fonts[QuPai];
    s.diaoMingFont = m_fonts[DiaoMing];
    s.lianBaiFont = m_fonts[LianBai];
    s.jiaBaiFont = m_fonts[JiaBai];
    s.titleColor = m_titleColor;
    s.lyricColor = m_lyricColor;
    s.quPaiColor = m_quPaiColor;
    s.diaoMingColor = m_diaoMingColor;
    s.lianBaiColor = m_lianBaiColor;
    s.jiaBaiColor = m_jiaBaiColor;
    s.scoreColor = m_scoreColor;
    s.banColor = m_banColor;
    s.xiaoYanColor = m_xiaoYanColor;
    s.zhongYanColor = m_zhongYanColor;
    s.qiangGeColor = m_qiangGeColor;
    s.backgroundColor = m_backgroundColor;
    s.transparentBackground = m_isBgTransparent;
    s.hiddenSymbol = m_isHiddenSymbol;
    s.lineBreakScoreOverflow = m_isLineBreakScoreOverflow;
    s.colWidth = m_colWidth;
    s.mColWidth = m_mColWidth;
    s.titleWidth = m_titleWidth;
    s.titlePos = m_titlePos;
    s.lyricSpace = m_lyricSpace;
    s.scoreSpace = m_scoreSpace;
    s.banYanSpace = m_banYanSpace;
    s.lyricScoreSpace = m_lyricScoreSpace;
    s.scoreBanYanSpace = m_scoreBanYanSpace;
    s.scoreAngle = m_scoreAngle;
    s.notation = m_notation;
    s.jianpu = m_jianpu;
    s.staff = m_staff;
    return s.bounded();
}
