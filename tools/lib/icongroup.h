// An icon group (RT_GROUP_ICON, type 14) checked against the icons it names
// (RT_ICON, type 3): the group's header, each entry's icon present with the
// byte count the entry gives, and each icon's image a PNG or a
// BITMAPINFOHEADER whose size agrees with the entry.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/problem.h"

namespace tk {

constexpr uint32_t kMaxIconGroupEntries = 256;

// One RT_ICON resource of the image; `data` is the caller's.
struct IconResource {
    uint16_t id = 0;
    const uint8_t *data = nullptr;
    size_t size = 0;
};

struct IconEntry {
    uint32_t width = 0, height = 0;   // 256 where the entry says 0
    uint32_t bitCount = 0;
    uint32_t bytes = 0;
    uint16_t id = 0;
    bool png = false;
};

// Checks one icon image against the width and height its directory entry
// gives (`entry` names that entry in problems; 256 stands for 0): a PNG whose
// IHDR agrees, or a bitmap with a BITMAPINFOHEADER (one plane, 1 to 32 bits
// per pixel, no compression) twice as high (image and mask) that holds its
// pixels and mask. `what` names the image ("icon 3"). True when it is a PNG.
bool CheckIconImage(const uint8_t *data, size_t size, uint32_t width, uint32_t height, const std::string &what,
                    const std::string &entry, Problems *problems);

// Reads the group `group` of `size` bytes and checks each entry against the
// icon of its id in `icons`. `groupName` names the group in problems
// ("icon group 7001").
void CheckIconGroup(const uint8_t *group, size_t size, const std::vector<IconResource> &icons,
                    const std::string &groupName, std::vector<IconEntry> *out, Problems *problems);

}  // namespace tk
