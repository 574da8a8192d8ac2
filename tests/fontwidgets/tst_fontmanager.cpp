#include "fonts/fontregistry.h"
#include "fontwidgets/fontmanager.h"
#include "promptscript.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestFontManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void form();
    void cancelledInstallDoesNothing();
    void installRefusesExistingFileName();
    void installRefusesUnreadableFont();
    void installRefusesKnownFamily();
    void installRefusesEmbeddedFamily();
    void installAndDelete();
    void installsOpenTypeAndCollections();
    void deleteRefusesDefaultFont();
    void deleteAskedAndDeclined();
    void deleteOfVanishedFile();
    void deleteButtonFollowsSelection();

private:
    QStringList installedFiles() const {
        return QDir(m_fontsDir).entryList(QDir::Files, QDir::Name);
    }
    static QListWidget *list(FontManager &m) {
        return m.findChild<QListWidget *>(QStringLiteral("fontList"));
    }
    static QPushButton *button(FontManager &m, const char *name) {
        return m.findChild<QPushButton *>(QLatin1String(name));
    }
    static void select(FontManager &m, const QString &family) {
        const auto items = list(m)->findItems(family, Qt::MatchExactly);
        QVERIFY(!items.isEmpty());
        list(m)->setCurrentItem(items.first());
    }

    QTemporaryDir m_sources;
    QString m_fontsDir;
    QString m_sans;
    QString m_serif;
};

void TestFontManager::initTestCase() {
    const QString dejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/");
    if (!QFile::exists(dejaVu + "DejaVuSans.ttf") || !QFile::exists(dejaVu + "DejaVuSerif.ttf")) {
        QSKIP("DejaVu fonts are not installed");
    }
    QVERIFY(m_sources.isValid());
    m_sans = m_sources.filePath(QStringLiteral("sans.ttf"));
    m_serif = m_sources.filePath(QStringLiteral("serif.ttf"));
    QVERIFY(QFile::copy(dejaVu + "DejaVuSans.ttf", m_sans));
    QVERIFY(QFile::copy(dejaVu + "DejaVuSerif.ttf", m_serif));
    m_fontsDir = FontRegistry::instance()->fontsDir();
}

void TestFontManager::init() {
    // Every case starts with no installed fonts.
    QDir(m_fontsDir).removeRecursively();
    FontRegistry::instance()->reload();
    QVERIFY(QDir(m_fontsDir).exists());
}

void TestFontManager::form() {
    FontManager manager;
    QCOMPARE(manager.windowTitle(), QStringLiteral("字体管理"));
    QVERIFY(!button(manager, "deleteBtn")->isEnabled());
    auto *note = manager.findChild<QLabel *>(QStringLiteral("installNote"));
    QVERIFY(note);
    QCOMPARE(note->text(),
             QStringLiteral("安装的字体会复制到程序的 fonts 文件夹，可在曲谱字体中选用。"));

    const QString defaultFamily = FontRegistry::instance()->defaultFamily();
    QCOMPARE(list(manager)->count(), defaultFamily.isEmpty() ? 0 : 1);
    if (!defaultFamily.isEmpty()) {
        QListWidgetItem *item = list(manager)->item(0);
        QCOMPARE(item->text(), defaultFamily);
        QCOMPARE(item->foreground().color(), QColor(Qt::blue));
        QCOMPARE(item->font().weight(), int(QFont::Bold));
        QCOMPARE(item->toolTip(), QStringLiteral("默认字体 (不可删除)"));
    }

    manager.show();
    QTest::mouseClick(button(manager, "closeBtn"), Qt::LeftButton);
    QCOMPARE(manager.result(), int(QDialog::Accepted));
}

void TestFontManager::cancelledInstallDoesNothing() {
    FontManager manager;
    PromptScript prompts;
    QTest::mouseClick(button(manager, "installBtn"), Qt::LeftButton);
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::OpenFile);
    QCOMPARE(prompts.last().title, QStringLiteral("选择字体文件"));
    QCOMPARE(prompts.last().text, QDir::homePath());
    QCOMPARE(prompts.last().filter, QStringLiteral("字体文件 (*.ttf *.otf *.ttc)"));
    QVERIFY(installedFiles().isEmpty());
}

