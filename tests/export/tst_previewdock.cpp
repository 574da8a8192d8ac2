#include "export/exportconfig.h"
#include "export/exportsettingsform.h"
#include "export/previewdock.h"
#include "export/previewpane.h"
#include "exportfixture.h"
#include "fonts/fontregistry.h"
#include "fonts/fontsubstitutions.h"
#include "fontwidgets/colorbox.h"
#include "fontwidgets/customfontbox.h"
#include "fontwidgets/fontbox.h"
#include "platform/apppaths.h"
#include "promptscript.h"
#include "testsupport.h"
#include "typeset/typesetter.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QSvgWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include <memory>

namespace {

ExportConfig &cfg() {
    return *ExportConfig::instance();
}

// Counts the preview runs of the dialog's engine.
class PreviewCounter {
public:
    explicit PreviewCounter(PreviewDock &dialog)
        : m_spy(dialog.engine(), &Typesetter::progressUpdate) {}
    int runs() const {
        int n = 0;
        for (const QList<QVariant> &a : m_spy) {
            n += a.at(0).value<Typesetter::Task>() == Typesetter::Task::Preview &&
                 a.at(1).value<Typesetter::Progress>() == Typesetter::Progress::Started;
        }
        return n;
    }

private:
    QSignalSpy m_spy;
};

template <typename T> T *child(PreviewDock &d, const char *name) {
    T *w = d.findChild<T *>(QString::fromLatin1(name));
    if (!w) {
        qFatal("no %s", name);
    }
    return w;
}

void type(QLineEdit *edit, const QString &text) {
    edit->setText(text);
    emit edit->editingFinished();
}

void selectData(QComboBox *box, const QVariant &data) {
    box->setCurrentIndex(box->findData(data));
}

// The texts of every line edit and the choices of every combo box.
QStringList formState(PreviewDock &d) {
    QStringList out;
    for (QLineEdit *e : d.findChildren<QLineEdit *>()) {
        out << e->objectName() + QLatin1Char('=') + e->text();
    }
    for (QComboBox *c : d.findChildren<QComboBox *>()) {
        out << c->objectName() + QLatin1Char('=') + QString::number(c->currentIndex());
    }
    for (QCheckBox *c : d.findChildren<QCheckBox *>()) {
        out << c->objectName() + QLatin1Char('=') + QString::number(c->isChecked());
    }
    return out;
}

void sendWheel(QWidget *target, int delta, Qt::KeyboardModifiers modifiers) {
    const QPoint pos = target->rect().center();
    QWheelEvent e(pos, target->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                  modifiers, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &e);
}

// The number shown under the preview, 0 when nothing is shown.
int overlapCount(PreviewDock &d) {
    const QString text = child<QLabel>(d, "overlapLabel")->text();
    if (text.isEmpty()) {
        return 0;
    }
    static const QRegularExpression shown(QStringLiteral("^(\\d+) 处重叠$"));
    const QRegularExpressionMatch m = shown.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

class TestPreviewDock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form();
    void lengthLabelsShowTheirUnit();
    void validatorsAndPlaceholders_data();
    void validatorsAndPlaceholders();
    void comboBoxesCarryTheirValues();
    void loadsTheConfiguration();
    void standardPageSizeFillsWidthAndHeight();
    void customPageSizeEnablesWidthAndHeight();
    void disabledWidthBoxChangesNothing();
    void lineEditsCompareBeforeStoring();
    void emptyLineEditReadsZero();
    void fontsAndColours();
    void switchesAndLists();
    void livePreviewOffDoesNotRegenerate();
    void restoreAndImportAlwaysRegenerate();
    void rejectedSchemeLeavesTheFormUnchanged();
    void saveScheme();
    void dpiBoxOnlyForImages();
    void wheelOverComboBoxesIsSwallowed();
    void previewFitsItsFrame();
    void ctrlWheelAndButtonsZoomThePreview();
    void overlapsAreOutlined();
    void remembersItsSize();
    void emptyDocumentPreviews();
    void missingScoreFontFallsBackToTheDefault();
    void exportPdf();
    void exportSuggestsTheTitle();
    void exportImagesAndSvg();
    void cancelledExportDoesNothing();
    void failedExportKeepsTheDialogOpen();
    void progressDialog();
    void previewAll();
    void escapeAndCloseButton();
    void closingSavesTheConfiguration();
    void choosingJianpuShowsItsSettings();
    void jianpuSettingsRegenerate();
    void zengChoiceSavedOnClose();
    void notationSavedOnClose();
};

void TestPreviewDock::initTestCase() {
    QVERIFY(usePreviewProgramDir());
}

void TestPreviewDock::init() {
    resetExportSettings();
}

void TestPreviewDock::form() {
    PreviewDock d(nullptr, sampleLines());
    QCOMPARE(d.objectName(), QStringLiteral("previewDock"));
    QCOMPARE(d.windowTitle(), QStringLiteral("预览"));
    QVERIFY(d.features() & QDockWidget::DockWidgetClosable);
    QVERIFY(d.features() & QDockWidget::DockWidgetFloatable);
    QCOMPARE(d.widget(), d.pane());
    // The settings: a window beside the preview, not over it, so that the
    // editors stay usable while the preview follows their cursor.
    ExportSettingsForm *s = d.settingsForm();
    QCOMPARE(s->objectName(), QStringLiteral("exportSettings"));
    QCOMPARE(s->windowTitle(), QStringLiteral("导出设置"));
    QVERIFY(!s->isModal());
    QCOMPARE(s->size(), QSize(540, 610)); // preferred; fitted to the screen when shown
    QVERIFY(s->windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(!(s->windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(s->isHidden());
    child<QToolButton>(d, "settingsBtn")->click();
    QVERIFY(s->isVisible());
    const struct {
        const char *name;
        QString text;
    } tools[] = {{"settingsBtn", QStringLiteral("设置…")},
                 {"previewAllBtn", QStringLiteral("预览全部")},
                 {"exportBtn", QStringLiteral("导出")},
                 {"closeBtn", QStringLiteral("关闭")}};
    for (const auto &b : tools) {
        QCOMPARE(child<QToolButton>(d, b.name)->text(), b.text);
    }
    QVERIFY(child<QFrame>(d, "preViewFrame")
                ->styleSheet()
                .contains(QStringLiteral("border: 1px solid #dcdcdc;")));
    QVERIFY(child<QScrollArea>(d, "preViewFrame")->widget() ==
            child<QSvgWidget>(d, "preViewWidget"));
    const struct {
        const char *name;
        QString text;
    } zoom[] = {{"zoomInBtn", QStringLiteral("+")},
                {"zoomOutBtn", QStringLiteral("−")},
                {"zoomFitBtn", QStringLiteral("适合")}};
    for (const auto &z : zoom) {
        QCOMPARE(child<QToolButton>(d, z.name)->text(), z.text);
        QVERIFY(!child<QToolButton>(d, z.name)->toolTip().isEmpty());
    }
    // Narrow enough to sit beside the editors on a small screen.
    QVERIFY2(d.pane()->minimumSizeHint().width() <= 330,
             qPrintable(QString::number(d.pane()->minimumSizeHint().width())));
    const QComboBox *fileType = child<QComboBox>(d, "fileTypeBox");
    QCOMPARE(fileType->count(), 8);
    // The list of formats is ExportFormat's, in its order.
    QCOMPARE(fileType->itemText(3).toLower(), QStringLiteral("svg"));
    QCOMPARE(fileType->itemText(4).toLower(), QStringLiteral("midi"));
    QCOMPARE(fileType->itemText(5), QStringLiteral("MusicXML"));
    QCOMPARE(fileType->itemText(6), QStringLiteral("WAV"));
    QVERIFY(!fileType->itemIcon(0).isNull());
    const QComboBox *dpi = child<QComboBox>(d, "dpiBox");
    QCOMPARE(dpi->count(), 4);
    QCOMPARE(dpi->itemText(3), QStringLiteral("超高（DPI=600）"));
    QCOMPARE(child<QCheckBox>(d, "livePreviewBox")->text(), QStringLiteral("实时预览"));
    QVERIFY(child<QPushButton>(d, "submitBtn")
                ->styleSheet()
                .contains(QStringLiteral("rgb(65, 127, 249)")));
    for (const char *white : {"restoreBtn", "saveBtn", "importBtn"}) {
        QVERIFY(child<QPushButton>(d, white)->styleSheet().contains(QStringLiteral("#d7d9de")));
    }
    QVERIFY(d.findChild<ColorBox *>(QStringLiteral("backgroundColorBox")));
    QVERIFY(d.findChild<FontBox *>(QStringLiteral("jiaBaiFontBox")));
    QVERIFY(d.findChild<CustomFontBox *>(QStringLiteral("scoreFontBox")));
}

void TestPreviewDock::lengthLabelsShowTheirUnit() {
    PreviewDock d(nullptr, {});
    const struct {
        const char *name;
        QString text;
    } labels[] = {{"widthBoxLabel", QStringLiteral("宽度（pt）：")},
                  {"heightBoxLabel", QStringLiteral("高度（pt）：")},
                  {"marginTopBoxLabel", QStringLiteral("上边距（pt）：")},
                  {"marginRightBoxLabel", QStringLiteral("右边距（pt）：")},
                  {"marginBottomBoxLabel", QStringLiteral("下边距（pt）：")},
                  {"marginLeftBoxLabel", QStringLiteral("左边距（pt）：")}};
    for (const auto &l : labels) {
        QCOMPARE(child<QLabel>(d, l.name)->text(), l.text);
    }
}

void TestPreviewDock::validatorsAndPlaceholders_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("top");
    QTest::addColumn<QString>("placeholder");
    QTest::newRow("width") << "widthBox" << 10 << 10000 << "10~10000";
    QTest::newRow("height") << "heightBox" << 10 << 10000 << "10~10000";
    QTest::newRow("marginTop") << "marginTopBox" << 0 << 10000 << "0~10000";
    QTest::newRow("marginRight") << "marginRightBox" << 0 << 10000 << "0~10000";
    QTest::newRow("marginBottom") << "marginBottomBox" << 0 << 10000 << "0~10000";
    QTest::newRow("marginLeft") << "marginLeftBox" << 0 << 10000 << "0~10000";
    QTest::newRow("colWidth") << "colWidthBox" << 10 << 10000 << "10~10000";
    QTest::newRow("mColWidth") << "mColWidthBox" << 10 << 10000 << "-200~200";
    QTest::newRow("titleWidth") << "titleWidthBox" << 10 << 10000 << "10~10000";
    QTest::newRow("lyricSpace") << "lyricSpaceBox" << -200 << 200 << "-200~200";
    QTest::newRow("scoreSpace") << "scoreSpaceBox" << -200 << 200 << "-200~200";
    QTest::newRow("banYanSpace") << "banYanSpaceBox" << -200 << 200 << "-200~200";
    QTest::newRow("lyricScoreSpace") << "lyricScoreSpaceBox" << -200 << 200 << "-200~200";
    QTest::newRow("scoreBanYanSpace") << "scoreBanYanSpaceBox" << -200 << 200 << "-200~200";
    QTest::newRow("scoreAngle") << "scoreAngleBox" << -360 << 360 << "-360~360";
}

void TestPreviewDock::validatorsAndPlaceholders() {
    QFETCH(QString, name);
    QFETCH(int, bottom);
    QFETCH(int, top);
    QFETCH(QString, placeholder);
    PreviewDock d(nullptr, {});
    auto *edit = d.findChild<QLineEdit *>(name);
    QVERIFY(edit);
    QCOMPARE(edit->placeholderText(), placeholder);
    auto *v = qobject_cast<const QIntValidator *>(edit->validator());
    QVERIFY(v);
    QCOMPARE(v->bottom(), bottom);
    QCOMPARE(v->top(), top);
    // Out of range cannot be typed.
    edit->clear();
    QTest::keyClicks(edit, QString::number(top) + QLatin1Char('0'));
    QVERIFY(edit->text().toInt() <= top);
}

void TestPreviewDock::comboBoxesCarryTheirValues() {
    PreviewDock d(nullptr, {});
    auto *pageSize = child<QComboBox>(d, "pageSizeBox");
    QCOMPARE(pageSize->count(), 11);
    QCOMPARE(pageSize->itemText(0), QStringLiteral("自定义"));
    QCOMPARE(pageSize->itemData(0).value<QPageSize::PageSizeId>(), QPageSize::Custom);
    QCOMPARE(pageSize->itemText(7), QStringLiteral("B1 (2004, 2835)"));
    QCOMPARE(pageSize->itemData(7).value<QPageSize::PageSizeId>(), QPageSize::B1);
    auto *landscape = child<QComboBox>(d, "isLandscapeBox");
    QCOMPARE(landscape->itemText(1), QStringLiteral("横向"));
    QCOMPARE(landscape->itemData(1), QVariant(true));
    auto *lineBreak = child<QComboBox>(d, "isLineBreakScoreOverflowBox");
    QCOMPARE(lineBreak->itemText(0), QStringLiteral("换行"));
    QCOMPARE(lineBreak->itemData(0), QVariant(true));
    auto *titlePos = child<QComboBox>(d, "titlePosBox");
    QCOMPARE(titlePos->itemText(2), QStringLiteral("底部"));
    QCOMPARE(titlePos->itemData(2), QVariant(2));
    // The list is as wide as its widest item, and never narrower than the box.
    const QFontMetrics fm(pageSize->view()->font());
    const int widest = fm.horizontalAdvance(QStringLiteral("B1 (2004, 2835)"));
    QCOMPARE(pageSize->view()->width(), std::max(widest, pageSize->width()));
    QCOMPARE(pageSize->view()->minimumWidth(), pageSize->view()->maximumWidth());
}

void TestPreviewDock::loadsTheConfiguration() {
    cfg().setPageSizeId(QPageSize::B4);
    cfg().setIsLandscape(true);
    cfg().setTitlePos(1);
    cfg().setColWidth(140);
    cfg().setIsHiddenSymbol(true);
    cfg().setIsLivePreview(false);
    cfg().setBanColor(QColor(QStringLiteral("#123456")));
    cfg().setLyricFontSize(28);
    PreviewDock d(nullptr, {});
    QCOMPARE(child<QComboBox>(d, "pageSizeBox")->currentText(), QStringLiteral("B4 (709, 1001)"));
    QCOMPARE(child<QComboBox>(d, "isLandscapeBox")->currentText(), QStringLiteral("横向"));
    QCOMPARE(child<QComboBox>(d, "titlePosBox")->currentText(), QStringLiteral("居中"));
    QCOMPARE(child<QLineEdit>(d, "widthBox")->text(), QStringLiteral("709"));
    QVERIFY(!child<QLineEdit>(d, "widthBox")->isEnabled());
    QCOMPARE(child<QLineEdit>(d, "colWidthBox")->text(), QStringLiteral("140"));
    QCOMPARE(child<QLineEdit>(d, "scoreAngleBox")->text(), QStringLiteral("-45"));
    QVERIFY(child<QCheckBox>(d, "hiddenSymbolBox")->isChecked());
    QVERIFY(!child<QCheckBox>(d, "livePreviewBox")->isChecked());
    QCOMPARE(child<ColorBox>(d, "banColorBox")->color(), QColor(QStringLiteral("#123456")));
    QCOMPARE(child<FontBox>(d, "lyricFontBox")->fontSize(), 28);
    QCOMPARE(child<CustomFontBox>(d, "scoreFontBox")->currentFont().family(),
             FontRegistry::instance()->defaultFamily());
    // Loading changed nothing.
    QCOMPARE(cfg().pageSizeId(), QPageSize::B4);
    QCOMPARE(cfg().colWidth(), 140);
}

void TestPreviewDock::standardPageSizeFillsWidthAndHeight() {
    PreviewDock d(nullptr, {});
    PreviewCounter previews(d);
    auto *width = child<QLineEdit>(d, "widthBox");
    auto *height = child<QLineEdit>(d, "heightBox");
    selectData(child<QComboBox>(d, "pageSizeBox"), QVariant::fromValue(QPageSize::A3));
    QVERIFY(!width->isEnabled() && !height->isEnabled());
    QCOMPARE(width->text(), QStringLiteral("842"));
    QCOMPARE(height->text(), QStringLiteral("1191"));
    QCOMPARE(cfg().pageSizeId(), QPageSize::A3);
    QCOMPARE(cfg().pageWidth(), 842);
    QCOMPARE(cfg().pageHeight(), 1191);
    QCOMPARE(previews.runs(), 1);
    // The preview shows the new paper.
    QVERIFY(d.engine()->pages().first().contains("viewBox=\"0 0 842 1191\""));
}

void TestPreviewDock::customPageSizeEnablesWidthAndHeight() {
    PreviewDock d(nullptr, {});
    PreviewCounter previews(d);
    auto *width = child<QLineEdit>(d, "widthBox");
    selectData(child<QComboBox>(d, "pageSizeBox"), QVariant::fromValue(QPageSize::Custom));
    QVERIFY(width->isEnabled());
    QVERIFY(child<QLineEdit>(d, "heightBox")->isEnabled());
    QCOMPARE(cfg().pageSizeId(), QPageSize::Custom);
    QCOMPARE(cfg().pageWidth(), 595);
    QCOMPARE(cfg().pageHeight(), 842);
    QCOMPARE(width->text(), QStringLiteral("595"));
    QCOMPARE(previews.runs(), 0);
    // Now the width is taken.
    type(width, QStringLiteral("500"));
    QCOMPARE(cfg().pageWidth(), 500);
    QCOMPARE(previews.runs(), 1);
}

void TestPreviewDock::disabledWidthBoxChangesNothing() {
    PreviewDock d(nullptr, {});
    PreviewCounter previews(d);
    auto *width = child<QLineEdit>(d, "widthBox");
    QVERIFY(!width->isEnabled()); // A4
    type(width, QStringLiteral("300"));
    type(child<QLineEdit>(d, "heightBox"), QStringLiteral("300"));
    QCOMPARE(cfg().pageWidth(), 595);
    QCOMPARE(cfg().pageHeight(), 842);
    QCOMPARE(previews.runs(), 0);
}

void TestPreviewDock::lineEditsCompareBeforeStoring() {
    PreviewDock d(nullptr, {});
    PreviewCounter previews(d);
    type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("130")); // unchanged
    QCOMPARE(previews.runs(), 0);
    type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("150"));
    type(child<QLineEdit>(d, "marginLeftBox"), QStringLiteral("40"));
    type(child<QLineEdit>(d, "scoreAngleBox"), QStringLiteral("-30"));
    type(child<QLineEdit>(d, "mColWidthBox"), QStringLiteral("40"));
    type(child<QLineEdit>(d, "titleWidthBox"), QStringLiteral("90"));
    QCOMPARE(cfg().colWidth(), 150);
    QCOMPARE(cfg().marginLeft(), 40);
    QCOMPARE(cfg().scoreAngle(), -30);
    QCOMPARE(cfg().mColWidth(), 40);
    QCOMPARE(cfg().titleWidth(), 90);
    QCOMPARE(previews.runs(), 5);
}

void TestPreviewDock::emptyLineEditReadsZero() {
    PreviewDock d(nullptr, {});
    type(child<QLineEdit>(d, "marginTopBox"), QString());
    QCOMPARE(cfg().marginTop(), 0);
    type(child<QLineEdit>(d, "lyricSpaceBox"), QStringLiteral("-"));
    QCOMPARE(cfg().lyricSpace(), 0);
}

void TestPreviewDock::fontsAndColours() {
    PreviewDock d(nullptr, sampleLines());
    PreviewCounter previews(d);
    auto *lyricFont = child<FontBox>(d, "lyricFontBox");
    emit lyricFont->fontChanged(cfg().lyricFont(), cfg().lyricFontSize()); // no change
    QCOMPARE(previews.runs(), 0);
    lyricFont->setFontSize(24);
    lyricFont->onLineEditChanged();
    QCOMPARE(cfg().lyricFontSize(), 24);
    QCOMPARE(cfg().lyricFont().pointSize(), 24);
    QCOMPARE(previews.runs(), 1);

    auto *ban = child<ColorBox>(d, "banColorBox");
    emit ban->colorChanged(QColor(QStringLiteral("#ff4c00"))); // the stored colour
    QCOMPARE(previews.runs(), 1);
    emit ban->colorChanged(QColor(QStringLiteral("#00aa00")));
    QCOMPARE(cfg().banColor(), QColor(QStringLiteral("#00aa00")));
    QCOMPARE(previews.runs(), 2);
    QVERIFY(d.engine()->pages().first().contains("#00aa00"));

    auto *score = child<CustomFontBox>(d, "scoreFontBox");
    emit score->fontChanged(cfg().scoreFont(), 20);
    QCOMPARE(cfg().scoreFontSize(), 20);
    QCOMPARE(previews.runs(), 3);
}

void TestPreviewDock::switchesAndLists() {
    PreviewDock d(nullptr, sampleLines());
    PreviewCounter previews(d);
    child<QCheckBox>(d, "bgTransparentBox")->setChecked(true);
    QVERIFY(cfg().isBgTransparent());
    child<QCheckBox>(d, "hiddenSymbolBox")->setChecked(true);
    QVERIFY(cfg().isHiddenSymbol());
    selectData(child<QComboBox>(d, "isLandscapeBox"), true);
    QVERIFY(cfg().isLandscape());
    selectData(child<QComboBox>(d, "isLineBreakScoreOverflowBox"), false);
    QVERIFY(!cfg().isLineBreakScoreOverflow());
    selectData(child<QComboBox>(d, "titlePosBox"), 2);
    QCOMPARE(cfg().titlePos(), 2);
    QCOMPARE(previews.runs(), 5);
    QVERIFY(d.engine()->pages().first().contains("viewBox=\"0 0 842 595\""));
}

void TestPreviewDock::livePreviewOffDoesNotRegenerate() {
    PreviewDock d(nullptr, sampleLines());
    PreviewCounter previews(d);
    auto *live = child<QCheckBox>(d, "livePreviewBox");
    QVERIFY(live->isChecked());
    live->setChecked(false);
    QVERIFY(!cfg().isLivePreview());
    QCOMPARE(previews.runs(), 0);
    type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("160"));
    selectData(child<QComboBox>(d, "pageSizeBox"), QVariant::fromValue(QPageSize::A5));
    emit child<ColorBox>(d, "lyricColorBox")->colorChanged(QColor(Qt::red));
    QCOMPARE(cfg().colWidth(), 160);
    QCOMPARE(cfg().pageSizeId(), QPageSize::A5);
    QCOMPARE(previews.runs(), 0);
    live->setChecked(true);
    QVERIFY(cfg().isLivePreview());
    QCOMPARE(previews.runs(), 1);
    QVERIFY(d.engine()->pages().first().contains("viewBox=\"0 0 420 595\""));
}

