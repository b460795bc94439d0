// Every file our SZDD compressor writes must expand with the platform's own
// service (LZOpenFileA / LZCopy) to the original bytes: the launcher relies
// on that service, not on our expander.
#include <gtest/gtest.h>

#include <windows.h>
#include <lzexpand.h>

#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "tools/lib/szdd_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes RandomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto &b : out)
        b = uint8_t(rng());
    return out;
}

Bytes Periodic(size_t period, size_t n, uint32_t seed) {
    const Bytes unit = RandomBytes(period, seed);
    Bytes out(n);
    for (size_t i = 0; i < n; ++i)
        out[i] = unit[i % period];
    return out;
}

Bytes Text(size_t n, uint32_t seed) {
    static const char *const kWords[] = {
        "the", "setup", "program", "installs", "files", "into", "a", "directory",
        "of", "your", "choice", "press", "Next", "to", "continue", "or", "Cancel",
    };
    const size_t kWordCount = sizeof kWords / sizeof kWords[0];
    std::mt19937 rng(seed);
    std::string s;
    while (s.size() < n) {
        s.append(rng() % 3 * 4, ' ');
        s += kWords[rng() % kWordCount];
        s += rng() % 8 ? ' ' : '\n';
    }
    s.resize(n);
    return Bytes(s.begin(), s.end());
}

// Text, random data, zeros and blanks, some of it repeated from far back.
Bytes Mixed(size_t n) {
    Bytes out;
    uint32_t seed = 1;
    while (out.size() < n) {
        const Bytes text = Text(150000, seed);
        const Bytes noise = RandomBytes(80000, seed + 100);
        for (const Bytes *part : {&text, &noise, &text})
            out.insert(out.end(), part->begin(), part->end());
        out.insert(out.end(), 20000, 0);
        out.insert(out.end(), 5000, ' ');
        ++seed;
    }
    out.resize(n);
    return out;
}

std::string TempFile() {
    char dir[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, dir);
    if (n == 0 || n >= MAX_PATH)
        return std::string();
    char name[MAX_PATH];
    if (GetTempFileNameA(dir, "szd", 0, name) == 0)
        return std::string();
    return name;
}

bool WriteWholeFile(const std::string &path, const Bytes &data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = data.empty() ||
                    (WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr) &&
                     written == data.size());
    CloseHandle(h);
    return ok;
}

bool ReadWholeFile(const std::string &path, Bytes &data) {
    data.clear();
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = false;
    const DWORD size = GetFileSize(h, nullptr);
    if (size != INVALID_FILE_SIZE) {
        data.resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(h, data.data(), size, &got, nullptr) && got == size);
    }
    CloseHandle(h);
    return ok;
}

// Expands `packed` through LZOpenFileA / LZCopy. Returns LZCopy's result (the
// byte count, or a negative LZERROR_ code) and the expanded bytes in `out`.
LONG ExpandWithLzCopy(const Bytes &packed, Bytes &out) {
    out.clear();
    const std::string src = TempFile();
    const std::string dst = TempFile();
    LONG copied = LZERROR_BADINHANDLE;
    if (!src.empty() && !dst.empty() && WriteWholeFile(src, packed)) {
        OFSTRUCT srcOf = {};
        OFSTRUCT dstOf = {};
        const INT in = LZOpenFileA(const_cast<char *>(src.c_str()), &srcOf, OF_READ);
        const INT outFile = LZOpenFileA(const_cast<char *>(dst.c_str()), &dstOf, OF_CREATE);
        if (in >= 0 && outFile >= 0)
            copied = LZCopy(in, outFile);
        if (in >= 0)
            LZClose(in);
        if (outFile >= 0)
            LZClose(outFile);
        if (copied >= 0 && !ReadWholeFile(dst, out))
            copied = LZERROR_READ;
    }
    if (!src.empty())
        DeleteFileA(src.c_str());
    if (!dst.empty())
        DeleteFileA(dst.c_str());
    return copied;
}

TEST(SzddLzCopy, PlatformExpandsOurFiles) {
    struct Case {
        const char *name;
        Bytes data;
    };
    const Case cases[] = {
        {"empty", {}},
        {"one byte", {0x41}},
        {"leading blanks", Bytes(5000, ' ')},
        {"incompressible 64 KiB", RandomBytes(65536, 3)},
        {"zeros", Bytes(100000, 0)},
        {"repeated phrase", Periodic(37, 100000, 4)},
        // Matches right at the farthest distance we emit.
        {"period 4078", Periodic(4078, 30000, 5)},
        {"text", Text(200000, 6)},
        {"4 MB mixed", Mixed(4 << 20)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Bytes packed;
        ASSERT_EQ(szdd::Result::Ok, szdd::Compress(c.data.data(), c.data.size(), packed));
        Bytes out;
        EXPECT_EQ(LONG(c.data.size()), ExpandWithLzCopy(packed, out));
        EXPECT_TRUE(out == c.data);
    }
}

}  // namespace
