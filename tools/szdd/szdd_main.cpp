// szdd: compresses files into, and expands them from, the SZDD format that the
// platform's LZ expansion service reads. A host tool for building media.
//
// Exit codes: 0 done, 1 unreadable or bad input, or output not written,
// 2 wrong command line. Output goes to a temporary file beside OUT that is
// renamed over OUT only when complete, so OUT is never left half-written.
// Compression streams: neither file is held in memory whole.
#include "szdd_codec.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

enum { kExitOk = 0, kExitBadInput = 1, kExitUsage = 2 };

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
    "2 wrong command line.\n";

// Inputs at least this long show progress (when stderr is a terminal).
const uint64_t kProgressThreshold = uint64_t(16) << 20;
const size_t kReadChunk = size_t(1) << 20;

// Temporary output being written, for the signal handler to remove; a fixed
// buffer because the handler may not allocate.
char g_tempPath[4096];
volatile sig_atomic_t g_tempActive = 0;

void RemoveTempOnSignal(int sig) {
    if (g_tempActive)
        unlink(g_tempPath);
    signal(sig, SIG_DFL);
    raise(sig);
}

double Now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

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

int WriteAll(int fd, const uint8_t *p, size_t len) {
    while (len > 0) {
        const ssize_t n = write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        p += n;
        len -= size_t(n);
    }
    return 1;
}

// Reads the whole file. On failure returns 0 and errno describes why.
int ReadWholeFile(const char *path, std::vector<uint8_t> &data) {
    data.clear();
    const int fd = open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(size_t(st.st_size));
    std::vector<uint8_t> chunk(kReadChunk);
    int ok = 1;
    for (;;) {
        size_t n = 0;
        if (!ReadSome(fd, chunk.data(), chunk.size(), &n)) {
            ok = 0;
            break;
        }
        if (n == 0)
            break;
        data.insert(data.end(), chunk.data(), chunk.data() + n);
    }
    const int saved = errno;
    close(fd);
    errno = saved;
    return ok;
}

// Output written to a temporary file in OUT's directory, renamed to OUT by
// Commit; destroyed without Commit, it removes the temporary file.
class AtomicOutput {
public:
    // Returns 0 with errno set when the temporary file cannot be made.
    int Open(const char *path) {
        path_ = path;
        const std::string temp = path_ + ".szdd-XXXXXX";
        if (temp.size() >= sizeof g_tempPath) {
            errno = ENAMETOOLONG;
            return 0;
        }
        memcpy(g_tempPath, temp.c_str(), temp.size() + 1);
        // Blocks the handler while the path is being created.
        Block();
        fd_ = mkstemp(g_tempPath);
        if (fd_ >= 0)
            g_tempActive = 1;
        Unblock();
        if (fd_ < 0)
            return 0;
        // mkstemp makes the file 0600; give it the mode a plain create would.
        const mode_t mask = umask(0);
        umask(mask);
        return fchmod(fd_, 0666 & ~mask) == 0;
    }

    int Write(const uint8_t *p, size_t n) {
        if (!WriteAll(fd_, p, n)) {
            errno_ = errno;
            return 0;
        }
        written_ += n;
        return 1;
    }

    // Returns 0 with errno set when the file could not be completed.
    int Commit() {
        int ok = fsync(fd_) == 0;
        int saved = errno;
        if (close(fd_) != 0 && ok) {
            ok = 0;
            saved = errno;
        }
        fd_ = -1;
        if (ok && rename(g_tempPath, path_.c_str()) != 0) {
            ok = 0;
            saved = errno;
        }
        Block();
        if (!ok)
            unlink(g_tempPath);
        g_tempActive = 0;
        Unblock();
        errno = saved;
        return ok;
    }

    ~AtomicOutput() {
        if (fd_ >= 0)
            close(fd_);
        Block();
        if (g_tempActive)
            unlink(g_tempPath);
        g_tempActive = 0;
        Unblock();
    }

    int LastWriteErrno() const { return errno_; }
    uint64_t Written() const { return written_; }

private:
    void Block() {
        sigset_t block;
        sigemptyset(&block);
        sigaddset(&block, SIGINT);
        sigaddset(&block, SIGTERM);
        sigaddset(&block, SIGHUP);
        sigprocmask(SIG_BLOCK, &block, &old_);
    }
    void Unblock() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

    std::string path_;
    int fd_ = -1;
    int errno_ = 0;
    uint64_t written_ = 0;
    sigset_t old_;
};

