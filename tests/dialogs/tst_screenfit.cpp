#include "appearance/settings.h"
#include "dialogs/aboutdialog.h"
#include "dialogs/helpdialog.h"
#include "dialogs/screenfit.h"
#include "fontwidgets/fontmanager.h"

#include <QAbstractScrollArea>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

// Run with QT_SCALE_FACTOR=2 (screenfit.cmake): every dialog and its buttons
// stay on the screen.
class TestScreenFit : public QObject {
    Q_OBJECT

private:
    static QRect area() { return QGuiApplication::primaryScreen()->availableGeometry(); }

    static void checkOnScreen(QWidget *window) {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY2(area().contains(window->frameGeometry()), window->metaObject()->className());
        int buttons = 0;
        for (QPushButton *button : window->findChildren<QPushButton *>()) {
            const QWidget *scroll = button->parentWidget();
            while (scroll && !qobject_cast<const QAbstractScrollArea *>(scroll)) {
                scroll = scroll->parentWidget();
            }
            if (scroll || !button->isVisible()) {
                continue; // scrolled into view when needed
            }
            const QRect onScreen(button->mapToGlobal(QPoint(0, 0)), button->size());
            QVERIFY2(area().contains(onScreen), qPrintable(button->text()));
            ++buttons;
        }
        QVERIFY(buttons > 0);
    }

private slots:
    void initTestCase() {
        QCOMPARE(QGuiApplication::primaryScreen()->devicePixelRatio(), 2.0);
        QCOMPARE(area().size(), QSize(400, 300));
    }

    void dialogsFit() {
        std::unique_ptr<QWidget> dialogs[] = {std::make_unique<Settings>(),
                                              std::make_unique<Help>(), std::make_unique<About>(),
                                              std::make_unique<FontManager>()};
        for (const auto &dialog : dialogs) {
            checkOnScreen(dialog.get());
            if (QTest::currentTestFailed()) {
                return;
            }
        }
    }

    void movedWindowComesBackInside() {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        layout->addStretch();
        layout->addWidget(new QPushButton(QStringLiteral("确定")), 0, Qt::AlignRight);
        window.resize(900, 700);
        window.move(250, 150);
        ScreenFit::fit(&window);
        ScreenFit::fit(&window); // watched once
        QCOMPARE(window.findChildren<ScreenFit *>().size(), 1);
        checkOnScreen(&window);
    }
};

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