void TestPreviewDock::restoreAndImportAlwaysRegenerate() {
    QTemporaryDir dir;
    PreviewDock d(nullptr, sampleLines());
    child<QCheckBox>(d, "livePreviewBox")->setChecked(false);
    type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("160"));
    PreviewCounter previews(d);

    // Restore: the defaults, live preview on again, and a preview.
    QTest::mouseClick(child<QPushButton>(d, "restoreBtn"), Qt::LeftButton);
    QCOMPARE(cfg().colWidth(), 130);
    QCOMPARE(child<QLineEdit>(d, "colWidthBox")->text(), QStringLiteral("130"));
    QVERIFY(child<QCheckBox>(d, "livePreviewBox")->isChecked());
    QCOMPARE(previews.runs(), 1);

    // Import, with live preview off in the scheme itself.
    const QString scheme = dir.filePath(QStringLiteral("s.json"));
    QVERIFY(writeFile(scheme, "{\"colWidth\": 150, \"isLivePreview\": false, "
                              "\"pageSizeId\": 30, \"pageWidth\": 400}"));
    PromptScript prompts;
    prompts.answer(scheme);
    QTest::mouseClick(child<QPushButton>(d, "importBtn"), Qt::LeftButton);
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(prompts.shown().at(0).kind, Prompt::Kind::OpenFile);
    QCOMPARE(prompts.shown().at(0).title, QStringLiteral("导入方案"));
    QCOMPARE(prompts.shown().at(0).filter, QStringLiteral("JSON文件 (*.json)"));
    QCOMPARE(prompts.last().kind, Prompt::Kind::Information);
    QCOMPARE(prompts.last().title, QStringLiteral("成功"));
    QCOMPARE(prompts.last().text, QStringLiteral("导入成功！"));
    QCOMPARE(child<QLineEdit>(d, "colWidthBox")->text(), QStringLiteral("150"));
    QCOMPARE(child<QComboBox>(d, "pageSizeBox")->currentText(), QStringLiteral("自定义"));
    QVERIFY(child<QLineEdit>(d, "widthBox")->isEnabled());
    QCOMPARE(child<QLineEdit>(d, "widthBox")->text(), QStringLiteral("400"));
    QVERIFY(!child<QCheckBox>(d, "livePreviewBox")->isChecked());
    QCOMPARE(previews.runs(), 2);
    QVERIFY(d.engine()->pages().first().contains("viewBox=\"0 0 400 842\""));

    // A cancelled file dialog does nothing.
    prompts.clear();
    QTest::mouseClick(child<QPushButton>(d, "importBtn"), Qt::LeftButton);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(previews.runs(), 2);
}

