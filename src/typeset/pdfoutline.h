#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVector>

// Bookmarks and document information for a PDF that is already written, as
// QPdfWriter writes them: it makes neither the outline nor any information
// entry beyond title, creator and producer. The file is read and written
// again with qpdf; its pages, fonts and content streams are carried over as
// they were, not decoded or compressed again.
class PdfOutline {
public:
    // One bookmark: its title, the page it opens (counted from 0) and how far
    // down that page, in points from the top edge; below it the bookmarks it
    // holds, shown unfolded.
    struct Item {
        QString title;
        int page = 0;
        qreal top = 0;
        QVector<Item> children;
    };

    void setItems(const QVector<Item> &items) { m_items = items; }
    const QVector<Item> &items() const { return m_items; }
    // An entry of the document information ("Title", "Subject", "Keywords",
    // "Creator" ...); an empty value leaves the entry as the file has it.
    void setInfo(const QString &key, const QString &value) { m_info.insert(key, value); }

    // pdf with the bookmarks as its outline (opened beside the pages, when
    // there are any; those of pages it lacks are left out) and the document
    // information entries set. Null, with the reason in error, for a file
    // that cannot be read.
    QByteArray apply(const QByteArray &pdf, QString *error = nullptr) const;

private:
    QVector<Item> m_items;
    QMap<QString, QString> m_info;
};
