// Where the rule list window's controls stand, in twips. The window's behaviour
// lives in install_form.cpp; this is only the arrangement.
#pragma once
#include <array>

#include "window_toolkit.h"

namespace install_form_layout {

inline constexpr int kClientWidth = 9204;
inline constexpr int kClientHeight = 7536;

inline constexpr int kListLeft = 120;
inline constexpr int kListWidth = 7212;
inline constexpr int kCaptionHeight = 252;
inline constexpr int kButtonLeft = 7440;
inline constexpr int kButtonWidth = 1700;
inline constexpr int kButtonHeight = 300;

// The tops of one list's caption, list box and buttons; anyDomain is 0 where the
// list has no "Add * (any domain)" button.
struct ListPlace {
    int captionTop;
    int listTop;
    int listHeight;
    int add;
    int edit;
    int remove;
    int removeAll;
    int anyDomain;
    int import;
    int exportTop;
};

inline constexpr std::array<ListPlace, 3> kLists = {{
    {0, 240, 2160, 240, 564, 876, 1200, 1524, 1836, 2160},
    {2450, 2700, 1584, 2760, 3080, 3400, 3720, 0, 4040, 4360},
    {4720, 4940, 1584, 5040, 5364, 5676, 6000, 0, 6324, 6636},
}};

inline constexpr TwipRect Caption(int list) { return {kListLeft, kLists[list].captionTop, kListWidth, kCaptionHeight}; }
inline constexpr TwipRect ListBoxRect(int list) {
    return {kListLeft, kLists[list].listTop, kListWidth, kLists[list].listHeight};
}
inline constexpr TwipRect ButtonAt(int top) { return {kButtonLeft, top, kButtonWidth, kButtonHeight}; }

inline constexpr TwipRect kMakerLabel = {2520, 7320, 1932, 300};
inline constexpr TwipRect kWebLabel = {5160, 7308, 1452, 192};
inline constexpr TwipRect kExitButton = {7440, 7100, 1692, 300};

}  // namespace install_form_layout
