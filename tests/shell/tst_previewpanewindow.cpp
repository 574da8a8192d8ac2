// The preview pane of the real program in a real X window, as the window
// opens at its first start (not moved or resized): the pane shows the sample
// beside the editors, outlines the character at the editors' cursor, and a
// click on its page brings the cursors there. The window fits 1280 × 800, and
// 1600 × 1000 at a scale factor of 2. Skipped, with a message, where Xvfb or
// xdotool cannot run.
#include "xsession.h"

#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The window's place on the screen, from xdotool.
QRect geometryOf(const XSession &x, const QString &window) {
    QRect r;
    const QStringList lines =
        x.xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window})
            .split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString value = line.section(QLatin1Char('='), 1);
        if (line.startsWith(QStringLiteral("X="))) {
            r.moveLeft(value.toInt());
        } else if (line.startsWith(QStringLiteral("Y="))) {
            r.moveTop(value.toInt());
        } else if (line.startsWith(QStringLiteral("WIDTH="))) {
            r.setWidth(value.toInt());
        } else if (line.startsWith(QStringLiteral("HEIGHT="))) {
            r.setHeight(value.toInt());
        }
    }
    return r;
}

// The pixels of the cursor's outline on the preview (a dashed green,
// rgb(0, 150, 80), blended by antialiasing) within area: their bounding box.
QRect cursorOutline(const QImage &shot, const QRect &area) {
    QRect box;
    const QRect inside = area.intersected(shot.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            if (c.green() > 110 && c.red() < 90 && c.green() - c.blue() > 40 &&
                c.green() - c.red() > 70) {
                box = box.united(QRect(x, y, 1, 1));
            }
        }
    }
    return box;
}

// Near enough: the same character's outline, drawn again.
bool sameBox(const QRect &a, const QRect &b) {
    return !a.isEmpty() && !b.isEmpty() && (a.center() - b.center()).manhattanLength() <= 4;
}

} // namespace

class TestPreviewPaneWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void paneFollowsTheCursorAndClicksMoveIt();
    void windowFitsTheScreen_data();
    void windowFitsTheScreen();

private:
    QImage shot(const XSession &x, const QString &name) const;
    // Starts the program with the sample on x, as at a first start.
    QString startWithSample(XSession &x, const QProcessEnvironment &extra = {});

    QTemporaryDir m_home;
    XSession m_x;
    QString m_sample;
};

void TestPreviewPaneWindow::initTestCase() {
    QORVEL_START_X_OR_SKIP(m_x, 95);
    m_sample = m_home.filePath(QStringLiteral("游园.gcp"));
    QVERIFY(copySample(m_sample));
}

void TestPreviewPaneWindow::cleanupTestCase() {
    m_x.stop();
}

QImage TestPreviewPaneWindow::shot(const XSession &x, const QString &name) const {
    const QString file = m_home.filePath(name);
    x.screenshot(file);
    QImage image(file);
    // Kept where ctest runs, to be looked at.
    image.save(name);
    return image.convertToFormat(QImage::Format_RGB32);
}

QString TestPreviewPaneWindow::startWithSample(XSession &x, const QProcessEnvironment &extra) {
    // A fresh program directory: the first start's window and layout.
    const QString program = m_home.filePath(QStringLiteral("program-%1").arg(x.display().mid(1)));
    QDir(program).removeRecursively();
    return x.startProgram(m_home.path(), program, {m_sample}, extra, false);
}

void TestPreviewPaneWindow::paneFollowsTheCursorAndClicksMoveIt() {
    const QString window = startWithSample(m_x);
    QVERIFY(!window.isEmpty());
    QVERIFY(waitUntil([&] {
        return m_x.xdotool({QStringLiteral("getwindowname"), window})
            .startsWith(QStringLiteral("游园.gcp"));
    }));
    const QRect frame = geometryOf(m_x, window);
    QVERIFY(frame.width() > 0);
    // The pane: the right part of the window.
    const QRect pane(frame.left() + frame.width() / 2, frame.top(), frame.width() / 2,
                     frame.height());

    // The cursor starts at the first sung character: outlined on the page
    // once the pane has typeset it.
    // Taken when two screenshots in a row agree: the window has settled.
    QRect first;
    QVERIFY(waitUntil([&] {
        const QRect before = first;
        first = cursorOutline(shot(m_x, QStringLiteral("previewpane-cursor.png")), pane);
        return !first.isEmpty() && first == before;
    }));
    // In the score editor, a line per sung character: three lines down, the
    // outline moves to the fourth character.
    // The same keys again while a click came before the window took input.
    QRect second;
    for (int attempt = 0; attempt < 5 && (second.isEmpty() || sameBox(first, second)); ++attempt) {
        m_x.click(window, frame.width() * 45 / 100, frame.height() * 30 / 100);
        m_x.key(window, QStringLiteral("ctrl+Home"));
        for (int line = 0; line < 3; ++line) {
            m_x.key(window, QStringLiteral("Down"));
        }
        waitUntil(
            [&] {
                second = cursorOutline(shot(m_x, QStringLiteral("previewpane-moved.png")), pane);
                return !second.isEmpty() && !sameBox(first, second);
            },
            4000);
    }
    QVERIFY(!second.isEmpty() && !sameBox(first, second));
    // A click on the first character's place on the page brings the cursors
    // back there, and the outline with them.
    m_x.click(window, first.center().x() - frame.left(), first.center().y() - frame.top());
    QRect clicked;
    QVERIFY(waitUntil([&] {
        clicked = cursorOutline(shot(m_x, QStringLiteral("previewpane-clicked.png")), pane);
        return sameBox(first, clicked);
    }));
    QCOMPARE(m_x.program().state(), QProcess::Running);
}

void TestPreviewPaneWindow::windowFitsTheScreen_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1280x800") << "1280x800x24"
                              << "1" << QSize(1280, 800);
    QTest::newRow("1600x1000 at 2") << "1600x1000x24"
                                    << "2" << QSize(1600, 1000);
}

void TestPreviewPaneWindow::windowFitsTheScreen() {
    QFETCH(QString, screen);
    QFETCH(QString, scale);
    QFETCH(QSize, size);
    XSession x;
    QString why;
    QVERIFY2(x.start(97, &why, screen), qPrintable(why));
    QProcessEnvironment extra;
    extra.insert(QStringLiteral("QT_SCALE_FACTOR"), scale);
    const QString window = startWithSample(x, extra);
    QVERIFY(!window.isEmpty());
    QVERIFY(waitUntil([&] {
        return x.xdotool({QStringLiteral("getwindowname"), window})
            .startsWith(QStringLiteral("游园.gcp"));
    }));
    const QRect frame = geometryOf(x, window);
    const QImage image = shot(x, QStringLiteral("previewpane-%1.png")
                                     .arg(QTest::currentDataTag())
                                     .replace(QLatin1Char(' '), QLatin1Char('-')));
    QVERIFY2(QRect(QPoint(0, 0), size).contains(frame),
             qPrintable(QStringLiteral("window at %1,%2 %3x%4")
                            .arg(frame.x())
                            .arg(frame.y())
                            .arg(frame.width())
                            .arg(frame.height())));
    QCOMPARE(image.size(), size);
    x.stop();
}

QTEST_MAIN(TestPreviewPaneWindow)
#include "tst_previewpanewindow.moc"