void TestPreviewDock::rejectedSchemeLeavesTheFormUnchanged() {
    QTemporaryDir dir;
    PreviewDock d(nullptr, sampleLines());
    type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("140"));
    const QStringList before = formState(d);
    PreviewCounter previews(d);
    PromptScript prompts;
    for (const QByteArray &bad : {QByteArray("[1, 2]"), QByteArray("colWidth = 3")}) {
        prompts.clear();
        QVERIFY(writeFile(dir.filePath(QStringLiteral("bad.json")), bad));
        prompts.answer(dir.filePath(QStringLiteral("bad.json")));
        d.settingsForm()->onImportBtnClicked();
        QCOMPARE(prompts.count(), 2);
        QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
        QCOMPARE(prompts.last().title, QStringLiteral("错误"));
        QCOMPARE(prompts.last().text, QStringLiteral("导入失败，文件错误！"));
        QCOMPARE(formState(d), before);
        QCOMPARE(cfg().colWidth(), 140);
    }
    prompts.clear();
    prompts.answer(dir.filePath(QStringLiteral("missing.json")));
    d.settingsForm()->onImportBtnClicked();
    QCOMPARE(prompts.last().text, QStringLiteral("导入失败，文件错误！"));
    QCOMPARE(previews.runs(), 0);
}

