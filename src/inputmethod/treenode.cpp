#include "inputmethod/treenode.h"

#include <vector>

TreeNode::~TreeNode() {
    // A user-edited dictionary may hold a very long key; tear the chain down
    // iteratively so that the destructor never recurses once per letter.
    std::vector<std::unique_ptr<TreeNode>> pending;
    for (auto &entry : children) {
        pending.push_back(std::move(entry.second));
    }
    children.clear();
    while (!pending.empty()) {
        std::unique_ptr<TreeNode> node = std::move(pending.back());
        pending.pop_back();
        for (auto &entry : node->children) {
            pending.push_back(std::move(entry.second));
        }
        node->children.clear();
    }
}

TreeNode *TreeNode::child(QChar c) const {
    const auto it = children.find(keyOf(c));
    return it == children.end() ? nullptr : it->second.get();
}

TreeNode *TreeNode::childOrCreate(QChar c) {
    std::unique_ptr<TreeNode> &slot = children[keyOf(c)];
    if (!slot) {
        slot = std::make_unique<TreeNode>();
    }
    return slot.get();
}