void TestFontManager::installRefusesExistingFileName() {
    // The name decides, even when the file there holds another font.
    QVERIFY(QFile::copy(m_serif, m_fontsDir + "/sans.ttf"));
    FontManager manager;
    PromptScript prompts;
    prompts.answer(m_sans);
    manager.installFont();
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().title, QStringLiteral("安装失败"));
    QCOMPARE(prompts.last().text, QStringLiteral("字体文件\"sans.ttf\"已存在。"));
    QCOMPARE(prompts.last().parent, &manager);
    QCOMPARE(QFileInfo(m_fontsDir + "/sans.ttf").size(), QFileInfo(m_serif).size());
}

void TestFontManager::installRefusesUnreadableFont() {
    const QString broken = m_sources.filePath(QStringLiteral("broken.ttf"));
    QVERIFY(writeFile(broken, "definitely not TrueType"));

    FontManager manager;
    PromptScript prompts;
    prompts.answer(broken);
    manager.installFont();
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().title, QStringLiteral("安装失败"));
    QCOMPARE(prompts.last().text, QStringLiteral("无法读取字体文件\"broken.ttf\"。"));
    QVERIFY(installedFiles().isEmpty());
}

void TestFontManager::installRefusesKnownFamily() {
    QVERIFY(QFile::copy(m_sans, m_fontsDir + "/installed.ttf"));
    FontRegistry::instance()->reload();
    FontManager manager;
    PromptScript prompts;
    prompts.answer(m_sans);
    manager.installFont();
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().text, QStringLiteral("字体名称\"DejaVu Sans\"已存在。"));
    QCOMPARE(installedFiles(), QStringList{"installed.ttf"});
}

void TestFontManager::installRefusesEmbeddedFamily() {
    const QString defaultFamily = FontRegistry::instance()->defaultFamily();
    if (defaultFamily.isEmpty()) {
        QSKIP("the embedded gongche font is not built into this tree yet");
    }
    const QString copy = m_sources.filePath(QStringLiteral("my-gongche.ttf"));
    QFile::remove(copy);
    QVERIFY(QFile::copy(FontRegistry::defaultFontPath(), copy));
    FontManager manager;
    PromptScript prompts;
    prompts.answer(copy);
    manager.installFont();
    QCOMPARE(prompts.last().text, QStringLiteral("字体名称\"%1\"已存在。").arg(defaultFamily));
    QVERIFY(installedFiles().isEmpty());
}

void TestFontManager::installAndDelete() {
    FontManager manager;
    PromptScript prompts;
    prompts.answer(m_serif);
    manager.installFont();
    QCOMPARE(prompts.last().kind, Prompt::Kind::Information);
    QCOMPARE(prompts.last().title, QStringLiteral("安装成功"));
    QCOMPARE(prompts.last().text, QStringLiteral("字体\"serif.ttf\"已成功安装。"));
    QCOMPARE(installedFiles(), QStringList{"serif.ttf"});
    QVERIFY(FontRegistry::instance()->families().contains(QStringLiteral("DejaVu Serif")));
    QVERIFY(!list(manager)->findItems(QStringLiteral("DejaVu Serif"), Qt::MatchExactly).isEmpty());
    QVERIFY(!button(manager, "deleteBtn")->isEnabled());
    QCOMPARE(manager.findFontFile(QStringLiteral("DejaVu Serif")), m_fontsDir + "/serif.ttf");
    QVERIFY(manager.findFontFile(QStringLiteral("dejavu serif")).isEmpty());

    select(manager, QStringLiteral("DejaVu Serif"));
    prompts.clear();
    prompts.answer(QMessageBox::Yes);
    QTest::mouseClick(button(manager, "deleteBtn"), Qt::LeftButton);
    QCOMPARE(prompts.count(), 2);
    QCOMPARE(prompts.shown().first().kind, Prompt::Kind::Question);
    QCOMPARE(prompts.shown().first().title, QStringLiteral("确认删除"));
    QCOMPARE(prompts.shown().first().text, QStringLiteral("确定要删除字体\"DejaVu Serif\"吗？"));
    QCOMPARE(prompts.shown().first().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Information);
    QCOMPARE(prompts.last().title, QStringLiteral("删除成功"));
    QCOMPARE(prompts.last().text, QStringLiteral("字体\"DejaVu Serif\"已成功删除。"));
    QVERIFY(installedFiles().isEmpty());
    QVERIFY(!FontRegistry::instance()->families().contains(QStringLiteral("DejaVu Serif")));
    QVERIFY(list(manager)->findItems(QStringLiteral("DejaVu Serif"), Qt::MatchExactly).isEmpty());
    QVERIFY(!button(manager, "deleteBtn")->isEnabled());
}