void TestPreviewDock::saveScheme() {
    QTemporaryDir dir;
    PreviewDock d(nullptr, {});
    type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("170"));
    PromptScript prompts;
    prompts.answer(dir.filePath(QStringLiteral("mine.json")));
    QTest::mouseClick(child<QPushButton>(d, "saveBtn"), Qt::LeftButton);
    QCOMPARE(prompts.shown().at(0).kind, Prompt::Kind::SaveFile);
    QCOMPARE(prompts.shown().at(0).title, QStringLiteral("保存方案"));
    QCOMPARE(prompts.shown().at(0).filter, QStringLiteral("JSON文件 (*.json)"));
    QVERIFY(prompts.shown().at(0).text.isEmpty());
    QCOMPARE(prompts.last().kind, Prompt::Kind::Information);
    QCOMPARE(prompts.last().text, QStringLiteral("保存成功！"));
    QFile saved(dir.filePath(QStringLiteral("mine.json")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains("\"colWidth\": 170"));

    prompts.clear();
    prompts.answer(dir.filePath(QStringLiteral("mine.json/x.json"))); // under a file
    d.settingsForm()->onSaveBtnClicked();
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().title, QStringLiteral("错误"));
    QCOMPARE(prompts.last().text, QStringLiteral("保存失败！"));

    prompts.clear();
    d.settingsForm()->onSaveBtnClicked(); // cancelled
    QCOMPARE(prompts.count(), 1);
}

