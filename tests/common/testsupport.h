#pragma once

// Helpers that many tests share: gongche symbols by code point, a program
// directory of the test's own, whole files read and written, programs run to
// their end, and the two texts of a document tab.

#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "platform/apppaths.h"

#include <QFile>
#include <QPair>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// The character of a code point, such as a gongche symbol (two UTF-16 units).
inline QString sym(char32_t code) {
    return QString::fromUcs4(&code, 1);
}

// A temporary directory that stands for the program's own for the whole test
// run: "settings.ini", "wordsdict.csv", "fonts/" and "cache/" go there.
inline QTemporaryDir &programDir() {
    static QTemporaryDir dir;
    return dir;
}

// Makes programDir() the program's directory (writable, as beside a build).
inline bool useProgramDir() {
    if (!programDir().isValid()) {
        return false;
    }
    AppPaths::setProgramDirOverride(programDir().path(), true);
    return true;
}

// The bytes of the file at path; empty when it cannot be read.
inline QByteArray readAll(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// bytes as the whole of the file at path; false when it cannot be written.
inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Runs a program to its end, its output and errors merged into output; its
// exit code, or -1 when it did not start, crashed or did not end in time.
inline int runProgram(const QString &program, const QStringList &arguments,
                      QString *output = nullptr,
                      const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment(),
                      const QString &workingDirectory = QString()) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(300000);
    if (output) {
        *output = QString::fromUtf8(process.readAll());
        if (!ended || process.exitStatus() != QProcess::NormalExit) {
            output->prepend(process.errorString() + QLatin1Char('\n'));
        }
    }
    return ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// The lyric and score texts of a tab, as they are saved.
inline QPair<QString, QString> texts(DocumentTab *tab) {
    return {tab->lyricEditor()->toPlainText(), tab->scoreEditor()->toPlainText()};
}
