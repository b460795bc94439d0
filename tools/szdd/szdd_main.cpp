// szdd: compresses files into, and expands them from, the SZDD format that the
// platform's LZ expansion service reads. A host tool for building media.
//
// Exit codes: 0 done, 1 unreadable or bad input, or output not written,
// 64 wrong command line. Output goes to a temporary file beside OUT that is
// renamed over OUT only when complete, so OUT is never left half-written.
// Compression streams: neither file is held in memory whole.
#include "base/bytes.h"
#include "tools/lib/exitcodes.h"
#include "tools/lib/fileio.h"
#include "tools/lib/report.h"
#include "tools/lib/szdd_codec.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

enum { kExitOk = 0, kExitBadInput = 1, kExitUsage = tk::kExitUsage };

const char kUsage[] =
    "usage: szdd compress IN OUT   compress IN into the SZDD file OUT\n"
    "       szdd expand IN OUT     expand the SZDD file IN into OUT\n"
    "       szdd --help            show this text\n"
    "       szdd --version         show the version\n"
    "\n"
    "SZDD is the format read by LZExpand (LZOpenFile/LZCopy) and EXPAND.EXE.\n"
    "IN must be under 4 GiB (the format's size field is 32 bits). On success one\n"
    "line with the sizes, the ratio and the time goes to stdout.\n"
    "Exit status: 0 done, 1 bad or unreadable input or output not written,\n"
    "64 wrong command line.\n";

// Inputs at least this long show progress (when stderr is a terminal).
const uint64_t kProgressThreshold = uint64_t(16) << 20;
const size_t kReadChunk = size_t(1) << 20;
// The expander reads its input whole; the format's sizes are 32 bits.
const uint64_t kMaxExpandInput = 0xFFFFFFFFu;

int ReadSome(int fd, uint8_t *buf, size_t cap, size_t *got) {
    for (;;) {
        const ssize_t n = read(fd, buf, cap);
        if (n >= 0) {
            *got = size_t(n);
            return 1;
        }
        if (errno != EINTR)
            return 0;
    }
}

void PrintSummary(const char *verb, const char *in, uint64_t inSize, const char *out,
                  uint64_t outSize, double seconds) {
    const uint64_t original = strcmp(verb, "compressed") == 0 ? inSize : outSize;
    const uint64_t packed = original == inSize ? outSize : inSize;
    const double ratio = original ? 100.0 * double(packed) / double(original) : 0.0;
    printf("szdd: %s %s (%llu bytes) into %s (%llu bytes), ratio %.2f%%, %.2f s\n", verb, in,
           (unsigned long long)inSize, out, (unsigned long long)outSize, ratio, seconds);
}

int Compress(const char *inPath, const char *outPath) {
    const double start = tk::MonotonicSeconds();
    const int fd = open(inPath, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        fprintf(stderr, "szdd: cannot read '%s': %s\n", inPath, strerror(errno));
        if (fd >= 0)
            close(fd);
        return kExitBadInput;
    }
    // The header holds the size, so it must be known before the first byte.
    if (!S_ISREG(st.st_mode)) {
        fprintf(stderr, "szdd: '%s' is not a regular file; compress needs its size up front\n",
                inPath);
        close(fd);
        return kExitBadInput;
    }
    const uint64_t total = uint64_t(st.st_size);
    if (total > szdd::kMaxInput) {
        fprintf(stderr, "szdd: %s: %s\n", inPath, szdd::ResultText(szdd::Result::TooLarge));
        close(fd);
        return kExitBadInput;
    }

    tk::PendingFile out;
    std::string why;
    if (!out.Open(outPath, &why)) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, why.c_str());
        close(fd);
        return kExitBadInput;
    }
    szdd::Compressor compressor(total, [&out, &why](const uint8_t *p, size_t n) {
        return out.Write(p, n, &why);
    });
    tk::Progress progress("szdd", total, kProgressThreshold, stderr);
    std::vector<uint8_t> chunk(kReadChunk);
    uint64_t done = 0;
    szdd::Result result = szdd::Result::Ok;
    int readFailed = 0;
    while (result == szdd::Result::Ok) {
        size_t n = 0;
        if (!ReadSome(fd, chunk.data(), chunk.size(), &n)) {
            readFailed = errno;
            break;
        }
        if (n == 0)
            break;
        result = compressor.Write(chunk.data(), n);
        done += n;
        progress.Update(done);
    }
    close(fd);
    if (readFailed) {
        fprintf(stderr, "szdd: cannot read '%s': %s\n", inPath, strerror(readFailed));
        return kExitBadInput;
    }
    if (result == szdd::Result::Ok)
        result = compressor.Finish();
    if (result == szdd::Result::SinkFailed) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, why.c_str());
        return kExitBadInput;
    }
    if (result == szdd::Result::LengthMismatch) {
        fprintf(stderr, "szdd: '%s' changed size while being read\n", inPath);
        return kExitBadInput;
    }
    if (result != szdd::Result::Ok) {
        fprintf(stderr, "szdd: %s: %s\n", inPath, szdd::ResultText(result));
        return kExitBadInput;
    }
    const uint64_t outSize = out.Written();
    if (!out.Commit(&why)) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, why.c_str());
        return kExitBadInput;
    }
    PrintSummary("compressed", inPath, total, outPath, outSize, tk::MonotonicSeconds() - start);
    return kExitOk;
}

