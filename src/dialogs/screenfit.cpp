#include "dialogs/screenfit.h"

#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QWidget>

namespace {

QScreen *screenOf(const QWidget *window) {
    const QWidget *parent = window->parentWidget();
    return parent ? parent->window()->screen() : window->screen();
}

} // namespace

ScreenFit::ScreenFit(QWidget *window)
    : QObject(window) {
    window->installEventFilter(this);
}

void ScreenFit::fit(QWidget *window) {
    if (!window->findChild<ScreenFit *>(QString(), Qt::FindDirectChildrenOnly)) {
        new ScreenFit(window);
    }
    if (window->isVisible()) {
        apply(window);
    }
}

QSize ScreenFit::availableSize(const QWidget *window) {
    const QScreen *screen = screenOf(window);
    if (!screen) {
        return QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    // Before the first show the frame is unknown; a title bar is assumed.
    QSize frame = window->frameGeometry().size() - window->size();
    if (frame.isNull()) {
        frame = QSize(0, window->style()->pixelMetric(QStyle::PM_TitleBarHeight));
    }
    return (screen->availableGeometry().size() - frame).expandedTo(QSize(1, 1));
}

bool ScreenFit::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() == QEvent::Show && watched == parent()) {
        apply(static_cast<QWidget *>(watched));
    }
    return QObject::eventFilter(watched, event);
}

void ScreenFit::apply(QWidget *window) {
    const QSize available = availableSize(window);
    // A minimum set by the layout stays the layout's unless it is too large.
    const QSize minimum = window->minimumSize();
    if (minimum.width() > available.width() || minimum.height() > available.height()) {
        window->setMinimumSize(minimum.boundedTo(available));
    }
    window->resize(window->size().boundedTo(available));

    // Dialogs are centred on their parent within the screen when they show;
    // only a window placed by the program is moved here.
    const QScreen *screen = screenOf(window);
    if (!screen || !window->testAttribute(Qt::WA_Moved)) {
        return;
    }
    const QRect area = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveRight(qMin(frame.right(), area.right()));
    frame.moveBottom(qMin(frame.bottom(), area.bottom()));
    frame.moveLeft(qMax(frame.left(), area.left()));
    frame.moveTop(qMax(frame.top(), area.top()));
    window->move(frame.topLeft());
}
