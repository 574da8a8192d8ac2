#pragma once

// The texts of a candidate list, in its order, for the input method tests.

#include "inputmethod/treenode.h"

#include <QStringList>

inline QStringList texts(const CandidateList &list) {
    QStringList out;
    for (const Candidate &c : list) {
        out.append(c.text);
    }
    return out;
}