void TestFontManager::installsOpenTypeAndCollections() {
    // The font loader reads the contents; the suffix only has to be one of
    // the installable ones, in either case.
    const QString otf = m_sources.filePath(QStringLiteral("sans.OTF"));
    const QString ttc = m_sources.filePath(QStringLiteral("serif.ttc"));
    QVERIFY(QFile::copy(m_sans, otf));
    QVERIFY(QFile::copy(m_serif, ttc));
    FontManager manager;
    PromptScript prompts;
    prompts.answer(otf);
    manager.installFont();
    prompts.answer(ttc);
    manager.installFont();
    QCOMPARE(prompts.last().title, QStringLiteral("安装成功"));
    QCOMPARE(installedFiles(), QStringList({"sans.OTF", "serif.ttc"}));
    QVERIFY(!list(manager)->findItems(QStringLiteral("DejaVu Sans"), Qt::MatchExactly).isEmpty());
    QCOMPARE(manager.findFontFile(QStringLiteral("DejaVu Serif")), m_fontsDir + "/serif.ttc");
}

void TestFontManager::deleteRefusesDefaultFont() {
    const QString defaultFamily = FontRegistry::instance()->defaultFamily();
    if (defaultFamily.isEmpty()) {
        QSKIP("the embedded gongche font is not built into this tree yet");
    }
    FontManager manager;
    select(manager, defaultFamily);
    PromptScript prompts;
    manager.deleteFont(); // the button is disabled; the slot still refuses
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().title, QStringLiteral("删除失败"));
    QCOMPARE(prompts.last().text, QStringLiteral("默认字体不能被删除。"));
    QCOMPARE(FontRegistry::instance()->families().first(), defaultFamily);
}

void TestFontManager::deleteAskedAndDeclined() {
    QVERIFY(QFile::copy(m_sans, m_fontsDir + "/sans.ttf"));
    FontRegistry::instance()->reload();
    FontManager manager;
    PromptScript prompts;
    manager.deleteFont(); // nothing selected: nothing asked
    QCOMPARE(prompts.count(), 0);
    select(manager, QStringLiteral("DejaVu Sans"));
    prompts.answer(QMessageBox::No);
    manager.deleteFont();
    QCOMPARE(prompts.count(), 1);
    QCOMPARE(installedFiles(), QStringList{"sans.ttf"});
}

void TestFontManager::deleteOfVanishedFile() {
    QVERIFY(QFile::copy(m_sans, m_fontsDir + "/sans.ttf"));
    FontRegistry::instance()->reload();
    FontManager manager;
    QVERIFY(QFile::remove(m_fontsDir + "/sans.ttf"));
    select(manager, QStringLiteral("DejaVu Sans"));
    PromptScript prompts;
    prompts.answer(QMessageBox::Yes);
    manager.deleteFont();
    QCOMPARE(prompts.last().kind, Prompt::Kind::Warning);
    QCOMPARE(prompts.last().title, QStringLiteral("删除失败"));
    QCOMPARE(prompts.last().text, QStringLiteral("无法找到字体\"DejaVu Sans\"的文件。"));
}

void TestFontManager::deleteButtonFollowsSelection() {
    QVERIFY(QFile::copy(m_sans, m_fontsDir + "/sans.ttf"));
    QVERIFY(QFile::copy(m_serif, m_fontsDir + "/serif.ttf"));
    FontRegistry::instance()->reload();
    FontManager manager;
    QPushButton *deleteButton = button(manager, "deleteBtn");
    QVERIFY(!deleteButton->isEnabled());
    select(manager, QStringLiteral("DejaVu Sans"));
    QVERIFY(deleteButton->isEnabled());
    const QString defaultFamily = FontRegistry::instance()->defaultFamily();
    if (!defaultFamily.isEmpty()) {
        select(manager, defaultFamily);
        QVERIFY(!deleteButton->isEnabled());
    }
    select(manager, QStringLiteral("DejaVu Serif"));
    QVERIFY(deleteButton->isEnabled());
    list(manager)->clearSelection();
    QVERIFY(!deleteButton->isEnabled());
    select(manager, QStringLiteral("DejaVu Serif"));
    manager.refreshFontList();
    QVERIFY(!deleteButton->isEnabled());
}

QTEST_MAIN(TestFontManager)
#include "tst_fontmanager.moc"
