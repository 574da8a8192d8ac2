#include "dialogs/prompt.h"
#include "promptscript.h"

#include <QtTest>

class TestPrompt : public QObject {
    Q_OBJECT

private slots:
    void answersAndHistory();
};

void TestPrompt::answersAndHistory() {
    PromptScript prompts;
    prompts.answer(QMessageBox::Cancel);
    prompts.answer(QStringLiteral("/tmp/x.gcp"));
    QCOMPARE(Prompt::question(nullptr, QStringLiteral("警告"), QStringLiteral("t"),
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel),
             QMessageBox::Cancel);
    QCOMPARE(Prompt::saveFileName(nullptr, QStringLiteral("选择文件"), QString(),
                                  QStringLiteral("工尺谱文件 (*.gcp)")),
             QStringLiteral("/tmp/x.gcp"));
    // Without a queued answer: Ok for a box, an empty path, an invalid colour.
    QCOMPARE(Prompt::warning(nullptr, QStringLiteral("错误"), QStringLiteral("w")),
             QMessageBox::Ok);
    QVERIFY(Prompt::openFileName(nullptr, QString(), QString(), QString()).isEmpty());
    QVERIFY(!Prompt::color(Qt::red, nullptr, QStringLiteral("选择颜色")).isValid());
    QCOMPARE(prompts.count(), 5);
    QCOMPARE(prompts.shown().at(0).buttons,
             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(prompts.shown().at(1).filter, QStringLiteral("工尺谱文件 (*.gcp)"));
    QCOMPARE(prompts.shown().at(4).initialColor, QColor(Qt::red));
}

QTEST_MAIN(TestPrompt)
#include "tst_prompt.moc"
