#include "inputmethod/inputmethod.h"

#include "fonts/fontregistry.h"

#include <QCoreApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <algorithm>

const QColor InputMethod::borderColor(0x89, 0xb8, 0xd0);
const QColor InputMethod::validColor(0x00, 0x70, 0xdf);
const QColor InputMethod::invalidColor(0xff, 0x2a, 0x00);
const QString InputMethod::noMatchText = QStringLiteral("无匹配");
const QColor InputMethod::pageColor(0x78, 0x78, 0x78);

namespace {

const QString relatedMarker = QStringLiteral("*");

InputMethod *theInstance = nullptr;

// Widgets must go before the application object does; a post routine runs
// at the start of QApplication's destructor.
void destroyInstance() {
    delete theInstance;
    theInstance = nullptr;
}

} // namespace

InputMethod *InputMethod::instance() {
    if (!theInstance) {
        theInstance = new InputMethod(6);
        qAddPostRoutine(destroyInstance);
    }
    return theInstance;
}

InputMethod::InputMethod(int pageSize, const QString &dictionaryFile)
    : QWidget(nullptr, Qt::ToolTip)
    , m_tree(std::make_unique<ScoreTree>(dictionaryFile))
    , m_pager(pageSize)
    , m_compositionFont(QStringLiteral("console"), 12)
    , m_candidateFont(FontRegistry::instance()->defaultFamily(), 16)
    , m_pageFont(QStringLiteral("console"), 8) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    resize(popupSize(m_compositionFont, m_candidateFont, m_composition, pageCandidates()));
    hide();
}

InputMethod::~InputMethod() = default;

void InputMethod::setEditor(QPlainTextEdit *editor) {
    m_editor = editor;
}

CandidateList InputMethod::combine(const CandidateList &a, const CandidateList &b) {
    if (a.isEmpty()) {
        return b;
    }
    if (b.isEmpty()) {
        return a;
    }
    CandidateList result;
    result.reserve(std::min(maxCombinations, a.size() * b.size()));
    for (const Candidate &second : b) {
        for (const Candidate &first : a) {
            if (result.size() >= maxCombinations) {
                break;
            }
            result.append(Candidate{first.text + second.text, first.weight + second.weight});
        }
        if (result.size() >= maxCombinations) {
            break;
        }
    }
    ScoreTree::sortByWeight(result);
    return result;
}

CandidateList InputMethod::pushLists(const QString &segmentText) {
    const CandidateList exact = m_tree->search(segmentText, false);
    const CandidateList prefix = m_tree->search(segmentText, true);
    if (!m_exactStack.isEmpty() && !m_prefixStack.isEmpty()) {
        const CandidateList top = m_exactStack.last();
        m_exactStack.append(combine(top, exact));
        m_prefixStack.append(combine(top, prefix));
    } else {
        m_exactStack.append(exact);
        m_prefixStack.append(prefix);
    }
    return prefix;
}

void InputMethod::popLists() {
    if (!m_exactStack.isEmpty()) {
        m_exactStack.removeLast();
    }
    if (!m_prefixStack.isEmpty()) {
        m_prefixStack.removeLast();
    }
}

CandidateList InputMethod::currentList() const {
    return m_prefixStack.isEmpty() ? CandidateList() : m_prefixStack.last();
}

void InputMethod::fillCandidates() {
    m_candidates.clear();
    if (!m_prefixStack.isEmpty() && !m_prefixStack.last().isEmpty()) {
        for (const Candidate &c : m_prefixStack.last()) {
            m_candidates.append(c.text);
        }
    } else {
        m_candidates.append(QString());
    }
    m_pager.reset(m_candidates.size());
}

bool InputMethod::hasMatches() const {
    return m_candidates != QStringList{QString()};
}

void InputMethod::clearComposing() {
    m_candidates.clear();
    m_composition.clear();
    m_pager.reset(0);
}

QString InputMethod::joinedSegments() const {
    QStringList parts;
    for (const Segment &s : m_segments) {
        parts.append(s.text);
    }
    return parts.join(QLatin1Char('\''));
}

