#pragma once

#include "import/importremark.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>
#include <functional>

class DocumentTab;
class ImportReportDock;
class QMainWindow;

// Brings MusicXML and MIDI files into the window: each import becomes a new
// untitled document tab, and its report shows in the 导入报告 dock while that
// tab is current. Files that cannot be read are refused with a warning.
class ImportController : public QObject {
    Q_OBJECT

public:
    // addDocument puts a new tab into the window and makes it current.
    ImportController(QMainWindow *window, std::function<void(DocumentTab *)> addDocument);

    // Asks for a file and imports it.
    void chooseAndImport();
    // Imports path; false when nothing could be read (the user was told).
    bool importFile(const QString &path);
    // Shows the report of the current tab, or hides the dock when it has none.
    void currentChanged(DocumentTab *current);

    ImportReportDock *dock() const { return m_dock; }

private:
    struct Report {
        QString source;
        QVector<music::ImportRemark> remarks;
    };

    QMainWindow *m_window;
    std::function<void(DocumentTab *)> m_addDocument;
    ImportReportDock *m_dock;
    QPointer<DocumentTab> m_current;
    QHash<DocumentTab *, Report> m_reports;
};
