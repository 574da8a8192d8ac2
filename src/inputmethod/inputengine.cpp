#include "inputmethod/inputengine.h"

#include <algorithm>

namespace {

const QString relatedMarker = QStringLiteral("*");

} // namespace

InputEngine::InputEngine(int pageSize, const QString &dictionaryFile)
    : m_tree(std::make_unique<ScoreTree>(dictionaryFile))
    , m_pager(pageSize) {}

InputEngine::~InputEngine() = default;

CandidateList InputEngine::combine(const CandidateList &a, const CandidateList &b) {
    if (a.isEmpty()) {
        return b;
    }
    if (b.isEmpty()) {
        return a;
    }
    CandidateList result;
    result.reserve(std::min(maxCombinations, a.size() * b.size()));
    for (const Candidate &second : b) {
        for (const Candidate &first : a) {
            if (result.size() >= maxCombinations) {
                break;
            }
            result.append(Candidate{first.text + second.text, first.weight + second.weight});
        }
        if (result.size() >= maxCombinations) {
            break;
        }
    }
    ScoreTree::sortByWeight(result);
    return result;
}

CandidateList InputEngine::pushLists(const QString &segmentText) {
    const CandidateList exact = m_tree->search(segmentText, false);
    const CandidateList prefix = m_tree->search(segmentText, true);
    if (!m_exactStack.isEmpty() && !m_prefixStack.isEmpty()) {
        const CandidateList top = m_exactStack.last();
        m_exactStack.append(combine(top, exact));
        m_prefixStack.append(combine(top, prefix));
    } else {
        m_exactStack.append(exact);
        m_prefixStack.append(prefix);
    }
    return prefix;
}

void InputEngine::popLists() {
    if (!m_exactStack.isEmpty()) {
        m_exactStack.removeLast();
    }
    if (!m_prefixStack.isEmpty()) {
        m_prefixStack.removeLast();
    }
}

CandidateList InputEngine::currentList() const {
    return m_prefixStack.isEmpty() ? CandidateList() : m_prefixStack.last();
}

void InputEngine::fillCandidates() {
    m_candidates.clear();
    if (!m_prefixStack.isEmpty() && !m_prefixStack.last().isEmpty()) {
        for (const Candidate &c : m_prefixStack.last()) {
            m_candidates.append(c.text);
        }
    } else {
        m_candidates.append(QString());
    }
    m_pager.reset(m_candidates.size());
}

bool InputEngine::hasMatches() const {
    return m_candidates != QStringList{QString()};
}

void InputEngine::clearComposing() {
    m_candidates.clear();
    m_composition.clear();
    m_pager.reset(0);
}

QString InputEngine::joinedSegments() const {
    QStringList parts;
    for (const Segment &s : m_segments) {
        parts.append(s.text);
    }
    return parts.join(QLatin1Char('\''));
}

bool InputEngine::appendText(const QString &text) {
    if (text.isEmpty() || m_segments.size() >= maxSegments ||
        (!m_segments.isEmpty() && m_segments.first().text == relatedMarker)) {
        return false;
    }
    clearComposing();

    SegmentList added;
    if (m_segments.isEmpty()) {
        added = m_tree->segment(text);
    } else {
        added = m_tree->segment(m_segments.last().text + text);
        m_segments.removeLast();
    }
    m_segments += added;
    m_composition = joinedSegments();

    popLists();
    for (const Segment &s : qAsConst(added)) {
        pushLists(s.text);
    }

    fillCandidates();
    return true;
}

bool InputEngine::backspace() {
    clearComposing();
    popLists();
    if (m_segments.isEmpty()) {
        reset();
        return false;
    }
    Segment &last = m_segments.last();
    last.text.chop(1);
    if (!last.text.isEmpty()) {
        last.valid = !pushLists(last.text).isEmpty();
    } else {
        m_segments.removeLast();
    }
    if (m_segments.isEmpty()) {
        reset();
        return false;
    }
    m_composition = joinedSegments();
    fillCandidates();
    return true;
}

void InputEngine::previousPage() {
    m_pager.previousPage();
}

void InputEngine::nextPage() {
    m_pager.nextPage();
}

bool InputEngine::left() {
    return m_pager.left();
}

bool InputEngine::right() {
    return m_pager.right();
}

QString InputEngine::commitCurrent() {
    const int index = m_pager.currentIndex();
    const QString chosen =
        index >= 0 && index < m_candidates.size() ? m_candidates.at(index) : QString();
    reset();
    return chosen;
}

QString InputEngine::selectByNumber(int number) {
    if (number < 1 || number > m_pager.lastSlot(m_pager.page()) + 1) {
        return QString();
    }
    m_pager.setSelected(number - 1);
    return commitCurrent();
}

void InputEngine::showRelated(const QString &symbol) {
    clearComposing();
    m_candidates = m_tree->related(symbol);
    m_pager.reset(m_candidates.size());
    m_segments = {Segment{relatedMarker, true}};
    m_composition = symbol;
}

void InputEngine::reset() {
    m_candidates.clear();
    m_segments.clear();
    m_exactStack.clear();
    m_prefixStack.clear();
    m_composition.clear();
    m_pager.reset(0);
}

QStringList InputEngine::pageCandidates() const {
    const int begin = m_pager.pageBegin();
    const int end = std::min(m_pager.pageEnd(), m_candidates.size());
    return begin < end ? m_candidates.mid(begin, end - begin) : QStringList();
}

QString InputEngine::pageIndicator() const {
    return QStringLiteral("%1/%2").arg(m_pager.page() + 1).arg(m_pager.pageCount());
}
