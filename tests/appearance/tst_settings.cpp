#include "appearance/editorconfig.h"
#include "appearance/settings.h"
#include "fonts/fontregistry.h"
#include "fontwidgets/colorbox.h"
#include "fontwidgets/customfontbox.h"
#include "fontwidgets/fontbox.h"
#include "promptscript.h"

#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void form();
    void gridsPairLabelsWithWidgets();
    void formScrollsAboveButtons();
    void colourWarningNamesItsField();
    void showsConfiguration();
    void confirmStoresEveryKey();
    void cancelDropsEdits();
    void restoreThenCancelLeavesDefaults();

private:
    static QString settingsPath() {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/settings.ini");
    }
    static QString fileValue(const QString &key) {
        return QSettings(settingsPath(), QSettings::IniFormat).value(key).toString();
    }
};

void TestSettings::initTestCase() {
    QFile::remove(settingsPath());
    QSettings file(settingsPath(), QSettings::IniFormat);
    file.setValue(QStringLiteral("Export/lyricFontSize"), 33);
}

void TestSettings::form() {
    Settings dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("Settings"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("设置"));
    // A preferred size, which the screen here has room for.
    QVERIFY(dialog.maximumSize().width() > 750 && dialog.maximumSize().height() > 530);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.size(), QSize(750, 530));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));

    const QStringList names = {"restoreBtn", "cancelBtn", "submitBtn"};
    const QStringList texts = {"恢复默认", "取消", "确认"};
    auto *row = dialog.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout_4"));
    QVERIFY(row);
    for (int i = 0; i < 3; ++i) {
        auto *button = qobject_cast<QPushButton *>(row->itemAt(i)->widget());
        QVERIFY(button);
        QCOMPARE(button->objectName(), names.at(i));
        QCOMPARE(button->text(), texts.at(i));
        QCOMPARE(button->maximumWidth(), 100);
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
    for (const char *box : {"lyricFontBox", "lyricLineFontBox", "scoreLineFontBox"}) {
        auto *fontBox = dialog.findChild<FontBox *>(QLatin1String(box));
        QVERIFY2(fontBox, box);
        QCOMPARE(fontBox->sizeEdit()->placeholderText(), QStringLiteral("5~80"));
    }
    QCOMPARE(dialog.findChild<CustomFontBox *>("scoreFontBox")->sizeEdit()->placeholderText(),
             QStringLiteral("5~80"));
}

void TestSettings::gridsPairLabelsWithWidgets() {
    Settings dialog;
    const QList<QPair<QString, QStringList>> grids = {
        {"gridLayout_2",
         {"字体：", "scoreFontBox", "字体颜色：", "scoreColorBox", "背景颜色：",
          "scoreBgColorBox"}},
        {"gridLayout_3",
         {"行号栏字体：", "scoreLineFontBox", "行号栏颜色：", "scoreLineColorBox", "行号栏背景：",
          "scoreLineBgColorBox"}},
        {"gridLayout",
         {"字体：", "lyricFontBox", "背景颜色：", "lyricBgColorBox", "唱词颜色：", "lyricColorBox",
          "标题颜色：", "titleColorBox", "曲牌颜色：", "quPaiColorBox", "夹白颜色：",
          "jiaBaiColorBox", "念白颜色：", "lianBaiColorBox"}},
        {"gridLayout_4",
         {"行号栏字体：", "lyricLineFontBox", "行号栏背景：", "lyricLineBgColorBox", "行号栏颜色：",
          "lyricLineColorBox", "注释颜色：", "commentColorBox", "标点颜色：", "biaoDianColorBox",
          "分页换行：", "breakSymbolColorBox", "错误内容：", "errorColorBox"}},
    };
    for (const auto &g : grids) {
        auto *grid = dialog.findChild<QGridLayout *>(g.first);
        QVERIFY2(grid, qPrintable(g.first));
        QCOMPARE(grid->rowCount(), g.second.size() / 2);
        for (int r = 0; r < g.second.size() / 2; ++r) {
            auto *label = qobject_cast<QLabel *>(grid->itemAtPosition(r, 0)->widget());
            QWidget *box = grid->itemAtPosition(r, 1)->widget();
            QVERIFY(label && box);
            QCOMPARE(label->text(), g.second.at(2 * r));
            QCOMPARE(box->objectName(), g.second.at(2 * r + 1));
        }
    }
}

void TestSettings::formScrollsAboveButtons() {
    Settings dialog;
    auto *scroll = dialog.findChild<QScrollArea *>(QStringLiteral("scrollArea"));
    QVERIFY(scroll && scroll->widget());
    QVERIFY(scroll->widget()->isAncestorOf(dialog.findChild<QWidget *>("groupBox_2")));
    QVERIFY(!scroll->isAncestorOf(dialog.findChild<QPushButton *>("submitBtn")));
}

