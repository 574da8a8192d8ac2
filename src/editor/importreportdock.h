#pragma once

#include "import/importremark.h"

#include <QDockWidget>
#include <QVector>

class QLabel;
class QListWidget;

// The 导入报告 dock: what the import of a MusicXML or MIDI file changed or
// left out, each at its measure and beat, for the document the import made.
// A click on a remark that concerns a sung character goes to it.
class ImportReportDock : public QDockWidget {
    Q_OBJECT

public:
    explicit ImportReportDock(QWidget *parent = nullptr);

    // The report of the file source (its name is shown); shown at once.
    void setReport(const QString &source, const QVector<music::ImportRemark> &remarks);
    const QVector<music::ImportRemark> &remarks() const { return m_remarks; }
    // "导入报告（3）"
    static QString titleFor(int count);

signals:
    void goToCharacter(int character);

private:
    QLabel *m_source = nullptr;
    QListWidget *m_list = nullptr;
    QVector<music::ImportRemark> m_remarks;
};