struct ExpandSink {
    tk::PendingFile *out;
    tk::Progress *progress;
    std::string why;
};

int WriteExpanded(void *ctx, const unsigned char *data, uint32_t len) {
    ExpandSink *s = static_cast<ExpandSink *>(ctx);
    if (!s->out->Write(data, len, &s->why))
        return 0;
    s->progress->Update(s->out->Written());
    return 1;
}

int Expand(const char *inPath, const char *outPath) {
    const double start = tk::MonotonicSeconds();
    std::vector<uint8_t> in;
    std::string why;
    if (!tk::ReadWholeFile(inPath, kMaxExpandInput, "4 GiB", &in, &why)) {
        if (why == "larger than 4 GiB")
            fprintf(stderr, "szdd: %s: %s\n", inPath, szdd::ResultText(szdd::Result::TooLarge));
        else
            fprintf(stderr, "szdd: cannot read '%s': %s\n", inPath, why.c_str());
        return kExitBadInput;
    }
    tk::PendingFile out;
    if (!out.Open(outPath, &why)) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, why.c_str());
        return kExitBadInput;
    }
    const uint64_t expected = in.size() >= szdd::kHeaderSize ? GetUi32(&in[szdd::kSizeOffset]) : 0;
    tk::Progress progress("szdd", expected, kProgressThreshold, stderr);
    ExpandSink sink = {&out, &progress, std::string()};
    Crc32Table table;
    Crc32Init(&table);
    SzddOutput got;
    const int result = SzddExpand(in.data(), uint32_t(in.size()), &table, 0, WriteExpanded, &sink,
                                  &got);
    if (result == SZDD_SINK_FAILED) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, sink.why.c_str());
        return kExitBadInput;
    }
    if (result != SZDD_OK) {
        fprintf(stderr, "szdd: %s: %s\n", inPath, szdd::ResultText(szdd::FromSzddResult(result)));
        return kExitBadInput;
    }
    if (!out.Commit(&why)) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, why.c_str());
        return kExitBadInput;
    }
    PrintSummary("expanded", inPath, in.size(), outPath, got.length, tk::MonotonicSeconds() - start);
    return kExitOk;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    if (argc == 2 && strcmp(argv[1], "--version") == 0) {
        printf("szdd %s\n", CORVANE_VERSION);
        return kExitOk;
    }
    if (argc < 2) {
        fputs(kUsage, stderr);
        return kExitUsage;
    }
    const bool compress = strcmp(argv[1], "compress") == 0;
    if (!compress && strcmp(argv[1], "expand") != 0) {
        fprintf(stderr, "szdd: unknown %s '%s' (try szdd --help)\n",
                argv[1][0] == '-' ? "option" : "command", argv[1]);
        return kExitUsage;
    }
    if (argc != 4) {
        fprintf(stderr, "szdd: %s takes IN and OUT\n%s", argv[1], kUsage);
        return kExitUsage;
    }

    tk::InstallTempCleanup();
    return compress ? Compress(argv[2], argv[3]) : Expand(argv[2], argv[3]);
}
