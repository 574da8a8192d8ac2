#pragma once

#include <QString>
#include <QStringList>

// The files last opened or saved, most recent first, for the 最近打开 menu.
// Kept in the group "RecentFiles" of "settings.ini" (key "files") and read
// from there at every call, so that the list outlasts the program and two
// running windows add to the same list. Paths are kept normalised (absolute,
// cleaned, links resolved where the file exists), each at most once, and no
// more than maxCount of them.
class RecentFiles {
public:
    static constexpr int maxCount = 10;

    // The list in settingsFile; by default the program's "settings.ini".
    explicit RecentFiles(const QString &settingsFile = QString());

    // The stored paths, most recent first.
    QStringList files() const;
    // Puts path at the top: it moves there when it is in the list already,
    // and the oldest path drops out beyond maxCount. Nothing for an empty path.
    void add(const QString &path);
    // Takes path out of the list.
    void remove(const QString &path);
    void clear();

    // path as the list keeps it.
    static QString normalised(const QString &path);

private:
    void store(const QStringList &files) const;

    QString m_settingsFile;
};
