// Reference pages: every document in tests/export/golden/NAME.txt (or a score
// file NAME.gcp, such as the link to the sample aria) is typeset
// and each page compared, after normalising, with NAME.N.svg beside it.
//
// Document format, one lyric line per line: a sung line carries its scores
// after a tab, one score per sung character, separated by "|". A line
// starting with "!" holds a JSON object of export settings for the document
// (imported like a scheme over the defaults). A document whose name ends
// in "_jianpu" is set as 简谱 pages.
//
// To regenerate the references after an intended change:
//   QORVEL_UPDATE_GOLDEN=1 ctest --test-dir build -R export_golden
// and review the diff of tests/export/golden/*.svg.
#include "export/exportconfig.h"
#include "fonts/fontregistry.h"
#include "fonts/fontsubstitutions.h"
#include "model/rendermodel.h"
#include "model/scorefile.h"
#include "platform/apppaths.h"
#include "testsupport.h"
#include "typeset/typesetter.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString goldenDir() {
    return QStringLiteral(QORVEL_SOURCE_DIR "/tests/export/golden");
}

// Removes what depends on the generator or the machine rather than on the
// layout: empty groups, the fonts of groups (texts carry their own), and
// digits beyond the first decimal.
QString normalise(const QByteArray &svg) {
    QString s = QString::fromUtf8(svg);
    static const QRegularExpression groupFont(
        QStringLiteral("(<g [^>]*?)\\s*font-family=\"[^\"]*\" font-size=\"[^\"]*\" "
                       "font-weight=\"[^\"]*\" font-style=\"[^\"]*\"\\s*"));
    s.replace(groupFont, QStringLiteral("\\1 "));
    static const QRegularExpression emptyGroup(QStringLiteral("<g [^>]*>\\s*</g>\\s*"));
    s.replace(emptyGroup, QString());
    static const QRegularExpression number(QStringLiteral("-?\\d+\\.\\d+"));
    QString out;
    int last = 0;
    auto it = number.globalMatch(s);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += s.midRef(last, m.capturedStart() - last);
        QString r = QString::number(m.captured().toDouble(), 'f', 1);
        if (r == QLatin1String("-0.0")) {
            r = QStringLiteral("0.0");
        }
        out += r;
        last = m.capturedEnd();
    }
    out += s.midRef(last);
    static const QRegularExpression blankLines(QStringLiteral("\\n\\s*\\n"));
    out.replace(blankLines, QStringLiteral("\n"));
    return out;
}

struct GoldenDocument {
    QByteArray scheme;
    DocumentLines lines;
};

GoldenDocument readDocument(const QString &path) {
    GoldenDocument d;
    if (path.endsWith(QLatin1String(".gcp"))) {
        // A real score file, such as the sample aria.
        QFile f(path);
        QString lyric, score;
        if (f.open(QIODevice::ReadOnly)) {
            decodeScoreFile(f.readAll(), &lyric, &score);
        }
        d.lines = renderModel(lyric, score);
        return d;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return d;
    }
    const QStringList rows = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (int r = 0; r < rows.size(); ++r) {
        const QString &row = rows.at(r);
        if (row.isEmpty() && r == rows.size() - 1) {
            break;
        }
        if (row.startsWith(QLatin1Char('!'))) {
            d.scheme = row.mid(1).toUtf8();
            continue;
        }
        DocumentLine l;
        l.text = row.section(QLatin1Char('\t'), 0, 0);
        l.kind = lineKindOf(l.text);
        if (l.kind == LineKind::Lyric) {
            const QStringList scores =
                row.section(QLatin1Char('\t'), 1).split(QLatin1Char('|'), Qt::KeepEmptyParts);
            int k = 0;
            for (QChar c : l.text) {
                l.scores << (isSungChar(c) && k < scores.size() ? scores.at(k++) : QString());
            }
        }
        d.lines << l;
    }
    return d;
}

} // namespace

class TestGolden : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pages_data();
    void pages();
};

void TestGolden::initTestCase() {
    QVERIFY(useProgramDir());
    installChineseFontSubstitutions();
    if (FontRegistry::instance()->defaultFamily().isEmpty()) {
        QSKIP("The embedded gongche font is missing: the reference pages need its glyph sizes.");
    }
}

void TestGolden::pages_data() {
    QTest::addColumn<QString>("name");
    const QStringList docs =
        QDir(goldenDir())
            .entryList({QStringLiteral("*.txt"), QStringLiteral("*.gcp")}, QDir::Files, QDir::Name);
    for (const QString &d : docs) {
        QTest::newRow(qPrintable(d)) << d;
    }
}

void TestGolden::pages() {
    QFETCH(QString, name);
    const GoldenDocument d = readDocument(goldenDir() + QLatin1Char('/') + name);
    name.chop(4);
    QVERIFY(!d.lines.isEmpty());
    ExportConfig *cfg = ExportConfig::instance();
    cfg->restoreDefaults();
    if (!d.scheme.isEmpty()) {
        QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("scheme.json"));
        QVERIFY(writeFile(path, d.scheme));
        QVERIFY2(cfg->importScheme(path), d.scheme.constData());
    }
    PageStyle style = ExportConfig::instance()->pageStyle();
    if (name.endsWith(QLatin1String("_jianpu"))) {
        style.notation = PageStyle::Notation::Jianpu;
    }
    Typesetter engine;
    engine.generate(style, d.lines, false);
    const bool update = qEnvironmentVariableIsSet("QORVEL_UPDATE_GOLDEN");
    const QDir dir(goldenDir());
    if (update) {
        for (const QString &old : dir.entryList({name + QStringLiteral(".*.svg")})) {
            QFile::remove(dir.filePath(old));
        }
    }
    for (int i = 0; i < engine.pages().size(); ++i) {
        const QString ref = dir.filePath(QStringLiteral("%1.%2.svg").arg(name).arg(i + 1));
        const QString actual = normalise(engine.pages().at(i));
        if (update) {
            QFile out(ref);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(actual.toUtf8());
            continue;
        }
        QFile in(ref);
        QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(ref + QStringLiteral(" is missing")));
        const QString expected = QString::fromUtf8(in.readAll());
        if (actual != expected) {
            const QString dump =
                QStringLiteral(QORVEL_BINARY_DIR "/golden-actual-%1.%2.svg").arg(name).arg(i + 1);
            QFile out(dump);
            if (out.open(QIODevice::WriteOnly)) {
                out.write(actual.toUtf8());
            }
            const QStringList a = actual.split(QLatin1Char('\n'));
            const QStringList e = expected.split(QLatin1Char('\n'));
            int line = 0;
            while (line < a.size() && line < e.size() && a.at(line) == e.at(line)) {
                ++line;
            }
            QFAIL(qPrintable(QStringLiteral("%1 differs at line %2:\n  expected: %3\n  actual:   "
                                            "%4\n(whole page written to %5)")
                                 .arg(ref)
                                 .arg(line + 1)
                                 .arg(e.value(line), a.value(line), dump)));
        }
    }
    if (!update) {
        // No reference pages beyond those generated.
        const QString extra =
            dir.filePath(QStringLiteral("%1.%2.svg").arg(name).arg(engine.pages().size() + 1));
        QVERIFY2(!QFile::exists(extra), qPrintable(extra + QStringLiteral(" was not generated")));
    }
}

QTEST_MAIN(TestGolden)
#include "tst_golden.moc"
