// Reading whole files, bounded.
#include "tools/medium/fileio.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

namespace medium {

bool ReadWholeFile(const std::string &path, uint64_t limit, const char *limitText, std::vector<uint8_t> *data,
                   std::string *why)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        *why = strerror(errno);
        return false;
    }
    data->clear();
    uint8_t buf[1 << 16];
    size_t n;
    bool ok = true;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        if (data->size() + n > limit) {
            *why = std::string("larger than ") + limitText;
            ok = false;
            break;
        }
        data->insert(data->end(), buf, buf + n);
    }
    if (ok && ferror(f)) {
        *why = "read error";
        ok = false;
    }
    fclose(f);
    return ok;
}

}  // namespace medium
