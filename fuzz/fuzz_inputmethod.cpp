// The input method on random key sequences: letters and stray characters,
// the navigation keys, commits, numbered choices, related mode and resets.
// Its page and highlight always stay on the candidate list.
#include "editor/inputmethod.h"
#include "fuzz_common.h"

#include <QKeyEvent>
#include <QPlainTextEdit>

QORVEL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::app();
    static QPlainTextEdit *editor = [] {
        auto *e = new QPlainTextEdit;
        e->resize(400, 300);
        e->show();
        return e;
    }();
    // Each run types into an empty editor, so that commits do not pile up
    // into one ever longer document.
    editor->clear();
    InputMethod *im = InputMethod::instance();
    im->setEditor(editor);
    im->reset();
    static const Qt::Key keys[] = {
        Qt::Key_Comma, Qt::Key_Up,     Qt::Key_Period,    Qt::Key_Down,     Qt::Key_Left,
        Qt::Key_Right, Qt::Key_Escape, Qt::Key_Backspace, Qt::Key_Space,    Qt::Key_Return,
        Qt::Key_Enter, Qt::Key_Minus,  Qt::Key_Equal,     Qt::Key_PageDown, Qt::Key_PageUp,
        Qt::Key_Tab,   Qt::Key_A,      Qt::Key_1};
    fuzz::Bytes in(data, size);
    while (!in.empty()) {
        const uint8_t op = in.byte();
        switch (op % 8) {
        case 0:
        case 1:
        case 2: {
            const uint8_t c = in.byte();
            im->appendText(c < 0xC0 ? QString(QChar('a' + c % 26))
                                    : QString(QChar(ushort(c * 97))));
            break;
        }
        case 3: {
            const Qt::Key key = keys[in.below(sizeof keys / sizeof keys[0])];
            QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
            im->handleKey(&event);
            break;
        }
        case 4:
            im->commitCurrent();
            break;
        case 5:
            im->selectByNumber(int(in.byte()) - 16);
            break;
        case 6: {
            const uint8_t b = in.byte();
            im->showRelated(
                b < 200 ? QString::fromUcs4(std::u32string(1, char32_t(0xF0000 + b % 16)).c_str())
                        : QString(QChar(ushort(b))));
            break;
        }
        default:
            if (op % 64 == 7) {
                im->reset();
            } else {
                im->pageCandidates();
                im->segments();
            }
            break;
        }
        const int pages = (im->candidates().size() + im->pageSize() - 1) / im->pageSize();
        if (im->page() < 0 || (pages > 0 && im->page() >= pages)) {
            fuzz::fail("page off the candidate list");
        }
        if (im->pageCandidates().size() > im->pageSize()) {
            fuzz::fail("a page longer than the page size");
        }
    }
    im->reset();
    fuzz::endRun();
    return 0;
}
