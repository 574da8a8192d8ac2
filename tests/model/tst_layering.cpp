// The core knows nothing of windows: no file under model/, typeset/, music/ or
// playback/ (nor any project header they pull in) includes a QtWidgets header,
// and none includes the layers above them.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The folders of src/ that hold windows, dialogs and the program around them.
const QStringList upperLayers = {QStringLiteral("dialogs/"), QStringLiteral("editor/"),
                                 QStringLiteral("shell/"), QStringLiteral("appearance/"),
                                 QStringLiteral("export/")};

QSet<QString> widgetHeaders() {
    QSet<QString> names;
    const QDir dir(QLibraryInfo::location(QLibraryInfo::HeadersPath) +
                   QStringLiteral("/QtWidgets"));
    for (const QString &name : dir.entryList(QDir::Files)) {
        names.insert(name);
    }
    return names;
}

QStringList includesOf(const QString &path) {
    static const QRegularExpression include(
        QStringLiteral("^\\s*#\\s*include\\s*[<\"]([^>\"]+)[>\"]"),
        QRegularExpression::MultilineOption);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList out;
    auto it = include.globalMatch(QString::fromUtf8(f.readAll()));
    while (it.hasNext()) {
        out.append(it.next().captured(1));
    }
    return out;
}

// What breaks the layering in the files under src/<folder> for each folder,
// as "file: include (via header)". Project headers they include are followed.
QStringList violations(const QString &src, const QStringList &folders,
                       const QSet<QString> &widgets) {
    QStringList out;
    for (const QString &folder : folders) {
        QDirIterator it(QDir(src).filePath(folder),
                        {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            const QString name = QDir(src).relativeFilePath(file);
            QStringList pending = {name};
            QSet<QString> seen = {name};
            while (!pending.isEmpty()) {
                const QString current = pending.takeFirst();
                const QString via =
                    current == name ? QString() : QStringLiteral(" (via %1)").arg(current);
                for (const QString &inc : includesOf(QDir(src).filePath(current))) {
                    const QString base = inc.section(QLatin1Char('/'), -1);
                    const bool widget =
                        inc.startsWith(QLatin1String("QtWidgets/")) ||
                        (!inc.contains(QLatin1Char('/')) && widgets.contains(base)) ||
                        inc.startsWith(QLatin1String("ui_"));
                    const bool upper =
                        std::any_of(upperLayers.begin(), upperLayers.end(),
                                    [&inc](const QString &l) { return inc.startsWith(l); });
                    if (widget || upper) {
                        out.append(QStringLiteral("%1: %2%3").arg(name, inc, via));
                    } else if (QFileInfo::exists(QDir(src).filePath(inc)) && !seen.contains(inc)) {
                        seen.insert(inc);
                        pending.append(inc);
                    }
                }
            }
        }
    }
    return out;
}

void write(const QString &path, const QByteArray &text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

class TestLayering : public QObject {
    Q_OBJECT

private slots:
    void coreIncludesNoWidgetsAndNoUpperLayer();
    void checkFindsWhatBreaksTheLayering();
};

void TestLayering::coreIncludesNoWidgetsAndNoUpperLayer() {
    const QSet<QString> widgets = widgetHeaders();
    QVERIFY2(widgets.contains(QStringLiteral("QWidget")), "QtWidgets headers not found");
    const QString src = QStringLiteral(QORVEL_SOURCE_DIR "/src");
    const QStringList folders = {QStringLiteral("model"), QStringLiteral("typeset"),
                                 QStringLiteral("music"), QStringLiteral("playback")};
    const QStringList found = violations(src, folders, widgets);
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

void TestLayering::checkFindsWhatBreaksTheLayering() {
    QTemporaryDir dir;
    const QString src = dir.path();
    write(src + "/model/clean.h", "#include <QString>\n#include \"model/other.h\"\n");
    write(src + "/model/other.h", "#include <QVector>\n");
    write(src + "/model/widget.cpp", "#include <QWidget>\n");
    write(src + "/model/prefixed.cpp", "#  include <QtWidgets/QDialog>\n");
    write(src + "/typeset/upper.cpp", "#include \"dialogs/prompt.h\"\n");
    write(src + "/typeset/deep.h", "#include \"fonts/box.h\"\n");
    write(src + "/fonts/box.h", "#include <QComboBox>\n");
    QStringList found =
        violations(src, {QStringLiteral("model"), QStringLiteral("typeset")}, widgetHeaders());
    found.sort();
    QCOMPARE(found, (QStringList{QStringLiteral("model/prefixed.cpp: QtWidgets/QDialog"),
                                 QStringLiteral("model/widget.cpp: QWidget"),
                                 QStringLiteral("typeset/deep.h: QComboBox (via fonts/box.h)"),
                                 QStringLiteral("typeset/upper.cpp: dialogs/prompt.h")}));
}

QTEST_MAIN(TestLayering)
#include "tst_layering.moc"
