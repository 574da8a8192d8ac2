#include "fonts/fontregistry.h"
#include "fontwidgets/colorbox.h"
#include "fontwidgets/customfontbox.h"
#include "fontwidgets/fontbox.h"
#include "promptscript.h"

#include <QComboBox>
#include <QDir>
#include <QFontComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

class TestChooserWidgets : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void colorBoxStartsWhite();
    void colorBoxShortHexEmitsLongName();
    void colorBoxBadValueWarnsAndRestores();
    void colorBoxBadValueOnFocusOut();
    void colorBoxDialog();
    void colorBoxSetterIsSilent();
    void colorBoxSwatchShowsExactColour();
    void colorBoxWarningNamesItsField();

    void fontBoxSizeAndRange();
    void fontBoxSizeEditEmits();
    void fontBoxFontChoice();
    void fontBoxOffersChineseFamiliesOnly();
    void customFontBoxListsRegistry();
    void customFontBoxKeepsSelectionForForeignFamily();

private:
    QString m_fixtureFont;
};

namespace {

void typeInto(QLineEdit *edit, const QString &text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

} // namespace

void TestChooserWidgets::initTestCase() {
    // One installed font beside the embedded one, before the registry is built.
    m_fixtureFont = QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    const QString fonts = QCoreApplication::applicationDirPath() + "/fonts";
    QDir(fonts).removeRecursively();
    QDir().mkpath(fonts);
    if (QFile::exists(m_fixtureFont)) {
        QVERIFY(QFile::copy(m_fixtureFont, fonts + "/DejaVuSans.ttf"));
    }
}

void TestChooserWidgets::colorBoxStartsWhite() {
    QWidget parent;
    ColorBox box(&parent);
    QCOMPARE(box.color(), QColor(Qt::white));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("#ffffff"));
    QVERIFY(box.button()->styleSheet().contains(QStringLiteral("background-color: #ffffff;")));
    QVERIFY(!box.button()->autoDefault());
    // A child box is 30 pixels high when built; the button is the square inside it.
    const int frame = box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    QCOMPARE(box.button()->minimumSize(), QSize(30 - 4 * frame, 30 - 4 * frame));
}

void TestChooserWidgets::colorBoxShortHexEmitsLongName() {
    QWidget parent;
    ColorBox box(&parent);
    QSignalSpy spy(&box, &ColorBox::colorChanged);
    typeInto(box.lineEdit(), QStringLiteral("#abc"));
    QTest::keyClick(box.lineEdit(), Qt::Key_Return);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().value<QColor>().name(), QStringLiteral("#aabbcc"));
    QCOMPARE(box.color().name(), QStringLiteral("#aabbcc"));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("#abc"));
    QVERIFY(box.button()->styleSheet().contains(QStringLiteral("#aabbcc")));

    // Upper-case digits are stored lower-case.
    typeInto(box.lineEdit(), QStringLiteral("#12AB9F"));
    QTest::keyClick(box.lineEdit(), Qt::Key_Enter);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(box.color().name(), QStringLiteral("#12ab9f"));
}

void TestChooserWidgets::colorBoxBadValueWarnsAndRestores() {
    QWidget parent;
    ColorBox box(&parent);
    box.setColor(QColor(QStringLiteral("#102030")));
    QSignalSpy spy(&box, &ColorBox::colorChanged);
    for (const QString &bad : {QStringLiteral("#abcd"), QStringLiteral("#a"),
                               QStringLiteral("#12345"), QStringLiteral("#")}) {
        PromptScript prompts;
        typeInto(box.lineEdit(), bad);
        QCOMPARE(box.lineEdit()->text(), bad);
        QTest::keyClick(box.lineEdit(), Qt::Key_Return);
        QCOMPARE(prompts.count(), 1);
        QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
        QCOMPARE(prompts.last().title, QStringLiteral("警告"));
        QCOMPARE(prompts.last().text, QStringLiteral("错误的颜色值!"));
        QCOMPARE(box.lineEdit()->text(), QStringLiteral("#102030"));
        QCOMPARE(box.color().name(), QStringLiteral("#102030"));
    }
    QCOMPARE(spy.count(), 0);
    // Letters outside hexadecimal never enter the edit.
    typeInto(box.lineEdit(), QStringLiteral("#xyz"));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("#"));
}

void TestChooserWidgets::colorBoxBadValueOnFocusOut() {
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *box = new ColorBox(&window);
    auto *other = new QLineEdit(&window);
    layout->addWidget(box);
    layout->addWidget(other);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

    PromptScript prompts;
    typeInto(box->lineEdit(), QStringLiteral("#abcd"));
    QTRY_VERIFY(box->lineEdit()->hasFocus());
    other->setFocus();
    QTRY_COMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().text, QStringLiteral("错误的颜色值!"));
    QCOMPARE(box->lineEdit()->text(), QStringLiteral("#ffffff"));
    QTRY_VERIFY(box->lineEdit()->hasFocus());
}

