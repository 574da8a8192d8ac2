#pragma once

#include "model/recoverystore.h"

#include <QHash>
#include <QObject>
#include <functional>

class DocumentTab;
class QTimer;
class QWidget;

// Keeps a recovery file for every modified document tab of the window.
//
// A change to a modified tab starts the tab's single-shot timer unless one is
// pending; when it fires, the tab's file path and both texts are written to
// its recovery file (RecoveryStore). So no change waits longer than the
// interval, 60 seconds by default (QORVEL_AUTOSAVE_INTERVAL_MS overrides it).
// A save that clears the modified flag removes the file, and so does forget()
// when the window closes the tab. The writes run on the GUI thread, from the
// timers, between events.
class Autosaver : public QObject {
    Q_OBJECT

public:
    static constexpr int defaultInterval = 60000;

    // Decides, for every offered entry in order, what to do with it.
    using Chooser = std::function<QList<RecoveryStore::Choice>(
        QWidget *parent, const QList<RecoveryStore::Entry> &entries)>;

    // dir: the recovery folder; empty means the default in the cache directory.
    explicit Autosaver(QObject *parent = nullptr, const QString &dir = QString());
    ~Autosaver() override;

    // Milliseconds from a change to its write.
    int interval() const { return m_interval; }
    void setInterval(int ms);

    // Starts keeping a recovery file for edit while it is modified.
    void watch(DocumentTab *edit);
    // The tab is being closed with its changes saved or discarded: stops
    // watching it and removes its recovery file.
    void forget(DocumentTab *edit);
    // Writes edit's recovery file now (when modified); false when it fails.
    bool writeNow(DocumentTab *edit);
    // The recovery file of a watched tab (which need not exist).
    QString recoveryFileOf(DocumentTab *edit) const;
    bool isPending(DocumentTab *edit) const;

    // Offers the recovery files of programs no longer running: chooser (the
    // modal recovery dialog when empty) decides; every restored document is
    // put into a new tab by addDocument, modified, with its original path,
    // and its recovery file moves to this program. Returns the number of
    // restored documents.
    int offerRecovery(QWidget *parent, const std::function<void(DocumentTab *)> &addDocument,
                      const Chooser &chooser = Chooser());

    RecoveryStore *store() { return &m_store; }

signals:
    // After each attempted write of a tab's recovery file.
    void written(DocumentTab *edit, bool ok);

private:
    struct Watch {
        int serial = 0;
        QTimer *timer = nullptr;
    };
    void onChange(DocumentTab *edit);
    void onModifiedChanged(DocumentTab *edit, bool modified);
    void stopWatching(DocumentTab *edit, bool destroyed);

    RecoveryStore m_store;
    QHash<DocumentTab *, Watch> m_watches;
    int m_nextSerial = 1;
    int m_interval = defaultInterval;
};
