#include "fonts/fontregistry.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QtTest>

class TestFontRegistry : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void createsMissingFontsDirectory();
    void embeddedFamilyComesFirst();
    void listsInstalledFontsOnceAndSkipsBrokenFiles();
    void reloadReplacesEarlierRegistrations();
    void deletedFontIsNoLongerRegistered();

private:
    QString m_fontsDir;
};

namespace {

const QString dejaVu = QStringLiteral("/usr/share/fonts/truetype/dejavu/");

} // namespace

void TestFontRegistry::initTestCase() {
    m_fontsDir = QCoreApplication::applicationDirPath() + QStringLiteral("/fonts");
    QDir(m_fontsDir).removeRecursively();
}

void TestFontRegistry::createsMissingFontsDirectory() {
    FontRegistry *registry = FontRegistry::instance();
    QCOMPARE(QDir(registry->fontsDir()).absolutePath(), QDir(m_fontsDir).absolutePath());
    QVERIFY(QDir(m_fontsDir).exists());
    // Only the embedded font, if it is there at all.
    QCOMPARE(registry->families().size(), registry->defaultFamily().isEmpty() ? 0 : 1);
}

void TestFontRegistry::embeddedFamilyComesFirst() {
    FontRegistry *registry = FontRegistry::instance();
    if (!QFile::exists(FontRegistry::defaultFontPath())) {
        QSKIP("the embedded gongche font is not built into this tree yet");
    }
    QCOMPARE(registry->defaultFamily(), QStringLiteral("Qorvel工尺谱字体"));
    QCOMPARE(registry->families().first(), registry->defaultFamily());
}

void TestFontRegistry::listsInstalledFontsOnceAndSkipsBrokenFiles() {
    if (!QFile::exists(dejaVu + "DejaVuSans.ttf") || !QFile::exists(dejaVu + "DejaVuSerif.ttf")) {
        QSKIP("DejaVu fonts are not installed");
    }
    QVERIFY(QFile::copy(dejaVu + "DejaVuSans.ttf", m_fontsDir + "/sans.ttf"));
    QVERIFY(QFile::copy(dejaVu + "DejaVuSans.ttf", m_fontsDir + "/sans-again.ttf"));
    QVERIFY(QFile::copy(dejaVu + "DejaVuSerif.ttf", m_fontsDir + "/SERIF.TTF"));
    QVERIFY(QFile::copy(dejaVu + "DejaVuSansMono.ttf", m_fontsDir + "/mono.otf.bak"));
    QVERIFY(writeFile(m_fontsDir + "/broken.ttf", "not a font at all"));
    QVERIFY(QDir(m_fontsDir).mkdir(QStringLiteral("folder.ttf")));

    FontRegistry *registry = FontRegistry::instance();
    registry->reload();
    QStringList families = registry->families();
    if (!registry->defaultFamily().isEmpty()) {
        QCOMPARE(families.takeFirst(), registry->defaultFamily());
    }
    families.sort();
    QCOMPARE(families, QStringList({"DejaVu Sans", "DejaVu Serif"}));

    // Reloading again gives the same list: nothing accumulates.
    const QStringList before = registry->families();
    registry->reload();
    QCOMPARE(registry->families(), before);
}

namespace {

// The application fonts registered now, by their ids.
int registeredApplicationFonts() {
    int n = 0;
    for (int id = 0; id < 1000; ++id) {
        n += QFontDatabase::applicationFontFamilies(id).isEmpty() ? 0 : 1;
    }
    return n;
}

} // namespace

// Found by fuzzing the registry: every reload registered the embedded font
// and each installed file again, so memory grew with every install or
// delete in the font manager.
void TestFontRegistry::reloadReplacesEarlierRegistrations() {
    FontRegistry *registry = FontRegistry::instance();
    registry->reload();
    const int registered = registeredApplicationFonts();
    QVERIFY(registered >= 1);
    for (int i = 0; i < 20; ++i) {
        registry->reload();
    }
    QCOMPARE(registeredApplicationFonts(), registered);
}

void TestFontRegistry::deletedFontIsNoLongerRegistered() {
    if (!QFile::exists(dejaVu + "DejaVuSansMono.ttf")) {
        QSKIP("DejaVu fonts not installed");
    }
    FontRegistry *registry = FontRegistry::instance();
    const QString path = m_fontsDir + "/mono.ttf";
    QVERIFY(QFile::copy(dejaVu + "DejaVuSansMono.ttf", path));
    registry->reload();
    const int withMono = registeredApplicationFonts();
    QVERIFY(registry->families().contains("DejaVu Sans Mono"));
    QVERIFY(QFile::remove(path));
    registry->reload();
    QVERIFY(!registry->families().contains("DejaVu Sans Mono"));
    QCOMPARE(registeredApplicationFonts(), withMono - 1);
}

QTEST_MAIN(TestFontRegistry)
#include "tst_fontregistry.moc"
