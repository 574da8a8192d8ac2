#include "editor/sungindex.h"

#include "model/linegrammar.h"

#include <QTextBlock>
#include <QTextDocument>

SungIndex::SungIndex(QTextDocument *document, QObject *parent)
    : QObject(parent)
    , m_doc(document) {
    // A document without a layout never emits contentsChange; make sure it has one.
    m_doc->documentLayout();
    connect(m_doc, &QTextDocument::contentsChange, this, &SungIndex::onContentsChange);
    rebuild();
}

int SungIndex::ownedCount(const QTextBlock &block) {
    const QString text = block.text();
    return isDirectiveLine(text) ? 0 : sungCharCount(text);
}

void SungIndex::rebuild() {
    const int n = m_doc->blockCount();
    m_counts.assign(size_t(n), 0);
    m_open.assign(size_t(n), 0);
    int i = 0;
    for (QTextBlock b = m_doc->begin(); b.isValid() && i < n; b = b.next(), ++i) {
        const QString text = b.text();
        const bool directive = isDirectiveLine(text);
        m_counts[size_t(i)] = directive ? 0 : sungCharCount(text);
        m_open[size_t(i)] = directive ? 0 : 1;
    }
    m_sung.assign(m_counts);
    m_openTree.assign(m_open);
    m_characterCount = m_doc->characterCount();
}

void SungIndex::onContentsChange(int position, int, int added) {
    const int oldBlocks = int(m_counts.size());
    const int newBlocks = m_doc->blockCount();
    const int lastPos = qMax(0, m_doc->characterCount() - 1);
    const QTextBlock firstBlock = m_doc->findBlock(qBound(0, position, lastPos));
    const QTextBlock lastBlock = m_doc->findBlock(qBound(0, position + added, lastPos));
    if (!firstBlock.isValid() || !lastBlock.isValid()) {
        rebuild();
        return;
    }
    const int first = firstBlock.blockNumber();
    const int lastNew = lastBlock.blockNumber();
    // Blocks after the changed range are the same blocks before and after the
    // change; their distance from the end gives the old range.
    const int lastOld = lastNew - (newBlocks - oldBlocks);
    if (lastOld < first - 1 || lastOld >= oldBlocks || lastNew < first) {
        rebuild();
        return;
    }
    const int oldSpan = lastOld - first + 1;
    const int newSpan = lastNew - first + 1;
    if (oldSpan == newSpan) {
        int i = first;
        for (QTextBlock b = firstBlock; i <= lastNew; b = b.next(), ++i) {
            const QString text = b.text();
            const bool directive = isDirectiveLine(text);
            const int count = directive ? 0 : sungCharCount(text);
            const int open = directive ? 0 : 1;
            m_sung.add(i, count - m_counts[size_t(i)]);
            m_openTree.add(i, open - m_open[size_t(i)]);
            m_counts[size_t(i)] = count;
            m_open[size_t(i)] = open;
        }
    } else {
        std::vector<int> counts;
        std::vector<int> open;
        counts.reserve(size_t(newSpan));
        open.reserve(size_t(newSpan));
        int i = first;
        for (QTextBlock b = firstBlock; i <= lastNew; b = b.next(), ++i) {
            const QString text = b.text();
            const bool directive = isDirectiveLine(text);
            counts.push_back(directive ? 0 : sungCharCount(text));
            open.push_back(directive ? 0 : 1);
        }
        const auto replace = [&](std::vector<int> &v, const std::vector<int> &with) {
            v.erase(v.begin() + first, v.begin() + first + oldSpan);
            v.insert(v.begin() + first, with.begin(), with.end());
        };
        replace(m_counts, counts);
        replace(m_open, open);
        m_sung.assign(m_counts);
        m_openTree.assign(m_open);
    }
    m_characterCount = m_doc->characterCount();
}

void SungIndex::ensureCurrent() const {
    if (int(m_counts.size()) != m_doc->blockCount() ||
        m_characterCount != m_doc->characterCount()) {
        const_cast<SungIndex *>(this)->rebuild();
    }
}

int SungIndex::total() const {
    ensureCurrent();
    return m_sung.total();
}

int SungIndex::sungBefore(int position) const {
    ensureCurrent();
    position = qMax(0, position);
    const QTextBlock block = m_doc->findBlock(position);
    if (!block.isValid()) {
        return m_sung.total();
    }
    const int number = block.blockNumber();
    int sum = m_sung.prefix(number);
    if (m_open[size_t(number)]) {
        const QString text = block.text();
        const int upTo = qMin(text.size(), position - block.position());
        sum += sungCharCount(text.constData(), text.constData() + upTo);
    }
    return sum;
}

int SungIndex::sungCharEnd(int n) const {
    ensureCurrent();
    n = qMax(0, n);
    const auto documentEnd = [this] {
        const QTextBlock last = m_doc->lastBlock();
        return last.position() + last.text().size();
    };
    int number;
    int totalThrough;
    if (n == 0) {
        number = m_openTree.lowerBound(1);
        if (number >= m_openTree.size()) {
            return documentEnd();
        }
        totalThrough = m_counts[size_t(number)];
    } else {
        if (n > m_sung.total()) {
            return documentEnd();
        }
        number = m_sung.lowerBound(n);
        totalThrough = m_sung.prefix(number + 1);
    }
    const QTextBlock block = m_doc->findBlockByNumber(number);
    const QString text = block.text();
    const int k = m_counts[size_t(number)];
    const int wanted = k - qMin(k, totalThrough - n); // offset-list entry
    if (k == 0) {
        return block.position();
    }
    int seen = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (!isSungChar(text.at(i))) {
            continue;
        }
        if (wanted == 0) {
            return block.position() + i;
        }
        if (++seen == wanted) {
            return block.position() + i + 1;
        }
    }
    return block.position() + text.size();
}

QString SungIndex::sungCharAt(int n) const {
    if (n < 1 || n > total()) {
        return QString();
    }
    const int end = sungCharEnd(n);
    return QString(m_doc->characterAt(end - 1));
}
