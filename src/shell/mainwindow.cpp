#include "shell/mainwindow.h"

#include "appearance/problemmarks.h"
#include "appearance/settings.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/backupdialog.h"
#include "dialogs/helpdialog.h"
#include "dialogs/prompt.h"
#include "editor/documenttab.h"
#include "editor/importreportdock.h"
#include "editor/inputmethod.h"
#include "editor/lyricedit.h"
#include "editor/problemlist.h"
#include "editor/scoreedit.h"
#include "export/exportconfig.h"
#include "export/previewdock.h"
#include "export/previewpane.h"
#include "export/printdialogs.h"
#include "fontwidgets/fontmanager.h"
#include "import/musicimport.h"
#include "model/backupstore.h"
#include "online/boundedreply.h"
#include "online/updatecheck.h"
#include "online/updatemanager.h"
#include "platform/serviceconfig.h"
#include "shell/bookwindow.h"
#include "shell/importcontroller.h"
#include "shell/librarydock.h"
#include "shell/playbackcontroller.h"
#include "shell/previewlink.h"
#include "shell/updatenotice.h"
#include "shell/windowstate.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSplitter>
#include <QStatusBar>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

namespace {

constexpr qint64 startPageLimit = 1024 * 1024;

QString builtInWelcomePage() {
    QFile file(QStringLiteral(":/resources/welcome.html"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , m_startPage(new QTextBrowser)
    , m_service(ServiceConfig::instance())
    , m_updateManager(new UpdateManager(this))
    , m_autosaver(new Autosaver(this)) {
    ui->setupUi(this);
    setAcceptDrops(true);
    m_startPage->setObjectName(QStringLiteral("startPage"));
    m_startPage->setOpenLinks(false);
    ui->centralwidget->layout()->addWidget(m_startPage);

    connectFileActions();
    connectEditActions();
    connectInsertActions();
    connectHelpActions();
    setUpSearchBar();
    setUpExportedButton();

    setUpProblemList();
    m_import = new ImportController(this, [this](DocumentTab *edit) { addDocument(edit); });
    setUpPreview();
    setUpLibrary();
    m_playback = new PlaybackController(this, [this] { return currentEdit(); });
    setUpViewMenu();
    setUpReplace();
    m_playback->setPreview(m_previewDock->pane());
    loadStartPage();
    updateRecentMenu();

    restoreWindowState();
    m_problemDock->hide(); // its place is kept; it shows when there are problems

    tabWidgetCurrentChanged(-1);
    ui->searchBox->hide();

    // A forced update closes the program the normal way: unsaved documents
    // are offered for saving, and a cancel keeps the program open.
    connect(m_updateManager, &UpdateManager::checked, this, &MainWindow::updateChecked);
    m_updateManager->check();
}

MainWindow::~MainWindow() {
    saveWindowState();
    // The docks hide as the window goes, after the tabs they would ask about.
    disconnect(m_previewDock, nullptr, this, nullptr);
    delete ui;
}

// --- actions --------------------------------------------------------------------

void MainWindow::withCurrent(void (DocumentTab::*command)()) {
    if (DocumentTab *edit = currentEdit()) {
        (edit->*command)();
    }
}

void MainWindow::forwardToCurrent(QAction *action, void (DocumentTab::*command)()) {
    connect(action, &QAction::triggered, this, [this, command] { withCurrent(command); });
}

void MainWindow::connectFileActions() {
    connect(ui->newAction, &QAction::triggered, this, &MainWindow::newAction);
    connect(ui->openAction, &QAction::triggered, this, &MainWindow::openAction);
    connect(ui->newBookAction, &QAction::triggered, this, &MainWindow::newBookAction);
    connect(ui->openBookAction, &QAction::triggered, this, &MainWindow::openBookAction);
    connect(ui->importAction, &QAction::triggered, this, &MainWindow::importAction);
    connect(ui->saveAction, &QAction::triggered, this, &MainWindow::saveAction);
    connect(ui->saveAsAction, &QAction::triggered, this, &MainWindow::saveAsAction);
    connect(ui->actionRestoreVersion, &QAction::triggered, this, &MainWindow::restoreVersionAction);
    connect(ui->exitAction, &QAction::triggered, this, &MainWindow::exitAction);
    connect(ui->closeTabAction, &QAction::triggered, this, [this] {
        if (ui->tabWidget->currentIndex() >= 0) {
            tabWidgetClose(ui->tabWidget->currentIndex());
        }
    });
    connect(ui->exportAction, &QAction::triggered, this, &MainWindow::exportAction);
    connect(ui->printAction, &QAction::triggered, this, &MainWindow::printAction);
    connect(ui->printPreviewAction, &QAction::triggered, this, &MainWindow::printPreviewAction);
    ui->printAction->setIcon(QIcon::fromTheme(QStringLiteral("document-print")));
    ui->printPreviewAction->setIcon(QIcon::fromTheme(QStringLiteral("document-print-preview")));
    connect(ui->clearRecentAction, &QAction::triggered, this, [this] {
        m_recentFiles.clear();
        updateRecentMenu();
    });
    // Another running window may have added to the list meanwhile.
    connect(ui->recentMenu, &QMenu::aboutToShow, this, &MainWindow::updateRecentMenu);
    connect(ui->tabWidget, &QTabWidget::tabCloseRequested, this, &MainWindow::tabWidgetClose);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &MainWindow::tabWidgetCurrentChanged);
}

void MainWindow::connectEditActions() {
    connect(ui->copyAction, &QAction::triggered, this, &MainWindow::copyAction);
    connect(ui->pasteAction, &QAction::triggered, this, &MainWindow::pasteAction);
    connect(ui->cutAction, &QAction::triggered, this, &MainWindow::cutAction);
    connect(ui->undoAction, &QAction::triggered, this, &MainWindow::undoAction);
    connect(ui->redoAction, &QAction::triggered, this, &MainWindow::redoAction);
    connect(ui->searchAction, &QAction::triggered, this, &MainWindow::searchAction);
    connect(ui->replaceAction, &QAction::triggered, this, &MainWindow::replaceAction);
    forwardToCurrent(ui->selectAllAction, &DocumentTab::selectAll);
    forwardToCurrent(ui->switchPaneAction, &DocumentTab::switchPane);
}

void MainWindow::connectInsertActions() {
    connect(ui->insertTitleAction, &QAction::triggered, this, &MainWindow::insertTitleAction);
    connect(ui->insertQupaiAction, &QAction::triggered, this, &MainWindow::insertQuPaiAction);
    connect(ui->insertLianbaiAction, &QAction::triggered, this, &MainWindow::insertLianBaiAction);
    connect(ui->insertJiabaiAction, &QAction::triggered, this, &MainWindow::insertJiaBaiAction);
    connect(ui->insertCommentAction, &QAction::triggered, this, &MainWindow::insertCommentAction);
    forwardToCurrent(ui->insertAnnotationAction, &DocumentTab::insertAnnotation);
    connect(ui->lineBreakAction, &QAction::triggered, this, &MainWindow::insertLineBreakAction);
    connect(ui->pageBreakAction, &QAction::triggered, this, &MainWindow::insertPageBreakAction);
}

void MainWindow::connectHelpActions() {
    connect(ui->settingAction, &QAction::triggered, this, &MainWindow::settingAction);
    connect(ui->fontManagerAction, &QAction::triggered, this, &MainWindow::fontManagerAction);
    connect(ui->helpAction, &QAction::triggered, this, &MainWindow::helpAction);
    connect(ui->aboutAction, &QAction::triggered, this, &MainWindow::aboutAction);
    connect(m_startPage, &QTextBrowser::anchorClicked, this, &MainWindow::onStartPageLink);
}

void MainWindow::setUpExportedButton() {
    m_openFolderBtn = new QToolButton(this);
    m_openFolderBtn->setObjectName(QStringLiteral("openFolderBtn"));
    m_openFolderBtn->setText(QStringLiteral("打开所在文件夹"));
    m_openFolderBtn->setAutoRaise(true);
    m_openFolderBtn->hide();
    ui->statusbar->addPermanentWidget(m_openFolderBtn);
    connect(m_openFolderBtn, &QToolButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_exportedFolder)); });
    connect(ui->statusbar, &QStatusBar::messageChanged, this, [this](const QString &message) {
        if (message.isEmpty()) {
            m_openFolderBtn->hide();
        }
    });
}

