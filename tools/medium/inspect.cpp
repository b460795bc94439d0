// `medium inspect`: launchers, libraries and medium folders, their reports
// for people and for scripts.
#include "tools/medium/inspect.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>

#include "base/ids.h"
#include "tools/medium/extract.h"
#include "tools/lib/fileio.h"
#include "tools/lib/loadercheck.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/problem.h"
#include "tools/lib/seal.h"
#include "tools/lib/sha256.h"
#include "tools/medium/resedit.h"
#include "tools/lib/strings.h"

namespace medium {


namespace {

// Largest file inspect reads whole: past the launcher's 32-bit sizes.
constexpr uint64_t kMaxInputBytes = 0xFFFFFFFFull;

using tk::AddProblem;

std::string Hex32(uint32_t v)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%08X", (unsigned)v);
    return buf;
}

using tk::BaseName;

// A name in `dir` equal to `name` ignoring case, as the platform finds it.
std::string FindInFolder(const std::string &dir, const char *name)
{
    std::string found;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return found;
    while (struct dirent *e = readdir(d)) {
        if (strcasecmp(e->d_name, name) == 0) {
            found = e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}





// An image read once: its headers and its resources, for every check.
struct ReadImage {
    bool parsed = false;
    bool resourcesRead = false;
    std::string err;
    PeImage pe;
    ResList res;
};

// Reads the headers and the resource tree through `src`; with `inFile`, the
// payload pieces stay in the file and are read one at a time when checked.
ReadImage Read(const ByteSource &src, uint64_t size, const ResInFile *inFile)
{
    ReadImage r;
    r.parsed = ParsePeImage(src, size, &r.pe, &r.err);
    r.resourcesRead = r.parsed && ReadResources(src, r.pe, inFile, &r.res, &r.err);
    return r;
}

// The bootstrap's machine, from its headers (the first bytes of its
// payload), against the launcher's: the finding `medium build` gives too.
// A bootstrap that is no PE image is left alone here.
void BootstrapMachine(const ResList &res, const PeImage &launcher, const std::string &where, const std::string &file,
                      ReportNode *payload, std::vector<Finding> *findings)
{
    std::vector<uint8_t> head;
    PayloadHead(res, 0, kMaxHeaderBytes, &head);
    PeImage boot;
    std::string err;
    if (!ParsePeImage(head.data(), head.size(), &boot, &err))
        return;
    payload->Text("machine", PeMachineName(boot.machine));
    Problems problems;
    CheckBootstrapMachine(launcher.machine, boot.machine, &problems);
    for (const Finding &p : problems)
        AddProblem(findings, p.severity, file, where + p.text, kPayloads[0].baseId);
}

// The seal as setup.exe carries it.
struct SealRead {
    enum State { kNone, kDamaged, kRead } state = kNone;
    Seal seal;
};

void ReadSealOf(const ResList &res, const std::string &file, ReportNode *facts, SealRead *out,
                std::vector<Finding> *findings)
{
    const size_t from = findings->size();
    ReportNode &node = facts->Object("seal");
    const ResEntry *entry = nullptr;
    size_t count = 0;
    for (const ResEntry &e : res) {
        if (!e.type.named && e.type.id == kRtRcData && !e.name.named && e.name.id == kSealId) {
            entry = entry ? entry : &e;
            count++;
        }
    }
    std::string why;
    if (!entry) {
        node.Text("state", "not sealed");
        AddProblem(findings, Severity::Warning, file,
                   "not sealed: nothing in setup.exe records the script and the library beside it, so its signature "
                   "vouches for setup.exe alone; build the medium with medium build, which seals it");
    } else if (count > 1) {
        node.Text("state", "damaged");
        out->state = SealRead::kDamaged;
        AddProblem(findings, Severity::Error, file,
                   "it carries " + std::to_string(count) + " seals (resource 10/" + std::to_string(kSealId) +
                       "), where a medium has one; build the medium again");
    } else if (!ParseSeal(entry->data.data(), entry->data.size(), &out->seal, &why)) {
        node.Text("state", "damaged");
        out->state = SealRead::kDamaged;
        AddProblem(findings, Severity::Error, file,
                   "the seal (resource 10/" + std::to_string(kSealId) + ") is damaged: " + why +
                       "; build the medium again");
    } else {
        node.Text("state", "sealed");
        out->state = SealRead::kRead;
        ReportNode &files = node.List("files");
        for (const SealEntry &e : out->seal.entries) {
            ReportNode &n = files.Object("");
            n.Text("kind", SealKindName(e.kind));
            n.Text("name", e.name);
            n.Number("size", e.size);
            n.Text("sha256", HexBytes(e.sha256, kSha256Size));
        }
    }
    tk::SetCodes(findings, from, "seal");
}

// A payload's expanded bytes on their way through CheckPayload: digested
// for the seal and, when they are a signed program, kept in a scratch file so
// that the signature can be checked as setup.exe's is. The headers (the
// first kMaxHeaderBytes) are held until they tell whether it is one; an
// unsigned program or data is never written out.
struct PayloadBytes {
    Sha256 sha;
    uint64_t length = 0;
    std::vector<uint8_t> head;
    bool decided = false;
    bool program = false;     // its headers parse as a PE image
    bool signedImage = false; // and it has a certificate table
    FILE *spool = nullptr;
    std::string spoolWhy;     // why a signed program has no scratch copy
    ~PayloadBytes()
    {
        if (spool)
            fclose(spool);
    }
    void Spool(const uint8_t *data, size_t len)
    {
        if (spool && len > 0 && fwrite(data, 1, len, spool) != len) {
            spoolWhy = Errno();
            fclose(spool);
            spool = nullptr;
        }
    }
    void Decide()
    {
        decided = true;
        PeImage pe;
        std::string err;
        program = head.size() >= 2 && head[0] == 'M' && head[1] == 'Z' &&
                  ParsePeImage(head.data(), head.size(), &pe, &err);
        signedImage = program && pe.dirs[kPeDirSecurity].size != 0;
        if (signedImage) {
            spool = ScratchFile(&spoolWhy);
            Spool(head.data(), head.size());
        }
        std::vector<uint8_t>().swap(head);
    }
    bool Take(const uint8_t *data, uint32_t len)
    {
        sha.Update(data, len);
        length += len;
        if (decided) {
            Spool(data, len);
            return true;
        }
        const size_t taken = std::min<size_t>(len, kMaxHeaderBytes - head.size());
        head.insert(head.end(), data, data + taken);
        // Data, not a program, is known from its first two bytes, however
        // the expansion hands them over.
        const bool notProgram = head.size() >= 2 && !(head[0] == 'M' && head[1] == 'Z');
        if (head.size() == kMaxHeaderBytes || notProgram) {
            Decide();
            Spool(data + taken, len - taken);
        }
        return true;
    }
    // After the last bytes: a payload shorter than the headers' limit.
    void Finish()
    {
        if (!decided)
            Decide();
    }
};

// The signature of a payload that is a program: "signed: no" from its
// headers alone, else checked on its scratch copy.
void PayloadSignature(PayloadBytes *bytes, const ImageCheckOptions &opt, const std::string &where,
                      const std::string &file, uint16_t id, ReportNode *payload, std::vector<Finding> *findings)
{
    if (!bytes->signedImage) {
        payload->Text("signed", "no");
        return;
    }
    const size_t from = findings->size();
    if (!bytes->spool || fflush(bytes->spool) != 0) {
        payload->Text("signed", "not checked");
        AddProblem(findings, Severity::Error, file,
                   where + "its signature cannot be checked: no room for a scratch copy of its bytes (" +
                       (bytes->spool ? Errno() : bytes->spoolWhy) + "); set TMPDIR to a folder with room",
                   id);
        tk::SetCodes(findings, from, "inspect");
        return;
    }
    const ByteSource src = FileSource(bytes->spool);
    PeImage pe;
    std::string err;
    if (!ParsePeImage(src, bytes->length, &pe, &err)) {
        payload->Text("signed", "not verified");
        AddProblem(findings, Severity::Error, file, where + "a signed program whose image cannot be read: " + err, id);
        tk::SetCodes(findings, from, "payload-signature");
        return;
    }
    Problems problems;
    CheckSignature(src, pe, opt, payload, &problems);
    for (const Finding &p : problems)
        AddProblem(findings, p.severity, file, where + p.text, id);
    tk::SetCodes(findings, from, "payload-signature");
}

void LauncherReport(const ByteSource &src, const ReadImage &read, const std::string &file,
                    Inspection *out, const std::string *countOverride, const ImageCheckOptions &opt,
                    SealRead *sealOut = nullptr)
{
    out->kind = "launcher";
    if (!read.parsed) {
        AddProblem(&out->findings, Severity::Error, file, read.err + "; give the medium's setup.exe");
        return;
    }
    if (!read.resourcesRead) {
        AddProblem(&out->findings, Severity::Error, file,
            "its resources cannot be read (" + read.err + "): the launcher cannot start; build it again");
        return;
    }
    const PeImage &pe = read.pe;
    const ResList &res = read.res;
    ReportNode &f = out->facts;
    f.Text("machine", PeMachineName(pe.machine));
    f.Number("size", pe.fileSize);
    const uint64_t resourceBytes = ResourceSectionBytes(pe);
    f.Number("sizeWithoutResources", pe.fileSize - std::min<uint64_t>(resourceBytes, pe.fileSize));
    f.Number("resourceBytes", resourceBytes);

    SealRead sealLocal;
    SealRead &seal = sealOut ? *sealOut : sealLocal;
    ReadSealOf(res, file, &f, &seal, &out->findings);
    if (seal.state == SealRead::kRead && !sealOut)
        f.Object("seal").Text("beside", "not checked: inspect the medium's folder to check the files beside setup.exe");

    ReportNode &payloads = f.List("payloads");
    for (int i = 0; i < kPayloadCount; i++) {
        PayloadCheck check;
        PayloadBytes bytes;
        // Its bytes in order are wanted for the seal (the digest) and when it
        // is a program (its signature); otherwise, in a medium without a
        // seal, its pieces are checked on every core.
        std::vector<uint8_t> magic;
        PayloadHead(res, i, 2, &magic);
        const bool inOrder =
            seal.state == SealRead::kRead || (magic.size() == 2 && magic[0] == 'M' && magic[1] == 'Z');
        CheckPayload(res, i,
                     inOrder ? PayloadSink([&bytes](const uint8_t *d, uint32_t n) { return bytes.Take(d, n); })
                             : PayloadSink(),
                     &check, countOverride && !countOverride[i].empty() ? &countOverride[i] : nullptr);
        ReportNode &p = payloads.Object("");
        p.Number("id", kPayloads[i].baseId);
        p.Text("role", kPayloads[i].role);
        p.Text("file", kPayloads[i].file);
        p.Number("pieces", check.pieces > 0 ? (uint64_t)check.pieces : 0);
        p.Number("packed", check.packed);
        p.Number("rawPieces", check.stored);
        // Per piece in order, one word each: "raw" (copied as it is) or
        // "coded" (SZDD); a text keeps the payload's line flat.
        std::string storage;
        for (bool raw : check.pieceStored)
            storage += std::string(storage.empty() ? "" : " ") + (raw ? "raw" : "coded");
        p.Text("storage", storage);
        p.Number("expanded", check.length);
        p.Text("crc32", Hex32(check.crc));
        p.Flag("whole", check.whole);
        p.Text("record", check.record == PAYLOAD_RECORD_FOUND       ? "matches"
                         : check.record == kRecordNone                ? "none"
                         : check.record == PAYLOAD_RECORD_ABSENT      ? "no entry"
                                                                      : "damaged");
        if (check.record == PAYLOAD_RECORD_FOUND && !check.matches)
            p.items.back().value = "differs";
        const std::string where = "payload " + std::to_string(kPayloads[i].baseId) + " (" + kPayloads[i].role + ", " +
                                  kPayloads[i].file + "): ";
        const size_t from = out->findings.size();
        for (const std::string &e : check.errors)
            AddProblem(&out->findings, Severity::Error, file, where + e, kPayloads[i].baseId);
        for (const std::string &w : check.warnings)
            AddProblem(&out->findings, Severity::Warning, file, where + w, kPayloads[i].baseId);
        tk::SetCodes(&out->findings, from, "payload");
        if (i == 0) {
            BootstrapMachine(res, pe, where, file, &p, &out->findings);
            tk::SetCodes(&out->findings, from, "bootstrap-machine");
        }
        bytes.Finish();
        if (check.whole && bytes.program)
            PayloadSignature(&bytes, opt, where, file, kPayloads[i].baseId, &p, &out->findings);
        if (check.whole && seal.state == SealRead::kRead) {
            uint8_t digest[kSha256Size];
            const size_t sealFrom = out->findings.size();
            Problems problems;
            if (bytes.sha.Final(digest))
                CheckSealPayload(seal.seal, kPayloads[i].file, check.length, digest, &problems);
            else
                AddError(&problems, "its SHA-256 cannot be computed (out of memory)");
            for (const Finding &pr : problems)
                AddProblem(&out->findings, pr.severity, file, where + pr.text, kPayloads[i].baseId);
            tk::SetCodes(&out->findings, sealFrom, "seal");
        }
    }

    CheckImage(src, pe, res, opt, file, &f, &out->findings);
    // Roots given ask for a signed launcher: one without a signature may
    // have had it removed, and with it what vouched for the seal.
    if (!opt.caFile.empty() && pe.dirs[kPeDirSecurity].size == 0) {
        AddProblem(&out->findings, Severity::Error, file,
                   "not signed, though --ca asks for a signer that chains to " + opt.caFile +
                       ": a signature removed takes with it what vouched for the medium; sign setup.exe "
                       "(medium build with [sign])");
        out->findings.back().code = "signature";
    }
    ReportNode &imports = f.List("imports");
    for (const std::string &name : pe.imports)
        imports.Text("", name);
    if (pe.dll) {
        AddProblem(&out->findings, Severity::Warning, file, "the file is a DLL, not a program; give the medium's setup.exe");
        out->findings.back().code = "not-a-program";
    }
}

void LibraryReport(const ByteSource &src, const ReadImage &read, const std::string &file,
                   Inspection *out, LibraryView *view, const ImageCheckOptions &opt)
{
    out->kind = "library";
    *view = LibraryView();
    if (!read.parsed) {
        AddProblem(&out->findings, Severity::Error, file,
            read.err + ": the launcher cannot load it and shows its own English texts and no splash; "
                       "build the library again (medium library)");
        return;
    }
    if (!read.resourcesRead) {
        AddProblem(&out->findings, Severity::Error, file,
            "its resources cannot be read (" + read.err + "); build the library again (medium library)");
        return;
    }
    out->facts.Number("size", read.pe.fileSize);
    CheckImage(src, read.pe, read.res, opt, file, &out->facts, &out->findings);
    InspectLibraryResources(read.res, &read.pe, file, &out->facts, &out->findings, view);
}

bool IsLauncher(const ReadImage &read)
{
    for (const ResEntry &e : read.res) {
        if (!e.type.named && e.type.id == RT_PAYLOAD_PIECE)
            return true;
    }
    return false;
}

}  // namespace

void InspectLauncherImage(const std::vector<uint8_t> &image, const std::string &file, Inspection *out,
                          const std::string *countOverride, const ImageCheckOptions &opt)
{
    MemoryBytes m{image.data(), image.size()};
    const ByteSource src = MemorySource(&m);
    LauncherReport(src, Read(src, image.size(), nullptr), file, out, countOverride, opt);
}

void InspectLibraryImage(const std::vector<uint8_t> &image, const std::string &file, Inspection *out,
                         LibraryView *view, const ImageCheckOptions &opt)
{
    MemoryBytes m{image.data(), image.size()};
    const ByteSource src = MemorySource(&m);
    LibraryReport(src, Read(src, image.size(), nullptr), file, out, view, opt);
}

namespace {

// An image file open for inspection: read through `src` in bounded pieces,
// never whole.
struct OpenImage {
    FILE *f = nullptr;
    uint64_t size = 0;
    ByteSource src;
    ReadImage read;
    ~OpenImage()
    {
        if (f)
            fclose(f);
    }
};

// Opens the file at `path` and reads its headers and resource tree; a file
// that cannot be read is an error of `into`.
bool OpenForInspection(const std::string &path, OpenImage *image, Inspection *into)
{
    std::string why;
    image->f = OpenForReading(path, kMaxInputBytes, "4 GiB", &image->size, &why);
    if (!image->f) {
        AddProblem(&into->findings, Severity::Error, path, "cannot read: " + why);
        return false;
    }
    image->src = FileSource(image->f);
    ResInFile pieces;
    pieces.type = RT_PAYLOAD_PIECE;
    pieces.file = path;
    image->read = Read(image->src, image->size, &pieces);
    return true;
}

// The script and the library beside setup.exe against its seal: every file
// of those names the folder holds, by the name the folder gives it.
void CheckBeside(const std::string &dir, const Seal &seal, std::vector<Finding> *findings)
{
    std::vector<FoundFile> found;
    DIR *d = opendir(dir.c_str());
    if (!d) {
        AddProblem(findings, Severity::Error, dir,
                   "cannot list the folder to check its files against the seal in setup.exe (" + Errno() + ")");
        findings->back().code = "seal";
        return;
    }
    while (struct dirent *e = readdir(d)) {
        if (!IsSealedBesideName(e->d_name))
            continue;
        FoundFile file;
        file.name = e->d_name;
        file.readable = FileDigest(dir + "/" + file.name, &file.size, file.sha256, &file.why);
        found.push_back(file);
    }
    closedir(d);
    // In a steady order, whatever order the folder lists them in.
    std::sort(found.begin(), found.end(), [](const FoundFile &a, const FoundFile &b) { return a.name < b.name; });
    Problems problems;
    CheckSealBeside(seal, found, &problems);
    const size_t from = findings->size();
    for (const Finding &p : problems)
        AddProblem(findings, p.severity, dir + "/" + p.file, p.text);
    tk::SetCodes(findings, from, "seal");
}

void InspectFolder(const std::string &dir, Inspection *out, const ImageCheckOptions &opt)
{
    out->kind = "medium";
    ReportNode &f = out->facts;
    const std::string setup = FindInFolder(dir, "setup.exe");
    const std::string library = FindInFolder(dir, "_SETUP.DLL");
    std::string script = FindInFolder(dir, "SETUP.INS");
    if (script.empty())
        script = FindInFolder(dir, "INSTALL.INS");
    f.Text("launcher", setup.empty() ? "(missing)" : setup);
    f.Text("script", script.empty() ? "(missing)" : script);
    f.Text("library", library.empty() ? "(missing)" : library);

    if (setup.empty())
        AddProblem(&out->findings, Severity::Error, dir, "no setup.exe: nothing starts the installation; build the medium "
                                                  "with medium build");
    if (script.empty())
        AddProblem(&out->findings, Severity::Error, dir,
            "neither SETUP.INS nor INSTALL.INS: the launcher shows box 7061 (script missing) and stops; copy the "
            "installation script beside setup.exe",
            IDS_SCRIPT_MISSING);

    LibraryView view;
    if (library.empty()) {
        if (FindInFolder(dir, "INSTALL.INS").empty())
            AddProblem(&out->findings, Severity::Error, dir,
                "no _SETUP.DLL: the launcher shows box 7068 (library missing) and stops; copy the resource library "
                "beside setup.exe",
                IDS_LIBRARY_MISSING);
        else
            AddProblem(&out->findings, Severity::Warning, dir,
                "no _SETUP.DLL: the launcher goes on with its own English texts and no splash; copy the resource "
                "library beside setup.exe");
    } else {
        const std::string path = dir + "/" + library;
        OpenImage image;
        Inspection lib;
        if (OpenForInspection(path, &image, &lib))
            LibraryReport(image.src, image.read, path, &lib, &view, opt);
        ReportNode &node = f.Object("libraryReport");
        node.items = lib.facts.items;
        node.isObject = true;
        out->findings.insert(out->findings.end(), lib.findings.begin(), lib.findings.end());
    }

    if (!setup.empty()) {
        const std::string path = dir + "/" + setup;
        OpenImage image;
        Inspection exe;
        SealRead seal;
        if (OpenForInspection(path, &image, &exe))
            LauncherReport(image.src, image.read, path, &exe, view.pieceCounts, opt, &seal);
        ReportNode &node = f.Object("launcherReport");
        node.items = exe.facts.items;
        node.isObject = true;
        out->findings.insert(out->findings.end(), exe.findings.begin(), exe.findings.end());
        if (seal.state == SealRead::kRead)
            CheckBeside(dir, seal.seal, &out->findings);
    }

    // What a user of each language sees first: the splash while setup
    // starts, and the caption of any box.
    ReportNode &first = f.List("firstSeen");
    if (view.languages.empty()) {
        ReportNode &n = first.Object("");
        n.Text("language", "(every language)");
        n.Text("boxes", "the launcher's own English texts, caption \"Setup\"");
        n.Text("splash", "none");
    }
    for (const LanguageView &l : view.languages) {
        ReportNode &n = first.Object("");
        n.Text("language", l.name);
        if (!l.lcids.empty())
            n.Numbers("lcids", LcidNumbers(l.lcids));
        n.Text("splash", l.splash);
        n.Text("boxes", l.caption.empty() ? "the launcher's own English caption and texts"
                                          : "caption \"" + l.caption + "\"");
    }
}

}  // namespace

static void InspectPathUncoded(const std::string &path, Inspection *out, const ImageCheckOptions &opt)
{
    out->path = path;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        AddProblem(&out->findings, Severity::Error, path, std::string("cannot read: ") + strerror(errno));
        return;
    }
    if (S_ISDIR(st.st_mode)) {
        InspectFolder(path, out, opt);
        return;
    }
    OpenImage image;
    if (!OpenForInspection(path, &image, out))
        return;
    // Read once: the same headers and resources decide what the file is
    // and feed its report.
    const ReadImage &read = image.read;
    const std::string name = BaseName(path);
    if (strcasecmp(name.c_str(), "_SETUP.DLL") != 0 &&
        (strcasecmp(name.c_str(), "setup.exe") == 0 || IsLauncher(read))) {
        LauncherReport(image.src, read, path, out, nullptr, opt);
    } else {
        LibraryView view;
        LibraryReport(image.src, read, path, out, &view, opt);
    }
}

void InspectPath(const std::string &path, Inspection *out, const ImageCheckOptions &opt)
{
    InspectPathUncoded(path, out, opt);
    // The checks that set no code of their own: a file that cannot be read
    // or is not what it should be, the library's texts and splashes, the
    // folder's files.
    for (Finding &f : out->findings)
        if (f.code.empty())
            f.code = out->kind == "library" ? "library" : out->kind == "medium" ? "medium" : "inspect";
}

int InspectStatus(const std::vector<Finding> &findings)
{
    int status = kInspectClean;
    for (const Finding &f : findings) {
        if (f.severity == Severity::Error)
            return kInspectErrors;
        if (f.severity == Severity::Warning)
            status = kInspectWarnings;
    }
    return status;
}


void PrintInspection(FILE *out, const Inspection &in)
{
    fprintf(out, "%s: %s\n", in.path.c_str(), in.kind.empty() ? "unreadable" : in.kind.c_str());
    PrintReportNode(out, in.facts, 1);
    size_t errors = 0, warnings = 0;
    for (const Finding &f : in.findings) {
        fprintf(out, "%s\n", FindingLine(f).c_str());
        errors += f.severity == Severity::Error;
        warnings += f.severity == Severity::Warning;
    }
    fprintf(out, "result: %zu error%s, %zu warning%s\n", errors, errors == 1 ? "" : "s", warnings,
            warnings == 1 ? "" : "s");
}

void PrintInspectionJson(FILE *out, const Inspection &in)
{
    fprintf(out, "{\"path\":%s,\"kind\":%s,\"facts\":", JsonString(in.path).c_str(), JsonString(in.kind).c_str());
    ReportNode facts = in.facts;
    facts.isObject = true;
    facts.isList = false;
    PrintReportJson(out, facts);
    fputs(",\"findings\":[", out);
    for (size_t i = 0; i < in.findings.size(); i++) {
        const Finding &f = in.findings[i];
        fprintf(out, "%s%s", i ? "," : "", FindingJson(f).c_str());
    }
    fprintf(out, "],\"status\":%d}\n", InspectStatus(in.findings));
}

void InspectHelp(FILE *out)
{
    fputs("usage: medium inspect [--json] [--strict] [--ca FILE] [--tsa-ca FILE] PATH\n\n"
          "Checks a medium before it ships. PATH is a setup.exe, a _SETUP.DLL or a medium\n"
          "folder (setup.exe, SETUP.INS or INSTALL.INS, _SETUP.DLL).\n"
          "  setup.exe   its machine (i386, x86-64); size with and without resources; each\n"
          "              payload: pieces, packed and expanded size, CRC-32, whether it expands\n"
          "              whole and matches the check record; the bootstrap's machine, which\n"
          "              every Windows that runs the launcher must run; the version resource\n"
          "              (every key), manifest level, icons, imports\n"
          "  both        the structure as the loader reads it (alignments, SizeOfHeaders,\n"
          "              SizeOfImage, sections, entry point, data directories, imports);\n"
          "              the PE checksum against the file; an Authenticode signature\n"
          "              verified: the image digest, the signature with the signer's key,\n"
          "              the signer's purpose (codeSigning), every digest (MD5 is an error,\n"
          "              SHA-1 a warning), a time stamp (signed: verified, no, or not\n"
          "              verified; verified only when no check of the signature fails)\n"
          "  _SETUP.DLL  languages, every message (7061-7068, caption 7110) in every\n"
          "              language: present, within the launcher's buffers in the language's\n"
          "              code page, the %s rule; the splash each language gets and whether it\n"
          "              decodes; code that would run if the library were loaded as a program.\n"
          "              For proofreading, language names, messages and logo script lines\n"
          "              are shown in UTF-8, read in each language's code page (a line break\n"
          "              as \\n); a text splash's size is measured by the launcher at run time\n"
          "  folder      the script and library the launcher finds, both files' reports, and\n"
          "              what a user of each language sees first\n"
          "  seal        the record medium build writes into setup.exe of the script, the\n"
          "              library and the payloads (name, size, SHA-256): in a folder, a\n"
          "              sealed file changed, renamed, swapped or missing, or a script or\n"
          "              library it does not name, is an error; so is a payload that does\n"
          "              not expand to its sealed bytes. No seal: \"not sealed\", a warning.\n"
          "              Each payload that is a program: its signature, as setup.exe's\n"
          "Problems are printed as FILE: error|warning: language \"L\", id N: what; what to do.\n"
          "--json writes one JSON object (path, kind, facts, findings, status) instead.\n"
          "--ca FILE checks that the signer's certificate chains to a root in FILE (PEM),\n"
          "at the time of a verified time stamp, else now; without it the chain is\n"
          "reported as not checked. A time stamp is believed only when it verifies and\n"
          "its authority (timeStamping) chains to --tsa-ca FILE, else to --ca FILE; one\n"
          "that does not is an error with roots given, a warning without. With --ca,\n"
          "a setup.exe without a signature is an error.\n"
          "Warnings: no time stamp, a self-signed signer, a signer expired or not yet\n"
          "valid when it signed, over 64 KiB of unsigned attributes and certificates.\n"
          "--strict makes every warning an error (a release gate: exit 2 on any).\n\n"
          "Exit codes:\n"
          "  0   clean: no errors, no warnings\n"
          "  1   warnings only\n"
          "  2   errors (a file that cannot be read is one)\n"
          "  64  usage: the command line is wrong\n",
          out);
}

int InspectCommand(int argc, char **argv)
{
    bool json = false, strict = false;
    ImageCheckOptions opt;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (strcmp(argv[i], "--strict") == 0) {
            strict = true;
        } else if (strcmp(argv[i], "--ca") == 0) {
            if (i + 1 >= argc || !argv[i + 1][0]) {
                fprintf(stderr, "medium inspect: --ca needs a file of trusted certificates (PEM)\n");
                return kInspectUsage;
            }
            opt.caFile = argv[++i];
        } else if (strcmp(argv[i], "--tsa-ca") == 0) {
            if (i + 1 >= argc || !argv[i + 1][0]) {
                fprintf(stderr, "medium inspect: --tsa-ca needs a file of trusted time-stamp roots (PEM)\n");
                return kInspectUsage;
            }
            opt.tsaCaFile = argv[++i];
        } else if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            InspectHelp(stdout);
            return kInspectClean;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            fprintf(stderr, "medium inspect: unknown option '%s'; see 'medium inspect --help'\n", argv[i]);
            return kInspectUsage;
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.size() != 1) {
        fprintf(stderr, "usage: medium inspect [--json] [--strict] [--ca FILE] [--tsa-ca FILE] PATH\n");
        return kInspectUsage;
    }
    std::string path = paths[0];
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    Inspection in;
    InspectPath(path, &in, opt);
    if (strict)
        WarningsToErrors(&in.findings);
    if (json)
        PrintInspectionJson(stdout, in);
    else
        PrintInspection(stdout, in);
    return InspectStatus(in.findings);
}

}  // namespace medium
