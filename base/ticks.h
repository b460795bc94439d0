// The tick count that the launcher's deadlines are measured with. Tests put
// their own clock in place to reach a deadline or a wrap of the 32-bit count
// without waiting for it.
#pragma once

#include <stdint.h>

typedef uint32_t (*TickSource)(void);

// Milliseconds from the current tick source (GetTickCount unless replaced).
// Deadlines compare elapsed times, now - start, which stay right across the
// wrap of the count after 49.7 days.
uint32_t TickNow();

// Replaces the tick source; null puts GetTickCount back.
void TickSetSource(TickSource source);
