// Version resources: any bytes are read within the bounds; what is read is
// valid UTF-8, and only standard keys pass without a word.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "tools/lib/versioninfo.h"

namespace {

bool ValidUtf8(const std::string &s)
{
    for (size_t i = 0; i < s.size();) {
        unsigned char c = (unsigned char)s[i];
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; k++)
            if (((unsigned char)s[i + k] >> 6) != 2)
                return false;
        i += n;
    }
    return true;
}

const char *const kKeys[] = {"Comments", "CompanyName", "FileDescription", "FileVersion", "InternalName",
                             "LegalCopyright", "LegalTrademarks", "OriginalFilename", "PrivateBuild",
                             "ProductName", "ProductVersion", "SpecialBuild"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    tk::VersionInfo info;
    tk::Problems p;
    tk::ReadVersionInfo(data, size, &info, &p);
    if (!info.read && !tk::HasError(p))
        __builtin_trap();
    for (const tk::VersionString &s : info.strings) {
        if (!ValidUtf8(s.key) || !ValidUtf8(s.value) || !ValidUtf8(s.table))
            __builtin_trap();
        // A table's name is 8 hex digits, or an error says it is not.
        if (s.table.size() != 8 && !tk::HasError(p))
            __builtin_trap();
        if (p.empty()) {
            bool standard = false;
            for (const char *k : kKeys)
                standard = standard || s.key == k;
            if (!standard)
                __builtin_trap();
        }
    }
    return 0;
}