void MainWindow::restoreWindowState() {
    // As the window was left, or about three quarters of the screen at the
    // first start. Every tool bar exists by now.
    const WindowState state;
    if (!state.restore(this)) {
        // The preview takes about a third of the first start's width, and
        // the 板眼 check and the import report a few lines when they first
        // show, even on a small or strongly scaled screen.
        resizeDocks({m_previewDock}, {width() / 3}, Qt::Horizontal);
        for (QDockWidget *dock : {static_cast<QDockWidget *>(m_problemDock),
                                  static_cast<QDockWidget *>(m_import->dock())}) {
            auto *once = new QObject(this);
            connect(dock, &QDockWidget::visibilityChanged, once, [this, once, dock](bool shown) {
                if (shown) {
                    resizeDocks({dock}, {fontMetrics().height() * 7}, Qt::Vertical);
                    once->deleteLater();
                }
            });
        }
    }
    WindowState::applyTo(windowSplitters(), state.splitters(false));
    m_tabSplitters = state.splitters(true);
    WindowState::applyTo(windowSplitters(), state.splitters(false));
    m_tabSplitters = state.splitters(true);
}

DocumentTab *MainWindow::currentEdit() const {
    return qobject_cast<DocumentTab *>(ui->tabWidget->currentWidget());
}

QTabWidget *MainWindow::tabWidget() const {
    return ui->tabWidget;
}

