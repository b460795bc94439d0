// Files for the tools: one bounded whole-file reader, and one way to write an
// output file: under a temporary name beside its target, flushed to disk and
// renamed onto it, so a failure (or a signal) leaves the old file whole.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <signal.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace tk {

// Opens the file at `path` for bounded reads at offsets: a regular file of at
// most `limit` bytes (`limitText` names the limit in the message). Null with
// `*why` set otherwise; `*size` is its length.
FILE *OpenForReading(const std::string &path, uint64_t limit, const char *limitText, uint64_t *size,
                     std::string *why);

// Reads the whole file at `path` into `data`. False with `why` set when it
// cannot be opened or read (the system's reason) or holds more than `limit`
// bytes ("larger than " and `limitText`); reading stops there, so a huge or
// endless file costs no more than the limit.
bool ReadWholeFile(const std::string &path, uint64_t limit, const char *limitText, std::vector<uint8_t> *data,
                   std::string *why);
// The same into a string (for text).
bool ReadWholeFile(const std::string &path, uint64_t limit, const char *limitText, std::string *data,
                   std::string *why);

// The size and SHA-256 (lower-case hex) of the file at `path`, read in
// blocks. False with `why` set (the system's reason) when it cannot be read.
bool FileSha256(const std::string &path, uint64_t *size, std::string *hex, std::string *why);
// The same as bytes.
bool FileDigest(const std::string &path, uint64_t *size, uint8_t sha256[32], std::string *why);

// An anonymous file for scratch bytes, in $TMPDIR (else /tmp): its name is
// gone at once, so it vanishes when closed or when the process ends. Null
// with `why` set when it cannot be made.
FILE *ScratchFile(std::string *why);

// The most bytes one read brought into memory from a file since the last
// reset: ReadWholeFile counts the whole file, FileSource (pe_image.h) each
// read. Readers of large media keep it to a few blocks; tests check that.
uint64_t LargestFileRead();
void ResetLargestFileRead();
void NoteFileRead(uint64_t bytes);

// An output file in the making. Open makes "TARGET.tmp-XXXXXX" in the
// target's folder (mkstemp, then the mode a plain create would give);
// Commit flushes, fsyncs and renames it onto the target. Destroyed or
// discarded without Commit, the temporary file is removed and the target is
// untouched. While open, the temporary name is also removed when the process
// gets SIGINT, SIGTERM or SIGHUP (after InstallTempCleanup).
//
// Errors: the functions return false and `why` gets the system's reason
// (without the path, which the caller names).
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile &) = delete;
    PendingFile &operator=(const PendingFile &) = delete;

    bool Open(const std::string &target, std::string *why);
    bool Write(const void *data, size_t len, std::string *why);
    // A read-write stdio stream over the temporary file (for writers that
    // seek back); owned by this object, valid until Commit or Discard.
    FILE *Stream();
    bool Commit(std::string *why);
    void Discard();

    bool IsOpen() const { return fd_ >= 0; }
    uint64_t Written() const { return written_; }
    const std::string &Target() const { return target_; }
    const std::string &TempPath() const { return temp_; }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    FILE *stream_ = nullptr;
    int slot_ = -1;   // in the signal handler's table
    uint64_t written_ = 0;
};

// Writes `len` bytes to `path` through a PendingFile. False with `why` set
// to a whole message ("PATH: cannot write: REASON", or "PATH: cannot create
// a temporary file beside it: REASON"), the old file untouched.
bool WriteFileAtomic(const std::string &path, const void *data, size_t len, std::string *why);
inline bool WriteFileAtomic(const std::string &path, const std::vector<uint8_t> &data, std::string *why)
{
    return WriteFileAtomic(path, data.data(), data.size(), why);
}
inline bool WriteFileAtomic(const std::string &path, const std::string &data, std::string *why)
{
    return WriteFileAtomic(path, data.data(), data.size(), why);
}

// Holds SIGINT, SIGTERM and SIGHUP back in this thread while it lives (held
// ones stay pending and arrive when the last hold goes). Nests.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

    // The first of SIGINT, SIGTERM and SIGHUP waiting to arrive, or 0.
    static int Pending();

private:
    sigset_t old_;
};

// Removes open PendingFiles' temporary names on SIGINT, SIGTERM and SIGHUP,
// then dies of the signal; SIGXFSZ is ignored so that a write over the file
// size limit fails (and the file is discarded) instead of killing the tool.
// Tools call it once at start.
void InstallTempCleanup();

}  // namespace tk
