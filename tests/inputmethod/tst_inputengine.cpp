// The input method's engine on its own, without a window: a script of keys
// ("<" takes a letter back, ">" pages on, a digit chooses on the page, "="
// shows the beat marks related to 头板) and where the engine stands after it.
// The popup's tests drive the same engine through its keys and painting.
#include "inputmethod/inputengine.h"
#include "platform/apppaths.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QString sym(char32_t code) {
    return QString::fromUcs4(&code, 1);
}

// Runs script; returns what the last choice committed.
QString run(InputEngine &engine, const QString &script) {
    QString committed;
    for (const QChar c : script) {
        if (c == QLatin1Char('<')) {
            engine.backspace();
        } else if (c == QLatin1Char('>')) {
            engine.nextPage();
        } else if (c == QLatin1Char('=')) {
            engine.showRelated(sym(0xF0000));
        } else if (c.isDigit()) {
            committed = engine.selectByNumber(c.digitValue());
        } else {
            engine.appendText(c);
        }
    }
    return committed;
}

} // namespace

class TestInputEngine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void keys_data();
    void keys();

private:
    QTemporaryDir m_dir;
};

void TestInputEngine::initTestCase() {
    QVERIFY(m_dir.isValid());
    AppPaths::setProgramDirOverride(m_dir.path());
}

void TestInputEngine::keys_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("composition");
    QTest::addColumn<int>("candidates");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("committed");

    const auto row = [](const char *name, const QString &script, const QString &composition,
                        int candidates, const char *page, const QString &committed = {}) {
        QTest::newRow(name) << script << composition << candidates << QString::fromLatin1(page)
                            << committed;
    };
    row("idle", {}, {}, 0, "1/1");
    row("two segments", QStringLiteral("gc"), QStringLiteral("g'c"), 22, "1/4");
    row("one taken back", QStringLiteral("gc<"), QStringLiteral("g"), 16, "1/3");
    row("all taken back", QStringLiteral("gc<<"), {}, 0, "1/1");
    row("no symbol: one empty candidate", QStringLiteral("v"), QStringLiteral("v"), 1, "1/1");
    row("a seventh letter refused", QStringLiteral("vvvvvvv"), QStringLiteral("v'v'v'v'v'v"), 1,
        "1/1");
    row("a number on the page", QStringLiteral("zb2"), {}, 0, "1/1", sym(0xF0007));
    row("a number past the page", QStringLiteral("zb3"), QStringLiteral("zb"), 2, "1/1");
    row("pages of six", QStringLiteral("y>>>>"), QStringLiteral("y"), 29, "5/5");
    row("the last page keeps", QStringLiteral("y>>>>>"), QStringLiteral("y"), 29, "5/5");
    row("related marks ignore letters", QStringLiteral("=g"), sym(0xF0000), 14, "1/3");
}

void TestInputEngine::keys() {
    QFETCH(QString, script);
    QFETCH(QString, composition);
    QFETCH(int, candidates);
    QFETCH(QString, page);
    QFETCH(QString, committed);

    InputEngine engine(6);
    QCOMPARE(run(engine, script), committed);
    QCOMPARE(engine.composition(), composition);
    QCOMPARE(engine.candidates().size(), candidates);
    QCOMPARE(engine.pageIndicator(), page);
    QCOMPARE(engine.isActive(), candidates > 0);
}

QTEST_GUILESS_MAIN(TestInputEngine)
#include "tst_inputengine.moc"
