#pragma once

#include <QMetaObject>

class QTextDocument;

// Watches a document's own undo history while it lives: changed() tells
// whether an edit block closed meanwhile left a step in that history. A block
// that changed nothing leaves none, while one that removed and re-inserted the
// same text does, so comparing texts would not do.
class HistoryWatch {
public:
    explicit HistoryWatch(QTextDocument *document);
    ~HistoryWatch();
    HistoryWatch(const HistoryWatch &) = delete;
    HistoryWatch &operator=(const HistoryWatch &) = delete;

    bool changed() const { return m_added > 0; }

private:
    QMetaObject::Connection m_connection;
    int m_added = 0;
};