void TestPreviewDock::dpiBoxOnlyForImages() {
    PreviewDock d(nullptr, {});
    auto *fileType = child<QComboBox>(d, "fileTypeBox");
    auto *dpi = child<QComboBox>(d, "dpiBox");
    QCOMPARE(fileType->currentIndex(), 0);
    QVERIFY(!dpi->isEnabled());
    fileType->setCurrentIndex(1);
    QVERIFY(dpi->isEnabled());
    fileType->setCurrentIndex(2);
    QVERIFY(dpi->isEnabled());
    fileType->setCurrentIndex(3);
    QVERIFY(!dpi->isEnabled());
    fileType->setCurrentIndex(0);
    QVERIFY(!dpi->isEnabled());
}

void TestPreviewDock::wheelOverComboBoxesIsSwallowed() {
    PreviewDock d(nullptr, {});
    d.showSettings();
    QVERIFY(QTest::qWaitForWindowExposed(d.settingsForm()));
    for (const char *name :
         {"pageSizeBox", "isLandscapeBox", "isLineBreakScoreOverflowBox", "titlePosBox"}) {
        auto *box = child<QComboBox>(d, name);
        const int before = box->currentIndex();
        for (int delta : {-120, 120}) {
            const QPoint pos = box->rect().center();
            QWheelEvent e(pos, box->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(box, &e);
            QCOMPARE(box->currentIndex(), before);
        }
    }
    QCOMPARE(cfg().pageSizeId(), QPageSize::A4);
}

void TestPreviewDock::previewFitsItsFrame() {
    PreviewDock d(nullptr, sampleLines());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto *frame = child<QFrame>(d, "preViewFrame");
    auto *preview = child<QSvgWidget>(d, "preViewWidget");
    auto check = [&](int pw, int ph) {
        const int W = frame->contentsRect().width();
        const int H = frame->contentsRect().height();
        const double scale = std::min(0.9 * W / pw, 0.9 * H / ph);
        QCOMPARE(preview->width(), int(std::floor(pw * scale + 0.5)));
        QCOMPARE(preview->height(), int(std::floor(ph * scale + 0.5)));
        // Centred by the frame, as QStyle::alignedRect centres.
        QCOMPARE(preview->pos(),
                 QPoint(W / 2 - preview->width() / 2, H / 2 - preview->height() / 2));
    };
    check(595, 842);
    d.resize(1200, 900);
    QTRY_VERIFY(frame->contentsRect().width() > 500);
    check(595, 842);
    selectData(child<QComboBox>(d, "isLandscapeBox"), true);
    check(842, 595);
    QVERIFY(preview->renderer()->isValid());
    QCOMPARE(preview->renderer()->viewBox(), QRect(0, 0, 842, 595));
}

void TestPreviewDock::ctrlWheelAndButtonsZoomThePreview() {
    PreviewDock d(nullptr, sampleLines());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto *preview = child<QSvgWidget>(d, "preViewWidget");
    const QSize fit = preview->size();
    QCOMPARE(d.pane()->previewZoom(), 1.0);

    sendWheel(preview, 120, Qt::NoModifier); // scrolls, no zoom
    QCOMPARE(preview->size(), fit);
    sendWheel(preview, 120, Qt::ControlModifier);
    QVERIFY(d.pane()->previewZoom() > 1);
    QVERIFY(preview->width() > fit.width() && preview->height() > fit.height());
    // Larger than its frame, the page scrolls.
    sendWheel(preview, 120, Qt::ControlModifier);
    sendWheel(preview, 120, Qt::ControlModifier);
    QVERIFY(child<QScrollArea>(d, "preViewFrame")->verticalScrollBar()->maximum() > 0);
    child<QToolButton>(d, "zoomFitBtn")->click();
    QCOMPARE(d.pane()->previewZoom(), 1.0);
    QCOMPARE(preview->size(), fit);

    child<QToolButton>(d, "zoomOutBtn")->click();
    QVERIFY(preview->width() < fit.width());
    child<QToolButton>(d, "zoomInBtn")->click();
    QCOMPARE(d.pane()->previewZoom(), 1.0);
    QCOMPARE(preview->size(), fit);
    // The zoom holds across previews.
    child<QToolButton>(d, "zoomInBtn")->click();
    type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("140"));
    QVERIFY(preview->width() > fit.width());
}

