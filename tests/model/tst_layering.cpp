// The layers point down. No file under the lower folders of src/ (model/,
// music/, import/, typeset/, staff/, book/, library/, playback/, inputmethod/,
// online/, platform/ and the font registry in fonts/), nor any project header they pull in, includes a
// QtWidgets header, a Designer form or anything from the folders of the
// windows (shell/, dialogs/, editor/, appearance/, export/, fontwidgets/).
// And only the program's window includes shell/.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The folders below the windows: no widgets, no dialogs.
const QStringList lowerLayers = {QStringLiteral("model"),    QStringLiteral("music"),
                                 QStringLiteral("import"),   QStringLiteral("typeset"),
                                 QStringLiteral("playback"), QStringLiteral("inputmethod"),
                                 QStringLiteral("online"),   QStringLiteral("platform"),
                                 QStringLiteral("fonts"),    QStringLiteral("staff"),
                                 QStringLiteral("book"),     QStringLiteral("library")};

// The folders of src/ that hold windows, dialogs and the program around them.
const QStringList upperLayers = {QStringLiteral("shell/"),  QStringLiteral("dialogs/"),
                                 QStringLiteral("editor/"), QStringLiteral("appearance/"),
                                 QStringLiteral("export/"), QStringLiteral("fontwidgets/")};

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

// What one layering rule forbids to the files under some folders of src/.
struct Rule {
    QStringList folders;
    // Include paths that begin with one of these are forbidden.
    QStringList forbidden;
    // QtWidgets headers (any of these names) and Designer forms are forbidden
    // too, unless empty.
    QSet<QString> widgets;
    // Project headers they include are checked as well, and so on down.
    bool follow = true;
};

// What breaks the rule in src, as "file: include (via header)".
QStringList violations(const QString &src, const Rule &rule) {
    QStringList out;
    for (const QString &folder : rule.folders) {
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
                        !rule.widgets.isEmpty() &&
                        (inc.startsWith(QLatin1String("QtWidgets/")) ||
                         (!inc.contains(QLatin1Char('/')) && rule.widgets.contains(base)) ||
                         inc.startsWith(QLatin1String("ui_")));
                    const bool upper =
                        std::any_of(rule.forbidden.begin(), rule.forbidden.end(),
                                    [&inc](const QString &l) { return inc.startsWith(l); });
                    if (widget || upper) {
                        out.append(QStringLiteral("%1: %2%3").arg(name, inc, via));
                    } else if (rule.follow && QFileInfo::exists(QDir(src).filePath(inc)) &&
                               !seen.contains(inc)) {
                        seen.insert(inc);
                        pending.append(inc);
                    }
                }
            }
        }
    }
    out.sort();
    return out;
}

// The lower folders against the windows' folders and QtWidgets.
Rule layersPointDown(const QStringList &folders) {
    return Rule{folders, upperLayers, widgetHeaders(), true};
}

// Every folder of src but shell/ against shell/, include by include.
Rule shellKeptToItself(const QString &src) {
    QStringList folders = QDir(src).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    folders.removeAll(QStringLiteral("shell"));
    return Rule{folders, {QStringLiteral("shell/")}, {}, false};
}

void write(const QString &path, const QByteArray &text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

const QString sourceDir = QStringLiteral(QORVEL_SOURCE_DIR "/src");

} // namespace

class TestLayering : public QObject {
    Q_OBJECT

private slots:
    void lowerLayersIncludeNoWidgetsAndNoUpperLayer_data();
    void lowerLayersIncludeNoWidgetsAndNoUpperLayer();
    void onlyTheShellIncludesTheShell();
    void checkFindsWhatBreaksTheLayering_data();
    void checkFindsWhatBreaksTheLayering();
    void checkFindsIncludesOfTheShell_data();
    void checkFindsIncludesOfTheShell();
};

void TestLayering::lowerLayersIncludeNoWidgetsAndNoUpperLayer_data() {
    QTest::addColumn<QString>("folder");
    for (const QString &folder : lowerLayers) {
        QTest::newRow(qPrintable(folder)) << folder;
    }
}

