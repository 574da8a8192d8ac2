#pragma once

// Paging arithmetic of the candidate popup: a list of size candidates shown
// pageSize at a time, with one highlighted position (selected) on the current
// page. Every operation keeps page * pageSize + selected on an existing
// candidate whenever the list is non-empty.
class CandidatePager {
public:
    explicit CandidatePager(int pageSize)
        : m_pageSize(pageSize > 0 ? pageSize : 1) {}

    // A new list of size candidates, showing its first one.
    void reset(int size);

    int size() const { return m_size; }
    int pageSize() const { return m_pageSize; }
    int page() const { return m_page; }
    int selected() const { return m_selected; }
    void setSelected(int selected) { m_selected = selected; }

    int lastPage() const;
    // The last position on page p (on the last page, the last candidate).
    int lastSlot(int p) const;
    int pageCount() const { return (m_size - 1) / m_pageSize + 1; }
    // The highlighted candidate's index in the whole list.
    int currentIndex() const { return m_page * m_pageSize + m_selected; }
    // The current page holds candidates [pageBegin(), pageEnd()).
    int pageBegin() const { return m_page * m_pageSize; }
    int pageEnd() const;

    // Comma / Up: one page back, the highlighted position unchanged.
    void previousPage();
    // Period / Down: one page on, clamping the highlighted position to the
    // candidates of a short last page; nothing past the last page.
    void nextPage();
    // Left / Right: one candidate back or on, across page boundaries; both
    // stop at the ends of the list. True when the page changed.
    bool left();
    bool right();

private:
    int m_pageSize;
    int m_size = 0;
    int m_page = 0;
    int m_selected = 0;
};
