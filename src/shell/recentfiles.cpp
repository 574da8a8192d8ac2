#include "shell/recentfiles.h"

#include "platform/apppaths.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString group = QStringLiteral("RecentFiles");
const QString filesKey = QStringLiteral("files");

} // namespace

RecentFiles::RecentFiles(const QString &settingsFile)
    : m_settingsFile(settingsFile.isEmpty() ? AppPaths::settingsFile() : settingsFile) {}

QStringList RecentFiles::files() const {
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(group);
    const QStringList stored = settings.value(filesKey).toStringList();
    settings.endGroup();
    // A hand-edited file may hold anything: the list is cleaned on reading.
    QStringList out;
    for (const QString &path : stored) {
        const QString p = normalised(path);
        if (!p.isEmpty() && !out.contains(p) && out.size() < maxCount) {
            out << p;
        }
    }
    return out;
}

void RecentFiles::add(const QString &path) {
    const QString p = normalised(path);
    if (p.isEmpty()) {
        return;
    }
    QStringList list = files();
    list.removeAll(p);
    list.prepend(p);
    store(list.mid(0, maxCount));
}

void RecentFiles::remove(const QString &path) {
    const QString p = normalised(path);
    QStringList list = files();
    if (list.removeAll(p) > 0) {
        store(list);
    }
}

void RecentFiles::clear() {
    store(QStringList());
}

QString RecentFiles::normalised(const QString &path) {
    if (path.trimmed().isEmpty()) {
        return QString();
    }
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath(); // empty when the file is gone
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

void RecentFiles::store(const QStringList &files) const {
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.beginGroup(group);
    if (files.isEmpty()) {
        settings.remove(filesKey);
    } else {
        settings.setValue(filesKey, files);
    }
    settings.endGroup();
}
