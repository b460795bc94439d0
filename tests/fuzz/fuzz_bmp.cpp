// Fuzzes the bitmap check of `medium library` with arbitrary files: an
// accepted file gives a resource no longer than the file, starting with the
// file's bitmap header.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "tools/lib/library_encode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> file(data, data + size);
    std::vector<uint8_t> dib;
    std::string why;
    if (tk::BmpToResource(file, &dib, &why)) {
        if (!why.empty() || dib.size() + 14 > size || dib.size() < 12 || memcmp(dib.data(), data + 14, 12) != 0)
            abort();
    } else if (why.empty()) {
        abort();
    }
    return 0;
}
