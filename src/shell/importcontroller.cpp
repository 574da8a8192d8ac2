#include "shell/importcontroller.h"

#include "dialogs/prompt.h"
#include "editor/documenttab.h"
#include "editor/importreportdock.h"
#include "import/musicimport.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>

ImportController::ImportController(QMainWindow *window,
                                   std::function<void(DocumentTab *)> addDocument)
    : QObject(window)
    , m_window(window)
    , m_addDocument(std::move(addDocument))
    , m_dock(new ImportReportDock(window)) {
    window->addDockWidget(Qt::BottomDockWidgetArea, m_dock);
    m_dock->hide();
    connect(m_dock, &ImportReportDock::goToCharacter, this, [this](int character) {
        if (m_current) {
            music::Place place;
            place.line = character;
            m_current->goTo(place);
        }
    });
}

void ImportController::chooseAndImport() {
    const QString path = Prompt::openFileName(m_window, QStringLiteral("导入"), QString(),
                                              music::MusicImport::fileFilter());
    if (!path.isEmpty()) {
        importFile(path);
    }
}

bool ImportController::importFile(const QString &path) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const music::ImportedDocument imported = music::MusicImport::importFile(path);
    QApplication::restoreOverrideCursor();
    if (!imported.ok()) {
        Prompt::warning(m_window, QStringLiteral("导入失败"),
                        QStringLiteral("“%1”：%2").arg(QFileInfo(path).fileName(), imported.error));
        return false;
    }
    auto *edit = new DocumentTab;
    // Untitled and unsaved: the music file is never written over.
    edit->restore(imported.lyric, imported.score, QStringLiteral("未命名"));
    m_reports.insert(edit, {path, imported.remarks});
    connect(edit, &QObject::destroyed, this, [this, edit] { m_reports.remove(edit); });
    m_addDocument(edit);
    currentChanged(edit);
    return true;
}

void ImportController::currentChanged(DocumentTab *current) {
    if (current == m_current) {
        return;
    }
    m_current = current;
    // A report belongs to the tab its import made; another tab hides it.
    const auto found = current ? m_reports.constFind(current) : m_reports.constEnd();
    if (found == m_reports.constEnd()) {
        m_dock->hide();
        return;
    }
    m_dock->setReport(found->source, found->remarks);
}
