// How the window compares and orders entries: without regard to case, the same way
// the registry compares value names (each character in upper case, one for one),
// so that two entries the window calls equal name one registry value.
#pragma once
#include <string>
#include <string_view>

// Negative, zero or positive, as a case-blind comparison of the two texts.
int CompareEntries(std::string_view a, std::string_view b);

inline bool SameEntry(std::string_view a, std::string_view b) { return CompareEntries(a, b) == 0; }

// The characters a typed entry loses wherever they stand.
inline constexpr std::string_view kRemovedCharacters = "*,; /\\";

std::string RemoveCharacters(std::string_view text, std::string_view removed);

// Without the leading and trailing spaces (only the space character).
std::string_view TrimSpaces(std::string_view text);
std::string_view TrimTrailingSpaces(std::string_view text);

// Where an added item takes its place among count items kept in order: after every
// item that does not sort after it. itemAt(i) gives the text at position i.
template <typename ItemAt>
int SortedPosition(int count, ItemAt itemAt, std::string_view text) {
    int low = 0;
    int high = count;
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (CompareEntries(itemAt(middle), text) <= 0) low = middle + 1;
        else high = middle;
    }
    return low;
}
