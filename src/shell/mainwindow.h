#pragma once

#include "model/backupstore.h"
#include "model/outcome.h"
#include "music/melody.h"
#include "shell/autosaver.h"
#include "shell/recentfiles.h"

#include <QByteArray>
#include <QHash>
#include <QMainWindow>
#include <QPointer>

namespace Ui {
class MainWindow;
}
class BookWindow;
class DocumentTab;
class PlaybackController;
class PreviewDock;
class PreviewLink;
class QAction;
class ImportController;
class LibraryDock;
class ProblemList;
class QTextBrowser;
class QDockWidget;
class QDragEnterEvent;
class QDropEvent;
class QListWidget;
class QLineEdit;
class QSplitter;
class QToolButton;
class UpdateManager;
struct ServiceConfig;
struct UpdateCheck;

// The program's window: a tab per open document, the search bar of the
// current document, and a start page while no document is open. Almost every
// command acts on the current tab; closing tabs asks about unsaved changes.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens a score file into a new current tab; nothing for an empty path.
    // A file open already (the same file by any path) is not opened twice:
    // its tab becomes current.
    void openDocument(const QString &path);
    // Reads a MusicXML or MIDI file into a new untitled tab and shows what the
    // import changed; false when nothing could be read (the user was told).
    bool importMusic(const QString &path);
    // A book editor window for a new book, or for the book file at path;
    // nullptr, after a warning, when the book cannot be read. A book open
    // already is shown, not opened twice.
    BookWindow *newBook();
    BookWindow *openBook(const QString &path);
    // The tab of a file, or nullptr.
    DocumentTab *documentOf(const QString &path) const;
    // The files of the open documents (those that have one).
    QStringList openFiles() const;

    // Opens a file of the 最近打开 menu. A file that is gone is taken out of
    // the list, with a message.
    void openRecent(const QString &path);
    const RecentFiles &recentFiles() const { return m_recentFiles; }

    // Opens the files named by the arguments after the program name, each
    // existing regular file in a tab (a ".gcpbook" in the book editor);
    // anything else is ignored silently.
    void openFromArguments(const QStringList &arguments);
    // Opens each score file in a tab and each book (.gcpbook) in the book
    // editor; arguments that are no files are passed over.
    void openFiles(const QStringList &files);

    DocumentTab *currentEdit() const;
    QTabWidget *tabWidget() const;
    QTextBrowser *startPage() const { return m_startPage; }
    UpdateManager *updateManager() const { return m_updateManager; }
    // The 播放 menu and tool bar, and the player behind them.
    PlaybackController *playback() const { return m_playback; }
    // The live preview beside the editors, with the export settings.
    PreviewDock *previewDock() const { return m_previewDock; }
    // The 曲库 dock: the user's folders of scores, searched.
    LibraryDock *libraryDock() const { return m_libraryDock; }

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
    void importAction();
    void newBookAction();
    void openBookAction();
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
    // The find bar with its replacement field.
    void replaceAction();
    void helpAction();
    void aboutAction();
    void exitAction();
    void exportAction();
    void printAction();
    void printPreviewAction();
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
    // Tells what the update check found; a demanded update closes the window
    // the normal way.
    void updateChecked(const UpdateCheck &found);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Score files dropped on the window open as 打开 opens them.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // The menus' and buttons' actions, tied to what they do.
    void connectFileActions();
    void connectEditActions();
    void connectInsertActions();
    void connectHelpActions();
    // Runs command on the current document, if there is one.
    void withCurrent(void (DocumentTab::*command)());
    // The action runs command on the current document.
    void forwardToCurrent(QAction *action, void (DocumentTab::*command)());
    // The find bar's buttons and keys.
    void setUpSearchBar();
    // The status bar's button that opens the folder of the last export.
    void setUpExportedButton();
    // The window's size, tool bars, docks and splitters as they were left.
    void restoreWindowState();
    void addDocument(DocumentTab *edit);
    // "file.gcp[*] — Qorvel工尺谱" for the current document.
    void updateWindowTitle();
    // A message in the status bar, where success is said.
    void showStatus(const QString &message);
    // After an export: its path, and a button that opens its folder.
    void showExported(const QString &path);
    void find(bool backward);
    // Replaces the current match, or with all every match, of the find bar.
    void replace(bool all);
    void setUpReplace();
    // 视图: the tool bars and every dock of the window, to show or hide.
    void setUpViewMenu();
    // The dock listing the current document's 板眼 problems; hidden while empty.
    void setUpProblemList();
    void showProblems();
    // The preview pane: a dock right of the editors, and what it previews.
    void setUpPreview();
    // The 曲库 dock, hidden at first; a hit opens its file at the match.
    void setUpLibrary();
    // Ties the current document to the preview while the preview shows.
    void linkPreview();
    void loadStartPage();
    void onStartPageReply(bool ok, const QByteArray &body);
    void showStartPageHtml(const QString &html, bool builtIn);
    void onStartPageLink(const QUrl &url);
    // --- recent files and the window's looks
    void rememberRecent(const QString &path);
    void updateRecentMenu();
    // The window's own splitters, not those of the document tabs.
    QList<QSplitter *> windowSplitters() const;
    // Stores size, position, tool bars and splitters for the next start.
    void saveWindowState();
    // After a print: failure in a message box, success in the status bar.
    void showPrinted(const Outcome &outcome);

    // Closes the tabs from the last to the first, stopping at a cancel; true
    // when every tab was closed.
    bool closeAllTabs();

    Ui::MainWindow *ui;
    QTextBrowser *m_startPage;
    QToolButton *m_openFolderBtn = nullptr; // in the status bar after an export
    QString m_exportedFolder;
    ProblemList *m_problemDock = nullptr;
    ImportController *m_import = nullptr;
    ServiceConfig *m_service;
    UpdateManager *m_updateManager;
    bool m_startPageBuiltIn = false;
    Autosaver *m_autosaver;
    PlaybackController *m_playback = nullptr;
    PreviewDock *m_previewDock = nullptr;
    LibraryDock *m_libraryDock = nullptr;
    QPointer<PreviewLink> m_previewLink; // the current document to its preview
    bool m_recoveryScheduled = false;
    bool m_recoveryOffered = false;
    RecentFiles m_recentFiles;
    // The last sizes of the document tabs' splitters, by name: new tabs take them.
    QHash<QString, QByteArray> m_tabSplitters;
    QLineEdit *m_replaceEdit = nullptr;
    QList<QWidget *> m_replaceWidgets; // shown by 替换, hidden by 搜索
    bool m_shown = false;
};
