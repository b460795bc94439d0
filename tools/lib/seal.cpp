// The medium's seal: its bytes, and the files of a medium checked against it.
#include "tools/lib/seal.h"

#include <string.h>
#include <strings.h>

#include <utility>

#include "base/bytes.h"
#include "base/ids.h"
#include "tools/lib/bytesink.h"

namespace tk {
namespace {

const char *const kScriptNames[] = {"SETUP.INS", "INSTALL.INS"};
const char *const kLibraryName = "_SETUP.DLL";
const char *const kPayloadFiles[] = {BOOTSTRAP_FILE, ENGINE_FILE, COMPANION_FILE};

bool SameName(const std::string &a, const char *b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

// Whether `name` is one a seal may hold for `kind`.
bool NameFitsKind(SealKind kind, const std::string &name)
{
    switch (kind) {
    case SealKind::Script:
        return SameName(name, kScriptNames[0]) || SameName(name, kScriptNames[1]);
    case SealKind::Library:
        return SameName(name, kLibraryName);
    case SealKind::Payload:
        for (const char *p : kPayloadFiles)
            if (SameName(name, p))
                return true;
        return false;
    }
    return false;
}

// Entries that break no rule of their own still may not repeat a name or
// hold two scripts or two libraries.
bool CheckEntries(const std::vector<SealEntry> &entries, std::string *why)
{
    if (entries.empty() || entries.size() > kSealMaxEntries) {
        *why = "it holds " + std::to_string(entries.size()) + " entries (1 to " + std::to_string(kSealMaxEntries) +
               " allowed)";
        return false;
    }
    int scripts = 0, libraries = 0;
    for (size_t i = 0; i < entries.size(); i++) {
        const SealEntry &e = entries[i];
        if (e.kind != SealKind::Script && e.kind != SealKind::Library && e.kind != SealKind::Payload) {
            *why = "entry " + std::to_string(i + 1) + " is of unknown kind " + std::to_string((unsigned)e.kind);
            return false;
        }
        if (e.name.empty() || e.name.size() > kSealNameBytes || !NameFitsKind(e.kind, e.name)) {
            *why = "entry " + std::to_string(i + 1) + " names no file of the medium for a " + SealKindName(e.kind);
            return false;
        }
        scripts += e.kind == SealKind::Script;
        libraries += e.kind == SealKind::Library;
        for (size_t j = 0; j < i; j++) {
            if (strcasecmp(entries[j].name.c_str(), e.name.c_str()) == 0) {
                *why = "it names " + e.name + " twice";
                return false;
            }
        }
    }
    if (scripts > 1 || libraries > 1) {
        *why = scripts > 1 ? "it names two scripts" : "it names two libraries";
        return false;
    }
    return true;
}

std::string Described(uint64_t size, const uint8_t *sha)
{
    return std::to_string(size) + " bytes, SHA-256 " + HexBytes(sha, kSha256Size);
}

bool SameBytes(const SealEntry &e, uint64_t size, const uint8_t *sha)
{
    return e.size == size && memcmp(e.sha256, sha, kSha256Size) == 0;
}

const char kRebuild[] = "build (and sign) the medium again, or copy the medium's files from where it was built";

}  // namespace

const char *SealKindName(SealKind kind)
{
    switch (kind) {
    case SealKind::Script:
        return "script";
    case SealKind::Library:
        return "library";
    case SealKind::Payload:
        return "payload";
    }
    return "entry";
}

bool ParseSeal(const uint8_t *data, size_t size, Seal *out, std::string *why)
{
    out->entries.clear();
    if (size < kSealHeaderSize) {
        *why = "it is " + std::to_string(size) + " bytes, shorter than its header";
        return false;
    }
    if (GetUi32(data) != kSealMagic) {
        *why = "it does not begin with the seal's signature";
        return false;
    }
    if (GetUi16(data + 4) != kSealVersion) {
        *why = "its version is " + std::to_string(GetUi16(data + 4)) + "; this tool reads version " +
               std::to_string(kSealVersion);
        return false;
    }
    const size_t count = GetUi16(data + 6);
    if (count == 0 || count > kSealMaxEntries) {
        *why = "it claims " + std::to_string(count) + " entries (1 to " + std::to_string(kSealMaxEntries) +
               " allowed)";
        return false;
    }
    if (size != kSealHeaderSize + count * kSealEntrySize) {
        *why = "it is " + std::to_string(size) + " bytes; " + std::to_string(count) + " entries take " +
               std::to_string(kSealHeaderSize + count * kSealEntrySize);
        return false;
    }
    std::vector<SealEntry> entries;   // given out only when all of them hold
    for (size_t i = 0; i < count; i++) {
        const uint8_t *e = data + kSealHeaderSize + i * kSealEntrySize;
        SealEntry entry;
        entry.kind = (SealKind)GetUi16(e);
        const size_t length = GetUi16(e + 2);
        const uint8_t *name = e + 4;
        if (length == 0 || length > kSealNameBytes) {
            *why = "entry " + std::to_string(i + 1) + " has a name of " + std::to_string(length) + " bytes";
            return false;
        }
        for (size_t k = 0; k < kSealNameBytes; k++) {
            const bool inName = k < length;
            if (inName ? (name[k] <= 0x20 || name[k] >= 0x7F) : name[k] != 0) {
                *why = "entry " + std::to_string(i + 1) + "'s name holds a byte it may not";
                return false;
            }
        }
        entry.name.assign((const char *)name, length);
        entry.size = (uint64_t)GetUi32(e + 32) | (uint64_t)GetUi32(e + 36) << 32;
        memcpy(entry.sha256, e + 40, kSha256Size);
        entries.push_back(entry);
    }
    if (!CheckEntries(entries, why))
        return false;
    out->entries = std::move(entries);
    return true;
}

bool SealBytes(const Seal &seal, std::vector<uint8_t> *out, std::string *why)
{
    out->clear();
    if (!CheckEntries(seal.entries, why))
        return false;
    ByteSink sink(out);
    sink.U32(kSealMagic);
    sink.U16(kSealVersion);
    sink.U16((uint32_t)seal.entries.size());
    for (const SealEntry &e : seal.entries) {
        sink.U16((uint32_t)e.kind);
        sink.U16((uint32_t)e.name.size());
        uint8_t name[kSealNameBytes] = {};
        memcpy(name, e.name.data(), e.name.size());
        sink.Bytes(name, sizeof name);
        sink.U64(e.size);
        sink.Bytes(e.sha256, kSha256Size);
    }
    return true;
}

bool IsSealedBesideName(const std::string &name)
{
    return NameFitsKind(SealKind::Script, name) || NameFitsKind(SealKind::Library, name);
}

const SealEntry *FindSealEntry(const Seal &seal, const std::string &name)
{
    for (const SealEntry &e : seal.entries)
        if (strcasecmp(e.name.c_str(), name.c_str()) == 0)
            return &e;
    return nullptr;
}

void CheckSealBeside(const Seal &seal, const std::vector<FoundFile> &found, Problems *problems)
{
    std::vector<bool> explained(found.size(), false);
    auto error = [&](const std::string &file, const std::string &text) {
        AddProblem(problems, Severity::Error, file, text);
    };
    for (const SealEntry &e : seal.entries) {
        if (e.kind == SealKind::Payload)
            continue;
        // Every file of the sealed name: a folder on a file system that
        // tells case apart may hold more than one, and Windows could take
        // any of them.
        bool present = false;
        for (size_t i = 0; i < found.size(); i++) {
            const FoundFile &same = found[i];
            if (strcasecmp(same.name.c_str(), e.name.c_str()) != 0)
                continue;
            present = true;
            explained[i] = true;
            if (!same.readable) {
                error(same.name, "cannot be read to check it against the seal in setup.exe (" + same.why + ")");
                continue;
            }
            if (SameBytes(e, same.size, same.sha256))
                continue;
            // Another sealed file's bytes under this name: the two were swapped.
            const SealEntry *other = nullptr;
            for (const SealEntry &o : seal.entries)
                if (&o != &e && SameBytes(o, same.size, same.sha256))
                    other = &o;
            if (other)
                error(same.name, "holds the bytes the seal in setup.exe records for " + other->name +
                                     ": the files were swapped; " + kRebuild);
            else
                error(same.name, "differs from the seal in setup.exe: " + Described(same.size, same.sha256) +
                                     ", sealed " + Described(e.size, e.sha256) +
                                     ": it was changed after the medium was built; " + kRebuild);
        }
        if (present)
            continue;
        // Missing under its name: renamed when another file of the medium
        // holds its bytes.
        bool renamed = false;
        for (size_t i = 0; i < found.size() && !renamed; i++) {
            const FoundFile &f = found[i];
            if (f.readable && !FindSealEntry(seal, f.name) && SameBytes(e, f.size, f.sha256)) {
                error(f.name, "the seal in setup.exe names this " + std::string(SealKindName(e.kind)) + " " +
                                  e.name + ": it was renamed; give it back its name, or " + kRebuild);
                explained[i] = true;
                renamed = true;
            }
        }
        if (!renamed)
            error(e.name, "missing: the seal in setup.exe records it (" + Described(e.size, e.sha256) + "); " +
                              kRebuild);
    }
    for (size_t i = 0; i < found.size(); i++) {
        if (explained[i])
            continue;
        error(found[i].name, "is not in the seal in setup.exe: it was added after the medium was built, and the "
                             "launcher would use it; remove it or " + std::string(kRebuild));
    }
}

void CheckSealPayload(const Seal &seal, const std::string &name, uint64_t size, const uint8_t sha256[kSha256Size],
                      Problems *problems)
{
    const SealEntry *e = FindSealEntry(seal, name);
    if (e && SameBytes(*e, size, sha256))
        return;
    for (const SealEntry &o : seal.entries) {
        if (o.kind == SealKind::Payload && &o != e && SameBytes(o, size, sha256)) {
            AddError(problems, "holds the bytes the seal records for " + o.name + ": the payloads were swapped; " +
                                   kRebuild);
            return;
        }
    }
    if (!e)
        AddError(problems, "the seal has no entry for it, so nothing vouches for it; " + std::string(kRebuild));
    else
        AddError(problems, "differs from the seal: expands to " + Described(size, sha256) + ", sealed " +
                               Described(e->size, e->sha256) + "; " + kRebuild);
}

}  // namespace tk
