// Reading the files a media builder names.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

namespace medium {

// Reads the whole file at `path` into `data`. False with `why` set when it
// cannot be opened or read (the system's reason) or holds more than `limit`
// bytes ("larger than " and `limitText`); reading stops there, so a huge or
// endless file costs no more than the limit.
bool ReadWholeFile(const std::string &path, uint64_t limit, const char *limitText, std::vector<uint8_t> *data,
                   std::string *why);

}  // namespace medium
