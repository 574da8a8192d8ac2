#include "appearance/editorconfig.h"
#include "fonts/fontregistry.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

// Run as a child process with this argument, the program changes one colour
// and exits; the configuration must save it while being destroyed.
static const char childArgument[] = "--child-set-error-color";

class TestEditorConfig : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void missingFileYieldsDefaults();
    void settersDoNotWriteOrSignal();
    void saveWritesEveryKey();
    void loadReadsFileAndSanitisesSizes();
    void restoreDefaultsKeepsOtherGroups();
    void savesAtExit();

private:
    static QString settingsPath() {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/settings.ini");
    }
};

void TestEditorConfig::initTestCase() {
    QFile::remove(settingsPath());
}

void TestEditorConfig::missingFileYieldsDefaults() {
    EditorConfig *c = EditorConfig::instance();
    QCOMPARE(c->lyricFont().family(), QStringLiteral("楷体"));
    QCOMPARE(c->lyricFontSize(), 16);
    QCOMPARE(c->lyricFont().pointSize(), 16);
    QCOMPARE(c->scoreFont().family(), FontRegistry::instance()->defaultFamily());
    QCOMPARE(c->scoreFontSize(), 16);
    QCOMPARE(c->lyricLineNumberFont().family(), QStringLiteral("楷体"));
    QCOMPARE(c->lyricLineNumberFontSize(), 14);
    QCOMPARE(c->scoreLineNumberFont().pointSize(), 14);
    QCOMPARE(c->lyricLineNumberBgColor().name(), QStringLiteral("#fdfff8"));
    QCOMPARE(c->scoreLineNumberColor().name(), QStringLiteral("#ff5500"));
    QCOMPARE(c->scoreColor().name(), QStringLiteral("#000000"));
    QCOMPARE(c->errorColor().name(), QStringLiteral("#ff0000"));
    QCOMPARE(c->breakSymbolColor().name(), QStringLiteral("#a9a9a9"));
    QVERIFY(!c->lyricFont().bold());
    QVERIFY(!c->lyricFont().italic());
    // Nothing is written by loading.
    QVERIFY(!QFile::exists(settingsPath()));
}

void TestEditorConfig::settersDoNotWriteOrSignal() {
    EditorConfig *c = EditorConfig::instance();
    QSignalSpy spy(c, &EditorConfig::configChanged);
    const int width14 = c->lyricLineNumberFontMetrics().maxWidth();

    // The font setter keeps the stored size, the size setter applies its own.
    QFont big(QStringLiteral("DejaVu Sans"), 40);
    c->setLyricLineNumberFont(big);
    QCOMPARE(c->lyricLineNumberFont().pointSize(), 14);
    c->setLyricLineNumberFontSize(28);
    QCOMPARE(c->lyricLineNumberFontSize(), 28);
    QCOMPARE(c->lyricLineNumberFont().pointSize(), 28);
    QCOMPARE(c->lyricLineNumberFontMetrics().maxWidth(),
             QFontMetrics(c->lyricLineNumberFont()).maxWidth());
    QVERIFY(c->lyricLineNumberFontMetrics().maxWidth() > width14);
    c->setScoreLineNumberFontSize(30);
    QCOMPARE(c->scoreLineNumberFontMetrics().height(),
             QFontMetrics(c->scoreLineNumberFont()).height());
    c->setLyricFontSize(0); // no point size; ignored
    QCOMPARE(c->lyricFontSize(), 16);
    c->setTitleColor(Qt::green);
    QCOMPARE(c->titleColor(), QColor(Qt::green));

    QCOMPARE(spy.count(), 0);
    QVERIFY(!QFile::exists(settingsPath()));
    c->load(); // back to the (default) values of the file
    QCOMPARE(c->lyricLineNumberFontSize(), 14);
    QCOMPARE(c->lyricLineNumberFontMetrics().maxWidth(), width14);
}

