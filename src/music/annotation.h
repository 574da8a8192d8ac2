#pragma once

#include "music/melody.h"
#include "music/musicrules.h"
#include "music/tunesettings.h"

#include <QString>
#include <QVector>

namespace music {

// The annotation lines of a document: comment lines that set the music
// settings from that line on, such as
//
//   ; 笛色=小工调 板式=一板三眼 速度=60 八度=0
//
// A comment line holding "=" (or "＝") is an annotation; one without is an
// ordinary comment. Every setting is optional; spaces around "=" are allowed.
//   笛色  a key name of MusicRules::keys (小工调, 凡字调, 六字调, 正工调 = 五字调,
//         乙字调, 上字调, 尺字调; 调 may be left out), optionally followed by the
//         key's letter in brackets to pick between the sources: 凡字调(E),
//         上字调(B); 凡字调(E♭) names the default.
//   板式  一板三眼, 一板一眼, 流水板 (有板无眼), 散板, 加赠一板三眼, 加赠一板一眼
//         (赠板 may stand for 加赠; 加赠 or 赠板 alone is 加赠一板三眼), or 自动 to
//         detect the meter of each tune again.
//   速度  quarter beats per minute, a whole number.
//   八度  -1, 0 or 1.
// Files need nothing new for this: older versions skip comment lines.
class Annotation {
public:
    // Whether the text of a comment line is an annotation.
    static bool isAnnotation(const QString &commentLine);
    // Reads the settings of an annotation line into settings. What cannot be
    // read (an unknown name, a malformed value, a word without "=") is
    // reported, an Error at that item of lyric line lyricLine, and ignored.
    static void apply(const QString &line, int lyricLine, const MusicRules &rules,
                      TuneSettings *settings, QVector<Problem> *problems);
};

} // namespace music
