// Reading whole files, bounded; writing them through a temporary name.
#include "tools/lib/fileio.h"

#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include "tools/lib/sha256.h"

namespace tk {

namespace {
std::atomic<uint64_t> g_largestRead{0};
}  // namespace

uint64_t LargestFileRead()
{
    return g_largestRead.load();
}

void ResetLargestFileRead()
{
    g_largestRead.store(0);
}

void NoteFileRead(uint64_t bytes)
{
    uint64_t seen = g_largestRead.load();
    while (bytes > seen && !g_largestRead.compare_exchange_weak(seen, bytes)) {
    }
}

FILE *OpenForReading(const std::string &path, uint64_t limit, const char *limitText, uint64_t *size,
                     std::string *why)
{
    struct stat st;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f || fstat(fileno(f), &st) != 0)
        *why = strerror(errno);
    else if (S_ISDIR(st.st_mode))
        *why = strerror(EISDIR);
    else if ((uint64_t)st.st_size > limit)
        *why = std::string("larger than ") + limitText;
    else {
        *size = (uint64_t)st.st_size;
        return f;
    }
    if (f)
        fclose(f);
    return nullptr;
}

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
    NoteFileRead(data->size());
    return ok;
}

bool ReadWholeFile(const std::string &path, uint64_t limit, const char *limitText, std::string *data,
                   std::string *why)
{
    std::vector<uint8_t> bytes;
    const bool ok = ReadWholeFile(path, limit, limitText, &bytes, why);
    data->assign(bytes.begin(), bytes.end());
    return ok;
}

namespace {

// Temporary names in use, for the signal handler: fixed buffers, since a
// handler may not allocate. A tool has at most a few outputs open at once.
constexpr int kTempSlots = 8;
constexpr size_t kTempPathMax = 4096;
char g_tempPaths[kTempSlots][kTempPathMax];
volatile sig_atomic_t g_tempUsed[kTempSlots];

void RemoveTempsOnSignal(int sig)
{
    for (int i = 0; i < kTempSlots; i++) {
        if (g_tempUsed[i])
            unlink(g_tempPaths[i]);
    }
    signal(sig, SIG_DFL);
    raise(sig);
}

bool WriteAll(int fd, const uint8_t *p, size_t len)
{
    while (len > 0) {
        const ssize_t n = write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        len -= (size_t)n;
    }
    return true;
}

}  // namespace

bool FileDigest(const std::string &path, uint64_t *size, uint8_t sha256[kSha256Size], std::string *why)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) {
        *why = strerror(errno);
        return false;
    }
    Sha256 sha;
    uint64_t total = 0;
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        sha.Update(buf, n);
        total += n;
    }
    const bool readError = ferror(f) != 0;
    *why = readError ? strerror(errno) : "";
    fclose(f);
    if (readError)
        return false;
    if (!sha.Final(sha256)) {
        *why = "cannot compute SHA-256";
        return false;
    }
    *size = total;
    return true;
}

bool FileSha256(const std::string &path, uint64_t *size, std::string *hex, std::string *why)
{
    uint8_t md[kSha256Size];
    if (!FileDigest(path, size, md, why))
        return false;
    *hex = HexBytes(md, sizeof md);
    return true;
}

FILE *ScratchFile(std::string *why)
{
    const char *dir = getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/medium-scratch-XXXXXX";
    const int fd = mkstemp(&path[0]);
    if (fd < 0) {
        *why = path.substr(0, path.size() - 6) + "...: " + strerror(errno);
        return nullptr;
    }
    unlink(path.c_str());
    FILE *f = fdopen(fd, "w+b");
    if (!f) {
        *why = strerror(errno);
        close(fd);
    }
    return f;
}

SignalsHeld::SignalsHeld()
{
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigaddset(&block, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &block, &old_);
}

SignalsHeld::~SignalsHeld()
{
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
}

int SignalsHeld::Pending()
{
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return 0;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigismember(&pending, sig))
            return sig;
    }
    return 0;
}

void InstallTempCleanup()
{
    signal(SIGINT, RemoveTempsOnSignal);
    signal(SIGTERM, RemoveTempsOnSignal);
    signal(SIGHUP, RemoveTempsOnSignal);
    signal(SIGXFSZ, SIG_IGN);
}

PendingFile::~PendingFile()
{
    Discard();
}

bool PendingFile::Open(const std::string &target, std::string *why)
{
    Discard();
    target_ = target;
    temp_ = target + ".tmp-XXXXXX";
    written_ = 0;
    std::vector<char> name(temp_.begin(), temp_.end());
    name.push_back('\0');
    {
        SignalsHeld held;
        fd_ = mkstemp(name.data());
        if (fd_ >= 0 && name.size() <= kTempPathMax) {
            for (int i = 0; i < kTempSlots; i++) {
                if (!g_tempUsed[i]) {
                    memcpy(g_tempPaths[i], name.data(), name.size());
                    g_tempUsed[i] = 1;
                    slot_ = i;
                    break;
                }
            }
        }
    }
    if (fd_ < 0) {
        *why = strerror(errno);
        return false;
    }
    temp_.assign(name.data());
    // mkstemp makes the file private; give it the mode a plain create would.
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd_, 0666 & ~mask) != 0) {
        *why = strerror(errno);
        Discard();
        return false;
    }
    return true;
}

bool PendingFile::Write(const void *data, size_t len, std::string *why)
{
    if (fd_ < 0) {
        *why = strerror(EBADF);
        return false;
    }
    if (stream_ && fflush(stream_) != 0) {
        *why = strerror(errno);
        return false;
    }
    if (!WriteAll(fd_, (const uint8_t *)data, len)) {
        *why = strerror(errno);
        return false;
    }
    written_ += len;
    return true;
}

FILE *PendingFile::Stream()
{
    if (!stream_ && fd_ >= 0)
        stream_ = fdopen(dup(fd_), "w+b");
    return stream_;
}

bool PendingFile::Commit(std::string *why)
{
    if (fd_ < 0) {
        *why = strerror(EBADF);
        return false;
    }
    bool ok = true;
    int saved = 0;
    if (stream_) {
        if (fflush(stream_) != 0 || ferror(stream_)) {
            ok = false;
            saved = errno ? errno : EIO;
        }
        fclose(stream_);
        stream_ = nullptr;
    }
    if (ok && fsync(fd_) != 0) {
        ok = false;
        saved = errno;
    }
    if (close(fd_) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    fd_ = -1;
    if (ok && rename(temp_.c_str(), target_.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        *why = strerror(saved);
        Discard();
        return false;
    }
    SignalsHeld held;
    if (slot_ >= 0)
        g_tempUsed[slot_] = 0;
    slot_ = -1;
    temp_.clear();
    return true;
}

void PendingFile::Discard()
{
    if (stream_) {
        fclose(stream_);
        stream_ = nullptr;
    }
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    SignalsHeld held;
    if (!temp_.empty())
        unlink(temp_.c_str());
    if (slot_ >= 0)
        g_tempUsed[slot_] = 0;
    slot_ = -1;
    temp_.clear();
}

bool WriteFileAtomic(const std::string &path, const void *data, size_t len, std::string *why)
{
    PendingFile out;
    std::string reason;
    if (!out.Open(path, &reason)) {
        *why = path + ": cannot create a temporary file beside it: " + reason;
        return false;
    }
    if (!out.Write(data, len, &reason) || !out.Commit(&reason)) {
        *why = path + ": cannot write: " + reason;
        return false;
    }
    return true;
}

}  // namespace tk
