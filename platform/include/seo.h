// Server extension objects: what an event sink tells the event system about itself.
#pragma once
#include "unknwn.h"

inline constexpr IID IID_IEventIsCacheable = {
    0x22E0F830, 0x1E81, 0x11D1, {0xAA, 0x29, 0x00, 0xAA, 0x00, 0x6B, 0xC8, 0x0B}};

// S_OK: the event system may keep the sink object for later events.
struct IEventIsCacheable : IUnknown {
    STDMETHOD(IsCacheable)() = 0;  // 3
};
