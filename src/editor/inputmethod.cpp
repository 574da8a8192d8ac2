#include "editor/inputmethod.h"

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
    , m_engine(pageSize, dictionaryFile)
    , m_compositionFont(QStringLiteral("console"), 12)
    , m_candidateFont(FontRegistry::instance()->defaultFamily(), 16)
    , m_pageFont(QStringLiteral("console"), 8) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    resize(popupSize(m_compositionFont, m_candidateFont, composition(), pageCandidates()));
    hide();
}

InputMethod::~InputMethod() = default;

void InputMethod::setEditor(QPlainTextEdit *editor) {
    m_editor = editor;
}

void InputMethod::appendText(const QString &text) {
    if (!m_engine.appendText(text)) {
        return;
    }
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
        m_engine.previousPage();
        refreshGeometry();
        break;
    case Qt::Key_Period:
    case Qt::Key_Down:
        m_engine.nextPage();
        refreshGeometry();
        break;
    case Qt::Key_Left:
        if (m_engine.left()) {
            refreshGeometry();
        }
        update();
        break;
    case Qt::Key_Right:
        if (m_engine.right()) {
            refreshGeometry();
        }
        update();
        break;
    case Qt::Key_Escape:
        reset();
        break;
    case Qt::Key_Backspace:
        if (m_engine.backspace()) {
            refreshGeometry();
        } else {
            hide();
        }
        break;
    default:
        break;
    }
}

QString InputMethod::commitCurrent() {
    const QString chosen = m_engine.commitCurrent();
    hide();
    return chosen;
}

QString InputMethod::selectByNumber(int number) {
    const QString chosen = m_engine.selectByNumber(number);
    // A number not on the page leaves everything as it is.
    if (!m_engine.isActive()) {
        hide();
    }
    return chosen;
}

void InputMethod::showRelated(const QString &symbol) {
    m_engine.showRelated(symbol);
    refreshGeometry();
    if (isHidden()) {
        show();
    }
}

void InputMethod::reset() {
    m_engine.reset();
    hide();
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
        popupSize(m_compositionFont, m_candidateFont, composition(), pageCandidates());
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
    const SegmentList &shown = segments();
    for (int i = 0; i < shown.size(); ++i) {
        const Segment &segment = shown.at(i);
        const QString text = i + 1 < shown.size() ? segment.text + QLatin1Char('\'') : segment.text;
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
        painter.setPen(i == selected() ? invalidColor : validColor);
        const QString label = QString::number(i + 1) + QLatin1Char(' ');
        painter.setFont(m_compositionFont);
        painter.drawText(x, (h1 + h2) / 2, label);
        x += compositionMetrics.horizontalAdvance(label);
        painter.setFont(m_candidateFont);
        painter.drawText(x, h2, onPage.at(i));
        x += candidateMetrics.horizontalAdvance(onPage.at(i)) + itemSpacing;
    }
}