void TestLayering::lowerLayersIncludeNoWidgetsAndNoUpperLayer() {
    QFETCH(QString, folder);
    QVERIFY2(widgetHeaders().contains(QStringLiteral("QWidget")), "QtWidgets headers not found");
    // A folder renamed or emptied would pass unseen.
    QVERIFY2(!QDir(sourceDir + QLatin1Char('/') + folder)
                  .entryList({QStringLiteral("*.h")}, QDir::Files)
                  .isEmpty(),
             qPrintable(folder));
    const QStringList found = violations(sourceDir, layersPointDown({folder}));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

void TestLayering::onlyTheShellIncludesTheShell() {
    const QStringList found = violations(sourceDir, shellKeptToItself(sourceDir));
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
}

// One deliberate breach a row, written into a small tree of its own beside a
// few clean files (path -> text): the check names exactly what breaks the
// layering.
void TestLayering::checkFindsWhatBreaksTheLayering_data() {
    QTest::addColumn<QVariantMap>("files");
    QTest::addColumn<QStringList>("expected");
    // One include a row; what the check names is the file and that include.
    const auto row = [](const char *file, const char *include) {
        const QByteArray name = QByteArray(file) + " -> " + include;
        QTest::newRow(name.constData())
            << QVariantMap{{QString::fromLatin1(file), QByteArray("#include ") + include + '\n'}}
            << QStringList{QStringLiteral("%1: %2").arg(
                   QString::fromLatin1(file), QString::fromLatin1(include).mid(1).chopped(1))};
    };
    QTest::newRow("clean") << QVariantMap{{QStringLiteral("fonts/fontregistry.cpp"),
                                           QByteArray("#include \"fonts/fontregistry.h\"\n"
                                                      "#include \"platform/apppaths.h\"\n"
                                                      "#include \"inputmethod/dictionaryrow.h\"\n"
                                                      "#include <QFontDatabase>\n")}}
                           << QStringList();
    row("fonts/fontregistry.cpp", R"("shell/apppaths.h")");
    row("inputmethod/scoretree.cpp", R"("shell/apppaths.h")");
    row("fonts/colorbox.cpp", R"("dialogs/prompt.h")");
    row("fonts/fontmanager.cpp", R"("dialogs/screenfit.h")");
    row("online/updatemanager.cpp", R"("dialogs/prompt.h")");
    row("online/updatemanager.cpp", R"("shell/serviceconfig.h")");
    row("inputmethod/inputmethod.h", R"(<QPlainTextEdit>)");
    row("playback/form.cpp", R"("ui_settings.h")");
    row("fonts/fontregistry.h", R"("fontwidgets/fontbox.h")");
    row("platform/apppaths.cpp", R"("shell/mainwindow.h")");
    row("typeset/pagewriters.cpp", R"("export/exportconfig.h")");
    row("music/melody.cpp", R"("editor/inputmethod.h")");
    row("playback/player.cpp", R"("appearance/settings.h")");
    QTest::newRow("QtWidgets/ path in model")
        << QVariantMap{{QStringLiteral("model/dialog.cpp"),
                        QByteArray("#  include <QtWidgets/QDialog>\n")}}
        << QStringList{QStringLiteral("model/dialog.cpp: QtWidgets/QDialog")};
    // Through a lower header: the header and its includer are both named.
    QTest::newRow("typeset via fonts -> QComboBox")
        << QVariantMap{{QStringLiteral("typeset/deep.h"), QByteArray("#include \"fonts/box.h\"\n")},
                       {QStringLiteral("fonts/box.h"), QByteArray("#include <QComboBox>\n")}}
        << QStringList{QStringLiteral("fonts/box.h: QComboBox"),
                       QStringLiteral("typeset/deep.h: QComboBox (via fonts/box.h)")};
}

void TestLayering::checkFindsWhatBreaksTheLayering() {
    QFETCH(QVariantMap, files);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString src = dir.path();
    // Clean files: lower folders using each other and Qt below the widgets;
    // the upper folders may use widgets and each other.
    write(src + "/model/clean.h", "#include <QString>\n#include \"model/other.h\"\n");
    write(src + "/model/other.h", "#include <QVector>\n");
    write(src + "/platform/apppaths.h", "#include <QString>\n");
    write(src + "/fonts/fontregistry.h", "#include \"platform/apppaths.h\"\n");
    write(src + "/inputmethod/dictionaryrow.h", "#include <QVector>\n");
    write(src + "/editor/inputmethod.h", "#include <QWidget>\n#include \"shell/mainwindow.h\"\n");
    write(src + "/fontwidgets/fontbox.h", "#include <QComboBox>\n");
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        write(src + QLatin1Char('/') + it.key(), it.value().toByteArray());
    }
    QCOMPARE(violations(src, layersPointDown(lowerLayers)), expected);
}

void TestLayering::checkFindsIncludesOfTheShell_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("shell includes shell")
        << QStringLiteral("shell/mainwindow.cpp") << QByteArray("#include \"shell/autosaver.h\"\n")
        << QStringList();
    QTest::newRow("export includes platform")
        << QStringLiteral("export/exportconfig.cpp")
        << QByteArray("#include \"platform/apppaths.h\"\n") << QStringList();
    QTest::newRow("dialogs include shell")
        << QStringLiteral("dialogs/recoverydialog.h")
        << QByteArray("#include \"shell/recoverystore.h\"\n")
        << QStringList{QStringLiteral("dialogs/recoverydialog.h: shell/recoverystore.h")};
    QTest::newRow("fontwidgets include shell")
        << QStringLiteral("fontwidgets/fontmanager.cpp")
        << QByteArray("#include \"shell/apppaths.h\"\n")
        << QStringList{QStringLiteral("fontwidgets/fontmanager.cpp: shell/apppaths.h")};
}

void TestLayering::checkFindsIncludesOfTheShell() {
    QFETCH(QString, file);
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString src = dir.path();
    write(src + "/shell/autosaver.h", "#include <QObject>\n");
    write(src + "/platform/apppaths.h", "#include <QString>\n");
    write(src + QLatin1Char('/') + file, text);
    QCOMPARE(violations(src, shellKeptToItself(src)), expected);
}

QTEST_MAIN(TestLayering)
#include "tst_layering.moc"
