// Whole files for the host tests of the tools.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

// The bytes of the file at `path`; empty when it cannot be read.
inline std::vector<uint8_t> ReadFile(const std::string &path)
{
    std::vector<uint8_t> b;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return b;
    uint8_t buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        b.insert(b.end(), buf, buf + n);
    fclose(f);
    return b;
}

// What was written to the temporary file `f`, read from its start; closes it.
inline std::string ReadBackAndClose(FILE *f)
{
    std::string s;
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        s.append(buf, n);
    fclose(f);
    return s;
}

inline bool WriteFile(const std::string &path, const std::vector<uint8_t> &b)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = b.empty() || fwrite(b.data(), 1, b.size(), f) == b.size();
    return fclose(f) == 0 && ok;
}
