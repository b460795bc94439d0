// Host lane of the expander benchmark (tests/bench/bench-expander.sh): the
// launcher's SZDD expander with its CRC-32 (base/szdd.cpp, base/crc32.cpp),
// compiled natively, beside zlib's inflate of the same bytes and a plain
// memcpy of them, each handing its output to a 64 KiB sink as the launcher
// does. The rounds take the four in turn, so that load from other work on
// the machine falls on all of them alike; the figures are medians.
//
// usage: expander_host INPUT INPUT.SZ ROUNDS
//   INPUT     the original bytes (deflated here, at level 9, before timing)
//   INPUT.SZ  the same bytes compressed by the project's szdd tool
// Lines written to stdout:
//   input BYTES szdd PACKED deflate PACKED
//   round I NAME WALL_S CPU_S            one timed pass
//   median NAME MBPS_WALL MBPS_CPU MIN_MBPS_WALL MAX_MBPS_WALL
// Exit code 0 when every pass gave back the original bytes (length and
// CRC-32), 1 otherwise, 2 on a wrong command line or unreadable input.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <vector>

#include <zlib.h>

#include "base/crc32.h"
#include "base/szdd.h"

namespace {

const size_t kChunk = kSzddChunkSize;   // the launcher's sink size, for every contender

Crc32Table g_table;

bool ReadFile(const char *path, std::vector<unsigned char> &out)
{
    FILE *f = fopen(path, "rb");
    if (!f)
        return false;
    bool ok = fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? ftell(f) : -1;
    ok = ok && size >= 0 && fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out.resize((size_t)size);
        ok = fread(out.data(), 1, out.size(), f) == out.size();
    }
    fclose(f);
    return ok;
}

double Seconds(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// What a pass produced: the bytes and their CRC-32 (0 when the contender
// keeps none), so that each pass is checked against the original.
struct Produced {
    uint64_t length = 0;
    uint32_t crc = 0;
    bool ok = false;
};

// The launcher's sink, less the file write: counts and drops the chunk.
int Drop(void *ctx, const unsigned char *data, uint32_t len)
{
    (void)data;
    *(uint64_t *)ctx += len;
    return 1;
}

Produced ExpandOurs(const std::vector<unsigned char> &sz)
{
    Produced p;
    uint64_t got = 0;
    SzddOutput out = {0, 0};
    p.ok = SzddExpand(sz.data(), (uint32_t)sz.size(), &g_table, 0, Drop, &got, &out) == SZDD_OK;
    p.length = got;
    p.crc = out.crc;
    return p;
}

// zlib's inflate into one 64 KiB buffer, reused: its Adler-32 is checked at
// the stream's end. With `crc`, our CRC-32 over each chunk as well, which
// is the work our expander does on top of decoding.
Produced Inflate(const std::vector<unsigned char> &deflated, bool crc)
{
    Produced p;
    static unsigned char buffer[kChunk];
    z_stream z;
    memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK)
        return p;
    z.next_in = const_cast<unsigned char *>(deflated.data());
    z.avail_in = (uInt)deflated.size();
    int r = Z_OK;
    while (r == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        r = inflate(&z, Z_NO_FLUSH);
        const size_t n = sizeof buffer - z.avail_out;
        if (crc)
            p.crc = Crc32Update(&g_table, p.crc, buffer, n);
        p.length += n;
    }
    p.ok = r == Z_STREAM_END;
    inflateEnd(&z);
    return p;
}

// The floor: the original bytes copied into the same 64 KiB buffer.
Produced Copy(const std::vector<unsigned char> &original)
{
    Produced p;
    static unsigned char buffer[kChunk];
    for (size_t at = 0; at < original.size(); at += kChunk) {
        const size_t n = std::min(kChunk, original.size() - at);
        memcpy(buffer, original.data() + at, n);
        // The copy must happen although nothing reads the buffer.
        __asm__ __volatile__("" : : "r"(buffer) : "memory");
        p.length += n;
    }
    p.ok = true;
    return p;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 4 || atoi(argv[3]) <= 0) {
        fprintf(stderr, "usage: expander_host INPUT INPUT.SZ ROUNDS\n");
        return 2;
    }
    const int rounds = atoi(argv[3]);
    std::vector<unsigned char> original, sz;
    if (!ReadFile(argv[1], original) || !ReadFile(argv[2], sz) || original.empty()) {
        fprintf(stderr, "expander_host: cannot read %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    Crc32Init(&g_table);
    const uint32_t wantCrc = Crc32Update(&g_table, 0, original.data(), original.size());

    uLongf packed = compressBound((uLong)original.size());
    std::vector<unsigned char> deflated(packed);
    if (compress2(deflated.data(), &packed, original.data(), (uLong)original.size(), Z_BEST_COMPRESSION) != Z_OK) {
        fprintf(stderr, "expander_host: zlib cannot deflate the input\n");
        return 2;
    }
    deflated.resize(packed);
    printf("input %zu szdd %zu deflate %zu\n", original.size(), sz.size(), deflated.size());

    struct Contender {
        const char *name;
        bool keepsCrc;   // whether the pass's CRC-32 can be checked
        std::vector<double> wall, cpu;
    };
    Contender contenders[] = {
        {"szdd+crc32", true, {}, {}},
        {"inflate", false, {}, {}},
        {"inflate+crc32", true, {}, {}},
        {"memcpy", false, {}, {}},
    };
    int failed = 0;
    for (int round = 0; round < rounds; round++) {
        for (size_t i = 0; i < sizeof contenders / sizeof contenders[0]; i++) {
            Contender &c = contenders[i];
            const double wall0 = Seconds(CLOCK_MONOTONIC), cpu0 = Seconds(CLOCK_THREAD_CPUTIME_ID);
            Produced p = i == 0 ? ExpandOurs(sz) : i == 1 ? Inflate(deflated, false)
                       : i == 2 ? Inflate(deflated, true) : Copy(original);
            const double wall = Seconds(CLOCK_MONOTONIC) - wall0, cpu = Seconds(CLOCK_THREAD_CPUTIME_ID) - cpu0;
            if (!p.ok || p.length != original.size() || (c.keepsCrc && p.crc != wantCrc)) {
                printf("fail %d %s length %llu crc %08x\n", round, c.name, (unsigned long long)p.length,
                       (unsigned)p.crc);
                failed = 1;
                continue;
            }
            c.wall.push_back(wall);
            c.cpu.push_back(cpu);
            printf("round %d %s %.6f %.6f\n", round, c.name, wall, cpu);
        }
    }
    for (const Contender &c : contenders) {
        if (c.wall.empty())
            continue;
        std::vector<double> mbps, mbpsCpu;
        for (size_t i = 0; i < c.wall.size(); i++) {
            mbps.push_back((double)original.size() / c.wall[i] / 1e6);
            if (c.cpu[i] > 0)
                mbpsCpu.push_back((double)original.size() / c.cpu[i] / 1e6);
        }
        printf("median %s %.0f %.0f %.0f %.0f\n", c.name, Median(mbps), mbpsCpu.empty() ? 0.0 : Median(mbpsCpu),
               *std::min_element(mbps.begin(), mbps.end()), *std::max_element(mbps.begin(), mbps.end()));
    }
    return failed;
}
