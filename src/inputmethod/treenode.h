#pragma once

#include <QString>
#include <QVector>
#include <map>
#include <memory>

// One entry of a candidate list: a symbol text (one or more gongche
// characters) and its weight. Higher weights rank first.
struct Candidate {
    QString text;
    float weight = 0.0f;
};

using CandidateList = QVector<Candidate>;

// A node of the abbreviation tree. The path from the root spells a key; the
// node's words are the symbols of the dictionary rows with that key, in row
// order.
//
// Children are keyed by the Latin-1 byte of the key character (any character
// outside Latin-1 is keyed as 0). An ordered map keeps the collection order of
// prefix look-ups independent of hashing.
class TreeNode {
public:
    TreeNode() = default;
    ~TreeNode();
    TreeNode(const TreeNode &) = delete;
    TreeNode &operator=(const TreeNode &) = delete;

    static unsigned char keyOf(QChar c) { return static_cast<unsigned char>(c.toLatin1()); }

    // The child for c, or null.
    TreeNode *child(QChar c) const;
    // The child for c, created when missing.
    TreeNode *childOrCreate(QChar c);

    std::map<unsigned char, std::unique_ptr<TreeNode>> children;
    CandidateList words;
};
