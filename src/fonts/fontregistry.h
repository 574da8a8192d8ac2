#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The gongche fonts of the program: the font embedded as a resource, and every
// font file (TrueType, OpenType or a collection) installed in the "fonts"
// directory. All are registered with the application font database;
// families() lists their family names, the embedded one first.
class FontRegistry {
public:
    static FontRegistry *instance();

    // Registers the embedded font and every installed font file again and
    // rebuilds the family list. Creates the "fonts" directory when missing.
    void reload();

    QStringList families() const { return m_families; }
    QString defaultFamily() const { return m_defaultFamily; }
    QString fontsDir() const { return m_fontsDir; }

    // The name patterns of installable font files, matched without regard to case.
    static QStringList fontFilePatterns() {
        return {QStringLiteral("*.ttf"), QStringLiteral("*.otf"), QStringLiteral("*.ttc")};
    }

    static QString defaultFontPath() { return QStringLiteral(":/resources/fonts/tolvk.ttf"); }

private:
    FontRegistry();

    QString m_fontsDir;
    // Application-font ids of the embedded font and of the installed files,
    // so that a reload replaces what the last one registered instead of
    // registering every file once more.
    int m_defaultFontId = -1;
    QList<int> m_fileFontIds;
    QStringList m_families;
    QString m_defaultFamily;
};
