#include "appearance/editorconfig.h"

#include "fonts/fontregistry.h"
#include "platform/apppaths.h"

namespace {

const QString kaiTi = QStringLiteral("楷体");

} // namespace

EditorConfig *EditorConfig::instance() {
    static EditorConfig config;
    return &config;
}

EditorConfig::EditorConfig()
    : m_settings(AppPaths::settingsFile(), QSettings::IniFormat)
    , m_lyricLineNumberMetrics(m_lyricLineNumberFont)
    , m_scoreLineNumberMetrics(m_scoreLineNumberFont) {
    m_settings.beginGroup(QStringLiteral("Editor"));
    load();
}

EditorConfig::~EditorConfig() {
    // The last values held reach the file, without telling anybody any more.
    blockSignals(true);
    save();
}

QStringList EditorConfig::keys() {
    return {
        QStringLiteral("lyricLineNumberFontSize"),
        QStringLiteral("lyricLineNumberFont"),
        QStringLiteral("lyricLineNumberColor"),
        QStringLiteral("lyricLineNumberBgColor"),
        QStringLiteral("scoreLineNumberFontSize"),
        QStringLiteral("scoreLineNumberFont"),
        QStringLiteral("scoreLineNumberColor"),
        QStringLiteral("scoreLineNumberBgColor"),
        QStringLiteral("scoreFontSize"),
        QStringLiteral("scoreFont"),
        QStringLiteral("scoreColor"),
        QStringLiteral("scoreBgColor"),
        QStringLiteral("lyricFontSize"),
        QStringLiteral("lyricFont"),
        QStringLiteral("lyricBgColor"),
        QStringLiteral("lyricColor"),
        QStringLiteral("titleColor"),
        QStringLiteral("jiaBaiColor"),
        QStringLiteral("lianBaiColor"),
        QStringLiteral("quPaiColor"),
        QStringLiteral("commentColor"),
        QStringLiteral("biaoDianColor"),
        QStringLiteral("breakSymbolColor"),
        QStringLiteral("errorColor"),
    };
}

void EditorConfig::loadFont(QFont &font, int &size, const QString &sizeKey, int defaultSize,
                            const QString &fontKey, const QString &defaultFamily) {
    bool ok = false;
    size = m_settings.value(sizeKey, defaultSize).toInt(&ok);
    if (!ok || size <= 0) {
        // A size that is no positive number cannot be a point size.
        size = defaultSize;
    }
    font = QFont(m_settings.value(fontKey, defaultFamily).toString(), size);
}

void EditorConfig::loadColor(QColor &color, const QString &key, const QString &defaultName) {
    color.setNamedColor(m_settings.value(key, defaultName).toString());
}

void EditorConfig::saveFont(const QFont &font, int size, const QString &sizeKey,
                            const QString &fontKey) {
    m_settings.setValue(sizeKey, size);
    m_settings.setValue(fontKey, font.family());
}

void EditorConfig::rebuildMetrics() {
    m_lyricLineNumberMetrics = QFontMetrics(m_lyricLineNumberFont);
    m_scoreLineNumberMetrics = QFontMetrics(m_scoreLineNumberFont);
}

void EditorConfig::load() {
    loadFont(m_lyricLineNumberFont, m_lyricLineNumberFontSize,
             QStringLiteral("lyricLineNumberFontSize"), 14, QStringLiteral("lyricLineNumberFont"),
             kaiTi);
    loadColor(m_lyricLineNumberColor, QStringLiteral("lyricLineNumberColor"),
              QStringLiteral("#ff5500"));
    loadColor(m_lyricLineNumberBgColor, QStringLiteral("lyricLineNumberBgColor"),
              QStringLiteral("#fdfff8"));
    loadFont(m_scoreLineNumberFont, m_scoreLineNumberFontSize,
             QStringLiteral("scoreLineNumberFontSize"), 14, QStringLiteral("scoreLineNumberFont"),
             kaiTi);
    loadColor(m_scoreLineNumberColor, QStringLiteral("scoreLineNumberColor"),
              QStringLiteral("#ff5500"));
    loadColor(m_scoreLineNumberBgColor, QStringLiteral("scoreLineNumberBgColor"),
              QStringLiteral("#fdfff8"));
    loadFont(m_scoreFont, m_scoreFontSize, QStringLiteral("scoreFontSize"), 16,
             QStringLiteral("scoreFont"), FontRegistry::instance()->defaultFamily());
    loadColor(m_scoreColor, QStringLiteral("scoreColor"), QStringLiteral("#000000"));
    loadColor(m_scoreBgColor, QStringLiteral("scoreBgColor"), QStringLiteral("#ffffff"));
    loadFont(m_lyricFont, m_lyricFontSize, QStringLiteral("lyricFontSize"), 16,
             QStringLiteral("lyricFont"), kaiTi);
    loadColor(m_lyricBgColor, QStringLiteral("lyricBgColor"), QStringLiteral("#ffffff"));
    loadColor(m_lyricColor, QStringLiteral("lyricColor"), QStringLiteral("#333333"));
    loadColor(m_titleColor, QStringLiteral("titleColor"), QStringLiteral("#a76f55"));
    loadColor(m_jiaBaiColor, QStringLiteral("jiaBaiColor"), QStringLiteral("#b76b01"));
    loadColor(m_lianBaiColor, QStringLiteral("lianBaiColor"), QStringLiteral("#a626a4"));
    loadColor(m_quPaiColor, QStringLiteral("quPaiColor"), QStringLiteral("#4078f2"));
    loadColor(m_commentColor, QStringLiteral("commentColor"), QStringLiteral("#a9a9a9"));
    loadColor(m_biaoDianColor, QStringLiteral("biaoDianColor"), QStringLiteral("#50a14f"));
    loadColor(m_breakSymbolColor, QStringLiteral("breakSymbolColor"), QStringLiteral("#a9a9a9"));
    loadColor(m_errorColor, QStringLiteral("errorColor"), QStringLiteral("#ff0000"));
    rebuildMetrics();
}

