#include "shell/autosaver.h"

#include "dialogs/recoverydialog.h"
#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"

#include <QTimer>

Autosaver::Autosaver(QObject *parent, const QString &dir)
    : QObject(parent)
    , m_store(dir) {
    bool ok = false;
    const int fromEnvironment = qEnvironmentVariableIntValue("QORVEL_AUTOSAVE_INTERVAL_MS", &ok);
    if (ok && fromEnvironment > 0) {
        m_interval = fromEnvironment;
    }
}

// Tabs still watched now were never closed (the window went away with them):
// their files stay, and the next start offers them.
Autosaver::~Autosaver() = default;

void Autosaver::setInterval(int ms) {
    m_interval = qMax(1, ms);
    for (const Watch &w : qAsConst(m_watches)) {
        w.timer->setInterval(m_interval);
    }
}

void Autosaver::watch(DocumentTab *edit) {
    if (!edit || m_watches.contains(edit)) {
        return;
    }
    Watch w;
    w.serial = m_nextSerial++;
    w.timer = new QTimer(this);
    w.timer->setSingleShot(true);
    w.timer->setInterval(m_interval);
    connect(w.timer, &QTimer::timeout, this, [this, edit] { writeNow(edit); });
    m_watches.insert(edit, w);

    connect(edit->lyricEditor(), &QPlainTextEdit::textChanged, this,
            [this, edit] { onChange(edit); });
    connect(edit->scoreEditor(), &QPlainTextEdit::textChanged, this,
            [this, edit] { onChange(edit); });
    connect(edit, &DocumentTab::modifiedChanged, this,
            [this, edit](bool modified) { onModifiedChanged(edit, modified); });
    // A tab destroyed without forget() (the window closing with it) keeps its
    // file.
    connect(edit, &QObject::destroyed, this, [this, edit] { stopWatching(edit, true); });
    if (edit->isModified()) {
        onChange(edit);
    }
}

void Autosaver::stopWatching(DocumentTab *edit, bool destroyed) {
    auto it = m_watches.find(edit);
    if (it == m_watches.end()) {
        return;
    }
    delete it->timer;
    m_watches.erase(it);
    if (!destroyed) {
        disconnect(edit, nullptr, this, nullptr);
        disconnect(edit->lyricEditor(), nullptr, this, nullptr);
        disconnect(edit->scoreEditor(), nullptr, this, nullptr);
    }
}

void Autosaver::forget(DocumentTab *edit) {
    auto it = m_watches.find(edit);
    if (it == m_watches.end()) {
        return;
    }
    const int serial = it->serial;
    stopWatching(edit, false);
    m_store.remove(serial);
}

void Autosaver::onChange(DocumentTab *edit) {
    auto it = m_watches.find(edit);
    if (it != m_watches.end() && !it->timer->isActive()) {
        it->timer->start();
    }
}

void Autosaver::onModifiedChanged(DocumentTab *edit, bool modified) {
    auto it = m_watches.find(edit);
    if (it == m_watches.end() || modified) {
        return;
    }
    // Saved (or opened): the file holds it all now.
    it->timer->stop();
    m_store.remove(it->serial);
}

bool Autosaver::writeNow(DocumentTab *edit) {
    auto it = m_watches.constFind(edit);
    if (it == m_watches.cend() || !edit->isModified()) {
        return false;
    }
    it->timer->stop();
    const bool ok = m_store.write(it->serial, edit->filePath(), edit->lyricEditor()->toPlainText(),
                                  edit->scoreEditor()->toPlainText());
    emit written(edit, ok);
    return ok;
}

QString Autosaver::recoveryFileOf(DocumentTab *edit) const {
    auto it = m_watches.constFind(edit);
    return it == m_watches.cend() ? QString() : m_store.fileFor(it->serial);
}

bool Autosaver::isPending(DocumentTab *edit) const {
    auto it = m_watches.constFind(edit);
    return it != m_watches.cend() && it->timer->isActive();
}

int Autosaver::offerRecovery(QWidget *parent, const std::function<void(DocumentTab *)> &addDocument,
                             const Chooser &chooser) {
    const QList<RecoveryStore::Entry> entries = m_store.adoptOrphans();
    if (entries.isEmpty()) {
        m_store.releaseAdopted();
        return 0;
    }
    const QList<RecoveryStore::Choice> choices =
        chooser ? chooser(parent, entries) : RecoveryDialog::choose(parent, entries);
    int restored = 0;
    for (int i = 0; i < entries.size() && i < choices.size(); ++i) {
        const RecoveryStore::Entry &e = entries.at(i);
        if (choices.at(i) == RecoveryStore::Choice::Discard) {
            m_store.discard(e.recoveryFile);
        } else if (choices.at(i) == RecoveryStore::Choice::Restore && !e.damaged) {
            auto *edit = new DocumentTab;
            edit->restore(e.lyric, e.score, e.filePath);
            addDocument(edit);
            watch(edit);
            // The old file goes only once this program holds the texts in a
            // file of its own.
            if (writeNow(edit)) {
                m_store.discard(e.recoveryFile);
            }
            ++restored;
        }
    }
    m_store.releaseAdopted();
    return restored;
}
