// Small text helpers every tool uses, written once.
#pragma once

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace tk {

// "0x" and `v` in upper-case hexadecimal ("0x1F").
inline std::string Hex(uint64_t v)
{
    char b[24];
    snprintf(b, sizeof b, "0x%llX", (unsigned long long)v);
    return b;
}

// The last part of `path` (all of it when it has no '/').
inline std::string BaseName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The system's text for the current errno.
inline std::string Errno()
{
    return strerror(errno);
}

}  // namespace tk
