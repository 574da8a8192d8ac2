#pragma once

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QObject>
#include <QSettings>

// The appearance of the lyric and score editors: the fonts and sizes of the
// two editors and their gutters, their colours, and the colours the lyric
// highlighter gives each kind of lyric content. Kept in the group "Editor" of
// "settings.ini". Setters only change the held values; save() writes them and
// announces them with configChanged(). The one instance saves once more when
// it is destroyed at program exit.
class EditorConfig : public QObject {
    Q_OBJECT

public:
    static EditorConfig *instance();
    ~EditorConfig() override;

    // The keys of the group "Editor", in the order they are read and written.
    static QStringList keys();

    // Reads every key, with the built-in defaults for missing ones.
    void load();
    // Writes every key, syncs the file and emits configChanged().
    void save();
    // Removes the group's keys, loads the defaults and saves them.
    void restoreDefaults();

    QFontMetrics lyricLineNumberFontMetrics() const { return m_lyricLineNumberMetrics; }
    QFontMetrics scoreLineNumberFontMetrics() const { return m_scoreLineNumberMetrics; }

    QFont lyricLineNumberFont() const { return m_lyricLineNumberFont; }
    int lyricLineNumberFontSize() const { return m_lyricLineNumberFontSize; }
    void setLyricLineNumberFont(const QFont &font);
    void setLyricLineNumberFontSize(int size);

    QFont scoreLineNumberFont() const { return m_scoreLineNumberFont; }
    int scoreLineNumberFontSize() const { return m_scoreLineNumberFontSize; }
    void setScoreLineNumberFont(const QFont &font);
    void setScoreLineNumberFontSize(int size);

    QFont scoreFont() const { return m_scoreFont; }
    int scoreFontSize() const { return m_scoreFontSize; }
    void setScoreFont(const QFont &font);
    void setScoreFontSize(int size);

    QFont lyricFont() const { return m_lyricFont; }
    int lyricFontSize() const { return m_lyricFontSize; }
    void setLyricFont(const QFont &font);
    void setLyricFontSize(int size);

    QColor lyricLineNumberColor() const { return m_lyricLineNumberColor; }
    void setLyricLineNumberColor(const QColor &color) { m_lyricLineNumberColor = color; }
    QColor lyricLineNumberBgColor() const { return m_lyricLineNumberBgColor; }
    void setLyricLineNumberBgColor(const QColor &color) { m_lyricLineNumberBgColor = color; }
    QColor scoreLineNumberColor() const { return m_scoreLineNumberColor; }
    void setScoreLineNumberColor(const QColor &color) { m_scoreLineNumberColor = color; }
    QColor scoreLineNumberBgColor() const { return m_scoreLineNumberBgColor; }
    void setScoreLineNumberBgColor(const QColor &color) { m_scoreLineNumberBgColor = color; }
    QColor scoreColor() const { return m_scoreColor; }
    void setScoreColor(const QColor &color) { m_scoreColor = color; }
    QColor scoreBgColor() const { return m_scoreBgColor; }
    void setScoreBgColor(const QColor &color) { m_scoreBgColor = color; }
    QColor lyricBgColor() const { return m_lyricBgColor; }
    void setLyricBgColor(const QColor &color) { m_lyricBgColor = color; }
    QColor lyricColor() const { return m_lyricColor; }
    void setLyricColor(const QColor &color) { m_lyricColor = color; }
    QColor titleColor() const { return m_titleColor; }
    void setTitleColor(const QColor &color) { m_titleColor = color; }
    QColor jiaBaiColor() const { return m_jiaBaiColor; }
    void setJiaBaiColor(const QColor &color) { m_jiaBaiColor = color; }
    QColor lianBaiColor() const { return m_lianBaiColor; }
    void setLianBaiColor(const QColor &color) { m_lianBaiColor = color; }
    QColor quPaiColor() const { return m_quPaiColor; }
    void setQuPaiColor(const QColor &color) { m_quPaiColor = color; }
    QColor commentColor() const { return m_commentColor; }
    void setCommentColor(const QColor &color) { m_commentColor = color; }
    QColor biaoDianColor() const { return m_biaoDianColor; }
    void setBiaoDianColor(const QColor &color) { m_biaoDianColor = color; }
    QColor breakSymbolColor() const { return m_breakSymbolColor; }
    void setBreakSymbolColor(const QColor &color) { m_breakSymbolColor = color; }
    QColor errorColor() const { return m_errorColor; }
    void setErrorColor(const QColor &color) { m_errorColor = color; }

signals:
    void configChanged();

private:
    EditorConfig();
    void rebuildMetrics();
    void loadFont(QFont &font, int &size, const QString &sizeKey, int defaultSize,
                  const QString &fontKey, const QString &defaultFamily);
    void loadColor(QColor &color, const QString &key, const QString &defaultName);
    void saveFont(const QFont &font, int size, const QString &sizeKey, const QString &fontKey);

    QSettings m_settings;
    QFont m_lyricLineNumberFont;
    int m_lyricLineNumberFontSize = 0;
    QFont m_scoreLineNumberFont;
    int m_scoreLineNumberFontSize = 0;
    QFont m_scoreFont;
    int m_scoreFontSize = 0;
    QFont m_lyricFont;
    int m_lyricFontSize = 0;
    QColor m_lyricLineNumberColor;
    QColor m_lyricLineNumberBgColor;
    QColor m_scoreLineNumberColor;
    QColor m_scoreLineNumberBgColor;
    QColor m_scoreColor;
    QColor m_scoreBgColor;
    QColor m_lyricBgColor;
    QColor m_lyricColor;
    QColor m_titleColor;
    QColor m_jiaBaiColor;
    QColor m_lianBaiColor;
    QColor m_quPaiColor;
    QColor m_commentColor;
    QColor m_biaoDianColor;
    QColor m_breakSymbolColor;
    QColor m_errorColor;
    QFontMetrics m_lyricLineNumberMetrics;
    QFontMetrics m_scoreLineNumberMetrics;
};
