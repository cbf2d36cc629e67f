// Pure arithmetic of the windows, kept apart from Windows so that it is tested natively too.
#pragma once

#include <cstdint>

// Share of the package consumed, 0 to 100. Formed in double precision: 100 * done in 32-bit
// integers would overflow past 21,474,836 bytes. A total of 0 or less (a package that declares
// nothing) and values outside 0..total give the nearest end of the bar rather than an
// unrepresentable integer.
inline int32_t ProgressPercent(int32_t done, int32_t total) {
    if (total <= 0 || done <= 0) return 0;
    if (done >= total) return 100;
    return static_cast<int32_t>(done * 100.0 / total);
}

// Origin that centres `size` pixels on `screen` pixels; truncates toward zero, so a window
// wider than the screen gets a small negative origin.
inline int CentredOrigin(int screen, int size) {
    return (screen - size) / 2;
}
