#include "shell/qttranslations.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

// Qt's standard dialogs and buttons speak Chinese once Qt's own translations
// are installed.
class TestQtTranslations : public QObject {
    Q_OBJECT

private slots:
    void standardTextsAreChinese() {
        if (!QFile::exists(QLibraryInfo::location(QLibraryInfo::TranslationsPath) +
                           QStringLiteral("/qtbase_zh_CN.qm"))) {
            QSKIP("qtbase_zh_CN.qm is not installed (Debian package qttranslations5-l10n; "
                  "scripts/setup.sh installs it)");
        }
        QVERIFY(installQtTranslations());
        QVERIFY(installQtTranslations()); // a second call changes nothing

        const auto chinese = [](const QString &text) {
            return std::any_of(text.begin(), text.end(), [](QChar c) {
                return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff;
            });
        };
        QMessageBox box;
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        for (QAbstractButton *button : box.buttons()) {
            QVERIFY2(chinese(button->text()), qPrintable(button->text()));
        }
        QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QVERIFY(chinese(buttons.button(QDialogButtonBox::Ok)->text()));
        QVERIFY(chinese(QCoreApplication::translate("QColorDialog", "&Basic colors")));
        QVERIFY(chinese(QCoreApplication::translate("QFileDialog", "Look in:")));
    }
};

QTEST_MAIN(TestQtTranslations)
#include "tst_qttranslations.moc"
