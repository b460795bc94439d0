// szdd: compresses files into, and expands them from, the SZDD format that the
// platform's LZ expansion service reads. A host tool for building media.
//
// Exit codes: 0 done, 1 unreadable or bad input, or output not written,
// 2 wrong command line. Output goes to a temporary file beside OUT that is
// renamed over OUT only when complete, so OUT is never left half-written.
#include "szdd_codec.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

enum { kExitOk = 0, kExitBadInput = 1, kExitUsage = 2 };

const char kUsage[] =
    "usage: szdd compress IN OUT   compress IN into the SZDD file OUT\n"
    "       szdd expand IN OUT     expand the SZDD file IN into OUT\n"
    "       szdd --help            show this text\n"
    "\n"
    "SZDD is the format read by LZExpand (LZOpenFile/LZCopy) and EXPAND.EXE.\n"
    "Exit status: 0 done, 1 bad or unreadable input or output not written,\n"
    "2 wrong command line.\n";

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

// Reads the whole file. On failure returns 0 and errno describes why.
int ReadWholeFile(const char *path, std::vector<uint8_t> &data) {
    data.clear();
    const int fd = open(path, O_RDONLY);
    if (fd < 0)
        return 0;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        data.reserve(size_t(st.st_size));
    uint8_t chunk[1 << 16];
    int ok = 1;
    for (;;) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = 0;
            break;
        }
        data.insert(data.end(), chunk, chunk + n);
    }
    const int saved = errno;
    close(fd);
    errno = saved;
    return ok;
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

// Writes `data` to a temporary file in OUT's directory and renames it to
// `path`; on any failure removes the temporary file and returns 0 with
// errno set.
int WriteFileAtomically(const char *path, const std::vector<uint8_t> &data) {
    const std::string temp = std::string(path) + ".szdd-XXXXXX";
    if (temp.size() >= sizeof g_tempPath) {
        errno = ENAMETOOLONG;
        return 0;
    }
    memcpy(g_tempPath, temp.c_str(), temp.size() + 1);

    // Blocks the handler while the path is being created and published.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGHUP);
    sigprocmask(SIG_BLOCK, &block, &old);
    const int fd = mkstemp(g_tempPath);
    if (fd >= 0)
        g_tempActive = 1;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (fd < 0)
        return 0;

    // mkstemp makes the file 0600; give it the mode a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    int ok = fchmod(fd, 0666 & ~mask) == 0 &&
             WriteAll(fd, data.empty() ? nullptr : &data[0], data.size()) &&
             fsync(fd) == 0;
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = 0;
        saved = errno;
    }
    if (ok && rename(g_tempPath, path) != 0) {
        ok = 0;
        saved = errno;
    }

    sigprocmask(SIG_BLOCK, &block, &old);
    if (!ok)
        unlink(g_tempPath);
    g_tempActive = 0;
    sigprocmask(SIG_SETMASK, &old, nullptr);
    errno = saved;
    return ok;
}

int Run(bool compress, const char *inPath, const char *outPath) {
    std::vector<uint8_t> in;
    if (!ReadWholeFile(inPath, in)) {
        fprintf(stderr, "szdd: cannot read '%s': %s\n", inPath, strerror(errno));
        return kExitBadInput;
    }
    std::vector<uint8_t> out;
    const uint8_t *data = in.empty() ? nullptr : &in[0];
    const szdd::Result result =
        compress ? szdd::Compress(data, in.size(), out) : szdd::Expand(data, in.size(), out);
    if (result != szdd::Result::Ok) {
        fprintf(stderr, "szdd: %s: %s\n", inPath, szdd::ResultText(result));
        return kExitBadInput;
    }
    if (!WriteFileAtomically(outPath, out)) {
        fprintf(stderr, "szdd: cannot write '%s': %s\n", outPath, strerror(errno));
        return kExitBadInput;
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
        fputs(kUsage, stdout);
        return kExitOk;
    }
    if (argc < 2) {
        fputs(kUsage, stderr);
        return kExitUsage;
    }
    const bool compress = strcmp(argv[1], "compress") == 0;
    if (!compress && strcmp(argv[1], "expand") != 0) {
        fprintf(stderr, "szdd: unknown command '%s'\n%s", argv[1], kUsage);
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
    return Run(compress, argv[2], argv[3]);
}
