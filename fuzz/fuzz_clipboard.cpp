// The clipboard record: any bytes under "application/x-lyric-score-format",
// pasted into a live document tab. Whatever the record holds, the tab keeps
// one score line per sung character, and undo gives back the texts it had.
#include "editor/lyricedit.h"
#include "editor/documenttab.h"
#include "editor/scoreedit.h"
#include "editor/sungwalk.h"
#include "fuzz_common.h"
#include "model/clipboardrecord.h"

#include <QClipboard>
#include <QMimeData>
#include <QTextBlock>
#include <QUndoStack>

QORVEL_FUZZ_INIT

namespace {

DocumentTab *liveTab() {
    static DocumentTab *tab = [] {
        auto *t = new DocumentTab;
        t->resize(800, 500);
        t->show();
        QApplication::setActiveWindow(t);
        QApplication::processEvents();
        return t;
    }();
    return tab;
}

void load(DocumentTab *tab, const QString &lyric, const QString &score) {
    tab->setSyncing(true);
    tab->lyricEditor()->setPlainText(lyric);
    tab->scoreEditor()->setPlainText(score);
    tab->setSyncing(false);
    tab->undoStack()->clear();
}

void checkPairing(DocumentTab *tab) {
    const int sung = walkAllSungText(tab->lyricEditor()->document()).size();
    if (tab->scoreEditor()->document()->blockCount() != qMax(1, sung)) {
        fuzz::fail("score lines != sung characters after paste");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    fuzz::Bytes in(data, size);
    DocumentTab *tab = liveTab();
    load(tab, QStringLiteral("# 牡丹亭\n【皂罗袍】(仙吕)\n原来姹紫嫣红，开遍\n= 白\n似这般"),
         QStringLiteral("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk"));
    checkPairing(tab);
    const QString before = tab->lyricEditor()->toPlainText();
    const QString beforeScore = tab->scoreEditor()->toPlainText();

    // Where the paste goes: a cursor, maybe a selection.
    QTextCursor cursor = tab->lyricEditor()->textCursor();
    const int end = tab->lyricEditor()->document()->characterCount() - 1;
    const int anchor = int(in.below(uint32_t(end + 1)));
    const int position = int(in.below(uint32_t(end + 1)));
    const bool fromRecordOnly = in.byte() & 1;
    const QByteArray record = in.rest();

    QStringList lyricList, scoreList;
    decodeClipboard(record, &lyricList, &scoreList);

    tab->lyricEditor()->setFocus();
    cursor.setPosition(anchor);
    cursor.setPosition(position, QTextCursor::KeepAnchor);
    tab->lyricEditor()->setTextCursor(cursor);

    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(lyricScoreMimeType), record);
    mime->setText(fromRecordOnly ? QStringLiteral("x") : QString::fromUtf8(record));
    QGuiApplication::clipboard()->setMimeData(mime);
    if (!tab->lyricEditor()->hasFocus()) {
        fuzz::fail("lyric editor has no focus");
    }
    tab->paste();
    checkPairing(tab);
    tab->documentLines();
    while (tab->canUndo()) {
        tab->undo();
    }
    checkPairing(tab);
    if (tab->lyricEditor()->toPlainText() != before ||
        tab->scoreEditor()->toPlainText() != beforeScore) {
        fuzz::fail("undo after paste does not restore the texts");
    }
    fuzz::endRun();
    return 0;
}
