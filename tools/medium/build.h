// `medium build`: a medium folder (setup.exe with the three payloads, the
// script, _SETUP.DLL) from the payload-free launcher stub.
#pragma once

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include "base/ids.h"
#include "tools/medium/cli.h"

namespace medium {

// Payloads are split into pieces of this many bytes before compression:
// each piece is an SZDD file of its own that the launcher expands in turn,
// so a piece restarts only the 4 KiB window (a few bytes lost), while the
// tool holds one piece and its compressed form at a time. 4 MiB keeps a
// 100 MB payload at 25 pieces, well inside the 100 ids each payload has.
constexpr uint32_t kPieceSize = 4u << 20;
constexpr uint32_t kMaxPieces = kPayloadIdSpan;   // ids base .. base + 99

// setup.exe is laid out with 4 KiB file alignment when the payloads' stored
// bytes exceed kMappedLayoutAbove, 512 (the stub's own) otherwise. Wine maps
// an image's sections from the file only when they lie on page boundaries;
// at 512 it reads the whole image into private memory.
//
// Measured with tests/bench/bench-startup.sh (Wine 8, 3 runs, load 1.2-1.8):
// the launcher's RssAnon is 3.1 MiB in the 4 KiB layout at every size, and
// 3.1 MiB plus about the size of setup.exe at 512 bytes:
//   payloads  setup.exe  RssAnon 512 / 4 KiB  padding of 4 KiB  NSIS zlib
//     1 MB     0.4 MiB      3.5 / 3.1 MiB           8 KiB        5.8 MiB
//     4 MB     1.5 MiB      4.6 / 3.1 MiB           9 KiB        5.8 MiB
//    16 MB     5.7 MiB      8.8 / 3.1 MiB          12 KiB        5.8 MiB
//   100 MB    41.2 MiB     44.3 / 3.1 MiB           9 KiB        5.8 MiB
// Time to the bootstrap showed no difference between the layouts beyond
// the runs' noise. Above 1 MiB stored the 4 KiB layout saves at least 1 MiB
// of memory for under 1 % of the file; below it the saving is a few hundred
// KiB and the padding a larger share of a small file, so small media keep
// the stub's layout.
constexpr uint32_t kSmallFileAlignment = 512;
constexpr uint32_t kMappedFileAlignment = 4096;
constexpr uint64_t kMappedLayoutAbove = 1u << 20;
// Names an environment variable that replaces kMappedLayoutAbove (a number
// of bytes); for tests and benchmarks, which need both layouts at any size.
constexpr const char *kMappedLayoutAboveVariable = "CORVANE_MEDIUM_MAPPED_ABOVE";

// The payloads' roles, in the order of BuildOptions::payload.
inline constexpr const char *kPayloadNames[3] = {"bootstrap", "engine", "companion"};

struct BuildOptions {
    std::string payload[3];   // bootstrap, engine, companion
    std::string script;
    std::string library;
    std::string outDir;
    std::string stub;         // empty: the installed or built stub
    std::string stubFrom;     // how `stub` was found, for the report ("--stub" when empty)
    std::string level;        // empty: the stub's own
    std::vector<std::pair<std::string, std::string>> versionInfo;
    std::string icon;
    std::string self;         // the tool's own path, to find the stub
    uint32_t pieceSize = 0;   // 0: kPieceSize
    uint32_t readChunk = 0;   // payload bytes read at a time; 0: 1 MiB
    unsigned threads = 0;     // pieces compressed at a time; 0: one per core
    bool progress = false;    // show progress lines on stderr
    uint64_t mappedLayoutAbove = kMappedLayoutAbove;   // stored payload bytes above which setup.exe gets 4 KiB alignment
};

struct PayloadReport {
    uint64_t length = 0;
    uint64_t packed = 0;
    uint32_t pieces = 0;
    uint32_t raw = 0;         // pieces stored unchanged (coding did not pay)
};

struct BuildReport {
    std::string stub;
    std::string stubFrom;      // "--stub", "installed" or "build tree"
    PayloadReport payloads[3];
    uint64_t setupSize = 0;
    uint32_t fileAlignment = 0;   // setup.exe's
    std::string scriptName;
    std::vector<std::string> warnings;
};

// Exit code of `medium build` when the finished medium fails inspect's checks
// (nothing is put in place).
constexpr int kExitChecks = 4;

constexpr uint32_t kMinPieceSize = 4096;

// The piece size for a payload of `length` bytes: `wanted` (kPieceSize when
// 0), or larger so that kMaxPieces pieces hold it; 0 when the payload does
// not fit the launcher's 32-bit sizes.
uint32_t PieceSizeFor(uint64_t length, uint32_t wanted);

// The number of compressing threads for `wanted` (0: one per core).
unsigned ThreadCount(unsigned wanted);

// Finds the stub beside the tool at `self`: the Debian package's
// ../share/corvane/setup-stub.exe, else the win32 build tree's stub.
bool FindStub(const std::string &self, std::string *path, std::string *from);

bool Build(const BuildOptions &options, BuildReport *report, Failure *failure);

}  // namespace medium
