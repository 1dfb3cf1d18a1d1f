// The icon probe: a hook module the window icon tests load into a running
// viewer, because one process cannot read or draw another's window icons.
// Posted the probe message (wParam: ICON_BIG or ICON_SMALL, lParam: size),
// it draws that icon of the target window at size x size over
// kIconProbeBackground and writes the pixels, top row first, 0x00RRGGBB, to
// "<ICON_PROBE_OUT>.<wParam>.<window>" (nothing but the name when the window
// has no such icon).
#pragma once

#include <windows.h>

#include <cstdint>

namespace leafbook::testing {

inline constexpr wchar_t kIconProbeMessage[] = L"LeafbookIconProbe";
inline constexpr wchar_t kIconProbeOutVariable[] = L"ICON_PROBE_OUT";
inline constexpr char kIconProbeHook[] = "IconProbeHook";
inline constexpr uint32_t kIconProbeBackground = 0xFF00FF;

}  // namespace leafbook::testing
