#pragma once

#include <QObject>
#include <QPointer>

class DocumentTab;
class PreviewPane;
class QTimer;

// Ties a document to the preview pane, both ways: moving the cursor in
// either editor outlines its character on the preview (turning to its page),
// an edit refreshes the preview once typing pauses, and a click on the
// preview puts both cursors at the character, or the symbol, clicked. Made
// when the pane shows the document, it gives the pane the document's lines;
// deleted when the pane turns to another document or hides.
class PreviewLink : public QObject {
    Q_OBJECT

public:
    // How long typing must pause before the preview is typeset again.
    static constexpr int refreshDelayMs = 400;

    PreviewLink(DocumentTab *tab, PreviewPane *pane);

    DocumentTab *tab() const { return m_tab; }

private:
    void followCursor();
    void goToSource(int character, int symbol);

    QPointer<DocumentTab> m_tab;
    PreviewPane *m_pane;
    QTimer *m_refresh;
};