void TestSettings::colourWarningNamesItsField() {
    Settings dialog;
    auto *box = dialog.findChild<ColorBox *>(QStringLiteral("lyricColorBox"));
    QCOMPARE(box->fieldName(), QStringLiteral("唱词颜色"));
    QCOMPARE(dialog.findChild<ColorBox *>(QStringLiteral("errorColorBox"))->fieldName(),
             QStringLiteral("错误内容"));
    PromptScript prompts;
    box->lineEdit()->setText(QStringLiteral("#12"));
    box->onLineEditChanged();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().text, QStringLiteral("“唱词颜色”：错误的颜色值!"));
}

void TestSettings::showsConfiguration() {
    EditorConfig *c = EditorConfig::instance();
    c->setQuPaiColor(QColor(QStringLiteral("#010203")));
    c->setLyricLineNumberFontSize(19);
    Settings dialog;
    QCOMPARE(dialog.findChild<ColorBox *>("quPaiColorBox")->color().name(),
             QStringLiteral("#010203"));
    QCOMPARE(dialog.findChild<ColorBox *>("errorColorBox")->color().name(),
             QStringLiteral("#ff0000"));
    QCOMPARE(dialog.findChild<FontBox *>("lyricLineFontBox")->fontSize(), 19);
    QCOMPARE(dialog.findChild<CustomFontBox *>("scoreFontBox")->fontSize(), 16);
    c->load();
}

void TestSettings::confirmStoresEveryKey() {
    EditorConfig *c = EditorConfig::instance();
    QSignalSpy spy(c, &EditorConfig::configChanged);
    Settings dialog;
    dialog.show();
    dialog.findChild<ColorBox *>("titleColorBox")->setColor(QColor(QStringLiteral("#A0B0C0")));
    auto *lyricFont = dialog.findChild<FontBox *>("lyricFontBox");
    lyricFont->setFontSize(23);
    QTest::mouseClick(dialog.findChild<QPushButton *>("submitBtn"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(spy.count(), 1);

    QCOMPARE(c->titleColor().name(), QStringLiteral("#a0b0c0"));
    QCOMPARE(c->lyricFontSize(), 23);
    QCOMPARE(c->lyricFont().pointSize(), 23);
    QCOMPARE(c->lyricFont().family(), lyricFont->currentFont().family());

    QSettings file(settingsPath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Export/lyricFontSize")).toInt(), 33);
    file.beginGroup(QStringLiteral("Editor"));
    QStringList keys = file.childKeys();
    QStringList expected = EditorConfig::keys();
    keys.sort();
    expected.sort();
    QCOMPARE(keys, expected);
    const QRegularExpression colourForm(QStringLiteral("^#[0-9a-f]{6}$"));
    for (const QString &key : keys) {
        if (key.endsWith(QLatin1String("Color"))) {
            QVERIFY2(colourForm.match(file.value(key).toString()).hasMatch(), qPrintable(key));
        }
    }
    QCOMPARE(file.value(QStringLiteral("titleColor")).toString(), QStringLiteral("#a0b0c0"));
    QCOMPARE(file.value(QStringLiteral("lyricFontSize")).toInt(), 23);
    if (!FontRegistry::instance()->defaultFamily().isEmpty()) {
        QCOMPARE(file.value(QStringLiteral("scoreFont")).toString(),
                 FontRegistry::instance()->defaultFamily());
    }
}

void TestSettings::cancelDropsEdits() {
    EditorConfig *c = EditorConfig::instance();
    const QString before = fileValue(QStringLiteral("Editor/commentColor"));
    QSignalSpy spy(c, &EditorConfig::configChanged);
    Settings dialog;
    dialog.show();
    dialog.findChild<ColorBox *>("commentColorBox")->setColor(Qt::magenta);
    QTest::mouseClick(dialog.findChild<QPushButton *>("cancelBtn"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(spy.count(), 0);
    QCOMPARE(c->commentColor().name(), before);
    QCOMPARE(fileValue(QStringLiteral("Editor/commentColor")), before);
}

void TestSettings::restoreThenCancelLeavesDefaults() {
    EditorConfig *c = EditorConfig::instance();
    QCOMPARE(fileValue(QStringLiteral("Editor/titleColor")), QStringLiteral("#a0b0c0"));
    Settings dialog;
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton *>("restoreBtn"), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.findChild<ColorBox *>("titleColorBox")->color().name(),
             QStringLiteral("#a76f55"));
    QCOMPARE(dialog.findChild<FontBox *>("lyricFontBox")->fontSize(), 16);
    QTest::mouseClick(dialog.findChild<QPushButton *>("cancelBtn"), Qt::LeftButton);

    QCOMPARE(c->titleColor().name(), QStringLiteral("#a76f55"));
    QCOMPARE(c->lyricFontSize(), 16);
    QCOMPARE(fileValue(QStringLiteral("Editor/titleColor")), QStringLiteral("#a76f55"));
    QCOMPARE(fileValue(QStringLiteral("Editor/lyricFontSize")), QStringLiteral("16"));
    QCOMPARE(fileValue(QStringLiteral("Editor/lyricFont")), QStringLiteral("楷体"));
    QCOMPARE(fileValue(QStringLiteral("Export/lyricFontSize")), QStringLiteral("33"));
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
