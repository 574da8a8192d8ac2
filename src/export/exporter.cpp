#include "export/exporter.h"

#include "dialogs/prompt.h"
#include "export/exportformat.h"
#include "export/exportsettingsform.h"
#include "export/previewpane.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

Exporter::Exporter(PreviewPane *pane, ExportSettingsForm *settings, QObject *parent)
    : QObject(parent)
    , m_pane(pane)
    , m_settings(settings) {}

bool Exporter::run(QWidget *parent) {
    const ExportFormat *format = m_settings->currentFormat();
    if (!format) {
        return false;
    }
    const QString start = suggestedPath(*format);
    const QString path =
        format->toFolder
            ? Prompt::existingDirectory(parent, format->chooserTitle, start)
            : Prompt::saveFileName(parent, format->chooserTitle, start, format->fileFilter);
    if (path.isEmpty()) {
        return false;
    }
    // A score, the one exported or another, is never written over.
    if (const QString refused = ExportFormat::refusedOutput(path, {}); !refused.isEmpty()) {
        Prompt::warning(parent, QStringLiteral("提示"), refused);
        return false;
    }
    const Outcome outcome = m_pane->write(*format, path, m_settings->resolutionIndex());
    if (!outcome) {
        // A failure without a message is an export the user stopped.
        if (!outcome.message().isEmpty()) {
            Prompt::warning(parent, outcome.title(), outcome.message());
        }
        return false;
    }
    emit exported(outcome.path());
    return true;
}

QString Exporter::suggestedPath(const ExportFormat &format) const {
    // Beside the last export, else among the user's documents.
    const Typesetter *engine = m_pane->engine();
    const QString last = engine->lastExportPath();
    const QString dir = last.isEmpty()
                            ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                            : QFileInfo(last).absolutePath();
    if (format.toFolder) {
        return dir;
    }
    // The preview has typeset the title.
    return QDir(dir).filePath(Typesetter::safeFileName(engine->documentTitle()) + format.suffix);
}