// --- start page ---------------------------------------------------------------

void MainWindow::loadStartPage() {
    QDir().mkpath(m_service->cacheDir);
    // What the cache holds now: a fetched page is written back only when it
    // differs from this.
    m_service->startPageHtml.clear();
    QFile cache(m_service->startPageCacheFile);
    if (cache.open(QIODevice::ReadOnly | QIODevice::Text)) {
        m_service->startPageHtml = replyText(cache.read(startPageLimit));
        showStartPageHtml(m_service->startPageHtml, false);
    }
    if (m_startPage->toPlainText().isEmpty()) {
        showStartPageHtml(builtInWelcomePage(), true);
    }

    auto *network = new QNetworkAccessManager(this);
    QNetworkRequest request(QUrl(m_service->apiBaseUrl + m_service->startPagePath));
    auto *reply = new BoundedReply(network->get(request), startPageLimit, this);
    connect(
        reply, &BoundedReply::done, this,
        [this](bool ok, const QString &, const QByteArray &body) { onStartPageReply(ok, body); });
}

void MainWindow::onStartPageReply(bool ok, const QByteArray &body) {
    if (!ok) {
        return;
    }
    const QString page = replyText(body);
    if (m_startPageBuiltIn || m_startPage->toPlainText().isEmpty()) {
        if (!page.isEmpty()) {
            showStartPageHtml(page, false);
        }
    }
    if (!page.isEmpty() && page != m_service->startPageHtml) {
        QFile cache(m_service->startPageCacheFile);
        if (cache.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate)) {
            cache.write(page.toUtf8());
        }
    }
}

void MainWindow::showStartPageHtml(const QString &html, bool builtIn) {
    m_startPage->setHtml(html);
    m_startPageBuiltIn = builtIn;
}

void MainWindow::onStartPageLink(const QUrl &url) {
    if (url.scheme() == QLatin1String("qorvel") && url.path() == QLatin1String("help")) {
        helpAction();
    } else if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
        QDesktopServices::openUrl(url);
    }
}

// --- documents ----------------------------------------------------------------

void MainWindow::addDocument(DocumentTab *edit) {
    const int index = ui->tabWidget->addTab(edit, edit->tabTitle(true));
    ui->tabWidget->setCurrentIndex(index);
    edit->setOpenElsewhere([this, edit](const QString &path) {
        DocumentTab *other = documentOf(path);
        return other && other != edit;
    });
    m_autosaver->watch(edit);
    connect(edit, &DocumentTab::modifiedChanged, this, &MainWindow::modifiedChanged);
    connect(edit, &DocumentTab::canUndoChanged, this, &MainWindow::onCanUndoChanged);
    connect(edit, &DocumentTab::canRedoChanged, this, &MainWindow::onCanRedoChanged);
    connect(edit, &DocumentTab::problemsChanged, this, [this, edit] {
        if (edit == currentEdit()) {
            showProblems();
        }
    });
    connect(edit, &DocumentTab::saved, this, [this, edit](const QString &path, bool copy) {
        rememberRecent(path);
        showStatus((copy ? QStringLiteral("已另存为 %1") : QStringLiteral("已保存 %1"))
                       .arg(QDir::toNativeSeparators(path)));
        if (edit == currentEdit()) {
            updateWindowTitle();
        }
        const int index = ui->tabWidget->indexOf(edit);
        if (index >= 0) {
            ui->tabWidget->setTabText(index, edit->tabTitle(true));
        }
    });
    // The panes divided as they were last divided.
    const QList<QSplitter *> splitters = edit->findChildren<QSplitter *>();
    WindowState::applyTo(splitters, m_tabSplitters);
    for (QSplitter *splitter : splitters) {
        connect(splitter, &QSplitter::splitterMoved, this, [this, splitter] {
            if (!splitter->objectName().isEmpty()) {
                m_tabSplitters.insert(splitter->objectName(), splitter->saveState());
            }
        });
    }
    edit->lyricEditor()->setFocus();
    updateWindowTitle();
}

void MainWindow::setUpProblemList() {
    m_problemDock = new ProblemList(this);
    addDockWidget(Qt::BottomDockWidgetArea, m_problemDock);
    m_problemDock->hide();
    connect(m_problemDock, &ProblemList::goTo, this, [this](const music::Place &place) {
        if (DocumentTab *edit = currentEdit()) {
            edit->goTo(place);
        }
    });
    connect(m_problemDock, &ProblemList::insertLine, this, [this](int line, const QString &text) {
        if (DocumentTab *edit = currentEdit()) {
            edit->insertSettingsLine(line, text);
        }
    });
}

