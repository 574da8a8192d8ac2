#include "inputmethod/candidatepager.h"

#include <algorithm>

void CandidatePager::reset(int size) {
    m_size = std::max(0, size);
    m_page = 0;
    m_selected = 0;
}

int CandidatePager::lastPage() const {
    return std::max(0, (m_size - 1) / m_pageSize);
}

int CandidatePager::lastSlot(int p) const {
    if (p == lastPage()) {
        return std::max(0, (m_size - 1) % m_pageSize);
    }
    return m_pageSize - 1;
}

int CandidatePager::pageEnd() const {
    return std::min(m_size, (m_page + 1) * m_pageSize);
}

void CandidatePager::previousPage() {
    m_page = std::max(0, m_page - 1);
}

void CandidatePager::nextPage() {
    int target = m_page + 1;
    int limit = m_pageSize - 1;
    if (target >= lastPage()) {
        target = lastPage();
        limit = lastSlot(target);
    }
    m_selected = std::min(m_selected, limit);
    m_page = target;
}

bool CandidatePager::left() {
    if (--m_selected >= 0) {
        return false;
    }
    if (m_page > 0) {
        --m_page;
        m_selected = m_pageSize - 1;
        return true;
    }
    m_page = 0;
    m_selected = 0;
    return false;
}

bool CandidatePager::right() {
    if (m_selected + 1 <= lastSlot(m_page)) {
        ++m_selected;
        return false;
    }
    if (m_page + 1 > lastPage()) {
        m_page = lastPage();
        m_selected = lastSlot(m_page);
        return false;
    }
    ++m_page;
    m_selected = 0;
    return true;
}
