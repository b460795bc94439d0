// What the resource reader and writers share: the layout of a resource
// directory entry.
#pragma once

#include <stdint.h>

namespace tk {

// In a directory entry: the name is a string (in the name field), or the
// entry leads to a subdirectory (in the offset field).
constexpr uint32_t kHighBit = 0x80000000u;

}  // namespace tk