void MainWindow::showProblems() {
    DocumentTab *edit = currentEdit();
    const QVector<music::Problem> problems = edit ? edit->problems() : QVector<music::Problem>();
    if (problems == m_problemDock->problems()) {
        return;
    }
    QStringList where;
    for (const music::Problem &p : problems) {
        if (p.place.pane == music::Place::Pane::Score) {
            const QString character = edit->lyricEditor()->sungCharAt(p.place.line + 1);
            where.append(QStringLiteral("第%1字「%2」").arg(p.place.line + 1).arg(character));
        } else {
            where.append(QStringLiteral("第%1行").arg(p.place.line + 1));
        }
    }
    m_problemDock->setProblems(problems, where);
}

void MainWindow::updateWindowTitle() {
    DocumentTab *edit = currentEdit();
    if (!edit) {
        setWindowTitle(QStringLiteral("Qorvel工尺谱"));
        setWindowModified(false);
        return;
    }
    setWindowTitle(
        QStringLiteral("%1[*] — Qorvel工尺谱").arg(QFileInfo(edit->filePath()).fileName()));
    setWindowModified(edit->isModified());
}

void MainWindow::showStatus(const QString &message) {
    m_openFolderBtn->hide();
    ui->statusbar->showMessage(message);
}

void MainWindow::showExported(const QString &path) {
    showStatus(QStringLiteral("已导出 %1").arg(QDir::toNativeSeparators(path)));
    const QFileInfo info(path);
    m_exportedFolder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    m_openFolderBtn->show();
}

void MainWindow::newAction() {
    addDocument(new DocumentTab);
}

void MainWindow::openAction() {
    openDocument(Prompt::openFileName(this, QStringLiteral("打开文件"), QString(),
                                      QStringLiteral("工尺谱文件 (*.gcp)")));
}

void MainWindow::importAction() {
    m_import->chooseAndImport();
}

void MainWindow::newBookAction() {
    newBook();
}

void MainWindow::openBookAction() {
    const QString path = Prompt::openFileName(this, QStringLiteral("打开曲谱集"), QString(),
                                              QStringLiteral("曲谱集 (*.gcpbook)"));
    if (!path.isEmpty()) {
        openBook(path);
    }
}

BookWindow *MainWindow::newBook() {
    auto *window = new BookWindow(this);
    window->show();
    return window;
}