void TestChooserWidgets::colorBoxDialog() {
    QWidget parent;
    ColorBox box(&parent);
    box.setColor(QColor(QStringLiteral("#334455")));
    QSignalSpy spy(&box, &ColorBox::colorChanged);
    PromptScript prompts;

    // Cancelled: nothing changes, nothing is emitted.
    QTest::mouseClick(box.button(), Qt::LeftButton);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Color);
    QCOMPARE(prompts.last().title, QStringLiteral("选择颜色"));
    QCOMPARE(prompts.last().initialColor.name(), QStringLiteral("#334455"));
    QCOMPARE(prompts.last().parent, &box);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(box.color().name(), QStringLiteral("#334455"));

    prompts.answer(QColor(QStringLiteral("#ABCDEF")));
    QTest::mouseClick(box.button(), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().value<QColor>().name(), QStringLiteral("#abcdef"));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("#abcdef"));
    QVERIFY(box.button()->styleSheet().contains(QStringLiteral("#abcdef")));
}

void TestChooserWidgets::colorBoxSetterIsSilent() {
    QWidget parent;
    ColorBox box(&parent);
    QSignalSpy spy(&box, &ColorBox::colorChanged);
    box.setColor(QColor(QStringLiteral("#010203")));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("#010203"));
    box.setColor(QColor()); // ignored
    QCOMPARE(box.color().name(), QStringLiteral("#010203"));
    QCOMPARE(spy.count(), 0);
}

void TestChooserWidgets::colorBoxSwatchShowsExactColour() {
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *box = new ColorBox(&window);
    layout->addWidget(box);
    box->setColor(QColor(QStringLiteral("#ff5500")));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage swatch = box->button()->grab().toImage();
    const QColor centre = swatch.pixelColor(swatch.width() / 2, swatch.height() / 2);
    QCOMPARE(centre.name(QColor::HexArgb), QStringLiteral("#ffff5500"));
}

void TestChooserWidgets::colorBoxWarningNamesItsField() {
    QWidget window;
    auto *grid = new QGridLayout(&window);
    auto *inGrid = new ColorBox;
    grid->addWidget(new QLabel(QStringLiteral("唱词：")), 0, 0);
    grid->addWidget(inGrid, 0, 1);
    auto *form = new QFormLayout;
    auto *inForm = new ColorBox;
    form->addRow(QStringLiteral("标题颜色:"), inForm);
    grid->addLayout(form, 1, 0, 1, 2);
    auto *withBuddy = new ColorBox;
    auto *buddyLabel = new QLabel(QStringLiteral("背景颜色："));
    buddyLabel->setBuddy(withBuddy);
    grid->addWidget(withBuddy, 2, 0);
    grid->addWidget(buddyLabel, 3, 1);
    auto *named = new ColorBox;
    named->setFieldName(QStringLiteral("底色"));
    grid->addWidget(new QLabel(QStringLiteral("别的：")), 4, 0);
    grid->addWidget(named, 4, 1);

    QCOMPARE(inGrid->fieldName(), QStringLiteral("唱词"));
    QCOMPARE(inForm->fieldName(), QStringLiteral("标题颜色"));
    QCOMPARE(withBuddy->fieldName(), QStringLiteral("背景颜色"));
    QCOMPARE(named->fieldName(), QStringLiteral("底色"));

    PromptScript prompts;
    typeInto(inGrid->lineEdit(), QStringLiteral("#ab"));
    QTest::keyClick(inGrid->lineEdit(), Qt::Key_Return);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().title, QStringLiteral("警告"));
    QCOMPARE(prompts.last().text, QStringLiteral("“唱词”：错误的颜色值!"));
}

void TestChooserWidgets::fontBoxSizeAndRange() {
    QWidget parent;
    FontBox box(&parent);
    QCOMPARE(box.sizeEdit()->text(), QStringLiteral("5"));
    QCOMPARE(box.fontSize(), 5);
    QCOMPARE(box.sizeEdit()->minimumWidth(), 36); // int(30 * 1.2)
    QCOMPARE(box.sizeEdit()->maximumWidth(), 48); // int(30 * 1.6)

    box.setRange(5, 80);
    box.sizeEdit()->clear();
    QCOMPARE(box.sizeEdit()->placeholderText(), QStringLiteral("5~80"));
    QCOMPARE(box.fontSize(), 5);
    QCOMPARE(box.currentFont().pointSize(), 5);

    box.setFontSize(120); // no range check when set by the program
    QCOMPARE(box.fontSize(), 120);
    QCOMPARE(box.currentFont().pointSize(), 120);

    CustomFontBox custom(&parent);
    custom.setRange(8, 40);
    custom.sizeEdit()->clear();
    QCOMPARE(custom.sizeEdit()->placeholderText(), QStringLiteral("8~40"));
    QCOMPARE(custom.fontSize(), 8);
}