void InputMethod::appendText(const QString &text) {
    if (text.isEmpty() || m_segments.size() >= maxSegments ||
        (!m_segments.isEmpty() && m_segments.first().text == relatedMarker)) {
        return;
    }
    clearComposing();

    SegmentList added;
    if (m_segments.isEmpty()) {
        added = m_tree->segment(text);
    } else {
        added = m_tree->segment(m_segments.last().text + text);
        m_segments.removeLast();
    }
    m_segments += added;
    m_composition = joinedSegments();

    popLists();
    for (const Segment &s : qAsConst(added)) {
        pushLists(s.text);
    }

    fillCandidates();
    refreshGeometry();
    if (isHidden()) {
        show();
    }
}

void InputMethod::handleKey(QKeyEvent *event) {
    if (!event) {
        return;
    }
    switch (event->key()) {
    case Qt::Key_Comma:
    case Qt::Key_Up:
        m_pager.previousPage();
        refreshGeometry();
        break;
    case Qt::Key_Period:
    case Qt::Key_Down:
        m_pager.nextPage();
        refreshGeometry();
        break;
    case Qt::Key_Left:
        if (m_pager.left()) {
            refreshGeometry();
        }
        update();
        break;
    case Qt::Key_Right:
        if (m_pager.right()) {
            refreshGeometry();
        }
        update();
        break;
    case Qt::Key_Escape:
        reset();
        break;
    case Qt::Key_Backspace: {
        clearComposing();
        popLists();
        if (m_segments.isEmpty()) {
            reset();
            return;
        }
        Segment &last = m_segments.last();
        last.text.chop(1);
        if (!last.text.isEmpty()) {
            last.valid = !pushLists(last.text).isEmpty();
        } else {
            m_segments.removeLast();
        }
        if (m_segments.isEmpty()) {
            reset();
            return;
        }
        m_composition = joinedSegments();
        fillCandidates();
        refreshGeometry();
        break;
    }
    default:
        break;
    }
}

QString InputMethod::commitCurrent() {
    const int index = m_pager.currentIndex();
    const QString chosen =
        index >= 0 && index < m_candidates.size() ? m_candidates.at(index) : QString();
    reset();
    return chosen;
}

QString InputMethod::selectByNumber(int number) {
    if (number < 1 || number > m_pager.lastSlot(m_pager.page()) + 1) {
        return QString();
    }
    m_pager.setSelected(number - 1);
    return commitCurrent();
}

void InputMethod::showRelated(const QString &symbol) {
    clearComposing();
    m_candidates = m_tree->related(symbol);
    m_pager.reset(m_candidates.size());
    m_segments = {Segment{relatedMarker, true}};
    m_composition = symbol;
    refreshGeometry();
    if (isHidden()) {
        show();
    }
}

void InputMethod::reset() {
    m_candidates.clear();
    m_segments.clear();
    m_exactStack.clear();
    m_prefixStack.clear();
    m_composition.clear();
    m_pager.reset(0);
    hide();
}

QStringList InputMethod::pageCandidates() const {
    const int begin = m_pager.pageBegin();
    const int end = std::min(m_pager.pageEnd(), m_candidates.size());
    return begin < end ? m_candidates.mid(begin, end - begin) : QStringList();
}

QString InputMethod::pageIndicator() const {
    return QStringLiteral("%1/%2").arg(m_pager.page() + 1).arg(m_pager.pageCount());
}

