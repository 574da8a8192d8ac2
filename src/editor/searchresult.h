#pragma once

// The outcome of a search in the lyric editor: how many matches the text has,
// and which of them (from 1, counted from the start of the document) is the
// current one; 0 when there is no match. The search bar shows it as
// "currentIndex/matchCount".
struct SearchResult {
    int matchCount = 0;
    int currentIndex = 0;

    bool operator==(const SearchResult &o) const {
        return matchCount == o.matchCount && currentIndex == o.currentIndex;
    }
    bool operator!=(const SearchResult &o) const { return !(*this == o); }
};
