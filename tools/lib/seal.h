// The medium's seal: a record in setup.exe of the files that stand beside it
// (the script and the resource library) and of the payloads it carries, each
// by name, size and SHA-256. `medium build` writes it before signing, so a
// signature over setup.exe vouches for every file of the medium; `medium
// inspect` checks the files against it. The launcher never reads it.
//
// It travels as the resource RT_RCDATA / kSealId. Layout, little-endian
// (docs/seal.md):
//   0  u32 magic 0x4C535643 ('C','V','S','L')
//   4  u16 version, 1
//   6  u16 entry count N, 1 to kSealMaxEntries
//   8  N entries of 72 bytes:
//        0  u16 kind: 1 script, 2 resource library, 3 payload
//        2  u16 name length L, 1 to 28
//        4  28 bytes: the name, L bytes of ASCII, the rest zero
//       32  u64 size in bytes (a payload's: expanded)
//       40  32 bytes: SHA-256 of the file (a payload's: of the expanded bytes)
// The record is exactly 8 + 72 * N bytes. A script is named SETUP.INS or
// INSTALL.INS, the library _SETUP.DLL, a payload by the file the launcher
// expands it into (_INS0366._MP, _INS0466._MP, _INS0166._MP), in any case;
// at most one script and one library, no name twice.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "tools/lib/problem.h"
#include "tools/lib/sha256.h"

namespace tk {

constexpr uint16_t kSealId = 7098;   // resource name; the type is RT_RCDATA
constexpr uint32_t kSealMagic = 0x4C535643;
constexpr uint16_t kSealVersion = 1;
constexpr size_t kSealHeaderSize = 8;
constexpr size_t kSealEntrySize = 72;
constexpr size_t kSealNameBytes = 28;
constexpr size_t kSealMaxEntries = 16;

enum class SealKind : uint16_t { Script = 1, Library = 2, Payload = 3 };

struct SealEntry {
    SealKind kind = SealKind::Script;
    std::string name;
    uint64_t size = 0;
    uint8_t sha256[kSha256Size] = {};
};

struct Seal {
    std::vector<SealEntry> entries;
};

// "script", "library", "payload".
const char *SealKindName(SealKind kind);

// Reads a seal of `size` bytes. False with `why` ("what is wrong") when the
// bytes break any rule above; nothing past `size` is read.
bool ParseSeal(const uint8_t *data, size_t size, Seal *out, std::string *why);

// The record's bytes. False with `why` when an entry breaks a rule (a name
// too long or not one of the medium's, too many entries).
bool SealBytes(const Seal &seal, std::vector<uint8_t> *out, std::string *why);

// Whether `name` (in any case) is one of the files a seal records beside
// setup.exe: a script's or the library's.
bool IsSealedBesideName(const std::string &name);

// The entry named `name` (ignoring case), or null.
const SealEntry *FindSealEntry(const Seal &seal, const std::string &name);

// A file of the medium as found: the name in the folder (empty when there
// is none), its size and digest.
struct FoundFile {
    std::string name;
    bool readable = false;
    std::string why;   // when not readable
    uint64_t size = 0;
    uint8_t sha256[kSha256Size] = {};
};

// Checks what stands beside setup.exe against the seal. `found` holds every
// file of the medium's names the folder has (SETUP.INS, INSTALL.INS,
// _SETUP.DLL, in any case; several of one name where the file system tells
// case apart, each of which must be the sealed file). A sealed file that is missing, changed, renamed or swapped
// with another, and a script or library the seal does not name, is an error
// naming the file and what differs. `file` of each finding is the folder's
// name for it (the folder's own path is the caller's to add).
void CheckSealBeside(const Seal &seal, const std::vector<FoundFile> &found, Problems *problems);

// Checks the payload expanded into `name` (size and digest of the expanded
// bytes) against the seal: an error when the seal has no entry for it or
// the entry differs; one that holds another payload's sealed bytes is named
// as swapped.
void CheckSealPayload(const Seal &seal, const std::string &name, uint64_t size, const uint8_t sha256[kSha256Size],
                      Problems *problems);

}  // namespace tk