void TestEditorConfig::saveWritesEveryKey() {
    EditorConfig *c = EditorConfig::instance();
    QSignalSpy spy(c, &EditorConfig::configChanged);
    c->setQuPaiColor(QColor(QStringLiteral("#ABCDEF")));
    c->setLyricFont(QFont(QStringLiteral("DejaVu Serif"), 99));
    c->setLyricFontSize(21);
    c->save();
    QCOMPARE(spy.count(), 1);

    QSettings file(settingsPath(), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Editor"));
    QStringList stored = file.childKeys();
    QStringList expected = EditorConfig::keys();
    QCOMPARE(expected.size(), 24);
    stored.sort();
    expected.sort();
    QCOMPARE(stored, expected);
    const QRegularExpression colourForm(QStringLiteral("^#[0-9a-f]{6}$"));
    for (const QString &key : EditorConfig::keys()) {
        const QString value = file.value(key).toString();
        if (key.endsWith(QLatin1String("Color"))) {
            QVERIFY2(colourForm.match(value).hasMatch(), qPrintable(key + '=' + value));
        }
    }
    QCOMPARE(file.value(QStringLiteral("quPaiColor")).toString(), QStringLiteral("#abcdef"));
    QCOMPARE(file.value(QStringLiteral("lyricFont")).toString(), QStringLiteral("DejaVu Serif"));
    QCOMPARE(file.value(QStringLiteral("lyricFontSize")).toInt(), 21);
    QCOMPARE(file.value(QStringLiteral("scoreFont")).toString(),
             FontRegistry::instance()->defaultFamily());
}

void TestEditorConfig::loadReadsFileAndSanitisesSizes() {
    {
        QSettings file(settingsPath(), QSettings::IniFormat);
        file.setValue(QStringLiteral("Editor/commentColor"), QStringLiteral("#123"));
        file.setValue(QStringLiteral("Editor/scoreFontSize"), QStringLiteral("big"));
        file.setValue(QStringLiteral("Editor/lyricLineNumberFontSize"), -3);
        file.setValue(QStringLiteral("Editor/scoreLineNumberFontSize"), 22);
        file.setValue(QStringLiteral("Editor/scoreLineNumberFont"), QStringLiteral("DejaVu Sans"));
        file.setValue(QStringLiteral("Editor/titleColor"), QStringLiteral("no colour"));
    }
    EditorConfig *c = EditorConfig::instance();
    c->load();
    QCOMPARE(c->commentColor().name(), QStringLiteral("#112233"));
    QCOMPARE(c->scoreFontSize(), 16);
    QCOMPARE(c->lyricLineNumberFontSize(), 14);
    QCOMPARE(c->scoreLineNumberFont().family(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(c->scoreLineNumberFont().pointSize(), 22);
    QCOMPARE(c->scoreLineNumberFontMetrics().height(),
             QFontMetrics(QFont(QStringLiteral("DejaVu Sans"), 22)).height());
    QVERIFY(!c->titleColor().isValid());
    QCOMPARE(c->quPaiColor().name(), QStringLiteral("#abcdef"));
}

void TestEditorConfig::restoreDefaultsKeepsOtherGroups() {
    {
        QSettings file(settingsPath(), QSettings::IniFormat);
        file.setValue(QStringLiteral("Export/pageSize"), QStringLiteral("A4"));
        file.setValue(QStringLiteral("Editor/obsoleteKey"), 1);
    }
    EditorConfig *c = EditorConfig::instance();
    c->setErrorColor(Qt::blue);
    c->save();
    QSignalSpy spy(c, &EditorConfig::configChanged);
    c->restoreDefaults();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(c->errorColor().name(), QStringLiteral("#ff0000"));
    QCOMPARE(c->quPaiColor().name(), QStringLiteral("#4078f2"));
    QCOMPARE(c->lyricFont().family(), QStringLiteral("楷体"));

    QSettings file(settingsPath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Export/pageSize")).toString(), QStringLiteral("A4"));
    QVERIFY(!file.contains(QStringLiteral("Editor/obsoleteKey")));
    QCOMPARE(file.value(QStringLiteral("Editor/quPaiColor")).toString(), QStringLiteral("#4078f2"));
    QCOMPARE(file.value(QStringLiteral("Editor/lyricFont")).toString(), QStringLiteral("楷体"));
    file.beginGroup(QStringLiteral("Editor"));
    QCOMPARE(file.childKeys().size(), 24);
}

void TestEditorConfig::savesAtExit() {
    QFile::remove(settingsPath());
    {
        QSettings file(settingsPath(), QSettings::IniFormat);
        file.setValue(QStringLiteral("Export/pageSize"), QStringLiteral("B5"));
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(childArgument)});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("signals: 0"));

    QSettings file(settingsPath(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("Editor/errorColor")).toString(), QStringLiteral("#0000ff"));
    QCOMPARE(file.value(QStringLiteral("Editor/lyricColor")).toString(), QStringLiteral("#333333"));
    QCOMPARE(file.value(QStringLiteral("Export/pageSize")).toString(), QStringLiteral("B5"));
}

static int childSignalCount = 0;

int main(int argc, char *argv[]) {
    if (argc == 2 && qstrcmp(argv[1], childArgument) == 0) {
        // Registered before the configuration exists, so it runs after the
        // configuration has been destroyed and has saved itself.
        std::atexit([] { printf("signals: %d\n", childSignalCount); });
        QApplication app(argc, argv);
        EditorConfig *c = EditorConfig::instance();
        QObject::connect(c, &EditorConfig::configChanged, [] { ++childSignalCount; });
        c->setErrorColor(Qt::blue);
        return 0;
    }
    QApplication app(argc, argv);
    TestEditorConfig test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_editorconfig.moc"
