#pragma once

#include "shell/autosaver.h"
#include "shell/backupstore.h"

#include <QMainWindow>

namespace Ui {
class MainWindow;
}
class DocumentTab;
class QTextBrowser;
class UpdateManager;
struct ServiceConfig;

// The program's window: a tab per open document, the search bar of the
// current document, and a start page while no document is open. Almost every
// command acts on the current tab; closing tabs asks about unsaved changes.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens a score file into a new current tab; nothing for an empty path.
    void openDocument(const QString &path);

    // Opens the file named by the first argument after the program name, when
    // it is an existing regular file; anything else is ignored silently.
    void openFromArguments(const QStringList &arguments);

    DocumentTab *currentEdit() const;
    QTabWidget *tabWidget() const;
    QTextBrowser *startPage() const { return m_startPage; }
    UpdateManager *updateManager() const { return m_updateManager; }

    // --- autosave and crash recovery
    Autosaver *autosaver() const { return m_autosaver; }
    // Offers the documents that programs no longer running left unsaved
    // (chooser: the modal recovery dialog when empty); restored ones open in
    // new tabs, modified. Done once by itself after the window is first shown.
    int offerRecovery(const Autosaver::Chooser &chooser = Autosaver::Chooser());

    // --- earlier versions
    // Opens a kept version in a new tab, untitled and modified; a warning
    // and false when it cannot be read.
    bool openBackupVersion(const BackupStore::Version &v);

public slots:
    void newAction();
    void openAction();
    void saveAction();
    void saveAsAction();
    void restoreVersionAction();
    void copyAction();
    void pasteAction();
    void cutAction();
    void settingAction();
    void fontManagerAction();
    void undoAction();
    void redoAction();
    void searchAction();
    void helpAction();
    void aboutAction();
    void exitAction();
    void exportAction();
    void insertTitleAction();
    void insertQuPaiAction();
    void insertLianBaiAction();
    void insertJiaBaiAction();
    void insertCommentAction();
    void insertLineBreakAction();
    void insertPageBreakAction();

    void modifiedChanged(bool isModified);
    bool tabWidgetClose(int index);
    void tabWidgetCurrentChanged(int index);
    void onCanUndoChanged(bool canUndo);
    void onCanRedoChanged(bool canRedo);
    void onSearchNextBtnClicked();
    void onSearchPrevBtnClicked();
    void onSearchCloseBtn();
    void onSearchEditTextChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void addDocument(DocumentTab *edit);
    void loadStartPage();
    void onStartPageReply(bool ok, const QByteArray &body);
    void showStartPageHtml(const QString &html, bool builtIn);
    void onStartPageLink(const QUrl &url);
    // Closes the tabs from the last to the first, stopping at a cancel; true
    // when every tab was closed.
    bool closeAllTabs();

    Ui::MainWindow *ui;
    QTextBrowser *m_startPage;
    ServiceConfig *m_service;
    UpdateManager *m_updateManager;
    bool m_startPageBuiltIn = false;
    Autosaver *m_autosaver;
    bool m_recoveryScheduled = false;
    bool m_recoveryOffered = false;
};