// Percent done on stderr, for long inputs when a person is watching.
class Progress {
public:
    explicit Progress(uint64_t total)
        : total_(total), on_(total >= kProgressThreshold && isatty(STDERR_FILENO)) {}

    void Update(uint64_t done) {
        if (!on_)
            return;
        const int percent = int(done * 100 / total_);
        if (percent != shown_) {
            shown_ = percent;
            fprintf(stderr, "\rszdd: %3d%%", percent);
        }
    }

    ~Progress() {
        if (on_ && shown_ >= 0)
            fputs("\r          \r", stderr);
    }

private:
    uint64_t total_;
    bool on_;
    int shown_ = -1;
};

void PrintSummary(const char *verb, const char *in, uint64_t inSize, const char *out,
                  uint64_t outSize, double seconds) {
    const uint64_t original = strcmp(verb, "compressed") == 0 ? inSize : outSize;
    const uint64_t packed = original == inSize ? outSize : inSize;
    const double ratio = original ? 100.0 * double(packed) / double(original) : 0.0;
    printf("szdd: %s %s (%llu bytes) into %s (%llu bytes), ratio %.2f%%, %.2f s\n", verb, in,
           (unsigned long long)inSize, out, (unsigned long long)outSize, ratio, seconds);
}

int Compress(const char *inPath, const char *outPath) {
    const double start = Now();
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

    AtomicOutput out;
    if (!out.Open(outPath)) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, strerror(errno));
        close(fd);
        return kExitBadInput;
    }
    szdd::Compressor compressor(total, [&out](const uint8_t *p, size_t n) {
        return out.Write(p, n) != 0;
    });
    Progress progress(total);
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
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, strerror(out.LastWriteErrno()));
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
    if (!out.Commit()) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, strerror(errno));
        return kExitBadInput;
    }
    PrintSummary("compressed", inPath, total, outPath, outSize, Now() - start);
    return kExitOk;
}

struct ExpandSink {
    AtomicOutput *out;
    Progress *progress;
};

int WriteExpanded(void *ctx, const unsigned char *data, uint32_t len) {
    ExpandSink *s = static_cast<ExpandSink *>(ctx);
    if (!s->out->Write(data, len))
        return 0;
    s->progress->Update(s->out->Written());
    return 1;
}

int Expand(const char *inPath, const char *outPath) {
    const double start = Now();
    std::vector<uint8_t> in;
    if (!ReadWholeFile(inPath, in)) {
        fprintf(stderr, "szdd: cannot read '%s': %s\n", inPath, strerror(errno));
        return kExitBadInput;
    }
    if (uint64_t(in.size()) > 0xFFFFFFFFu) {
        fprintf(stderr, "szdd: %s: %s\n", inPath, szdd::ResultText(szdd::Result::TooLarge));
        return kExitBadInput;
    }
    AtomicOutput out;
    if (!out.Open(outPath)) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, strerror(errno));
        return kExitBadInput;
    }
    const uint64_t expected = in.size() >= szdd::kHeaderSize
                                  ? uint64_t(in[szdd::kSizeOffset]) |
                                        uint64_t(in[szdd::kSizeOffset + 1]) << 8 |
                                        uint64_t(in[szdd::kSizeOffset + 2]) << 16 |
                                        uint64_t(in[szdd::kSizeOffset + 3]) << 24
                                  : 0;
    Progress progress(expected);
    ExpandSink sink = {&out, &progress};
    Crc32Table table;
    Crc32Init(&table);
    SzddOutput got;
    const int result = SzddExpand(in.data(), uint32_t(in.size()), &table, 0, WriteExpanded, &sink,
                                  &got);
    if (result == SZDD_SINK_FAILED) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, strerror(out.LastWriteErrno()));
        return kExitBadInput;
    }
    if (result != SZDD_OK) {
        fprintf(stderr, "szdd: %s: %s\n", inPath, szdd::ResultText(szdd::FromSzddResult(result)));
        return kExitBadInput;
    }
    if (!out.Commit()) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, strerror(errno));
        return kExitBadInput;
    }
    PrintSummary("expanded", inPath, in.size(), outPath, got.length, Now() - start);
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

    signal(SIGINT, RemoveTempOnSignal);
    signal(SIGTERM, RemoveTempOnSignal);
    signal(SIGHUP, RemoveTempOnSignal);
    // Over a file size limit, let write fail and the temp file be removed
    // rather than the process be killed with it in place.
    signal(SIGXFSZ, SIG_IGN);
    return compress ? Compress(argv[2], argv[3]) : Expand(argv[2], argv[3]);
}
