#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

// Watches the file of a document for changes made by anyone else: another
// program, another instance, a synchronised folder. It knows what the file
// held when the document last read or wrote it, so the document's own saves
// never count as changes, and a change that brings the same bytes back is no
// change either. It looks again whenever the program becomes active, and it
// can hold its news back while the document is hidden.
class FileWatch : public QObject {
    Q_OBJECT

public:
    enum class State { Unchanged, Changed, Deleted };

    explicit FileWatch(QObject *parent = nullptr);

    // From now on path is watched, and contents is what it holds.
    void track(const QString &path, const QByteArray &contents);
    // Watches nothing.
    void clear();
    QString path() const { return m_path; }

    // What the file on disk is now, measured against what is known of it.
    State check() const;
    // What the file holds now counts as known: the document has seen the
    // change (and chose not to reload it).
    void acknowledge();
    // Whether the file changed since the document last read or wrote it: a
    // change acknowledged and not read, or one that has not been told yet.
    bool changedSinceRead() const;

    // Changes found while widget is hidden are told once it shows.
    void holdWhileHidden(QWidget *widget);

signals:
    // The file may have changed on disk; check() tells. Several notifications
    // in a row come as one.
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onWatcherNotified();
    void onApplicationStateChanged(Qt::ApplicationState state);
    void rewatch();
    // Emits changed(), or keeps it for when the held widget shows.
    void tell();

    QFileSystemWatcher m_watcher;
    QString m_path;
    bool m_known = false; // whether the file existed when last seen
    qint64 m_size = -1;
    QDateTime m_modified;
    QByteArray m_hash;
    bool m_notifyPending = false;
    bool m_acknowledgedChange = false; // seen, and the document kept its text
    QPointer<QWidget> m_heldBy;
    bool m_held = false; // a change waits for m_heldBy to show
};