BookWindow *MainWindow::openBook(const QString &path) {
    const QString file = QFileInfo(path).absoluteFilePath();
    for (BookWindow *open : findChildren<BookWindow *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (open->book().path() == file) {
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto *window = new BookWindow(this);
    const Outcome outcome = window->open(file);
    if (!outcome) {
        delete window;
        Prompt::warning(this, outcome.title(), outcome.message());
        return nullptr;
    }
    window->show();
    return window;
}

bool MainWindow::importMusic(const QString &path) {
    return m_import->importFile(path);
}

void MainWindow::openDocument(const QString &path) {
    if (path.isEmpty()) {
        return;
    }
    // One tab per file: a file open already is shown, not opened again.
    if (DocumentTab *open = documentOf(path)) {
        ui->tabWidget->setCurrentWidget(open);
        rememberRecent(path);
        return;
    }
    auto *edit = new DocumentTab;
    if (!edit->open(path)) {
        delete edit;
        return;
    }
    addDocument(edit);
    rememberRecent(path);
}

DocumentTab *MainWindow::documentOf(const QString &path) const {
    const QString identity = BackupStore::identityOf(path);
    for (int i = 0; i < ui->tabWidget->count(); ++i) {
        auto *edit = qobject_cast<DocumentTab *>(ui->tabWidget->widget(i));
        const QFileInfo file(edit ? edit->filePath() : QString());
        if (edit && file.isAbsolute() && BackupStore::identityOf(file.filePath()) == identity) {
            return edit;
        }
    }
    return nullptr;
}

QStringList MainWindow::openFiles() const {
    QStringList files;
    for (int i = 0; i < ui->tabWidget->count(); ++i) {
        if (auto *edit = qobject_cast<DocumentTab *>(ui->tabWidget->widget(i))) {
            if (QFileInfo(edit->filePath()).isAbsolute()) {
                files.append(edit->filePath());
            }
        }
    }
    return files;
}

void MainWindow::openRecent(const QString &path) {
    if (!QFileInfo(path).isFile()) {
        m_recentFiles.remove(path);
        updateRecentMenu();
        Prompt::warning(this, QStringLiteral("提示"),
                        QStringLiteral("文件不存在，已从最近打开列表中移除：%1")
                            .arg(QDir::toNativeSeparators(path)));
        return;
    }
    openDocument(path);
}

void MainWindow::openFromArguments(const QStringList &arguments) {
    openFiles(arguments.mid(1));
}

void MainWindow::openFiles(const QStringList &files) {
    // Scores open in tabs of this window, books in the book editor; what is
    // not a file is passed over.
    for (const QString &file : files) {
        const QFileInfo info(file);
        if (!info.isFile()) {
            continue;
        }
        if (info.suffix().compare(QStringLiteral("gcpbook"), Qt::CaseInsensitive) == 0) {
            openBook(file);
        } else {
            openDocument(file);
        }
    }
}

void MainWindow::modifiedChanged(bool) {
    if (DocumentTab *edit = currentEdit()) {
        ui->tabWidget->setTabText(ui->tabWidget->currentIndex(), edit->tabTitle(true));
    }
    updateWindowTitle();
}

void MainWindow::onCanUndoChanged(bool canUndo) {
    ui->undoAction->setEnabled(canUndo);
}

void MainWindow::onCanRedoChanged(bool canRedo) {
    ui->redoAction->setEnabled(canRedo);
}

void MainWindow::tabWidgetCurrentChanged(int index) {
    if (m_playback) {
        m_playback->stop(); // playback belongs to the document it started in
    }
    const QList<QAction *> documentActions = {
        ui->copyAction,         ui->pasteAction,         ui->cutAction,
        ui->searchAction,       ui->exportAction,        ui->printAction,
        ui->printPreviewAction, ui->saveAction,          ui->saveAsAction,
        ui->insertTitleAction,  ui->insertQupaiAction,   ui->insertLianbaiAction,
        ui->insertJiabaiAction, ui->insertCommentAction, ui->insertAnnotationAction,
        ui->lineBreakAction,    ui->pageBreakAction,     ui->selectAllAction,
        ui->replaceAction};
    DocumentTab *edit =
        index < 0 ? nullptr : qobject_cast<DocumentTab *>(ui->tabWidget->widget(index));
    if (m_import) {
        m_import->currentChanged(edit);
    }
    if (!edit) {
        ui->tabWidget->hide();
        m_startPage->show();
        ui->undoAction->setEnabled(false);
        ui->redoAction->setEnabled(false);
        for (QAction *a : documentActions) {
            a->setEnabled(false);
        }
        if (ui->searchBox->isVisible()) {
            ui->searchBox->hide();
        }
        InputMethod::instance()->setEditor(nullptr);
        updateWindowTitle();
        showProblems();
        linkPreview();
        return;
    }
    m_startPage->hide();
    ui->tabWidget->show();
    ui->undoAction->setEnabled(edit->canUndo());
    ui->redoAction->setEnabled(edit->canRedo());
    for (QAction *a : documentActions) {
        a->setEnabled(true);
    }
    InputMethod::instance()->setEditor(edit->scoreEditor());
    updateWindowTitle();
    showProblems();
    linkPreview();
}

bool MainWindow::tabWidgetClose(int index) {
    auto *edit = qobject_cast<DocumentTab *>(ui->tabWidget->widget(index));
    if (!edit) {
        return true;
    }
    if (edit->isModified()) {
        const auto answer = Prompt::question(
            this, QStringLiteral("警告"),
            QStringLiteral("\"%1\"未保存，是否保存？").arg(QFileInfo(edit->filePath()).fileName()),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        if (answer == QMessageBox::Cancel || answer == QMessageBox::NoButton) {
            return false;
        }
        if (answer == QMessageBox::Yes) {
            if (!edit->save(false)) {
                return false;
            }
        }
    }
    ui->tabWidget->removeTab(index);
    // Saved or discarded: its recovery file goes.
    m_autosaver->forget(edit);
    delete edit;
    return true;
}

bool MainWindow::closeAllTabs() {
    for (int i = ui->tabWidget->count() - 1; i >= 0; --i) {
        if (!tabWidgetClose(i)) {
            return false;
        }
    }
    return ui->tabWidget->count() == 0;
}

namespace {

bool isScoreFile(const QString &path) {
    return path.endsWith(QStringLiteral(".gcp"), Qt::CaseInsensitive);
}

// The local files a drag carries, score files and music to import; none when
// it carries anything else.
QStringList droppedScores(const QMimeData *mime) {
    QStringList paths;
    for (const QUrl &url : mime->urls()) {
        const QString path = url.toLocalFile();
        if (!url.isLocalFile() || !(isScoreFile(path) || music::MusicImport::canRead(path))) {
            return {};
        }
        paths.append(path);
    }
    return paths;
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent *event) {
    if (!droppedScores(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent *event) {
    const QStringList paths = droppedScores(event->mimeData());
    for (const QString &path : paths) {
        if (isScoreFile(path)) {
            openDocument(path);
        } else {
            importMusic(path);
        }
    }
    if (!paths.isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::closeEvent(QCloseEvent *event) {
    // The window never closes by itself: the tabs are closed first, and the
    // program quits only when every one of them agreed.
    event->ignore();
    exitAction();
}

void MainWindow::exitAction() {
    // Each book editor asks about its own changes first.
    for (BookWindow *book : findChildren<BookWindow *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!book->close()) {
            return;
        }
    }
    if (closeAllTabs()) {
        saveWindowState();
        QCoreApplication::quit();
    }
}

// --- autosave and crash recovery ----------------------------------------------

void MainWindow::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    m_shown = true;
    if (!m_recoveryScheduled) {
        m_recoveryScheduled = true;
        // Once the window is on the screen, so the dialog stands over it.
        QTimer::singleShot(0, this, [this] {
            if (!m_recoveryOffered) {
                offerRecovery();
            }
        });
    }
}

int MainWindow::offerRecovery(const Autosaver::Chooser &chooser) {
    m_recoveryOffered = true;
    return m_autosaver->offerRecovery(
        this, [this](DocumentTab *edit) { addDocument(edit); }, chooser);
}

// --- earlier versions ---------------------------------------------------------

void MainWindow::restoreVersionAction() {
    const BackupStore store;
    DocumentTab *edit = currentEdit();
    const bool hasFile = edit && QFileInfo(edit->filePath()).isAbsolute();
    const QList<BackupStore::Version> versions =
        hasFile ? store.versionsOf(edit->filePath()) : store.all();
    BackupStore::Version chosen;
    if (BackupDialog::choose(this, versions, &chosen)) {
        openBackupVersion(chosen);
    }
}

bool MainWindow::openBackupVersion(const BackupStore::Version &v) {
    QString lyric;
    QString score;
    Outcome outcome;
    const bool read = BackupStore().read(v, &lyric, &score, &outcome);
    // A partly read file opens too, after its warning.
    if (!outcome.message().isEmpty()) {
        Prompt::warning(this, outcome.title(), outcome.message());
    }
    if (!read) {
        return false;
    }
    auto *edit = new DocumentTab;
    // Untitled, as a new document: saving it never overwrites the original
    // unasked.
    edit->restore(lyric, score, QStringLiteral("未命名"));
    addDocument(edit);
    return true;
}

// --- forwarded actions --------------------------------------------------------

void MainWindow::saveAction() {
    if (DocumentTab *edit = currentEdit()) {
        edit->save(false);
    }
}

void MainWindow::saveAsAction() {
    if (DocumentTab *edit = currentEdit()) {
        edit->save(true);
    }
}

void MainWindow::copyAction() {
    withCurrent(&DocumentTab::copy);
}

void MainWindow::pasteAction() {
    withCurrent(&DocumentTab::paste);
}

void MainWindow::cutAction() {
    withCurrent(&DocumentTab::cut);
}

void MainWindow::undoAction() {
    withCurrent(&DocumentTab::undo);
}

void MainWindow::redoAction() {
    withCurrent(&DocumentTab::redo);
}

void MainWindow::insertTitleAction() {
    withCurrent(&DocumentTab::insertTitle);
}

void MainWindow::insertQuPaiAction() {
    withCurrent(&DocumentTab::insertQuPai);
}

void MainWindow::insertLianBaiAction() {
    withCurrent(&DocumentTab::insertLianBai);
}

void MainWindow::insertJiaBaiAction() {
    withCurrent(&DocumentTab::insertJiaBai);
}

void MainWindow::insertCommentAction() {
    withCurrent(&DocumentTab::insertComment);
}

void MainWindow::insertLineBreakAction() {
    withCurrent(&DocumentTab::insertLineBreak);
}

void MainWindow::insertPageBreakAction() {
    withCurrent(&DocumentTab::insertPageBreak);
}

void MainWindow::exportAction() {
    DocumentTab *edit = currentEdit();
    if (!edit) {
        return;
    }
    // The document as it is now, even while its preview waits for typing
    // to pause, or is closed.
    m_previewDock->setLines(edit->documentLines());
    m_previewDock->exportDocument();
}

void MainWindow::setUpPreview() {
    m_previewDock = new PreviewDock(this);
    // The preview runs the window's full height, beside the 板眼 check too.
    setCorner(Qt::TopRightCorner, Qt::RightDockWidgetArea);
    setCorner(Qt::BottomRightCorner, Qt::RightDockWidgetArea);
    addDockWidget(Qt::RightDockWidgetArea, m_previewDock); // listed in the 视图 menu
    connect(m_previewDock, &PreviewDock::exported, this, &MainWindow::showExported);
    connect(m_previewDock, &QDockWidget::visibilityChanged, this, &MainWindow::linkPreview);
}

void MainWindow::setUpLibrary() {
    m_libraryDock = new LibraryDock(this);
    addDockWidget(Qt::LeftDockWidgetArea, m_libraryDock); // listed in the 视图 menu
    m_libraryDock->hide();
    connect(m_libraryDock, &LibraryDock::openRequested, this, [this](const LibraryHit &hit) {
        openDocument(hit.path);
        LibraryDock::placeCursors(documentOf(hit.path), hit);
    });
}

void MainWindow::linkPreview() {
    DocumentTab *edit = currentEdit();
    // Closed, the preview follows nothing and typesets nothing.
    const bool shown = m_previewDock && !m_previewDock->isHidden();
    if (m_previewLink && (m_previewLink->tab() != edit || !shown)) {
        delete m_previewLink;
    }
    if (!shown) {
        return;
    }
    if (!edit) {
        m_previewDock->setLines({});
    } else if (!m_previewLink) {
        m_previewLink = new PreviewLink(edit, m_previewDock->pane());
    }
}

// --- printing ---------------------------------------------------------------

void MainWindow::printAction() {
    if (DocumentTab *edit = currentEdit()) {
        if (const auto outcome = PrintDialogs::print(this, ExportConfig::instance()->pageStyle(),
                                                     edit->documentLines())) {
            showPrinted(*outcome);
        }
    }
}

void MainWindow::printPreviewAction() {
    if (DocumentTab *edit = currentEdit()) {
        if (const auto outcome = PrintDialogs::preview(this, ExportConfig::instance()->pageStyle(),
                                                       edit->documentLines())) {
            showPrinted(*outcome);
        }
    }
}

void MainWindow::showPrinted(const Outcome &outcome) {
    if (!outcome.ok() || outcome.hasWarning()) {
        Prompt::warning(this, outcome.title(), outcome.message());
    } else if (!outcome.path().isEmpty()) {
        showStatus(QStringLiteral("已打印到 %1").arg(QDir::toNativeSeparators(outcome.path())));
    } else {
        showStatus(QStringLiteral("已送往打印机"));
    }
}

// --- recent files and the window's looks --------------------------------------

void MainWindow::rememberRecent(const QString &path) {
    m_recentFiles.add(path);
    updateRecentMenu();
}

void MainWindow::updateRecentMenu() {
    QMenu *menu = ui->recentMenu;
    // Deleted later: the list changes while one of its entries is triggered.
    for (QAction *a : menu->actions()) {
        menu->removeAction(a);
        if (a->parent() == menu) {
            a->deleteLater();
        }
    }
    const QStringList files = m_recentFiles.files();
    const QFontMetrics metrics(menu->font());
    for (int i = 0; i < files.size(); ++i) {
        // "&1  游园.gcp  (/home/…/曲谱)": the file, then its folder shortened.
        const QFileInfo info(files.at(i));
        const QString folder = metrics.elidedText(QDir::toNativeSeparators(info.absolutePath()),
                                                  Qt::ElideMiddle, metrics.averageCharWidth() * 40);
        QString label = QStringLiteral("%1  (%2)").arg(info.fileName(), folder);
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = menu->addAction(QStringLiteral("&%1  %2").arg((i + 1) % 10).arg(label));
        a->setData(files.at(i));
        a->setToolTip(QDir::toNativeSeparators(files.at(i)));
        a->setStatusTip(a->toolTip());
        const QString path = files.at(i);
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    if (files.isEmpty()) {
        menu->addAction(QStringLiteral("（无）"))->setEnabled(false);
    }
    menu->addSeparator();
    menu->addAction(ui->clearRecentAction);
    ui->clearRecentAction->setEnabled(!files.isEmpty());
}

QList<QSplitter *> MainWindow::windowSplitters() const {
    QList<QSplitter *> own;
    for (QSplitter *s : findChildren<QSplitter *>()) {
        bool inTab = false;
        for (QWidget *w = s; w && !inTab; w = w->parentWidget()) {
            inTab = qobject_cast<DocumentTab *>(w) != nullptr;
        }
        if (!inTab) {
            own << s;
        }
    }
    return own;
}

void MainWindow::saveWindowState() {
    // A window never shown has nothing of the user's to keep.
    if (!m_shown) {
        return;
    }
    const WindowState state;
    state.save(this);
    state.saveSplitters(false, WindowState::statesOf(windowSplitters()));
    state.saveSplitters(true, m_tabSplitters);
}

void MainWindow::settingAction() {
    Settings dialog;
    dialog.exec();
}

void MainWindow::fontManagerAction() {
    FontManager dialog;
    dialog.exec();
}

void MainWindow::helpAction() {
    Help dialog(this);
    dialog.exec();
}

void MainWindow::aboutAction() {
    About dialog(this);
    dialog.exec();
}

// --- search bar ---------------------------------------------------------------

void MainWindow::setUpSearchBar() {
    connect(ui->searchNextBtn, &QToolButton::clicked, this, &MainWindow::onSearchNextBtnClicked);
    connect(ui->searchPrevBtn, &QToolButton::clicked, this, &MainWindow::onSearchPrevBtnClicked);
    connect(ui->searchCloseBtn, &QToolButton::clicked, this, &MainWindow::onSearchCloseBtn);
    connect(ui->searchEdit, &QLineEdit::textChanged, this, &MainWindow::onSearchEditTextChanged);
    // Enter finds the next match, Shift+Enter the previous one, Esc closes the bar.
    ui->searchEdit->installEventFilter(this);
}

void MainWindow::searchAction() {
    if (!currentEdit()) {
        return;
    }
    for (QWidget *w : m_replaceWidgets) {
        w->hide();
    }
    ui->searchBox->setVisible(!ui->searchBox->isVisible());
    if (ui->searchBox->isVisible()) {
        ui->searchEdit->setFocus();
    }
}

void MainWindow::find(bool backward) {
    DocumentTab *edit = currentEdit();
    if (!edit || ui->searchEdit->text().isEmpty()) {
        return;
    }
    const SearchResult result = edit->find(ui->searchEdit->text(), backward);
    ui->searchResLabel->setText(
        result.matchCount == 0
            ? QStringLiteral("未找到")
            : QStringLiteral("%1/%2").arg(result.currentIndex).arg(result.matchCount));
}

void MainWindow::onSearchNextBtnClicked() {
    find(false);
}

void MainWindow::onSearchPrevBtnClicked() {
    find(true);
}

void MainWindow::onSearchCloseBtn() {
    ui->searchBox->hide();
    if (DocumentTab *edit = currentEdit()) {
        edit->clearFind();
        edit->lyricEditor()->setFocus();
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == ui->searchEdit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            find(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            onSearchCloseBtn();
            return true;
        }
    }
    if (watched == m_replaceEdit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            replace(false);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            onSearchCloseBtn();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::onSearchEditTextChanged() {
    if (ui->searchEdit->text().isEmpty()) {
        ui->searchResLabel->clear();
    }
}

void MainWindow::updateChecked(const UpdateCheck &found) {
    if (UpdateNotice::tell(found)) {
        exitAction();
    }
}

// --- replace ------------------------------------------------------------------

void MainWindow::setUpReplace() {
    m_replaceEdit = new QLineEdit(ui->searchBox);
    m_replaceEdit->setObjectName(QStringLiteral("replaceEdit"));
    m_replaceEdit->setPlaceholderText(QStringLiteral("替换为"));
    m_replaceEdit->setFrame(false);
    m_replaceEdit->setStyleSheet(QStringLiteral(
        "QLineEdit { color: #404040; border: none; border-radius: 3px; margin-left: 6px; "
        "padding-left: 10px; padding-right: 10px; }"));
    m_replaceEdit->installEventFilter(this);
    auto *one = new QToolButton(ui->searchBox);
    one->setObjectName(QStringLiteral("replaceBtn"));
    one->setText(QStringLiteral("替换"));
    auto *all = new QToolButton(ui->searchBox);
    all->setObjectName(QStringLiteral("replaceAllBtn"));
    all->setText(QStringLiteral("全部替换"));
    int at = ui->searchLayout->indexOf(ui->searchCloseBtn);
    for (QWidget *w : {static_cast<QWidget *>(m_replaceEdit), static_cast<QWidget *>(one),
                       static_cast<QWidget *>(all)}) {
        if (w != m_replaceEdit) {
            w->setStyleSheet(ui->searchNextBtn->styleSheet());
        }
        ui->searchLayout->insertWidget(at++, w);
        w->hide();
        m_replaceWidgets.append(w);
    }
    connect(one, &QToolButton::clicked, this, [this] { replace(false); });
    connect(all, &QToolButton::clicked, this, [this] { replace(true); });
}

void MainWindow::replaceAction() {
    if (!currentEdit()) {
        return;
    }
    ui->searchBox->show();
    for (QWidget *w : m_replaceWidgets) {
        w->show();
    }
    if (ui->searchEdit->text().isEmpty()) {
        ui->searchEdit->setFocus();
    } else {
        m_replaceEdit->setFocus();
    }
}

void MainWindow::replace(bool all) {
    DocumentTab *edit = currentEdit();
    const QString query = ui->searchEdit->text();
    if (!edit || query.isEmpty()) {
        return;
    }
    if (all) {
        const int count = edit->replaceAll(query, m_replaceEdit->text());
        ui->searchResLabel->setText(count == 0 ? QStringLiteral("未找到")
                                               : QStringLiteral("已替换%1处").arg(count));
        return;
    }
    const SearchResult result = edit->replace(query, m_replaceEdit->text());
    ui->searchResLabel->setText(
        result.matchCount == 0
            ? QStringLiteral("未找到")
            : QStringLiteral("%1/%2").arg(result.currentIndex).arg(result.matchCount));
}

// --- 视图 -----------------------------------------------------------------------

void MainWindow::setUpViewMenu() {
    // The 播放 menu after 插入, then 视图, before 设置 and 帮助.
    menuBar()->insertMenu(ui->menu_4->menuAction(), m_playback->menu());
    auto *view = new QMenu(QStringLiteral("视图(&V)"), this);
    view->setObjectName(QStringLiteral("viewMenu"));
    menuBar()->insertMenu(ui->menu_4->menuAction(), view);
    // Filled as it opens: docks added later appear by themselves.
    connect(view, &QMenu::aboutToShow, this, [this, view] {
        view->clear();
        for (QToolBar *bar : findChildren<QToolBar *>(QString(), Qt::FindDirectChildrenOnly)) {
            view->addAction(bar->toggleViewAction());
        }
        view->addSeparator();
        for (QDockWidget *dock :
             findChildren<QDockWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
            view->addAction(dock->toggleViewAction());
        }
    });
}
