#pragma once

#include <QStringList>

// The built-in defaults name the Windows families "楷体" and "黑体". Where
// they are not installed (any Linux desktop), a plain QFont("楷体") falls back
// to a Latin font such as DejaVu Sans, whose metrics are wrong for Chinese
// text and throw the typesetter's measurements off. These substitutions map
// the Windows names to the Kai and sans-serif CJK families the system has.

// Kai families tried for "楷体" / "KaiTi", best first. When none of them is
// installed, the Song/Ming and sans-serif CJK families follow as a fallback:
// any CJK font measures Chinese text better than a Latin one.
QStringList kaiFamilyCandidates();

// Sans-serif CJK families tried for "黑体" / "SimHei", best first.
QStringList heiFamilyCandidates();

// Registers the substitutions with QFont. Call once after the application
// object exists. A Windows name that is installed as a family is left alone,
// and so is a system that has none of the candidate families.
void installChineseFontSubstitutions();
