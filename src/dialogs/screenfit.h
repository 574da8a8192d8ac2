#pragma once

#include <QObject>
#include <QSize>

class QWidget;

// Keeps a window within the screen it opens on. Each time the window is
// shown, a size larger than the screen's available area (less the window
// frame) shrinks to fit, and a window placed partly off the area moves back
// inside it. Sizes given to the window are thus preferred sizes: on a small
// or strongly scaled screen its layout has to make do with less.
class ScreenFit : public QObject {
    Q_OBJECT

public:
    // Watches window from now on; calling it again changes nothing.
    static void fit(QWidget *window);

    // The largest size window may take on the screen it opens on: the
    // screen of its parent's window, or its own.
    static QSize availableSize(const QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit ScreenFit(QWidget *window);
    static void apply(QWidget *window);
};