// The overlaps of the previewed page are counted under it and outlined over
// it; the outlines are not part of the page.
void TestPreviewDock::overlapsAreOutlined() {
    PreviewDock d(nullptr, sampleLines());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    auto *preview = child<QSvgWidget>(d, "preViewWidget");
    auto *overlay = child<QWidget>(d, "overlapOverlay");
    const auto outlinesShow = [&] {
        const QImage with = preview->grab().toImage();
        overlay->hide();
        const QImage without = preview->grab().toImage();
        overlay->show();
        return with != without;
    };
    QCOMPARE(overlapCount(d), 0);
    QVERIFY(!outlinesShow());
    const QByteArray clean = d.engine()->pages().first();

    type(child<QLineEdit>(d, "lyricScoreSpaceBox"), QStringLiteral("-30"));
    QVERIFY(overlapCount(d) > 0);
    QVERIFY(outlinesShow());
    QVERIFY(!d.engine()->pages().first().contains("#e60000"));

    type(child<QLineEdit>(d, "lyricScoreSpaceBox"), QStringLiteral("0"));
    QCOMPARE(overlapCount(d), 0);
    QCOMPARE(d.engine()->pages().first(), clean);
}

void TestPreviewDock::remembersItsSize() {
    {
        PreviewDock d(nullptr, {});
        ExportSettingsForm *s = d.settingsForm();
        s->show();
        QVERIFY(QTest::qWaitForWindowExposed(s));
        s->resize(500, 400);
        QTRY_COMPARE(s->size(), QSize(500, 400));
    }
    PreviewDock d(nullptr, {});
    ExportSettingsForm *s = d.settingsForm();
    QCOMPARE(s->size(), QSize(500, 400));
    s->show();
    QVERIFY(QTest::qWaitForWindowExposed(s));
    QCOMPARE(s->size(), QSize(500, 400));
    QSettings settings(AppPaths::settingsFile(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("ExportSettings/width")).toInt(), 500);
    // Not among the export settings.
    QVERIFY(!cfg().keys().contains(QStringLiteral("width")));
}

void TestPreviewDock::emptyDocumentPreviews() {
    PreviewDock d(nullptr, {});
    QCOMPARE(d.engine()->pages().size(), 1);
    QVERIFY(child<QSvgWidget>(d, "preViewWidget")->renderer()->isValid());
}

void TestPreviewDock::missingScoreFontFallsBackToTheDefault() {
    cfg().setScoreFontSize(18);
    cfg().setScoreFont(QFont(QStringLiteral("No Such Gongche Font")));
    PreviewDock d(nullptr, {});
    QCOMPARE(cfg().scoreFont().family(), FontRegistry::instance()->defaultFamily());
    QCOMPARE(cfg().scoreFontSize(), 18);
    QCOMPARE(cfg().scoreFont().pointSize(), 18);
    QCOMPARE(child<CustomFontBox>(d, "scoreFontBox")->fontSize(), 18);
}

void TestPreviewDock::exportPdf() {
    QTemporaryDir dir;
    PreviewDock d(nullptr, sampleLines());
    PromptScript prompts;
    const QString path = dir.filePath(QStringLiteral("out/游园.pdf"));
    prompts.answer(path);
    QSignalSpy exported(&d, &PreviewDock::exported);
    d.show();
    QTest::mouseClick(child<QToolButton>(d, "exportBtn"), Qt::LeftButton);
    // Success is told by the signal alone; the dialog stays open.
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.shown().at(0).kind, Prompt::Kind::SaveFile);
    QCOMPARE(prompts.shown().at(0).title, QStringLiteral("导出为PDF文件"));
    QCOMPARE(prompts.shown().at(0).filter, QStringLiteral("PDF文件 (*.pdf)"));
    QCOMPARE(exported.size(), 1);
    QCOMPARE(exported.first().first().toString(), QFileInfo(path).absoluteFilePath());
    QVERIFY(d.isVisible());
    QVERIFY(d.isEnabled());
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");
    // The export ran on all pages, not on the preview.
    QCOMPARE(d.engine()->pages().size(), 2);
}

void TestPreviewDock::exportSuggestsTheTitle() {
    QTemporaryDir dir;
    PreviewDock d(nullptr, sampleLines());
    PromptScript prompts;
    d.exportDocument(); // cancelled
    QVERIFY(prompts.last().text.endsWith(QStringLiteral("/游园.pdf")));
    // The next one starts where the last export went.
    prompts.answer(dir.filePath(QStringLiteral("a.pdf")));
    d.exportDocument();
    d.exportDocument();
    QCOMPARE(prompts.last().text, QDir(dir.path()).filePath(QStringLiteral("游园.pdf")));
    child<QComboBox>(d, "fileTypeBox")->setCurrentIndex(3);
    d.exportDocument();
    QCOMPARE(prompts.last().kind, Prompt::Kind::Directory);
    QCOMPARE(prompts.last().text, QDir(dir.path()).absolutePath());

    // Without a title line, the tune names the file.
    PreviewDock untitled(nullptr, sampleLines(false));
    untitled.exportDocument();
    QVERIFY(prompts.last().text.endsWith(QStringLiteral("/皂罗袍.pdf")));
}

void TestPreviewDock::exportImagesAndSvg() {
    QTemporaryDir dir;
    const struct {
        int type;
        QString title;
        QString folder;
    } cases[] = {
        {1, QStringLiteral("导出为JPG文件"), QStringLiteral("游园_jpg")},
        {2, QStringLiteral("导出为PNG文件"), QStringLiteral("游园_png")},
        {3, QStringLiteral("导出为SVG文件"), QStringLiteral("游园_svg")},
    };
    for (const auto &c : cases) {
        PreviewDock d(nullptr, sampleLines());
        child<QComboBox>(d, "fileTypeBox")->setCurrentIndex(c.type);
        child<QComboBox>(d, "dpiBox")->setCurrentIndex(1);
        PromptScript prompts;
        prompts.answer(dir.path());
        QSignalSpy exported(&d, &PreviewDock::exported);
        d.exportDocument();
        QCOMPARE(prompts.count(), 1);
        QCOMPARE(prompts.shown().at(0).kind, Prompt::Kind::Directory);
        QCOMPARE(prompts.shown().at(0).title, c.title);
        QCOMPARE(exported.size(), 1);
        QCOMPARE(exported.first().first().toString(), QDir(dir.path()).filePath(c.folder));
        QVERIFY(QFileInfo(dir.filePath(c.folder)).isDir());
    }
    // 160 dpi for the images.
    QCOMPARE(QImage(dir.filePath(QStringLiteral("游园_png/游园_0.png"))).width(),
             qRound(210 / 25.4 * 160));
}