QSize InputMethod::popupSize(const QFont &compositionFont, const QFont &candidateFont,
                             const QString &composition, const QStringList &pageCandidates) {
    const QFontMetrics compositionMetrics(compositionFont);
    const QFontMetrics candidateMetrics(candidateFont);
    const int labelWidth = compositionMetrics.horizontalAdvance(QStringLiteral("0 "));
    int candidatesWidth = (pageCandidates.size() - 1) * itemSpacing;
    if (pageCandidates == QStringList{QString()}) {
        candidatesWidth = compositionMetrics.horizontalAdvance(noMatchText);
    } else {
        for (const QString &candidate : pageCandidates) {
            candidatesWidth += candidateMetrics.horizontalAdvance(candidate) + labelWidth;
        }
    }
    const int width = std::max(compositionMetrics.horizontalAdvance(composition), candidatesWidth) +
                      insetLeft + insetRight;
    const int height = compositionMetrics.height() + insetTop + lineSpacing +
                       candidateMetrics.height() + insetBottom;
    return QSize(std::max(width, minWidth), height);
}

QPoint InputMethod::popupPosition(const QPoint &anchor, const QSize &size, const QRect &screen) {
    // The screen's far edges in global coordinates, so that a screen not at
    // the origin (a second monitor) is handled like the first one.
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    QPoint pos(anchor.x(), anchor.y() + 10);
    if (anchor.x() + size.width() > screenRight - 10) {
        pos.setX(screenRight - size.width() - 10);
    }
    if (anchor.y() + 10 + size.height() > screenBottom) {
        pos.setY(screenBottom - size.height() - 10);
    }
    return pos;
}

QPoint InputMethod::anchor() const {
    if (m_editor) {
        return m_editor->viewport()->mapToGlobal(m_editor->cursorRect().bottomLeft());
    }
    return QCursor::pos();
}

void InputMethod::refreshGeometry() {
    const QSize size =
        popupSize(m_compositionFont, m_candidateFont, m_composition, pageCandidates());
    resize(size);
    const QPoint at = anchor();
    QScreen *screen = QGuiApplication::screenAt(at);
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen) {
        move(popupPosition(at, size, screen->geometry()));
    } else {
        move(at.x(), at.y() + 10);
    }
    update();
}

void InputMethod::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    painter.setPen(QPen(borderColor, 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(0, 0, width(), height()), 3, 3, Qt::AbsoluteSize);

    painter.translate(insetLeft, insetTop);
    const QFontMetrics compositionMetrics(m_compositionFont);
    const QFontMetrics candidateMetrics(m_candidateFont);
    const int h1 = compositionMetrics.height();
    const int h2 = candidateMetrics.height();

    // The composition, segment by segment, unknown ones in red.
    painter.setFont(m_compositionFont);
    int x = 0;
    for (int i = 0; i < m_segments.size(); ++i) {
        const Segment &segment = m_segments.at(i);
        const QString text =
            i + 1 < m_segments.size() ? segment.text + QLatin1Char('\'') : segment.text;
        painter.setPen(segment.valid ? validColor : invalidColor);
        painter.drawText(x, h1, text);
        x += compositionMetrics.horizontalAdvance(text);
    }

    // Page indicator, its right end 10 pixels from the popup's edge.
    const QString pages = pageIndicator();
    painter.setPen(pageColor);
    painter.setFont(m_pageFont);
    painter.drawText(width() - QFontMetrics(m_pageFont).horizontalAdvance(pages) - 2 * insetRight,
                     h1, pages);

    // The candidates of the page, each after its number.
    painter.translate(0, h1 + lineSpacing);
    const QStringList onPage = pageCandidates();
    if (!hasMatches()) {
        painter.setPen(pageColor);
        painter.setFont(m_compositionFont);
        painter.drawText(0, (h1 + h2) / 2, noMatchText);
        return;
    }
    x = 0;
    for (int i = 0; i < onPage.size(); ++i) {
        painter.setPen(i == m_pager.selected() ? invalidColor : validColor);
        const QString label = QString::number(i + 1) + QLatin1Char(' ');
        painter.setFont(m_compositionFont);
        painter.drawText(x, (h1 + h2) / 2, label);
        x += compositionMetrics.horizontalAdvance(label);
        painter.setFont(m_candidateFont);
        painter.drawText(x, h2, onPage.at(i));
        x += candidateMetrics.horizontalAdvance(onPage.at(i)) + itemSpacing;
    }
}
