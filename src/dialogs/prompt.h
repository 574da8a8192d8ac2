#pragma once

#include <QColor>
#include <QList>
#include <QMessageBox>
#include <QString>
#include <QVariant>
#include <functional>

class QWidget;

// Every modal message box, file dialog, directory dialog and colour dialog of
// the program goes through Prompt. By default it shows the real dialog. A
// responder installed with setResponder() answers instead, without an event
// loop; tests use it to choose buttons and file names, and the command-line
// export uses it to report on standard error. Every request is recorded, so a
// test can check what the user would have been shown.
class Prompt {
public:
    enum class Kind {
        Information,
        Warning,
        Critical,
        Question,
        OpenFile,
        OpenFiles,
        SaveFile,
        Directory,
        Color,
    };

    struct Request {
        Kind kind = Kind::Information;
        QString title;
        QString text; // message text; for file dialogs the start directory
        QString filter;
        QMessageBox::StandardButtons buttons = QMessageBox::Ok;
        QColor initialColor;
        QWidget *parent = nullptr;
    };

    // The answer of a responder: a QMessageBox::StandardButton (as int) for
    // boxes, a QString path for file and directory dialogs (empty = cancel;
    // a QStringList, or one QString, for the dialog that opens several files),
    // a QColor for the colour dialog (invalid = cancel). An invalid QVariant
    // means the default: Ok / the default button, an empty path, no colour.
    using Responder = std::function<QVariant(const Request &)>;

    static QMessageBox::StandardButton information(QWidget *parent, const QString &title,
                                                   const QString &text);
    static QMessageBox::StandardButton warning(QWidget *parent, const QString &title,
                                               const QString &text);
    static QMessageBox::StandardButton critical(QWidget *parent, const QString &title,
                                                const QString &text);
    static QMessageBox::StandardButton
    question(QWidget *parent, const QString &title, const QString &text,
             QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No,
             QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);

    static QString openFileName(QWidget *parent, const QString &caption, const QString &dir,
                                const QString &filter);
    static QStringList openFileNames(QWidget *parent, const QString &caption, const QString &dir,
                                     const QString &filter);
    static QString saveFileName(QWidget *parent, const QString &caption, const QString &dir,
                                const QString &filter);
    static QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir);
    static QColor color(const QColor &initial, QWidget *parent, const QString &title);

    // Installs a responder; an empty function restores the real dialogs.
    static void setResponder(Responder responder);
    static bool hasResponder();

    // Every request since the last clearHistory(), oldest first.
    static const QList<Request> &history();
    static void clearHistory();

private:
    static QVariant dispatch(const Request &request);
};