void EditorConfig::save() {
    saveFont(m_lyricLineNumberFont, m_lyricLineNumberFontSize,
             QStringLiteral("lyricLineNumberFontSize"), QStringLiteral("lyricLineNumberFont"));
    m_settings.setValue(QStringLiteral("lyricLineNumberColor"), m_lyricLineNumberColor.name());
    m_settings.setValue(QStringLiteral("lyricLineNumberBgColor"), m_lyricLineNumberBgColor.name());
    saveFont(m_scoreLineNumberFont, m_scoreLineNumberFontSize,
             QStringLiteral("scoreLineNumberFontSize"), QStringLiteral("scoreLineNumberFont"));
    m_settings.setValue(QStringLiteral("scoreLineNumberColor"), m_scoreLineNumberColor.name());
    m_settings.setValue(QStringLiteral("scoreLineNumberBgColor"), m_scoreLineNumberBgColor.name());
    saveFont(m_scoreFont, m_scoreFontSize, QStringLiteral("scoreFontSize"),
             QStringLiteral("scoreFont"));
    m_settings.setValue(QStringLiteral("scoreColor"), m_scoreColor.name());
    m_settings.setValue(QStringLiteral("scoreBgColor"), m_scoreBgColor.name());
    saveFont(m_lyricFont, m_lyricFontSize, QStringLiteral("lyricFontSize"),
             QStringLiteral("lyricFont"));
    m_settings.setValue(QStringLiteral("lyricBgColor"), m_lyricBgColor.name());
    m_settings.setValue(QStringLiteral("lyricColor"), m_lyricColor.name());
    m_settings.setValue(QStringLiteral("titleColor"), m_titleColor.name());
    m_settings.setValue(QStringLiteral("jiaBaiColor"), m_jiaBaiColor.name());
    m_settings.setValue(QStringLiteral("lianBaiColor"), m_lianBaiColor.name());
    m_settings.setValue(QStringLiteral("quPaiColor"), m_quPaiColor.name());
    m_settings.setValue(QStringLiteral("commentColor"), m_commentColor.name());
    m_settings.setValue(QStringLiteral("biaoDianColor"), m_biaoDianColor.name());
    m_settings.setValue(QStringLiteral("breakSymbolColor"), m_breakSymbolColor.name());
    m_settings.setValue(QStringLiteral("errorColor"), m_errorColor.name());
    m_settings.sync();
    emit configChanged();
}

void EditorConfig::restoreDefaults() {
    // With the group open, the empty key stands for every key of the group.
    m_settings.remove(QString());
    load();
    save();
}

void EditorConfig::setLyricLineNumberFont(const QFont &font) {
    m_lyricLineNumberFont = font;
    m_lyricLineNumberFont.setPointSize(m_lyricLineNumberFontSize);
    rebuildMetrics();
}

void EditorConfig::setLyricLineNumberFontSize(int size) {
    if (size <= 0) {
        return;
    }
    m_lyricLineNumberFontSize = size;
    m_lyricLineNumberFont.setPointSize(size);
    rebuildMetrics();
}

void EditorConfig::setScoreLineNumberFont(const QFont &font) {
    m_scoreLineNumberFont = font;
    m_scoreLineNumberFont.setPointSize(m_scoreLineNumberFontSize);
    rebuildMetrics();
}

void EditorConfig::setScoreLineNumberFontSize(int size) {
    if (size <= 0) {
        return;
    }
    m_scoreLineNumberFontSize = size;
    m_scoreLineNumberFont.setPointSize(size);
    rebuildMetrics();
}

void EditorConfig::setScoreFont(const QFont &font) {
    m_scoreFont = font;
    m_scoreFont.setPointSize(m_scoreFontSize);
}

void EditorConfig::setScoreFontSize(int size) {
    if (size <= 0) {
        return;
    }
    m_scoreFontSize = size;
    m_scoreFont.setPointSize(size);
}

void EditorConfig::setLyricFont(const QFont &font) {
    m_lyricFont = font;
    m_lyricFont.setPointSize(m_lyricFontSize);
}

void EditorConfig::setLyricFontSize(int size) {
    if (size <= 0) {
        return;
    }
    m_lyricFontSize = size;
    m_lyricFont.setPointSize(size);
}
