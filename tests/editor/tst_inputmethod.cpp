#include "candidatetexts.h"
#include "editor/inputmethod.h"
#include "fonts/fontregistry.h"
#include "platform/apppaths.h"
#include "testsupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

namespace {

void press(InputMethod &im, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    im.handleKey(&event);
}

void type(InputMethod &im, const QString &letters) {
    for (const QChar c : letters) {
        im.appendText(QString(c));
    }
}

// Pixels in rect that are clearly red (#ff2a00 blended with white) or clearly
// blue (#0070df blended with white).
struct Inks {
    int red = 0;
    int blue = 0;
    int exactRed = 0;
    int exactBlue = 0;
};

Inks inksIn(const QImage &image, const QRect &rect) {
    Inks inks;
    const QRect r = rect.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > c.blue() + 80) {
                ++inks.red;
            } else if (c.blue() > c.red() + 80) {
                ++inks.blue;
            }
            inks.exactRed += c.rgb() == InputMethod::invalidColor.rgb();
            inks.exactBlue += c.rgb() == InputMethod::validColor.rgb();
        }
    }
    return inks;
}

} // namespace

class TestInputMethod : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void toolTipWindowNeverTakesFocus();
    void gcComposesTwoSegments();
    void gcThenBackspace();
    void yzxThenBackspaceKeepsInvalidColour();
    void unknownLetterOffersEmptyCandidate();
    void sevenLettersMakeSixSegments();
    void zbDigitTwoCommits();
    void pagingAtTheEnds();
    void leftAndRightCrossPages();
    void relatedListOfTouBan();
    void relatedModeIgnoresLettersAndClosesOnBackspace();
    void unknownRelatedSymbolCommitsNothing();
    void combineCapsAndOrders();
    void sizeFollowsTheCandidates();
    void placementPulledBackFromScreenEdges();
    void placementUnderTheEditorCursor();
    void closedEditorIsForgotten();
    void paintsInvalidSegmentAndSelectedLabel();
    void instanceOutlivesNoApplication();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<InputMethod> m_im;
    QRect compositionRect() const;
    QRect labelRect(int position) const;
    QRect candidateRect(int position) const;
};

void TestInputMethod::initTestCase() {
    QVERIFY(m_dir.isValid());
    AppPaths::setProgramDirOverride(m_dir.path());
}

void TestInputMethod::init() {
    m_im = std::make_unique<InputMethod>(6);
}

void TestInputMethod::cleanup() {
    m_im.reset();
}

void TestInputMethod::cleanupTestCase() {
    AppPaths::setProgramDirOverride(QString());
}

QRect TestInputMethod::compositionRect() const {
    const QFontMetrics fm(m_im->compositionFont());
    return QRect(InputMethod::insetLeft, InputMethod::insetTop,
                 fm.horizontalAdvance(m_im->composition()), fm.height() + fm.descent());
}

QRect TestInputMethod::labelRect(int position) const {
    const QFontMetrics fm1(m_im->compositionFont());
    const QFontMetrics fm2(m_im->candidateFont());
    const QStringList onPage = m_im->pageCandidates();
    int x = InputMethod::insetLeft;
    for (int i = 0; i < position; ++i) {
        x += fm1.horizontalAdvance(QStringLiteral("%1 ").arg(i + 1)) +
             fm2.horizontalAdvance(onPage.at(i)) + InputMethod::itemSpacing;
    }
    const int top = InputMethod::insetTop + fm1.height() + InputMethod::lineSpacing;
    return QRect(x, top, fm1.horizontalAdvance(QString::number(position + 1)), fm2.height());
}

QRect TestInputMethod::candidateRect(int position) const {
    const QFontMetrics fm1(m_im->compositionFont());
    const QFontMetrics fm2(m_im->candidateFont());
    const QRect label = labelRect(position);
    const int x = label.left() + fm1.horizontalAdvance(QStringLiteral("%1 ").arg(position + 1));
    return QRect(x, label.top(), fm2.horizontalAdvance(m_im->pageCandidates().at(position)),
                 fm2.height());
}

