// Which bytes start a double-byte character in the Windows ANSI code pages
// that have them, as the platform's IsDBCSLeadByteEx says: the host's
// NextChar and the tools walk texts by the same rule as the launcher does
// under Windows. Portable; no windows.h.
#pragma once

// 1 for the double-byte code pages: 932 (Japanese), 936 (Simplified
// Chinese), 949 (Korean), 950 (Traditional Chinese).
inline int IsDoubleByteCodePage(int codePage)
{
    return codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
}

// 1 when `c` is a lead byte of `codePage`; always 0 for single-byte ones.
inline int IsLeadByteOf(int codePage, unsigned char c)
{
    if (codePage == 932)
        return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (codePage == 936 || codePage == 949 || codePage == 950)
        return c >= 0x81 && c <= 0xFE;
    return 0;
}