void TestChooserWidgets::fontBoxSizeEditEmits() {
    QWidget parent;
    FontBox box(&parent);
    box.setRange(5, 80);
    QSignalSpy spy(&box, &FontBox::fontChanged);
    box.setFontSize(12);
    QCOMPARE(spy.count(), 0);

    typeInto(box.sizeEdit(), QStringLiteral("24"));
    QTest::keyClick(box.sizeEdit(), Qt::Key_Return);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(1).toInt(), 24);
    QCOMPARE(spy.first().at(0).value<QFont>().pointSize(), 24);

    // A number outside the range is never a finished edit.
    typeInto(box.sizeEdit(), QStringLiteral("3"));
    QTest::keyClick(box.sizeEdit(), Qt::Key_Return);
    QCOMPARE(spy.count(), 1);
}

void TestChooserWidgets::fontBoxFontChoice() {
    QWidget parent;
    FontBox box(&parent);
    box.setFontSize(18);
    QSignalSpy spy(&box, &FontBox::fontChanged);
    const QString family = box.fontCombo()->itemText(box.fontCombo()->count() - 1);
    box.fontCombo()->setCurrentIndex(box.fontCombo()->count() - 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().at(0).value<QFont>().family().toLower(), family.toLower());
    QCOMPARE(spy.first().at(1).toInt(), 18);
    QCOMPARE(box.currentFont().family().toLower(), family.toLower());
    QCOMPARE(box.currentFont().pointSize(), 18);
}

void TestChooserWidgets::fontBoxOffersChineseFamiliesOnly() {
    const QFontDatabase fonts;
    if (fonts.families(QFontDatabase::SimplifiedChinese).isEmpty()) {
        QSKIP("no font for Chinese is installed");
    }
    QWidget parent;
    FontBox box(&parent);
    QVERIFY(box.fontCombo()->count() > 0);
    for (int i = 0; i < box.fontCombo()->count(); ++i) {
        const QString family = box.fontCombo()->itemText(i);
        const QList<QFontDatabase::WritingSystem> systems = fonts.writingSystems(family);
        QVERIFY2(systems.contains(QFontDatabase::SimplifiedChinese) ||
                     systems.contains(QFontDatabase::TraditionalChinese),
                 qPrintable(family));
    }
    if (fonts.hasFamily(QStringLiteral("DejaVu Sans Mono"))) {
        QCOMPARE(box.fontCombo()->findText(QStringLiteral("DejaVu Sans Mono")), -1);
    }
}

void TestChooserWidgets::customFontBoxListsRegistry() {
    QWidget parent;
    CustomFontBox box(&parent);
    QStringList items;
    for (int i = 0; i < box.fontCombo()->count(); ++i) {
        items << box.fontCombo()->itemText(i);
    }
    QCOMPARE(items, FontRegistry::instance()->families());
    QVERIFY(!box.fontCombo()->isEditable());
    if (!FontRegistry::instance()->defaultFamily().isEmpty()) {
        QCOMPARE(items.first(), FontRegistry::instance()->defaultFamily());
    }
}

void TestChooserWidgets::customFontBoxKeepsSelectionForForeignFamily() {
    if (!QFile::exists(m_fixtureFont)) {
        QSKIP("DejaVuSans.ttf is not installed");
    }
    QWidget parent;
    CustomFontBox box(&parent);
    box.setFontSize(20);
    QSignalSpy spy(&box, &CustomFontBox::fontChanged);
    box.setCurrentFont(QFont(QStringLiteral("DejaVu Sans")));
    const int chosen = box.fontCombo()->currentIndex();
    QCOMPARE(box.fontCombo()->currentText(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(box.currentFont().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(box.currentFont().pointSize(), 20);

    box.setCurrentFont(QFont(QStringLiteral("DejaVu Serif")));
    QCOMPARE(box.fontCombo()->currentIndex(), chosen);
    box.setCurrentFont(QFont(QStringLiteral("dejavu sans"))); // exact match only
    QCOMPARE(box.fontCombo()->currentIndex(), chosen);

    // Only a selection that really moves is reported, through the combo box.
    QCOMPARE(spy.count(), chosen == 0 ? 0 : 1);
}

QTEST_MAIN(TestChooserWidgets)
#include "tst_chooserwidgets.moc"
