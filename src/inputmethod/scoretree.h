#pragma once

#include "inputmethod/treenode.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>

// A piece of typed text as the segmentation splits it, and whether the
// dictionary knows it.
struct Segment {
    QString text;
    bool valid = false;
};

using SegmentList = QVector<Segment>;

// The abbreviation dictionary of the input method: a character tree of keys
// (lower-case Latin abbreviations) leading to weighted gongche symbols.
//
// The dictionary is read once from "wordsdict.csv" in the program's data
// directory; that file is created from the embedded copy when it is missing,
// and the embedded copy is read directly when the file cannot be written.
// After loading the tree is read-only.
class ScoreTree {
public:
    explicit ScoreTree(const QString &fileName);
    ~ScoreTree();
    ScoreTree(const ScoreTree &) = delete;
    ScoreTree &operator=(const ScoreTree &) = delete;

    // The candidates for key, best first. Exact: the symbols whose key is
    // key. Prefix: the symbols whose key begins with key, each weight divided
    // by 1.2 for every letter the key is longer than the typed one.
    CandidateList search(const QString &key, bool prefix) const;

    // Adds one dictionary row.
    void insert(const QString &key, const QString &symbol, float weight);

    // Greedy, non-backtracking split of typed text into dictionary keys.
    SegmentList segment(const QString &text) const;

    // The beat marks and ornaments ordered by their relation to the beat mark
    // symbol; empty for any other symbol.
    QStringList related(const QString &symbol) const;

    // The dictionary actually read (a file path, the resource path, or empty).
    QString filePath() const { return m_filePath; }

    // Where the dictionary named fileName is read from, creating the file from
    // the embedded copy when it is missing.
    static QString dictionaryFilePath(const QString &fileName);

    // Sorts by weight, highest first; equal weights keep their order.
    static void sortByWeight(CandidateList &list);

    static QString resourcePath() { return QStringLiteral(":/resources/wordsdict.csv"); }

private:
    void loadDictionary();
    void buildRelatedTable();

    QString m_filePath;
    TreeNode m_root;
    QHash<QString, QStringList> m_related;
};
