// How a window larger than its arrangement shares out the extra room, for the
// toolkits that place controls by their twip rectangles: the list boxes take all
// of it, the extra height split among them by their heights; what stands right of
// the lists moves right, and what stands below a list moves down by its share.
#pragma once
#include <algorithm>
#include <vector>

#include "window_toolkit.h"

struct PlacedRect {
    TwipRect rect;
    bool list;
};

// In the units of the extra room (pixels), for each control in turn.
struct Stretch {
    int right = 0;
    int down = 0;
    int wider = 0;
    int taller = 0;
};

inline std::vector<Stretch> StretchToFit(const std::vector<PlacedRect>& placed, int extraWidth, int extraHeight) {
    int listsRight = 0;
    int listsHeight = 0;
    for (const PlacedRect& place : placed) {
        if (place.list) {
            listsRight = std::max(listsRight, place.rect.left + place.rect.width);
            listsHeight += place.rect.height;
        }
    }
    auto share = [&](const TwipRect& list) { return listsHeight ? extraHeight * list.height / listsHeight : 0; };
    std::vector<Stretch> stretches;
    for (const PlacedRect& place : placed) {
        Stretch stretch;
        for (const PlacedRect& other : placed) {
            if (other.list && other.rect.top + other.rect.height <= place.rect.top) stretch.down += share(other.rect);
        }
        if (listsRight > 0 && place.rect.left >= listsRight) stretch.right = extraWidth;
        if (place.list) {
            stretch.wider = extraWidth;
            stretch.taller = share(place.rect);
        }
        stretches.push_back(stretch);
    }
    return stretches;
}
