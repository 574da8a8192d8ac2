#pragma once

#include <QObject>

class ExportSettingsForm;
class PreviewPane;
class QWidget;
struct ExportFormat;

// The 导出 command: exports the pane's document with the settings in force
// (the format and resolution chosen in the settings form), asking where
// through the project's file dialogs, beside the last export or among the
// user's documents and named after the piece. Failure is said in a message
// box; success is told by exported().
class Exporter : public QObject {
    Q_OBJECT

public:
    Exporter(PreviewPane *pane, ExportSettingsForm *settings, QObject *parent = nullptr);

    // Asks for the path (dialogs over parent) and writes; false when
    // cancelled or failed.
    bool run(QWidget *parent);

signals:
    // A successful export wrote path: the file or the folder of pages.
    void exported(const QString &path);

private:
    // Where the file or folder chooser of format starts.
    QString suggestedPath(const ExportFormat &format) const;

    PreviewPane *m_pane;
    ExportSettingsForm *m_settings;
};