void TestPreviewDock::cancelledExportDoesNothing() {
    PreviewDock d(nullptr, sampleLines());
    PreviewCounter previews(d);
    QSignalSpy spy(d.engine(), &Typesetter::progressUpdate);
    QSignalSpy exported(&d, &PreviewDock::exported);
    PromptScript prompts;
    d.exportDocument();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(spy.size(), 0);
    QCOMPARE(exported.size(), 0);
}

void TestPreviewDock::failedExportKeepsTheDialogOpen() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("busy.pdf")));
    PreviewDock d(nullptr, sampleLines());
    d.show();
    PromptScript prompts;
    prompts.answer(dir.filePath(QStringLiteral("busy.pdf")));
    QSignalSpy exported(&d, &PreviewDock::exported);
    d.exportDocument();
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().title, QStringLiteral("错误"));
    QVERIFY(!prompts.last().text.isEmpty()); // the writer's reason
    QCOMPARE(exported.size(), 0);
    QVERIFY(d.isVisible());
    QVERIFY(d.isEnabled());
}

void TestPreviewDock::progressDialog() {
    QTemporaryDir dir;
    PreviewDock d(nullptr, sampleLines());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QProgressDialog *progress = d.pane()->progressDialog(); // made by the first preview
    QVERIFY(progress);
    QVERIFY(progress->isHidden());
    QVERIFY(d.isEnabled());
    // A preview, as the text changes, shows no progress: a modal dialog would
    // take the keys (and the shortcuts) from the editors.
    d.setLines(sampleLines(false));
    QVERIFY(progress->isHidden());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(d.pane()->isEnabled());
    QVERIFY(progress->windowFlags() & Qt::CustomizeWindowHint);
    QVERIFY(!(progress->windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(progress->minimumDuration(), 0);

    // While the writer works the dialog is disabled and the progress shown.
    bool seen = false;
    connect(d.engine(), &Typesetter::progressUpdate, &d,
            [&](Typesetter::Task, Typesetter::Progress step, int value) {
                if (step == Typesetter::Progress::Advanced && value == 1 &&
                    progress->labelText() == QStringLiteral("正在导出SVG文件···")) {
                    seen = progress->isVisible() && !d.pane()->isEnabled() &&
                           progress->windowTitle() == QStringLiteral("导出") &&
                           progress->maximum() == 2 && progress->value() == 1;
                }
            });
    child<QComboBox>(d, "fileTypeBox")->setCurrentIndex(3);
    PromptScript prompts;
    prompts.answer(dir.path());
    d.exportDocument();
    QVERIFY(seen);
    QVERIFY(progress->isHidden());
    QVERIFY(d.pane()->isEnabled());
    QCOMPARE(d.findChildren<QProgressDialog *>().size(), 1);
}

// 预览全部 floats the pane large and pages through every page; off, the pane
// goes back to its place.
void TestPreviewDock::previewAll() {
    QMainWindow window;
    window.resize(800, 600);
    window.setCentralWidget(new QWidget);
    auto *d = new PreviewDock(&window, sampleLines());
    window.addDockWidget(Qt::RightDockWidgetArea, d);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!d->isFloating());
    auto *all = child<QToolButton>(*d, "previewAllBtn");
    auto *label = child<QLabel>(*d, "pageLabel");
    auto *next = child<QToolButton>(*d, "nextPageBtn");
    QCOMPARE(label->text(), QStringLiteral("1/…")); // the preview stopped after page 1
    all->click();
    QVERIFY(d->pane()->isWide());
    QVERIFY(d->isFloating());
    const QRect screen = d->screen()->availableGeometry();
    QVERIFY(d->width() > screen.width() * 3 / 4);
    QVERIFY(d->height() > screen.height() * 3 / 4);
    QCOMPARE(label->text(), QStringLiteral("1/2"));
    next->click();
    QCOMPARE(d->pane()->previewPage(), 1);
    QCOMPARE(label->text(), QStringLiteral("2/2"));
    QVERIFY(!next->isEnabled());
    QCOMPARE(child<QSvgWidget>(*d, "preViewWidget")->renderer()->isValid(), true);

    all->click();
    QVERIFY(!d->pane()->isWide());
    QVERIFY(!d->isFloating());
}

// Floating, Esc closes the pane; docked, Esc is left to the window. 关闭
// closes it either way.
void TestPreviewDock::escapeAndCloseButton() {
    QMainWindow window;
    window.setCentralWidget(new QWidget);
    auto *d = new PreviewDock(&window, {});
    window.addDockWidget(Qt::RightDockWidgetArea, d);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(d, Qt::Key_Escape);
    QVERIFY(d->isVisible());
    d->setFloating(true);
    QTRY_VERIFY(d->isVisible());
    QTest::keyClick(d->pane(), Qt::Key_Escape);
    QVERIFY(d->isHidden());
    d->show();
    QVERIFY(d->isVisible());
    child<QToolButton>(*d, "closeBtn")->click();
    QVERIFY(d->isHidden());
    d->setFloating(false);
    d->show();
    child<QToolButton>(*d, "closeBtn")->click();
    QVERIFY(d->isHidden());
}

void TestPreviewDock::closingSavesTheConfiguration() {
    {
        PreviewDock d(nullptr, {});
        type(child<QLineEdit>(d, "colWidthBox"), QStringLiteral("175"));
        QSettings before(AppPaths::settingsFile(), QSettings::IniFormat);
        QCOMPARE(before.value(QStringLiteral("Export/colWidth")).toInt(), 130);
    }
    QSettings after(AppPaths::settingsFile(), QSettings::IniFormat);
    QCOMPARE(after.value(QStringLiteral("Export/colWidth")).toInt(), 175);
}

void TestPreviewDock::choosingJianpuShowsItsSettings() {
    PreviewDock d(nullptr, sampleLines());
    PreviewCounter previews(d);
    auto *notation = child<QComboBox>(d, "notationBox");
    auto *group = child<QGroupBox>(d, "jianpuGroup");
    auto *columns = child<QGroupBox>(d, "spaceGroupBox");
    QCOMPARE(notation->count(), 3);
    QCOMPARE(notation->itemText(0), QStringLiteral("工尺谱"));
    QCOMPARE(notation->itemText(1), QStringLiteral("简谱"));
    QCOMPARE(notation->itemText(2), QStringLiteral("五线谱"));
    QCOMPARE(group->title(), QStringLiteral("简谱"));
    QVERIFY(group->isHidden() && !columns->isHidden());

    notation->setCurrentIndex(1);
    QCOMPARE(cfg().pageStyle().notation, PageStyle::Notation::Jianpu);
    QCOMPARE(previews.runs(), 1);
    QVERIFY(!group->isHidden());
    // The settings of gongche columns step aside and are kept.
    QVERIFY(columns->isHidden());
    QVERIFY(!child<CustomFontBox>(d, "scoreFontBox")->isEnabled());
    QCOMPARE(child<QLineEdit>(d, "colWidthBox")->text(), QStringLiteral("130"));

    // Staff pages have settings of their own, and say when LilyPond is missing.
    auto *staff = child<QGroupBox>(d, "staffGroup");
    auto *missing = child<QLabel>(d, "staffMissingLabel");
    QVERIFY(staff->isHidden());
    qputenv("QORVEL_LILYPOND", "/nonexistent/lilypond");
    notation->setCurrentIndex(2);
    qunsetenv("QORVEL_LILYPOND");
    QCOMPARE(cfg().pageStyle().notation, PageStyle::Notation::Staff);
    QVERIFY(!staff->isHidden() && group->isHidden() && columns->isHidden());
    QCOMPARE(missing->text(), QStringLiteral("未找到 LilyPond，无法排五线谱"));
    QVERIFY(!missing->isHidden());

    notation->setCurrentIndex(0);
    QCOMPARE(cfg().pageStyle().notation, PageStyle::Notation::Gongche);
    QCOMPARE(previews.runs(), 2); // staff pages are engraved, not typeset
    QCoreApplication::processEvents();
    QVERIFY(d.pane()->engravingText().isEmpty()); // nothing more said of staff pages
    QVERIFY(group->isHidden() && staff->isHidden() && !columns->isHidden());
    QVERIFY(child<CustomFontBox>(d, "scoreFontBox")->isEnabled());
}

void TestPreviewDock::jianpuSettingsRegenerate() {
    cfg().setNotation(PageStyle::Notation::Jianpu);
    PreviewDock d(nullptr, sampleLines());
    PreviewCounter previews(d);
    QCOMPARE(child<QLineEdit>(d, "jianpuBeatWidthBox")->text(), QStringLiteral("30"));
    type(child<QLineEdit>(d, "jianpuBeatWidthBox"), QStringLiteral("30")); // unchanged
    QCOMPARE(previews.runs(), 0);
    type(child<QLineEdit>(d, "jianpuLyricDistanceBox"), QStringLiteral("-4"));
    type(child<QLineEdit>(d, "jianpuSystemSpaceBox"), QStringLiteral("24"));
    type(child<QLineEdit>(d, "jianpuBeatWidthBox"), QStringLiteral("45"));
    type(child<QLineEdit>(d, "jianpuMinNoteSpaceBox"), QStringLiteral("5"));
    child<QCheckBox>(d, "jianpuFlatAfterLetterBox")->setChecked(true);
    child<QCheckBox>(d, "jianpuSanBanWordBox")->setChecked(true);
    child<QCheckBox>(d, "jianpuBanYanSignsBox")->setChecked(false);
    auto *noteFont = child<FontBox>(d, "jianpuNoteFontBox");
    QCOMPARE(noteFont->currentFont().family(), QStringLiteral("DejaVu Sans"));
    noteFont->setFontSize(18);
    noteFont->onLineEditChanged();
    QCOMPARE(previews.runs(), 8);

    const PageStyle style = cfg().pageStyle();
    QCOMPARE(style.jianpu.lyricDistance, -4);
    QCOMPARE(style.jianpu.systemSpace, 24);
    QCOMPARE(style.jianpu.beatWidth, 45);
    QCOMPARE(style.jianpu.minNoteSpace, 5);
    QVERIFY(style.jianpu.flatAfterLetter && style.jianpu.sanBanWord && !style.jianpu.banYanSigns);
    QCOMPARE(style.jianpu.noteFont.family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(style.jianpu.noteFont.pointSize(), 18);
}

// One choice for 简谱 pages and MusicXML, shown whatever the notation.
void TestPreviewDock::zengChoiceSavedOnClose() {
    {
        PreviewDock d(nullptr, sampleLines());
        PreviewCounter previews(d);
        auto *zeng = child<QComboBox>(d, "zengBox");
        QVERIFY(!zeng->isHidden());
        QCOMPARE(zeng->count(), 2);
        QCOMPARE(zeng->currentIndex(), 0); // whole
        zeng->setCurrentIndex(1);
        QVERIFY(cfg().pageStyle().jianpu.splitZeng);
        QCOMPARE(previews.runs(), 1);
    }
    QSettings after(AppPaths::settingsFile(), QSettings::IniFormat);
    QCOMPARE(after.value(QStringLiteral("Export/zengMeasures")).toString(),
             QStringLiteral("split"));
    cfg().load();
    PreviewDock again(nullptr, {});
    QCOMPARE(child<QComboBox>(again, "zengBox")->currentIndex(), 1);
}

void TestPreviewDock::notationSavedOnClose() {
    {
        PreviewDock d(nullptr, {});
        child<QComboBox>(d, "notationBox")->setCurrentIndex(1);
        type(child<QLineEdit>(d, "jianpuSystemSpaceBox"), QStringLiteral("30"));
    }
    QSettings after(AppPaths::settingsFile(), QSettings::IniFormat);
    QCOMPARE(after.value(QStringLiteral("Export/notation")).toString(), QStringLiteral("jianpu"));
    QCOMPARE(after.value(QStringLiteral("Export/jianpuSystemSpace")).toInt(), 30);
    // The next dialog opens on 简谱; restoring the defaults goes back to gongche.
    PreviewDock d(nullptr, {});
    QCOMPARE(child<QComboBox>(d, "notationBox")->currentIndex(), 1);
    QVERIFY(!child<QGroupBox>(d, "jianpuGroup")->isHidden());
    QTest::mouseClick(child<QPushButton>(d, "restoreBtn"), Qt::LeftButton);
    QCOMPARE(child<QComboBox>(d, "notationBox")->currentIndex(), 0);
    QVERIFY(child<QGroupBox>(d, "jianpuGroup")->isHidden());
}

QTEST_MAIN(TestPreviewDock)
#include "tst_previewdock.moc"
