#include "inputmethod/scoretree.h"

#include "inputmethod/dictionaryrow.h"
#include "model/gongchesymbol.h"
#include "platform/apppaths.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <vector>

ScoreTree::ScoreTree(const QString &fileName) {
    buildRelatedTable();
    m_filePath = dictionaryFilePath(fileName);
    loadDictionary();
}

ScoreTree::~ScoreTree() = default;

void ScoreTree::buildRelatedTable() {
    using S = GongcheSymbol;
    // Each list: the beat itself, its partner (plain / 腰 form), the other two
    // beats of its class (板 or 眼), the four beats of the other class, then
    // the six ornaments.
    static const char32_t table[8][8] = {
        {S::TouBan, S::YaoBan, S::ZengBan, S::YaoZengBan, S::XiaoYan, S::ZhongYan, S::YaoXiaoYan,
         S::YaoZhongYan},
        {S::XiaoYan, S::YaoXiaoYan, S::ZhongYan, S::YaoZhongYan, S::TouBan, S::YaoBan, S::ZengBan,
         S::YaoZengBan},
        {S::ZhongYan, S::YaoZhongYan, S::XiaoYan, S::YaoXiaoYan, S::TouBan, S::YaoBan, S::ZengBan,
         S::YaoZengBan},
        {S::ZengBan, S::YaoZengBan, S::TouBan, S::YaoBan, S::XiaoYan, S::ZhongYan, S::YaoXiaoYan,
         S::YaoZhongYan},
        {S::YaoXiaoYan, S::XiaoYan, S::ZhongYan, S::YaoZhongYan, S::TouBan, S::YaoBan, S::ZengBan,
         S::YaoZengBan},
        {S::YaoZhongYan, S::ZhongYan, S::XiaoYan, S::YaoXiaoYan, S::TouBan, S::YaoBan, S::ZengBan,
         S::YaoZengBan},
        {S::YaoBan, S::TouBan, S::ZengBan, S::YaoZengBan, S::XiaoYan, S::ZhongYan, S::YaoXiaoYan,
         S::YaoZhongYan},
        {S::YaoZengBan, S::ZengBan, S::TouBan, S::YaoBan, S::XiaoYan, S::ZhongYan, S::YaoXiaoYan,
         S::YaoZhongYan},
    };
    // 底板 is offered with the ornaments.
    static const char32_t ornaments[6] = {S::HuoQiang,      S::SouQiang, S::DieQiang,
                                          S::DieQiangQiKou, S::DiBan,    S::DaiQiangCuoQiang};
    for (const auto &row : table) {
        QStringList list;
        for (const char32_t code : row) {
            list.append(S::textOf(code));
        }
        for (const char32_t code : ornaments) {
            list.append(S::textOf(code));
        }
        m_related.insert(list.first(), list);
    }
}

QString ScoreTree::dictionaryFilePath(const QString &fileName) {
    const QString path = AppPaths::dataPath(fileName);
    const QFileInfo info(path);
    if (info.exists()) {
        // A file the program cannot read is left alone; the embedded copy
        // stands in for it.
        return info.isFile() && info.isReadable() ? path : resourcePath();
    }

    QFile resource(resourcePath());
    if (!resource.open(QIODevice::ReadOnly)) {
        return QString();
    }
    const QByteArray content = resource.readAll();
    resource.close();

    // Copied byte for byte, and only committed once written completely, so
    // that a failed copy never leaves a truncated dictionary behind.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit()) {
        return resourcePath();
    }
    return path;
}

void ScoreTree::loadDictionary() {
    if (m_filePath.isEmpty()) {
        return;
    }
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return;
    }
    QTextStream in(&file);
    in.setCodec("UTF-8");
    in.readLine(); // header
    while (!in.atEnd()) {
        if (const auto row = DictionaryRow::parse(in.readLine())) {
            insert(row->key, row->symbol(), row->weight);
        }
    }
}

void ScoreTree::insert(const QString &key, const QString &symbol, float weight) {
    TreeNode *node = &m_root;
    for (const QChar c : key) {
        node = node->childOrCreate(c);
    }
    node->words.append(Candidate{symbol, weight});
}

void ScoreTree::sortByWeight(CandidateList &list) {
    if (list.size() < 2) {
        return;
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const Candidate &a, const Candidate &b) { return a.weight > b.weight; });
}

CandidateList ScoreTree::search(const QString &key, bool prefix) const {
    const TreeNode *node = &m_root;
    for (const QChar c : key) {
        node = node->child(c);
        if (!node) {
            return {};
        }
    }
    if (!prefix) {
        CandidateList result = node->words;
        sortByWeight(result);
        return result;
    }

    // Post-order walk of the subtree: a node's children are collected before
    // its own words. Iterative, so a long key in an edited dictionary cannot
    // exhaust the stack.
    struct Frame {
        const TreeNode *node;
        int depth;
        std::map<unsigned char, std::unique_ptr<TreeNode>>::const_iterator next;
    };
    CandidateList result;
    std::vector<Frame> stack;
    stack.push_back({node, 0, node->children.cbegin()});
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next != top.node->children.cend()) {
            const TreeNode *child = top.next->second.get();
            ++top.next;
            stack.push_back({child, top.depth + 1, child->children.cbegin()});
            continue;
        }
        const double divisor = std::pow(1.2, top.depth);
        for (const Candidate &word : top.node->words) {
            result.append(Candidate{word.text, top.depth == 0
                                                   ? word.weight
                                                   : static_cast<float>(word.weight / divisor)});
        }
        stack.pop_back();
    }
    sortByWeight(result);
    return result;
}

SegmentList ScoreTree::segment(const QString &text) const {
    SegmentList result;
    const TreeNode *node = &m_root;
    int i = 0;
    int j = 0;
    const int length = text.size();
    while (i < length) {
        if (const TreeNode *next = node->child(text.at(i))) {
            node = next;
            ++i;
        } else if (i == j) {
            result.append(Segment{text.mid(i, 1), false});
            ++i;
            j = i;
            node = &m_root;
        } else {
            result.append(Segment{text.mid(j, i - j), !node->words.isEmpty()});
            j = i;
            node = &m_root;
        }
    }
    if (j < length) {
        result.append(Segment{text.mid(j), !node->words.isEmpty() || !node->children.empty()});
    }
    return result;
}

QStringList ScoreTree::related(const QString &symbol) const {
    return m_related.value(symbol);
}
