#pragma once

#include "model/backupstore.h"

#include <QDialog>
#include <functional>

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// The modal "恢复早期版本" dialog: the kept versions of score files, newest
// first, each with its file name, the time it was kept and its size, and the
// original's full path as its tooltip. The chosen version is opened by the
// window; the dialog only picks it.
//
// Usable without an event loop: construct it, select a row, and read
// selectedVersion(). choose() runs it modally, or asks the responder
// installed for tests.
class BackupDialog : public QDialog {
    Q_OBJECT

public:
    using Version = BackupStore::Version;
    // The row the user would pick, or -1 to cancel.
    using Responder = std::function<int(const QList<Version> &versions)>;

    explicit BackupDialog(const QList<Version> &versions, QWidget *parent = nullptr);

    int count() const { return m_versions.size(); }
    QTreeWidget *list() const { return m_list; }
    QPushButton *openButton() const { return m_open; }

    // The row of the selected version, -1 for none.
    int selectedRow() const;
    void setSelectedRow(int row);
    // The selected version; one with an empty path when none is.
    Version selectedVersion() const;

    // The version the user opens, or the responder's; false when cancelled.
    static bool choose(QWidget *parent, const QList<Version> &versions, Version *chosen);
    // Installs a responder for choose(); an empty function restores the dialog.
    static void setResponder(Responder responder);

    // The texts shown for a version.
    static QString timeOf(const Version &version);
    static QString sizeOf(qint64 bytes);

public slots:
    void onOpenBtnClicked();
    void onCancelBtnClicked();

private:
    void onItemDoubleClicked(QTreeWidgetItem *item);
    void updateOpenButton();

    QList<Version> m_versions;
    QTreeWidget *m_list;
    QPushButton *m_open;
};
