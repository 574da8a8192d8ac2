#pragma once

#include <QObject>
#include <QPointer>

class DocumentTab;
class ExportDialog;
class QTimer;

// Ties a document to the export dialog previewing it, both ways: moving the
// cursor in either editor outlines its character on the preview (turning to
// its page), an edit refreshes the preview once typing pauses, and a click on
// the preview puts both cursors at the character, or the symbol, clicked.
// Lives as long as the dialog.
class PreviewLink : public QObject {
    Q_OBJECT

public:
    // How long typing must pause before the preview is typeset again.
    static constexpr int refreshDelayMs = 400;

    PreviewLink(DocumentTab *tab, ExportDialog *dialog);

    DocumentTab *tab() const { return m_tab; }

private:
    void followCursor();
    void goToSource(int character, int symbol);

    QPointer<DocumentTab> m_tab;
    ExportDialog *m_dialog;
    QTimer *m_refresh;
};
