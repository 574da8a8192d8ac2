// The 曲库 dock in the window: folders kept in the settings, searches shown
// with the matched part, unreadable files listed, and a hit opened with both
// cursors at the match.
#include "gongcheshorthand.h"
#include "library/scorelibrary.h"
#include "model/scorefile.h"
#include "shell/librarydock.h"
#include "windowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QToolButton>
#include <QtTest>

namespace {

constexpr int settle = 20000;

bool idle(LibraryDock *dock) {
    return !dock->library()->isBusy() && dock->library()->fileCount() > 0;
}

} // namespace

class TestLibraryDock : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void openingAHitPlacesTheCursors_data();
    void openingAHitPlacesTheCursors();
    void foldersAreKeptAndUnreadableListed();

private:
    QTemporaryDir m_dir;
    QTemporaryDir m_scores;
    MainWindow *m_window = nullptr;
};

void TestLibraryDock::initTestCase() {
    windowfixture::useProgramDir(m_dir.path());
    const QString lyric =
        QStringLiteral("# 牡丹亭·游园\n【皂罗袍】(仙吕)\n原来姹紫嫣红开遍\n良辰美景奈何天");
    QStringList score;
    for (const char *s : {"上|", "工o", "尺*", "上o", "六|", "五o", "凡*", "工o", "上|", "尺o",
                          "工*", "六o", "五|", "乙o", "上*"}) {
        score.append(gongcheShortHand(QString::fromUtf8(s)));
    }
    QVERIFY(writeScoreFile(m_scores.filePath(QStringLiteral("游园.gcp")), lyric,
                           score.join(QLatin1Char('\n'))));
    QVERIFY(writeFile(m_scores.filePath(QStringLiteral("坏.gcp")), QByteArray("\x01")));
}

void TestLibraryDock::init() {
    QVERIFY(windowfixture::openWindow(m_window));
}

void TestLibraryDock::cleanup() {
    // The search field fades its clear button in or out when its text
    // changes; the fade is let run out, so that its animation is not left
    // behind when the window goes (or the program ends).
    const auto *field = m_window->findChild<QLineEdit *>(QStringLiteral("libraryQuery"));
    const qreal shown = field->text().isEmpty() ? 0.0 : 1.0;
    for (const QToolButton *button : field->findChildren<QToolButton *>()) {
        QTRY_COMPARE(button->property("opacity").toReal(), shown);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    windowfixture::closeWindow(m_window);
}

void TestLibraryDock::openingAHitPlacesTheCursors_data() {
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("lyricSelection"); // selected lyric text, for word hits
    QTest::addColumn<int>("lyricBlock");
    QTest::addColumn<int>("scoreBlock");
    QTest::newRow("words") << "词:美景"
                           << "美景" << 3 << 11;
    QTest::newRow("曲牌") << "曲牌:皂罗袍"
                          << "【皂罗袍】(仙吕)" << 1 << -1;
    QTest::newRow("melody") << "腔:工尺上"
                            << "" << 2 << 1;
}

void TestLibraryDock::openingAHitPlacesTheCursors() {
    QFETCH(QString, query);
    QFETCH(QString, lyricSelection);
    QFETCH(int, lyricBlock);
    QFETCH(int, scoreBlock);
    LibraryDock *dock = m_window->libraryDock();
    QVERIFY(dock);
    dock->addFolder(m_scores.path());
    QTRY_VERIFY_WITH_TIMEOUT(idle(dock), settle);
    dock->search(query);
    QVERIFY(!dock->hits().isEmpty());
    auto *results = dock->findChild<QListWidget *>(QStringLiteral("libraryResults"));
    QCOMPARE(results->count(), dock->hits().size());
    QVERIFY(results->item(0)->text().contains(QStringLiteral("#ffe08a")));
    dock->open(0);
    DocumentTab *tab = m_window->currentEdit();
    QVERIFY(tab);
    QCOMPARE(QFileInfo(tab->filePath()).fileName(), QStringLiteral("游园.gcp"));
    const QTextCursor lyric = tab->lyricEditor()->textCursor();
    QCOMPARE(lyric.block().blockNumber(), lyricBlock);
    if (!lyricSelection.isEmpty()) {
        QCOMPARE(lyric.selectedText(), lyricSelection);
    }
    if (scoreBlock >= 0) {
        QCOMPARE(tab->scoreEditor()->textCursor().block().blockNumber(), scoreBlock);
    }
}

void TestLibraryDock::foldersAreKeptAndUnreadableListed() {
    LibraryDock *dock = m_window->libraryDock();
    dock->addFolder(m_scores.path());
    QTRY_VERIFY_WITH_TIMEOUT(idle(dock), settle);
    auto *unreadable = dock->findChild<QListWidget *>(QStringLiteral("libraryUnreadable"));
    QCOMPARE(unreadable->count(), 1);
    QVERIFY(unreadable->item(0)->text().contains(QStringLiteral("坏.gcp")));
    // The next start has the folder again, and checks it.
    QVERIFY(windowfixture::openWindow(m_window));
    dock = m_window->libraryDock();
    QCOMPARE(dock->folders(), QStringList{m_scores.path()});
    QTRY_VERIFY_WITH_TIMEOUT(idle(dock), settle);
    dock->search(QStringLiteral("良辰"));
    QCOMPARE(dock->hits().size(), 1);
    dock->removeFolder(m_scores.path());
    QVERIFY(dock->folders().isEmpty());
    QVERIFY(dock->hits().isEmpty());
}

QTEST_MAIN(TestLibraryDock)
#include "tst_librarydock.moc"
