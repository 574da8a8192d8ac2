#include "editor/copylyriccommand.h"

#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "model/clipboardrecord.h"
#include "model/linegrammar.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>

CopyLyricCommand::CopyLyricCommand(DocumentTab *tab)
    : EditCommand(tab) {
    const LyricEdit *lyric = lyricEdit();
    const QTextCursor cursor = lyric->textCursor();
    if (!cursor.hasSelection()) {
        return;
    }
    const QTextDocument *doc = lyric->document();
    const QTextDocument *scoreDoc = scoreEdit()->document();
    QStringList lyricList;
    QStringList scoreList;
    const int end = cursor.selectionEnd();
    QTextBlock block = doc->findBlock(cursor.selectionStart());
    bool directive = isDirectiveLine(block.text());
    for (int i = cursor.selectionStart(); i < end; ++i) {
        while (block.isValid() && !block.contains(i)) {
            block = block.next();
            directive = isDirectiveLine(block.text());
        }
        const QChar c = doc->characterAt(i);
        lyricList.append(c == QChar::ParagraphSeparator ? QStringLiteral("\n") : QString(c));
        if (isSungChar(c) && !directive) {
            const QTextBlock line = scoreDoc->findBlockByNumber(lyric->scoreLineAt(i + 1));
            scoreList.append(line.isValid() ? line.text() : QString());
        } else {
            scoreList.append(QString());
        }
    }
    auto *mime = new QMimeData;
    mime->setData(QString::fromLatin1(lyricScoreMimeType), encodeClipboard(lyricList, scoreList));
    mime->setText(cursor.selectedText());
    QGuiApplication::clipboard()->setMimeData(mime);
}
