#pragma once

#include "model/documentline.h"

#include <QDockWidget>
#include <QRect>

class Exporter;
class ExportSettingsForm;
class PreviewPane;
class Typesetter;

// The preview as a pane of the main window: a dock holding the PreviewPane,
// the export settings it opens as a window of their own, and the 导出
// command. It may be moved, floated or closed; floating, Esc closes it, as
// does its 关闭 button anywhere. 预览全部 floats it large over its screen and
// pages through every page; leaving that mode puts it back where it was.
class PreviewDock : public QDockWidget {
    Q_OBJECT

public:
    explicit PreviewDock(QWidget *parent = nullptr, const DocumentLines &lines = {});

    PreviewPane *pane() const { return m_pane; }
    ExportSettingsForm *settingsForm() const { return m_settings; }
    Exporter *exporter() const { return m_exporter; }
    Typesetter *engine() const;

    void setLines(const DocumentLines &lines);

    // Exports the document with the settings in force; false when cancelled
    // or failed.
    bool exportDocument();
    // Shows the settings window, raised.
    void showSettings();

signals:
    // A successful export wrote path: the file or the folder of pages.
    void exported(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setWide(bool wide);

    PreviewPane *m_pane;
    ExportSettingsForm *m_settings;
    Exporter *m_exporter;
    // Where the dock was before 预览全部 floated it.
    bool m_wasFloating = false;
    QRect m_floatingGeometry;
};
