// qpdf 11 uses std::shared_ptr throughout; its old PointerHolder is not wanted.
#define POINTERHOLDER_TRANSITION 4

#include "typeset/pdfoutline.h"

#include "model/linegrammar.h"

#include <QRegularExpression>
#include <algorithm>
#include <exception>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <vector>

namespace {

using Handle = QPDFObjectHandle;

// A text string of the document, without control characters (which readers
// show as boxes, or take for the end of the text).
Handle unicode(const QString &s) {
    QString clean = withoutControls(s);
    // Runs of plain spaces as one; other spaces (U+3000) are the text's own.
    clean.replace(QRegularExpression(QStringLiteral(" {2,}")), QStringLiteral(" "));
    while (clean.startsWith(QLatin1Char(' '))) {
        clean.remove(0, 1);
    }
    while (clean.endsWith(QLatin1Char(' '))) {
        clean.chop(1);
    }
    return Handle::newUnicodeString(clean.toUtf8().toStdString());
}

// Adds items as the children of parent (the outline dictionary or a
// bookmark); returns how many bookmarks they show, their own unfolded
// children included.
int addItems(QPDF &doc, const std::vector<Handle> &pages, Handle parent,
             const QVector<PdfOutline::Item> &items) {
    std::vector<Handle> made;
    int shown = 0;
    for (const PdfOutline::Item &item : items) {
        if (item.page < 0 || size_t(item.page) >= pages.size()) {
            continue;
        }
        Handle page = pages.at(size_t(item.page));
        // The destination: that page, scrolled to the item, zoom unchanged.
        const Handle::Rectangle box =
            QPDFPageObjectHelper(page).getMediaBox().getArrayAsRectangle();
        const double top = std::clamp(box.ury - double(item.top), box.lly, box.ury);
        Handle dest = Handle::newArray();
        dest.appendItem(page);
        dest.appendItem(Handle::newName("/XYZ"));
        dest.appendItem(Handle::newNull());
        dest.appendItem(Handle::newReal(top, 2));
        dest.appendItem(Handle::newNull());

        Handle bookmark = doc.makeIndirectObject(Handle::newDictionary());
        bookmark.replaceKey("/Title", unicode(item.title));
        bookmark.replaceKey("/Parent", parent);
        bookmark.replaceKey("/Dest", dest);
        if (!made.empty()) {
            made.back().replaceKey("/Next", bookmark);
            bookmark.replaceKey("/Prev", made.back());
        }
        made.push_back(bookmark);
        const int below = addItems(doc, pages, bookmark, item.children);
        if (below > 0) {
            bookmark.replaceKey("/Count", Handle::newInteger(below)); // unfolded
        }
        shown += 1 + below;
    }
    if (!made.empty()) {
        parent.replaceKey("/First", made.front());
        parent.replaceKey("/Last", made.back());
    }
    return shown;
}

} // namespace

QByteArray PdfOutline::apply(const QByteArray &pdf, QString *error) const {
    try {
        QPDF doc;
        doc.setSuppressWarnings(true);
        doc.processMemoryFile("score.pdf", pdf.constData(), size_t(pdf.size()));
        const std::vector<Handle> pages = doc.getAllPages();
        Handle root = doc.getRoot();
        if (!m_items.isEmpty() && !pages.empty()) {
            Handle outlines = doc.makeIndirectObject(Handle::newDictionary());
            outlines.replaceKey("/Type", Handle::newName("/Outlines"));
            const int shown = addItems(doc, pages, outlines, m_items);
            if (shown > 0) {
                outlines.replaceKey("/Count", Handle::newInteger(shown));
                root.replaceKey("/Outlines", outlines);
                root.replaceKey("/PageMode", Handle::newName("/UseOutlines"));
            }
        }
        Handle trailer = doc.getTrailer();
        Handle info = trailer.getKey("/Info");
        if (!info.isDictionary()) {
            info = doc.makeIndirectObject(Handle::newDictionary());
            trailer.replaceKey("/Info", info);
        }
        for (auto it = m_info.cbegin(); it != m_info.cend(); ++it) {
            if (!it.value().isEmpty()) {
                info.replaceKey("/" + it.key().toStdString(), unicode(it.value()));
            }
        }

        QPDFWriter writer(doc);
        writer.setOutputMemory();
        // The streams as Qt wrote them: neither decoded nor compressed anew.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.setObjectStreamMode(qpdf_o_preserve);
        // The same document gives the same file.
        writer.setDeterministicID(true);
        writer.write();
        const std::shared_ptr<Buffer> out = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char *>(out->getBuffer()), int(out->getSize()));
    } catch (const std::exception &e) {
        if (error) {
            *error = QString::fromLocal8Bit(e.what());
        }
        return QByteArray();
    }
}
