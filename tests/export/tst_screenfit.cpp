// The export windows fit their screen: here the offscreen screen of 800 × 600
// pixels at a scale factor of 2, 400 × 300 in the windows' units.
#include "export/exportconfig.h"
#include "export/exportsettingsform.h"
#include "exportfixture.h"
#include "fonts/fontsubstitutions.h"
#include "platform/apppaths.h"
#include "testsupport.h"

#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QtTest>

class TestScreenFit : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void exportSettingsFitTheScreen();
    void rememberedSizeIsFitted();
};

void TestScreenFit::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
    ExportConfig::instance()->restoreDefaults();
}

void TestScreenFit::exportSettingsFitTheScreen() {
    ExportSettingsForm d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    const QRect screen = d.screen()->availableGeometry();
    QCOMPARE(screen.size(), QSize(400, 300));
    QVERIFY(d.width() <= screen.width() && d.height() <= screen.height());
    QVERIFY(screen.contains(d.frameGeometry()));
    // What does not fit scrolls into view.
    auto *submit = d.findChild<QPushButton *>(QStringLiteral("submitBtn"));
    d.findChild<QScrollArea *>(QStringLiteral("dialogScrollArea"))->ensureWidgetVisible(submit);
    QVERIFY(!submit->visibleRegion().isEmpty());
}

void TestScreenFit::rememberedSizeIsFitted() {
    {
        QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("ExportSettings/width"), 2000);
        settings.setValue(QStringLiteral("ExportSettings/height"), 1500);
    }
    ExportSettingsForm d;
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QVERIFY(d.screen()->availableGeometry().contains(d.frameGeometry()));
}

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
