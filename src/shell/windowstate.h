#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

class QMainWindow;
class QSplitter;

// How the main window looked when it was last closed, for the next start:
// its size and position, its tool bars and docks, and the sizes of splitters
// by object name (the window's own ones and, apart, those of the document
// tabs, which new tabs take). Kept in the group "MainWindow" of
// "settings.ini": "geometry", "state", "splitters/<name>" and
// "tabSplitters/<name>".
class WindowState {
public:
    // The state in settingsFile; by default the program's "settings.ini".
    explicit WindowState(const QString &settingsFile = QString());

    // Gives window its stored geometry and tool bar and dock state. On the
    // first start, with nothing stored, the window takes about three
    // quarters of the available screen, centred, and false is returned.
    bool restore(QMainWindow *window) const;
    void save(const QMainWindow *window) const;

    // Splitter sizes by object name, as QSplitter::saveState() gives them;
    // tabs says whether they are the document tabs' or the window's own.
    QHash<QString, QByteArray> splitters(bool tabs) const;
    void saveSplitters(bool tabs, const QHash<QString, QByteArray> &states) const;

    // The states of the named splitters among splitters.
    static QHash<QString, QByteArray> statesOf(const QList<QSplitter *> &splitters);
    // Gives each of splitters the state stored under its name, if any.
    static void applyTo(const QList<QSplitter *> &splitters,
                        const QHash<QString, QByteArray> &states);

    // The first start's geometry within available: three quarters of it in
    // each direction (but not below minimum), centred.
    static QRect firstStartGeometry(const QRect &available, const QSize &minimum = QSize());

    // Bumped when the tool bars change so much that an old state would
    // misplace them.
    static constexpr int stateVersion = 1;

private:
    QString m_settingsFile;
};
