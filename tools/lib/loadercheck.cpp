#include "tools/lib/loadercheck.h"
#include "tools/lib/strings.h"

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tk {
namespace {

constexpr uint32_t kMinFileAlignment = 512;
constexpr uint32_t kMaxFileAlignment = 65536;
constexpr uint32_t kPageSize = 4096;
const char *const kDirNames[kPeDirCount] = {
    "export",  "import", "resource", "exception", "certificate", "base relocation", "debug", "architecture",
    "global pointer", "TLS", "load configuration", "bound import", "import address", "delay import", "CLR runtime",
    "reserved"};

bool PowerOfTwo(uint32_t v) { return v && (v & (v - 1)) == 0; }

uint64_t AlignUp(uint64_t v, uint32_t a) { return a ? (v + a - 1) / a * a : v; }

std::string SectionName(const PeSection &s, size_t i)
{
    return "section " + std::to_string(i + 1) + " (" + (s.name.empty() ? std::string("no name") : s.name) + ")";
}

}  // namespace

void CheckLoaderRules(const PeImage &img, Problems *problems)
{
    // The loader takes a 64-bit machine's image only in the PE32+ form and a
    // 32-bit one's only in PE32; other machines it does not run at all.
    const bool knownMachine = PeMachineIs64Bit(img.machine) || img.machine == kPeMachineI386 ||
                              img.machine == kPeMachineArm || img.machine == kPeMachineArmThumb2;
    if (knownMachine && PeMachineIs64Bit(img.machine) != img.pe32plus)
        AddError(problems, "machine " + PeMachineName(img.machine) + " (" + Hex(img.machine) + ") with a " +
                               (img.pe32plus ? "PE32+" : "PE32") + " optional header (magic " + Hex(img.magic) +
                               "): the loader refuses it; link the file again");
    const uint32_t fa = img.fileAlignment, sa = img.sectionAlignment;
    bool alignOk = true;
    if (sa < kPageSize) {
        // Small alignments: the file is mapped as it lies, so both must agree.
        if (fa != sa || !PowerOfTwo(sa)) {
            AddError(problems, "FileAlignment " + Hex(fa) + " and SectionAlignment " + Hex(sa) +
                                   ": below the page size they must be equal powers of two; link the file again");
            alignOk = false;
        }
    } else {
        if (!PowerOfTwo(fa) || fa < kMinFileAlignment || fa > kMaxFileAlignment) {
            AddError(problems, "FileAlignment " + Hex(fa) + " is not a power of two from 0x200 to 0x10000");
            alignOk = false;
        }
        if (!PowerOfTwo(sa) || sa < fa) {
            AddError(problems, "SectionAlignment " + Hex(sa) + " is not a power of two at least FileAlignment " + Hex(fa));
            alignOk = false;
        }
    }
    if (img.sizeOfHeaders > img.fileSize)
        AddError(problems, "SizeOfHeaders " + Hex(img.sizeOfHeaders) + " is past the end of the file (" +
                               Hex(img.fileSize) + ")");
    if (img.sizeOfHeaders > img.sizeOfImage)
        AddError(problems, "SizeOfHeaders " + Hex(img.sizeOfHeaders) + " is larger than SizeOfImage " +
                               Hex(img.sizeOfImage));
    if (alignOk && img.sizeOfHeaders % fa)
        AddWarning(problems, "SizeOfHeaders " + Hex(img.sizeOfHeaders) + " is not a multiple of FileAlignment " + Hex(fa));

    // Sections: adjacent and ascending in memory, raw data inside the file.
    uint64_t expectVa = alignOk ? AlignUp(img.sizeOfHeaders, sa) : 0;
    for (size_t i = 0; i < img.sections.size(); i++) {
        const PeSection &s = img.sections[i];
        const std::string name = SectionName(s, i);
        if (alignOk && s.va != expectVa) {
            AddError(problems, name + " has VirtualAddress " + Hex(s.va) + " where " + Hex(expectVa) +
                                   " follows the previous one; sections must be adjacent in memory");
        }
        if (alignOk)
            expectVa = AlignUp((uint64_t)s.va + SectionSpan(s), sa);
        if (s.rawSize == 0)
            continue;
        if ((uint64_t)s.rawPtr + s.rawSize > img.fileSize)
            AddError(problems, name + " has raw data " + Hex(s.rawPtr) + " + " + Hex(s.rawSize) +
                                   " past the end of the file (" + Hex(img.fileSize) + ")");
        if (s.rawPtr < img.sizeOfHeaders)
            AddError(problems, name + " has PointerToRawData " + Hex(s.rawPtr) + " inside the headers (SizeOfHeaders " +
                                   Hex(img.sizeOfHeaders) + ")");
        if (alignOk && s.rawPtr % fa)
            AddWarning(problems, name + " has PointerToRawData " + Hex(s.rawPtr) + ", not a multiple of FileAlignment " +
                                     Hex(fa));
    }
    if (alignOk && img.sizeOfImage != expectVa) {
        if (img.sizeOfImage < expectVa)
            AddError(problems, "SizeOfImage " + Hex(img.sizeOfImage) + " is smaller than the sections need (" +
                                   Hex(expectVa) + ")");
        else
            AddWarning(problems, "SizeOfImage " + Hex(img.sizeOfImage) + " is larger than the sections need (" +
                                     Hex(expectVa) + ")");
    }
    // Raw data of two sections must not overlap.
    std::vector<size_t> order;
    for (size_t i = 0; i < img.sections.size(); i++)
        if (img.sections[i].rawSize)
            order.push_back(i);
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return img.sections[a].rawPtr < img.sections[b].rawPtr; });
    for (size_t k = 1; k < order.size(); k++) {
        const PeSection &a = img.sections[order[k - 1]], &b = img.sections[order[k]];
        if ((uint64_t)a.rawPtr + a.rawSize > b.rawPtr)
            AddError(problems, SectionName(a, order[k - 1]) + " and " + SectionName(b, order[k]) +
                                   " overlap in the file (raw data at " + Hex(a.rawPtr) + " + " + Hex(a.rawSize) +
                                   " and " + Hex(b.rawPtr) + ")");
    }

    if (img.entryRva == 0) {
        if (!img.dll)
            AddError(problems, "AddressOfEntryPoint is 0 in a program: nothing would run");
    } else {
        const PeSection *s = SectionOfRva(img, img.entryRva);
        if (!s)
            AddError(problems, "AddressOfEntryPoint " + Hex(img.entryRva) + " lies in no section");
        else if (!(s->flags & (kScnCode | kScnExecute)))
            AddError(problems, "AddressOfEntryPoint " + Hex(img.entryRva) + " lies in section " + s->name +
                                   ", which is not executable");
    }

    for (uint32_t d = 0; d < img.dirCount; d++) {
        const PeDataDir &dir = img.dirs[d];
        if (d == kPeDirSecurity || (dir.rva == 0 && dir.size == 0))
            continue;   // the certificate table is a file offset, checked with the signature
        if ((uint64_t)dir.rva + dir.size > img.sizeOfImage)
            AddError(problems, std::string("the ") + kDirNames[d] + " directory (" + Hex(dir.rva) + " + " +
                                   Hex(dir.size) + ") lies past SizeOfImage " + Hex(img.sizeOfImage));
    }
    if (img.importsUnreadable)
        AddError(problems, "the import directory (" + Hex(img.dirs[kPeDirImport].rva) +
                               ") does not lie in the file's sections: the loader cannot read it");
    for (const std::string &name : img.imports)
        if (name == "(a name outside the file)")
            AddError(problems, "an imported library's name lies outside the file's sections");
}

void CheckBootstrapMachine(uint16_t launcherMachine, uint16_t bootstrapMachine, Problems *problems)
{
    if (PeMachineRunsBeside(launcherMachine, bootstrapMachine))
        return;
    char hex[8];
    snprintf(hex, sizeof hex, "%04X", (unsigned)bootstrapMachine);
    std::string text = std::string("the bootstrap is a ") + (PeMachineIs64Bit(bootstrapMachine) ? "64-bit " : "") +
                       "program for " + PeMachineName(bootstrapMachine) + " (machine 0x" + hex + ")";
    if (launcherMachine == kPeMachineI386)
        text += ": the launcher also runs on 32-bit Windows, where it cannot start it; a 32-bit (i386) bootstrap "
                "runs everywhere";
    else
        text += ": the launcher (" + PeMachineName(launcherMachine) + ") runs on Windows for " +
                PeMachineName(launcherMachine) + ", which cannot start it; build the bootstrap for " +
                PeMachineName(launcherMachine) +
                (PeMachineRunsBeside(launcherMachine, kPeMachineI386) ? " or i386" : "");
    AddWarning(problems, text);
}

}  // namespace tk
