#pragma once

#include "model/recoverystore.h"

#include <QDialog>
#include <functional>

class QComboBox;
class QPushButton;
class QTreeWidget;

// The modal "恢复文档" dialog: the documents that a program which did not end
// normally left unsaved, each with its name, original path and the time of
// its last recovery write, and for each a choice: restore it into a new tab,
// discard it, or keep it for the next start. A damaged file can only be
// discarded or kept.
//
// Usable without an event loop: construct it, change the choices with
// setChoice() or the buttons, and read choices(). choose() runs it modally,
// or asks the responder installed for tests.
class RecoveryDialog : public QDialog {
    Q_OBJECT

public:
    using Choice = RecoveryStore::Choice;
    using Responder = std::function<QList<Choice>(const QList<RecoveryStore::Entry> &entries)>;

    explicit RecoveryDialog(const QList<RecoveryStore::Entry> &entries, QWidget *parent = nullptr);

    int count() const { return m_entries.size(); }
    Choice choice(int row) const;
    void setChoice(int row, Choice choice);
    // One choice per entry, in order.
    QList<Choice> choices() const;

    QTreeWidget *list() const { return m_list; }

    // The choices of the user (every entry kept when the dialog is cancelled),
    // or of the responder when one is installed.
    static QList<Choice> choose(QWidget *parent, const QList<RecoveryStore::Entry> &entries);
    // Installs a responder for choose(); an empty function restores the dialog.
    static void setResponder(Responder responder);

    // The texts shown for an entry.
    static QString nameOf(const RecoveryStore::Entry &entry);
    static QString pathOf(const RecoveryStore::Entry &entry);
    static QString timeOf(const RecoveryStore::Entry &entry);

public slots:
    void onRestoreAllBtnClicked();
    void onDiscardAllBtnClicked();
    void onSubmitBtnClicked();
    void onCancelBtnClicked();

private:
    QComboBox *comboAt(int row) const;

    QList<RecoveryStore::Entry> m_entries;
    QTreeWidget *m_list;
};
