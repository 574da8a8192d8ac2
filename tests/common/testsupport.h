#pragma once

// Helpers that many tests share: gongche symbols by code point, a program
// directory of the test's own, whole files read and written, and the two
// texts of a document tab.

#include "editor/documenttab.h"
#include "editor/lyricedit.h"
#include "editor/scoreedit.h"
#include "platform/apppaths.h"

#include <QFile>
#include <QPair>
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

// The lyric and score texts of a tab, as they are saved.
inline QPair<QString, QString> texts(DocumentTab *tab) {
    return {tab->lyricEditor()->toPlainText(), tab->scoreEditor()->toPlainText()};
}
