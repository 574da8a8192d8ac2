// A model-based run of a document tab: thousands of random steps along the
// paths a user takes (keys into either editor, input-method commits, mouse
// and Shift selections, cut, copy, paste, the insert operations, undo and
// redo). After every step the score keeps one line per sung character and
// the two cursors are paired; at the end of every stretch undoing all
// commands gives back the texts it started from, and redoing them all the
// texts it reached.
//
// QORVEL_SOAK_SEED and QORVEL_SOAK_STEPS choose another seed and length.
#include "editor/inputmethod.h"
#include "tabdriver.h"

#include <QClipboard>
#include <QInputMethodEvent>
#include <QRandomGenerator>
#include <QtTest>

using namespace tabdriver;

namespace {

quint32 envNumber(const char *name, quint32 fallback) {
    bool ok = false;
    const quint32 v = qEnvironmentVariable(name).toUInt(&ok);
    return ok ? v : fallback;
}

// Where the score cursor belongs when the lyric cursor moved last, by the
// walking definitions: (anchor, position).
QPair<int, int> scoreCursorFor(DocumentTab *tab) {
    const QTextDocument *lyricDoc = tab->lyricEditor()->document();
    const QTextDocument *scoreDoc = tab->scoreEditor()->document();
    const QTextCursor lc = tab->lyricEditor()->textCursor();
    const int end = scoreDoc->characterCount() - 1;
    const auto lineEnd = [&](int n) {
        const QTextBlock b = scoreDoc->findBlockByNumber(n);
        return b.isValid() ? b.position() + b.length() - 1 : (n < 0 ? 0 : end);
    };
    if (!lc.hasSelection()) {
        const int p = lineEnd(walkScoreLineAt(lyricDoc, lc.position()));
        return {p, p};
    }
    const int a = walkScoreLineAt(lyricDoc, lc.selectionStart());
    const int b = walkScoreLineAt(lyricDoc, lc.selectionEnd());
    const QTextBlock first = scoreDoc->findBlockByNumber(a + 1);
    const int anchor = first.isValid() ? first.position() : (a < 0 ? 0 : end);
    if (!scoreDoc->findBlockByNumber(b).isValid() && b < 0) {
        return {0, 0};
    }
    return {anchor, lineEnd(b)};
}

// Where the lyric cursor belongs when the score cursor moved last.
QPair<int, int> lyricCursorFor(DocumentTab *tab) {
    const QTextDocument *lyricDoc = tab->lyricEditor()->document();
    const QTextDocument *scoreDoc = tab->scoreEditor()->document();
    const QTextCursor sc = tab->scoreEditor()->textCursor();
    if (!sc.hasSelection()) {
        const int q = walkSungCharEnd(lyricDoc, sc.blockNumber() + 1);
        return {q, q};
    }
    const int k = qAbs(scoreDoc->findBlock(sc.position()).blockNumber() -
                       scoreDoc->findBlock(sc.anchor()).blockNumber());
    const int n = sc.blockNumber();
    const int first = sc.position() < sc.anchor() ? n : n - k;
    const int last = sc.position() < sc.anchor() ? n + k : n;
    QTextCursor c(const_cast<QTextDocument *>(lyricDoc));
    c.setPosition(walkSungCharEnd(lyricDoc, first + 1));
    c.movePosition(QTextCursor::PreviousCharacter);
    return {c.position(), walkSungCharEnd(lyricDoc, last + 1)};
}

QPair<int, int> cursorOf(const QPlainTextEdit *editor) {
    const QTextCursor c = editor->textCursor();
    return {c.anchor(), c.position()};
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void run_data();
    void run();
};

void TestSoak::run_data() {
    QTest::addColumn<bool>("shiftEdits");
    QTest::newRow("paired") << false;
    QTest::newRow("with score shift edits") << true;
}

void TestSoak::run() {
    QFETCH(bool, shiftEdits);
    const quint32 seed = envNumber("QORVEL_SOAK_SEED", 20240611) + (shiftEdits ? 1 : 0);
    const int steps = int(envNumber("QORVEL_SOAK_STEPS", 8000));
    QRandomGenerator rng(seed);

    DocumentTab tab;
    tab.resize(800, 500);
    LyricEdit *lyric = tab.lyricEditor();
    ScoreEdit *score = tab.scoreEditor();
    load(&tab, QStringLiteral("# 牡丹亭\n【皂罗袍】(仙吕)\n原来姹紫嫣红，开遍\n= 白\n似这般都付与"),
         QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14"));
    QVERIFY(pairingHolds(&tab));
    QVERIFY(focus(lyric));
    InputMethod *im = InputMethod::instance();

    const QString lyricAlphabet = QStringLiteral("春香你好梦回莺啭 ，。#;@=【】a1\n");
    const QStringList abbreviations = {QStringLiteral("zb"), QStringLiteral("g"),
                                       QStringLiteral("gc"), QStringLiteral("s"),
                                       QStringLiteral("v")};
    const auto randomText = [&](int maxLength) {
        QString s;
        const int n = 1 + rng.bounded(maxLength);
        for (int i = 0; i < n; ++i) {
            s += lyricAlphabet.at(rng.bounded(lyricAlphabet.size()));
        }
        return s;
    };
    const auto randomPosition = [&](QPlainTextEdit *e) {
        return rng.bounded(e->document()->characterCount());
    };
    const auto pointAt = [](QPlainTextEdit *e, int position) {
        QTextCursor c(e->document());
        c.setPosition(position);
        return e->cursorRect(c).center();
    };

    auto segmentStart = texts(&tab);
    QString log;
    for (int step = 0; step < steps; ++step) {
        QPlainTextEdit *editor = rng.bounded(2) ? static_cast<QPlainTextEdit *>(lyric)
                                                : static_cast<QPlainTextEdit *>(score);
        const int action = rng.bounded(100);
        QString what;
        if (action < 22) { // typing into the lyric, one key per character
            const QString text = randomText(4);
            what = QStringLiteral("type ") + text;
            type(lyric, text);
        } else if (action < 30) {
            const Qt::KeyboardModifiers mods[] = {Qt::NoModifier, Qt::NoModifier,
                                                  Qt::ControlModifier, Qt::ShiftModifier};
            const bool back = rng.bounded(2);
            const Qt::KeyboardModifiers m = mods[rng.bounded(4)];
            what = QStringLiteral("lyric %1 %2").arg(back ? "backspace" : "delete").arg(int(m));
            key(lyric, back ? Qt::Key_Backspace : Qt::Key_Delete, m);
        } else if (action < 34) {
            QInputMethodEvent event;
            event.setCommitString(randomText(3));
            what = QStringLiteral("commit ") + event.commitString();
            QApplication::sendEvent(lyric, &event);
        } else if (action < 44) { // abbreviation, then Space, a digit or Return
            const QString abbr = abbreviations.at(rng.bounded(abbreviations.size()));
            what = QStringLiteral("abbreviation ") + abbr;
            for (QChar c : abbr) {
                QTest::keyClick(score, c.toLatin1());
            }
            const int how = rng.bounded(3);
            if (how == 0) {
                QTest::keyClick(score, Qt::Key_Space);
            } else if (how == 1) {
                QTest::keyClick(score, char('1' + rng.bounded(3)));
            } else {
                key(score, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
            }
            im->reset();
        } else if (action < 47) { // the related beat marks
            what = QStringLiteral("related beats");
            QTest::keyClick(score, Qt::Key_Space);
            QTest::keyClick(score, Qt::Key_Right);
            QTest::keyClick(score, Qt::Key_Space);
        } else if (action < 55) {
            const bool shift = shiftEdits && rng.bounded(3) == 0;
            const Qt::KeyboardModifiers m =
                shift ? Qt::ShiftModifier : (rng.bounded(4) ? Qt::NoModifier : Qt::ControlModifier);
            const int which = rng.bounded(5);
            if (which < 2) {
                what = QStringLiteral("score backspace %1").arg(int(m));
                key(score, Qt::Key_Backspace, m);
            } else if (which < 4) {
                what = QStringLiteral("score delete %1").arg(int(m));
                key(score, Qt::Key_Delete, m);
            } else {
                what = QStringLiteral("score return %1").arg(int(m));
                key(score, Qt::Key_Return, m, QStringLiteral("\r"));
            }
        } else if (action < 58) { // digits and capitals with the popup hidden
            what = QStringLiteral("score digit");
            QTest::keyClick(score, rng.bounded(2) ? '7' : 'Q', Qt::ShiftModifier);
        } else if (action < 66) { // mouse: click, Shift+click, drag
            const int a = randomPosition(editor);
            const int b = randomPosition(editor);
            what = QStringLiteral("mouse %1 %2..%3")
                       .arg(editor == lyric ? "lyric" : "score")
                       .arg(a)
                       .arg(b);
            QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::NoModifier,
                              pointAt(editor, a));
            if (rng.bounded(2)) {
                QTest::mouseClick(editor->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                                  pointAt(editor, b));
            }
        } else if (action < 74) { // keyboard moves and Shift selections
            const Qt::Key keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,
                                    Qt::Key_Down, Qt::Key_Home,  Qt::Key_End};
            const Qt::Key k = keys[rng.bounded(6)];
            const Qt::KeyboardModifiers m = rng.bounded(2) ? Qt::ShiftModifier : Qt::NoModifier;
            what = QStringLiteral("move %1 %2").arg(int(k), 0, 16).arg(int(m));
            for (int i = 1 + rng.bounded(3); i > 0; --i) {
                QTest::keyClick(editor, k, m);
            }
        } else if (action < 84) { // the clipboard
            editor->setFocus();
            const int op = rng.bounded(4);
            if (op == 0) {
                what = QStringLiteral("copy");
                tab.copy();
            } else if (op == 1) {
                what = QStringLiteral("cut");
                tab.cut();
            } else if (op == 2 || editor == score) {
                what = QStringLiteral("paste");
                if (rng.bounded(4) == 0) {
                    QString foreign = randomText(6);
                    foreign.replace(QLatin1Char('a'), QChar(0x2028));
                    foreign.replace(QLatin1Char('1'), QChar(0xA0));
                    QGuiApplication::clipboard()->setText(foreign);
                    what += QStringLiteral(" foreign ") + foreign;
                }
                tab.paste();
            } else {
                what = QStringLiteral("ctrl+v");
                QTest::keyClick(lyric, Qt::Key_V, Qt::ControlModifier);
            }
        } else if (action < 87) {
            const int op = rng.bounded(7);
            what = QStringLiteral("insert %1").arg(op);
            switch (op) {
            case 0:
                tab.insertTitle();
                break;
            case 1:
                tab.insertQuPai();
                break;
            case 2:
                tab.insertLianBai();
                break;
            case 3:
                tab.insertJiaBai();
                break;
            case 4:
                tab.insertComment();
                break;
            case 5:
                tab.insertLineBreak();
                break;
            default:
                tab.insertPageBreak();
                break;
            }
        } else if (action < 95) {
            what = QStringLiteral("undo");
            if (rng.bounded(2)) {
                tab.undo();
            } else {
                QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
            }
        } else {
            what = QStringLiteral("redo");
            if (rng.bounded(2)) {
                tab.redo();
            } else {
                QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
            }
        }
        log += QStringLiteral("%1: %2\n").arg(step).arg(what);
        if (qEnvironmentVariableIsSet("QORVEL_SOAK_TRACE")) {
            qDebug() << step << what << "focus"
                     << (lyric->hasFocus()   ? "lyric"
                         : score->hasFocus() ? "score"
                                             : "none")
                     << cursorOf(lyric) << cursorOf(score) << texts(&tab)
                     << QGuiApplication::clipboard()->text();
        }

        QString why;
        if (!shiftEdits && !pairingHolds(&tab, &why)) {
            qWarning().noquote() << log.right(2000);
            QFAIL(qPrintable(QStringLiteral("step %1 (%2), seed %3: %4")
                                 .arg(step)
                                 .arg(what)
                                 .arg(seed)
                                 .arg(why)));
        }
        const bool lyricLed = cursorOf(score) == scoreCursorFor(&tab);
        const bool scoreLed = cursorOf(lyric) == lyricCursorFor(&tab);
        if (!lyricLed && !scoreLed) {
            qWarning().noquote() << log.right(600) << "lyric" << cursorOf(lyric) << "expected"
                                 << lyricCursorFor(&tab) << "score" << cursorOf(score) << "expected"
                                 << scoreCursorFor(&tab) << texts(&tab);
            QFAIL(qPrintable(QStringLiteral("step %1 (%2), seed %3: cursors not paired")
                                 .arg(step)
                                 .arg(what)
                                 .arg(seed)));
        }

        // A stretch ends before the stack could drop its oldest command.
        if (tab.undoStack()->count() >= 150 || step + 1 == steps) {
            im->reset();
            while (tab.canRedo()) {
                tab.redo();
            }
            const auto reached = texts(&tab);
            while (tab.canUndo()) {
                tab.undo();
            }
            if (texts(&tab) != segmentStart) {
                qWarning().noquote() << log.right(4000);
            }
            QCOMPARE(texts(&tab), segmentStart);
            while (tab.canRedo()) {
                tab.redo();
            }
            QCOMPARE(texts(&tab), reached);
            tab.undoStack()->clear();
            segmentStart = reached;
            log.clear();
        }
    }
    qInfo("seed %u, %d steps, final lyric %d characters", seed, steps,
          lyric->document()->characterCount());
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
