#include "fonts/fontregistry.h"

#include "platform/apppaths.h"

#include <QDir>
#include <QFontDatabase>

FontRegistry *FontRegistry::instance() {
    static FontRegistry registry;
    return &registry;
}

FontRegistry::FontRegistry()
    : m_fontsDir(QDir(AppPaths::dataPath(QStringLiteral("fonts"))).absolutePath()) {
    reload();
}

void FontRegistry::reload() {
    m_families.clear();
    m_defaultFamily.clear();

    // The embedded font never changes: it is registered once. The installed
    // files may have changed since the last reload; their old registrations go.
    if (m_defaultFontId < 0) {
        m_defaultFontId = QFontDatabase::addApplicationFont(defaultFontPath());
    }
    for (int fileId : qAsConst(m_fileFontIds)) {
        QFontDatabase::removeApplicationFont(fileId);
    }
    m_fileFontIds.clear();

    const int id = m_defaultFontId;
    if (id >= 0) {
        const QStringList embedded = QFontDatabase::applicationFontFamilies(id);
        if (!embedded.isEmpty()) {
            m_defaultFamily = embedded.first();
            m_families.append(m_defaultFamily);
        }
    }

    QDir dir(m_fontsDir);
    if (!dir.exists()) {
        QDir().mkpath(m_fontsDir);
        return;
    }
    dir.setNameFilters(fontFilePatterns());
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Unsorted | QDir::IgnoreCase);
    const QStringList files = dir.entryList();
    for (const QString &name : files) {
        const int fileId = QFontDatabase::addApplicationFont(dir.filePath(name));
        if (fileId < 0) {
            continue;
        }
        m_fileFontIds.append(fileId);
        for (const QString &family : QFontDatabase::applicationFontFamilies(fileId)) {
            if (!m_families.contains(family)) {
                m_families.append(family);
            }
        }
    }
}