void TestInputMethod::toolTipWindowNeverTakesFocus() {
    QPlainTextEdit editor;
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    QVERIFY(editor.hasFocus());

    QVERIFY(m_im->windowFlags().testFlag(Qt::ToolTip));
    QVERIFY(m_im->testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(m_im->isHidden());
    m_im->setEditor(&editor);
    m_im->appendText(QStringLiteral("g"));
    QVERIFY(m_im->isVisible());
    QCoreApplication::processEvents();
    QVERIFY(editor.hasFocus());
    QVERIFY(editor.isActiveWindow());
    QVERIFY(!m_im->isActiveWindow());
    QCOMPARE(QApplication::focusWidget(), &editor);
}

void TestInputMethod::gcComposesTwoSegments() {
    type(*m_im, QStringLiteral("gc"));
    QVERIFY(m_im->isVisible());
    QCOMPARE(m_im->composition(), QStringLiteral("g'c"));
    QCOMPARE(m_im->segments().size(), 2);
    QVERIFY(m_im->segments().at(0).valid && m_im->segments().at(1).valid);

    const CandidateList list = m_im->currentList();
    QCOMPARE(list.first().text, sym(0xF002C) + sym(0xF002B)); // 工尺
    QCOMPARE(list.first().weight, 1.2f);
    // Then 工 with every key that begins with "c".
    const CandidateList c = m_im->tree().search(QStringLiteral("c"), true);
    QCOMPARE(list.size(), c.size());
    for (int i = 1; i < list.size(); ++i) {
        QVERIFY(list.at(i).text.startsWith(sym(0xF002C)));
        QVERIFY(list.at(i).weight <= list.at(i - 1).weight);
    }
    QCOMPARE(m_im->candidates(), texts(list));
    QCOMPARE(m_im->page(), 0);
    QCOMPARE(m_im->selected(), 0);
}

void TestInputMethod::gcThenBackspace() {
    type(*m_im, QStringLiteral("gc"));
    press(*m_im, Qt::Key_Right);
    press(*m_im, Qt::Key_Period);
    press(*m_im, Qt::Key_Backspace);
    QVERIFY(m_im->isVisible());
    QCOMPARE(m_im->composition(), QStringLiteral("g"));
    QCOMPARE(m_im->segments().size(), 1);
    QCOMPARE(m_im->candidates(), texts(m_im->tree().search(QStringLiteral("g"), true)));
    QCOMPARE(m_im->page(), 0);
    QCOMPARE(m_im->selected(), 0);

    press(*m_im, Qt::Key_Backspace);
    QVERIFY(m_im->isHidden());
    QVERIFY(m_im->segments().isEmpty());
    QVERIFY(m_im->candidates().isEmpty());

    // Typing again starts from scratch: no list of the old composition is left.
    m_im->appendText(QStringLiteral("b"));
    QCOMPARE(m_im->candidates(), texts(m_im->tree().search(QStringLiteral("b"), true)));
}

void TestInputMethod::yzxThenBackspaceKeepsInvalidColour() {
    type(*m_im, QStringLiteral("yzx"));
    QCOMPARE(m_im->composition(), QStringLiteral("yz'x"));
    QVERIFY(!m_im->segments().at(0).valid);
    QVERIFY(m_im->segments().at(1).valid);
    press(*m_im, Qt::Key_Backspace);
    QCOMPARE(m_im->segments().size(), 1);
    QCOMPARE(m_im->segments().at(0).text, QStringLiteral("yz"));
    QVERIFY(!m_im->segments().at(0).valid);
    QCOMPARE(QSet<QString>(m_im->candidates().begin(), m_im->candidates().end()),
             QSet<QString>({sym(0xF0005), sym(0xF0007)}));

    // Shortening a segment re-flags it by its own prefix matches.
    press(*m_im, Qt::Key_Backspace);
    QCOMPARE(m_im->composition(), QStringLiteral("y"));
    QVERIFY(m_im->segments().at(0).valid);
    QCOMPARE(m_im->candidates().size(), 29);
}

void TestInputMethod::unknownLetterOffersEmptyCandidate() {
    m_im->appendText(QStringLiteral("v"));
    QVERIFY(m_im->isVisible());
    QVERIFY(!m_im->segments().at(0).valid);
    QCOMPARE(m_im->candidates(), QStringList({QString()}));
    // The popup says so instead of offering an empty candidate "1".
    QVERIFY(!m_im->hasMatches());
    const QFontMetrics fm(m_im->compositionFont());
    QVERIFY(m_im->width() >= fm.horizontalAdvance(InputMethod::noMatchText));
    const QImage image = m_im->grab().toImage();
    const QRect row(
        0, InputMethod::insetTop + fm.height() + InputMethod::lineSpacing, image.width(),
        image.height() - InputMethod::insetTop - fm.height() - InputMethod::lineSpacing);
    int grey = 0;
    for (int y = row.top(); y < row.bottom(); ++y) {
        for (int x = row.left() + 1; x < row.right() - 1; ++x) {
            grey += image.pixelColor(x, y).rgb() == InputMethod::pageColor.rgb();
        }
    }
    QVERIFY(grey > 10);
    QCOMPARE(inksIn(image, row).blue, 0);
    QCOMPARE(m_im->commitCurrent(), QString());
    QVERIFY(m_im->isHidden());

    // A known segment followed by an unknown one keeps the known one's list.
    type(*m_im, QStringLiteral("zbv"));
    QCOMPARE(m_im->candidates(), QStringList({sym(0xF0003), sym(0xF0007)}));
}

void TestInputMethod::sevenLettersMakeSixSegments() {
    type(*m_im, QStringLiteral("vvvvvvv"));
    QCOMPARE(m_im->segments().size(), 6);
    QCOMPARE(m_im->composition(), QStringLiteral("v'v'v'v'v'v"));
    for (const Segment &s : m_im->segments()) {
        QVERIFY(!s.valid);
    }
    QCOMPARE(m_im->candidates(), QStringList({QString()}));

    // Six pitch segments: every combination step stops at 60 entries.
    m_im->reset();
    type(*m_im, QStringLiteral("gcgcgcg"));
    QCOMPARE(m_im->segments().size(), 6);
    QVERIFY(m_im->candidates().size() <= InputMethod::maxCombinations);
    QCOMPARE(m_im->candidates().first(), QString(sym(0xF002C) + sym(0xF002B)).repeated(3));
}

void TestInputMethod::zbDigitTwoCommits() {
    type(*m_im, QStringLiteral("zb"));
    QCOMPARE(m_im->segments().size(), 1);
    QVERIFY(m_im->segments().at(0).valid);
    QCOMPARE(m_im->candidates(), QStringList({sym(0xF0003), sym(0xF0007)}));
    QCOMPARE(m_im->selectByNumber(0), QString());
    QCOMPARE(m_im->selectByNumber(3), QString());
    QVERIFY(m_im->isVisible());
    QCOMPARE(m_im->candidates().size(), 2);
    QCOMPARE(m_im->selectByNumber(2), sym(0xF0007));
    QVERIFY(m_im->isHidden());
    QVERIFY(m_im->candidates().isEmpty());
    // Nothing left to choose from.
    QCOMPARE(m_im->selectByNumber(1), QString());
    QCOMPARE(m_im->commitCurrent(), QString());
}

void TestInputMethod::pagingAtTheEnds() {
    m_im->appendText(QStringLiteral("y")); // 29 candidates: pages of 6, 6, 6, 6, 5
    QCOMPARE(m_im->candidates().size(), 29);
    QCOMPARE(m_im->pageIndicator(), QStringLiteral("1/5"));
    press(*m_im, Qt::Key_Comma);
    QCOMPARE(m_im->page(), 0);
    for (int i = 0; i < 5; ++i) {
        press(*m_im, Qt::Key_Right);
    }
    QCOMPARE(m_im->selected(), 5);
    press(*m_im, Qt::Key_Period);
    press(*m_im, Qt::Key_Down);
    press(*m_im, Qt::Key_Period);
    QCOMPARE(m_im->page(), 3);
    QCOMPARE(m_im->selected(), 5);
    // Onto the short last page: the highlight is clamped to its last candidate.
    press(*m_im, Qt::Key_Period);
    QCOMPARE(m_im->page(), 4);
    QCOMPARE(m_im->selected(), 4);
    QCOMPARE(m_im->pageIndicator(), QStringLiteral("5/5"));
    QCOMPARE(m_im->pageCandidates().size(), 5);
    // Period on the last page does nothing; neither does Right on the last candidate.
    press(*m_im, Qt::Key_Period);
    QCOMPARE(m_im->page(), 4);
    QCOMPARE(m_im->selected(), 4);
    press(*m_im, Qt::Key_Right);
    QCOMPARE(m_im->page(), 4);
    QCOMPARE(m_im->selected(), 4);
    QCOMPARE(m_im->commitCurrent(), m_im->tree().search(QStringLiteral("y"), true).last().text);
}

void TestInputMethod::leftAndRightCrossPages() {
    m_im->appendText(QStringLiteral("y"));
    const QStringList all = m_im->candidates();
    press(*m_im, Qt::Key_Left);
    QCOMPARE(m_im->page(), 0);
    QCOMPARE(m_im->selected(), 0);
    for (int i = 0; i < 6; ++i) {
        press(*m_im, Qt::Key_Right);
    }
    QCOMPARE(m_im->page(), 1);
    QCOMPARE(m_im->selected(), 0);
    press(*m_im, Qt::Key_Left);
    QCOMPARE(m_im->page(), 0);
    QCOMPARE(m_im->selected(), 5);
    press(*m_im, Qt::Key_Down);
    press(*m_im, Qt::Key_Up);
    QCOMPARE(m_im->page(), 0);
    QCOMPARE(m_im->selected(), 5);
    press(*m_im, Qt::Key_Period);
    press(*m_im, Qt::Key_Left);
    QCOMPARE(m_im->commitCurrent(), all.at(6 + 4));
    QVERIFY(m_im->isHidden());

    // A number counts on the current page.
    m_im->appendText(QStringLiteral("y"));
    press(*m_im, Qt::Key_Period);
    QCOMPARE(m_im->selectByNumber(3), all.at(6 + 2));
}

void TestInputMethod::relatedListOfTouBan() {
    m_im->showRelated(sym(0xF0000));
    QVERIFY(m_im->isVisible());
    QCOMPARE(m_im->composition(), sym(0xF0000));
    QCOMPARE(m_im->segments().size(), 1);
    QCOMPARE(m_im->segments().at(0).text, QStringLiteral("*"));
    QCOMPARE(m_im->candidates().size(), 14);
    QCOMPARE(m_im->pageCandidates(), QStringList({sym(0xF0000), sym(0xF0006), sym(0xF0003),
                                                  sym(0xF0007), sym(0xF0001), sym(0xF0002)}));
    QCOMPARE(m_im->pageIndicator(), QStringLiteral("1/3"));
    press(*m_im, Qt::Key_Period);
    press(*m_im, Qt::Key_Period);
    QCOMPARE(m_im->pageIndicator(), QStringLiteral("3/3"));
    QCOMPARE(m_im->pageCandidates(), QStringList({sym(0xF000A), sym(0xF000B)}));
    press(*m_im, Qt::Key_Comma);
    press(*m_im, Qt::Key_Comma);
    if (qEnvironmentVariableIsSet("QORVEL_SAVE_POPUP")) {
        m_im->grab().save(qEnvironmentVariable("QORVEL_SAVE_POPUP") +
                          QStringLiteral("/related.png"));
    }
    press(*m_im, Qt::Key_Period);
    press(*m_im, Qt::Key_Period);
    QCOMPARE(m_im->selectByNumber(3), QString());
    QCOMPARE(m_im->selectByNumber(2), sym(0xF000B));
    QVERIFY(m_im->isHidden());
}

void TestInputMethod::relatedModeIgnoresLettersAndClosesOnBackspace() {
    m_im->showRelated(sym(0xF0003));
    const QStringList before = m_im->candidates();
    m_im->appendText(QStringLiteral("g"));
    QCOMPARE(m_im->candidates(), before);
    QCOMPARE(m_im->composition(), sym(0xF0003));
    press(*m_im, Qt::Key_Delete);
    press(*m_im, Qt::Key_A);
    QVERIFY(m_im->isVisible());
    press(*m_im, Qt::Key_Backspace);
    QVERIFY(m_im->isHidden());
    QVERIFY(m_im->segments().isEmpty());

    m_im->showRelated(sym(0xF0003));
    press(*m_im, Qt::Key_Escape);
    QVERIFY(m_im->isHidden());
    QVERIFY(m_im->candidates().isEmpty());
    m_im->appendText(QStringLiteral("g"));
    QCOMPARE(m_im->composition(), QStringLiteral("g"));
}

void TestInputMethod::unknownRelatedSymbolCommitsNothing() {
    m_im->showRelated(sym(0xF002C));
    QVERIFY(m_im->candidates().isEmpty());
    press(*m_im, Qt::Key_Right);
    press(*m_im, Qt::Key_Period);
    QCOMPARE(m_im->selectByNumber(1), QString());
    QVERIFY(m_im->isHidden());
    m_im->showRelated(sym(0xF002C));
    QCOMPARE(m_im->commitCurrent(), QString());
    QVERIFY(m_im->isHidden());
}

void TestInputMethod::combineCapsAndOrders() {
    CandidateList a, b;
    for (int i = 0; i < 10; ++i) {
        a.append(Candidate{QStringLiteral("a%1").arg(i), 0.5f});
        b.append(Candidate{QStringLiteral("b%1").arg(i), 0.5f});
    }
    QCOMPARE(texts(InputMethod::combine(a, {})), texts(a));
    QCOMPARE(texts(InputMethod::combine({}, b)), texts(b));
    CandidateList result = InputMethod::combine(a, b);
    QCOMPARE(result.size(), 60);
    // b outside, a inside; equal weights keep that order.
    QCOMPARE(result.at(0).text, QStringLiteral("a0b0"));
    QCOMPARE(result.at(1).text, QStringLiteral("a1b0"));
    QCOMPARE(result.at(10).text, QStringLiteral("a0b1"));
    QCOMPARE(result.last().text, QStringLiteral("a9b5"));
    QCOMPARE(result.at(0).weight, 1.0f);

    // Best first.
    b[1].weight = 0.9f;
    result = InputMethod::combine(a.mid(0, 2), b.mid(0, 2));
    QCOMPARE(texts(result), QStringList({"a0b1", "a1b1", "a0b0", "a1b0"}));
}

void TestInputMethod::sizeFollowsTheCandidates() {
    const QFont f1 = m_im->compositionFont();
    const QFont f2 = m_im->candidateFont();
    QCOMPARE(f1.family(), QStringLiteral("console"));
    QCOMPARE(f1.pointSize(), 12);
    QCOMPARE(f2.pointSize(), 16);
    QCOMPARE(m_im->pageFont().pointSize(), 8);
    const QFontMetrics fm1(f1);
    const QFontMetrics fm2(f2);
    const int height = fm1.height() + 3 + 6 + fm2.height() + 8;

    // Nothing to show: the narrowest popup, already at construction.
    QCOMPARE(m_im->size(), QSize(200, height));
    QCOMPARE(InputMethod::popupSize(f1, f2, QString(), {QString()}), QSize(200, height));

    const QString wide(60, QLatin1Char('w'));
    QCOMPARE(InputMethod::popupSize(f1, f2, wide, {QString()}).width(),
             fm1.horizontalAdvance(wide) + 20);

    const QStringList many = QVector<QString>(6, QStringLiteral("工尺上")).toList();
    const int w = 6 * (fm2.horizontalAdvance(many.first()) + fm1.horizontalAdvance("0 ")) + 5 * 20;
    QCOMPARE(InputMethod::popupSize(f1, f2, QStringLiteral("g"), many), QSize(w + 20, height));

    m_im->appendText(QStringLiteral("y"));
    QCOMPARE(m_im->size(),
             InputMethod::popupSize(f1, f2, QStringLiteral("y"), m_im->candidates().mid(0, 6)));
}

void TestInputMethod::placementPulledBackFromScreenEdges() {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(300, 60);
    QCOMPARE(InputMethod::popupPosition(QPoint(100, 200), size, screen), QPoint(100, 210));
    // Right edge: 10 pixels remain.
    QCOMPARE(InputMethod::popupPosition(QPoint(1700, 200), size, screen), QPoint(1610, 210));
    QCOMPARE(InputMethod::popupPosition(QPoint(1610, 200), size, screen), QPoint(1610, 210));
    QCOMPARE(InputMethod::popupPosition(QPoint(1611, 200), size, screen), QPoint(1610, 210));
    // Bottom edge.
    QCOMPARE(InputMethod::popupPosition(QPoint(100, 1010), size, screen), QPoint(100, 1020));
    QCOMPARE(InputMethod::popupPosition(QPoint(100, 1011), size, screen), QPoint(100, 1010));
    QCOMPARE(InputMethod::popupPosition(QPoint(100, 1075), size, screen), QPoint(100, 1010));
    QCOMPARE(InputMethod::popupPosition(QPoint(1900, 1075), size, screen), QPoint(1610, 1010));
    // A second screen to the right of the first is handled at its own edges.
    const QRect second(1920, 0, 1280, 1024);
    QCOMPARE(InputMethod::popupPosition(QPoint(2000, 100), size, second), QPoint(2000, 110));
    QCOMPARE(InputMethod::popupPosition(QPoint(3150, 1000), size, second), QPoint(2890, 954));
}

void TestInputMethod::placementUnderTheEditorCursor() {
    QScreen *screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QRect geometry = screen->geometry();

    QPlainTextEdit editor;
    editor.setFrameShape(QFrame::NoFrame);
    editor.resize(300, 200);
    editor.move(geometry.topLeft() + QPoint(50, 50));
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    m_im->setEditor(&editor);
    m_im->appendText(QStringLiteral("g"));
    const QPoint anchor = editor.viewport()->mapToGlobal(editor.cursorRect().bottomLeft());
    QCOMPARE(m_im->pos(), anchor + QPoint(0, 10));

    // Near the bottom-right corner the popup is pulled back onto the screen.
    editor.move(geometry.right() - 120, geometry.bottom() - 40);
    QCoreApplication::processEvents();
    m_im->appendText(QStringLiteral("c"));
    const int right = geometry.x() + geometry.width();
    const int bottom = geometry.y() + geometry.height();
    QCOMPARE(m_im->x() + m_im->width(), right - 10);
    QCOMPARE(m_im->y() + m_im->height(), bottom - 10);
}

void TestInputMethod::closedEditorIsForgotten() {
    auto *editor = new QPlainTextEdit;
    m_im->setEditor(editor);
    QCOMPARE(m_im->editor(), editor);
    delete editor;
    QCOMPARE(m_im->editor(), nullptr);
    m_im->appendText(QStringLiteral("g")); // placed at the mouse pointer instead
    QVERIFY(m_im->isVisible());
}

void TestInputMethod::paintsInvalidSegmentAndSelectedLabel() {
    type(*m_im, QStringLiteral("yzx"));
    press(*m_im, Qt::Key_Backspace);
    QImage image = m_im->grab().toImage();
    if (qEnvironmentVariableIsSet("QORVEL_SAVE_POPUP")) {
        image.save(qEnvironmentVariable("QORVEL_SAVE_POPUP") + QStringLiteral("/yz.png"));
    }
    QCOMPARE(image.size(), m_im->size());

    Inks composition = inksIn(image, compositionRect());
    QVERIFY2(composition.red > 10, qPrintable(QString::number(composition.red)));
    QCOMPARE(composition.blue, 0);
    QVERIFY(composition.exactRed > 0);
    Inks first = inksIn(image, labelRect(0));
    Inks second = inksIn(image, labelRect(1));
    QVERIFY(first.red > 5 && first.blue == 0);
    QVERIFY(second.blue > 5 && second.red == 0);
    QVERIFY(first.exactRed > 0);
    QVERIFY(second.exactBlue > 0);

    // The highlighted candidate's glyph is drawn in the label's colour.
    QCOMPARE(m_im->candidateFont().family(), FontRegistry::instance()->defaultFamily());
    const Inks glyph0 = inksIn(image, candidateRect(0));
    const Inks glyph1 = inksIn(image, candidateRect(1));
    QVERIFY(glyph0.red > 5 && glyph0.blue == 0);
    QVERIFY(glyph1.blue > 5 && glyph1.red == 0);

    // Background and border.
    QCOMPARE(image.pixelColor(image.width() - 3, image.height() - 3), QColor(Qt::white));
    const QColor top = image.pixelColor(image.width() / 2, 0);
    QVERIFY(top.blue() > top.red() && top != QColor(Qt::white));

    // The highlight moves to the second label; the composition stays red.
    press(*m_im, Qt::Key_Right);
    image = m_im->grab().toImage();
    first = inksIn(image, labelRect(0));
    second = inksIn(image, labelRect(1));
    QVERIFY(first.blue > 5 && first.red == 0);
    QVERIFY(second.red > 5 && second.blue == 0);

    // A valid composition is blue.
    m_im->reset();
    type(*m_im, QStringLiteral("gc"));
    image = m_im->grab().toImage();
    if (qEnvironmentVariableIsSet("QORVEL_SAVE_POPUP")) {
        image.save(qEnvironmentVariable("QORVEL_SAVE_POPUP") + QStringLiteral("/gc.png"));
    }
    composition = inksIn(image, compositionRect());
    QVERIFY(composition.blue > 10 && composition.red == 0);

    // Page indicator in grey at the right: "1/..." ends 10 pixels from the edge.
    const QFontMetrics fm1(m_im->compositionFont());
    const QRect corner(image.width() - 60, InputMethod::insetTop, 50, fm1.height());
    const Inks cornerInks = inksIn(image, corner);
    QCOMPARE(cornerInks.red + cornerInks.blue, 0);
    bool grey = false;
    for (int y = corner.top(); y <= corner.bottom() && !grey; ++y) {
        for (int x = corner.left(); x <= corner.right(); ++x) {
            grey = grey || image.pixelColor(x, y).rgb() == InputMethod::pageColor.rgb();
        }
    }
    QVERIFY(grey);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = image.width() - 9; x < image.width() - 1; ++x) {
            QVERIFY(image.pixelColor(x, y).rgb() != InputMethod::pageColor.rgb());
        }
    }
}

void TestInputMethod::instanceOutlivesNoApplication() {
    // The process-wide popup is destroyed with the application object, not
    // after it: a process that used it exits cleanly.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--use-instance"), m_dir.path()});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(!child.readAllStandardError().contains("QWidget"), "widget outlived the application");
}

int main(int argc, char **argv) {
    if (argc == 3 && qstrcmp(argv[1], "--use-instance") == 0) {
        QApplication app(argc, argv);
        AppPaths::setProgramDirOverride(QString::fromLocal8Bit(argv[2]));
        InputMethod::instance()->appendText(QStringLiteral("g"));
        return InputMethod::instance() == InputMethod::instance() &&
                       InputMethod::instance()->isVisible()
                   ? 0
                   : 1;
    }
    QApplication app(argc, argv);
    TestInputMethod test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inputmethod.moc"
