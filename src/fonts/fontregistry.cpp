#include "fonts/fontregistry.h"

#include "shell/apppaths.h"

#include <QDir>
#include <QFontDatabase>

FontRegistry *FontRegistry::instance()
{
    static FontRegistry registry;
    return &registry;
}

FontRegistry::FontRegistry()
    : m_fontsDir(QDir(AppPaths::dataPath(QStringLiteral("fonts"))).absolutePath())
{
    reload();
}

void FontRegistry::reload()
{
    m_families.clear();
    m_defaultFamily.clear();

    const int id = QFontDatabase::addApplicationFont(defaultFontPath());
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
    dir.setNameFilters({QStringLiteral("*.ttf")});
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Unsorted | QDir::IgnoreCase);
    const QStringList files = dir.entryList();
    for (const QString &name : files) {
        const int fileId = QFontDatabase::addApplicationFont(dir.filePath(name));
        if (fileId < 0) {
            continue;
        }
        for (const QString &family : QFontDatabase::applicationFontFamilies(fileId)) {
            if (!m_families.contains(family)) {
                m_families.append(family);
            }
        }
    }
}
