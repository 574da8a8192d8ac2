#include "editor/historywatch.h"

#include <QTextDocument>

HistoryWatch::HistoryWatch(QTextDocument *document)
    : m_connection(
          QObject::connect(document, &QTextDocument::undoCommandAdded, [this] { ++m_added; })) {}

HistoryWatch::~HistoryWatch() {
    QObject::disconnect(m_connection);
}
