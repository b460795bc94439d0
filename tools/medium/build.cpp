// `medium build`: compress the payloads piece by piece into temp files in
// the output folder, put them with the edited strings, version, icon and
// manifest into the stub's resource section, and rename the finished files
// into place only when everything was written.
#include "tools/medium/build.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

#include "base/crc32.h"
#include "base/ids.h"
#include "base/payload_record.h"
#include "base/szdd.h"
#include "tools/lib/fileio.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/report.h"
#include "tools/lib/seal.h"
#include "tools/lib/sha256.h"
#include "tools/medium/extract.h"
#include "tools/medium/record.h"
#include "tools/medium/resedit.h"
#include "tools/lib/szdd_codec.h"
#include "tools/lib/strings.h"
#include "tools/lib/workers.h"

namespace medium {
namespace {

const char *const kPayloadOptions[3] = {"--bootstrap", "--engine", "--companion"};
const uint16_t kPayloadBase[3] = {PAYLOAD_BOOTSTRAP, PAYLOAD_ENGINE, PAYLOAD_COMPANION};
constexpr uint16_t kIconGroup = IDI_LAUNCHER;
constexpr uint16_t kManifestId = 1;
constexpr uint16_t kVersionId = 1;
constexpr uint64_t kMaxSmallFile = 256u << 20;   // stub, library, icon: read whole
constexpr size_t kReadChunk = 1u << 20;          // payload bytes read at a time
// Payloads at least this long show progress (when stderr is a terminal).
constexpr uint64_t kProgressThreshold = 16u << 20;

using tk::BaseName;
using tk::Errno;

bool ReadSmallFile(const std::string &path, const char *what, std::vector<uint8_t> *out, Failure *f)
{
    std::string why;
    if (ReadWholeFile(path, kMaxSmallFile, "256 MiB", out, &why))
        return true;
    if (why == "larger than 256 MiB")
        return Fail(f, kExitInput, path + ": the " + std::string(what) + " is larger than 256 MiB; is it the right file?");
    return Fail(f, kExitInput, path + ": cannot open the " + what + " (" + why + "); check the path");
}

std::string Upper(std::string s)
{
    for (char &c : s) {
        if (c >= 'a' && c <= 'z')
            c = (char)(c - 'a' + 'A');
    }
    return s;
}

// Files written under temp names; removed unless committed.
class TempFiles {
public:
    ~TempFiles()
    {
        for (const std::string &p : paths_)
            remove(p.c_str());
    }
    std::string Add(const std::string &path)
    {
        paths_.push_back(path);
        return path;
    }
    void Forget(const std::string &path)
    {
        for (size_t i = 0; i < paths_.size(); i++) {
            if (paths_[i] == path) {
                paths_.erase(paths_.begin() + (long)i);
                return;
            }
        }
    }

private:
    std::vector<std::string> paths_;
};

// Copies the file `from` into the output file `out`, and fills the seal's
// `entry` with the size and digest of the bytes copied.
bool CopyFileTo(const std::string &from, PendingFile *out, const char *what, tk::SealEntry *entry, Failure *f)
{
    FILE *in = fopen(from.c_str(), "rb");
    if (!in)
        return Fail(f, kExitInput, from + ": cannot open the " + std::string(what) + " (" + Errno() + ")");
    uint8_t buf[1 << 16];
    size_t n;
    bool ok = true;
    std::string why;
    tk::Sha256 sha;
    entry->size = 0;
    while (ok && (n = fread(buf, 1, sizeof buf, in)) > 0) {
        ok = out->Write(buf, n, &why);
        sha.Update(buf, n);
        entry->size += n;
    }
    const bool readError = ferror(in) != 0;
    fclose(in);
    if (readError)
        return Fail(f, kExitInput, from + ": cannot read the " + std::string(what));
    if (!ok)
        return Fail(f, kExitIo, out->Target() + ": cannot write (" + why + "); check the free space");
    if (!sha.Final(entry->sha256))
        return Fail(f, kExitIo, from + ": cannot compute the " + std::string(what) + "'s SHA-256 (out of memory)");
    return true;
}

// Whether the launcher gets `input` unchanged rather than SZDD coded: when
// coding does not make it at least 1 % smaller. An empty piece stays coded
// (a resource of no bytes is not worth the risk), and so does a piece that
// begins with the SZDD signature, which the launcher would take for coded.
bool StoreRaw(const std::vector<uint8_t> &input, size_t codedSize)
{
    if (input.empty())
        return false;
    if (input.size() >= kSzddMagicSize && memcmp(input.data(), kSzddMagic, kSzddMagicSize) == 0)
        return false;
    return (uint64_t)codedSize * 100 > (uint64_t)input.size() * 99;
}

// One piece on its way: read by the main thread, coded and written to its
// temp file by a worker.
struct PieceJob {
    std::vector<uint8_t> input;
    std::string path;      // the temp file
    std::string source;    // the payload file, for messages
    std::string what;      // "engine payload"
    int payload = 0;
    uint16_t id = 0;
    uint64_t packed = 0;
    bool raw = false;
    bool failed = false;
    Failure failure;
};

void CodePiece(PieceJob *job)
{
    std::vector<uint8_t> coded;
    const szdd::Result r = szdd::Compress(job->input.data(), job->input.size(), coded);
    if (r != szdd::Result::Ok) {
        job->failed = true;
        Fail(&job->failure, kExitInput,
             job->source + ": the " + job->what + " cannot be compressed (" + szdd::ResultText(r) + ")");
        return;
    }
    job->raw = StoreRaw(job->input, coded.size());
    const std::vector<uint8_t> &bytes = job->raw ? job->input : coded;
    FILE *out = fopen(job->path.c_str(), "wb");
    bool ok = out != nullptr;
    int err = errno;
    if (ok && !bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) {
        ok = false;
        err = errno;
    }
    if (out && fclose(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        job->failed = true;
        Fail(&job->failure, kExitIo, job->path + ": cannot write (" + strerror(err) + "); check the free space");
        return;
    }
    job->packed = bytes.size();
    std::vector<uint8_t>().swap(job->input);
    std::vector<uint8_t>().swap(coded);
}

// Reads payload `index` piece by piece (temp files in `dir`) into `pool`,
// adding the jobs to `jobs`; the CRC is taken here, in payload order. An
// empty payload is one piece whose header says 0 bytes: the launcher
// expands it into an empty file.
bool ReadPayload(const BuildOptions &o, int index, const std::string &dir, const Crc32Table *table, TempFiles *temps,
                 tk::WorkerPool *pool, std::vector<std::unique_ptr<PieceJob>> *jobs, PayloadRecordEntry *entry,
                 tk::SealEntry *sealed, PayloadReport *report, Failure *f)
{
    const std::string &path = o.payload[index];
    const std::string what = std::string(kPayloadNames[index]) + " payload";
    FILE *in = fopen(path.c_str(), "rb");
    if (!in)
        return Fail(f, kExitInput, path + ": cannot open the " + what + " (" + Errno() + "); check " + kPayloadOptions[index]);
    struct stat st;
    if (fstat(fileno(in), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(in);
        return Fail(f, kExitInput, path + ": the " + what + " is not a regular file");
    }
    const uint64_t length = (uint64_t)st.st_size;
    const uint32_t pieceSize = PieceSizeFor(length, o.pieceSize);
    if (pieceSize == 0) {
        fclose(in);
        return Fail(f, kExitInput, path + ": the " + what + " is larger than the launcher can carry (4 GiB)");
    }
    const uint32_t count = length == 0 ? 1 : (uint32_t)((length + pieceSize - 1) / pieceSize);
    const size_t readChunk = o.readChunk ? o.readChunk : kReadChunk;
    const std::string label = std::string("medium: compressing the ") + kPayloadNames[index];
    tk::Progress progress(label.c_str(), length, kProgressThreshold, o.progress ? stderr : nullptr);
    uint32_t crc = 0;
    tk::Sha256 sha;
    uint64_t done = 0;
    bool ok = true;
    for (uint32_t i = 0; ok && i < count; i++) {
        const size_t want = (size_t)std::min<uint64_t>(pieceSize, length - done);
        std::unique_ptr<PieceJob> job(new PieceJob);
        job->payload = index;
        job->id = (uint16_t)(kPayloadBase[index] + i);
        job->path = temps->Add(dir + "/.medium-" + std::to_string(job->id) + ".tmp");
        job->source = path;
        job->what = what;
        job->input.resize(want);
        for (size_t at = 0; at < want;) {
            const size_t n = std::min(readChunk, want - at);
            if (fread(job->input.data() + at, 1, n, in) != n) {
                ok = Fail(f, kExitInput, path + ": cannot read the " + what + " (did it change while building?)");
                break;
            }
            crc = Crc32Update(table, crc, job->input.data() + at, n);
            sha.Update(job->input.data() + at, n);
            at += n;
            progress.Advance(n);
        }
        if (!ok)
            break;
        done += want;
        jobs->push_back(std::move(job));
        PieceJob *queued = jobs->back().get();
        pool->Submit([queued](unsigned) { CodePiece(queued); });
    }
    // Seen growing while we read: the record would not match what we packed.
    if (ok && fgetc(in) != EOF)
        ok = Fail(f, kExitInput, path + ": the " + what + " grew while it was read; build again");
    fclose(in);
    if (!ok)
        return false;
    if (!sha.Final(sealed->sha256))
        return Fail(f, kExitIo, path + ": cannot compute the " + what + "'s SHA-256 (out of memory)");
    sealed->kind = tk::SealKind::Payload;
    sealed->name = kPayloads[index].file;
    sealed->size = length;
    entry->baseId = kPayloadBase[index];
    entry->pieceCount = count;
    entry->length = (uint32_t)length;
    entry->crc = crc;
    report->length = length;
    report->pieces = count;
    return true;
}

bool CheckStub(const std::string &path, const ResList &res, Failure *f)
{
    const std::string fix = "; give the payload-free launcher stub (setup-stub.exe) with --stub";
    for (uint16_t base : kPayloadBase) {
        if (!ResFind(res, kRtString, (uint16_t)StringBlockName(base)))
            return Fail(f, kExitInput, path + ": not a launcher stub (no string " + std::to_string(base) + ")" + fix);
    }
    if (!ResFind(res, kRtVersion, kVersionId))
        return Fail(f, kExitInput, path + ": not a launcher stub (no version resource)" + fix);
    if (!ResFind(res, kRtManifest, kManifestId))
        return Fail(f, kExitInput, path + ": not a launcher stub (no manifest)" + fix);
    for (const ResEntry &e : res) {
        if (!e.type.named && e.type.id == RT_PAYLOAD_PIECE)
            return Fail(f, kExitInput, path + ": already carries payloads (resource type 3000)" + fix);
    }
    return true;
}

}  // namespace

unsigned ThreadCount(unsigned wanted)
{
    if (wanted)
        return wanted;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores ? cores : 1;
}

uint32_t PieceSizeFor(uint64_t length, uint32_t wanted)
{
    if (wanted == 0)
        wanted = kPieceSize;
    if (length > 0xFFFFFFFFu)
        return 0;
    if (length <= (uint64_t)wanted * kMaxPieces)
        return wanted;
    const uint64_t step = 1u << 16;
    uint64_t size = (length + kMaxPieces - 1) / kMaxPieces;
    return (uint32_t)((size + step - 1) / step * step);
}

namespace {

// The bootstrap is started by the launcher with WinExec: it must be a
// Windows program. Whether the launcher's platform can run its machine is
// the gate's finding (CheckBootstrapMachine, through inspect), made on the
// medium as built so that build and inspect say the same.
bool CheckBootstrap(const std::string &path, Failure *f)
{
    PeImage pe;
    std::string err;
    bool unreadable = false;
    if (!ParsePeFile(path, &pe, &err, &unreadable)) {
        if (unreadable)
            return Fail(f, kExitInput, path + ": cannot open the bootstrap (" + err + "); check --bootstrap");
        return Fail(f, kExitInput, path + ": the bootstrap is not a Windows program (" + err +
                                       "); the launcher starts it with WinExec: give the .exe of your setup");
    }
    if (pe.dll)
        return Fail(f, kExitInput, path + ": the bootstrap is a DLL, not a program; give the .exe of your setup");
    return true;
}

// The launcher maps the library as data and never runs it; one that would
// run code when loaded as a program is not what it claims.
bool CheckResourceOnly(const std::string &path, const std::vector<uint8_t> &image, Failure *f)
{
    PeImage pe;
    std::string err;
    if (!ParsePeImage(image.data(), image.size(), &pe, &err))
        return Fail(f, kExitInput, path + ": not a resource library (" + err + ")");
    if (pe.entryRva != 0)
        return Fail(f, kExitInput, path + ": the resource library has an entry point (code that runs when it is "
                                          "loaded): is it a program? Build it resource-only (medium library, or "
                                          "-nostdlib -Wl,--entry=0)");
    if (!pe.imports.empty() || pe.importsUnreadable)
        return Fail(f, kExitInput, path + ": the resource library imports other libraries (" +
                                       (pe.imports.empty() ? std::string("unreadable import table") : pe.imports[0]) +
                                       "): a resource library needs none; build it resource-only");
    return true;
}

}  // namespace

bool FindStub(const std::string &self, std::string *path, std::string *from)
{
    std::string dir = self;
    char resolved[4096];
    ssize_t n = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0) {
        resolved[n] = 0;
        dir = resolved;
    }
    size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "." : dir.substr(0, slash);
    const struct {
        const char *relative;
        const char *from;
    } candidates[] = {
        {"/../share/corvane/setup-stub.exe", "installed"},
        {"/setup-stub.exe", "beside the tool"},
        {"/../../../stub/setup-stub.exe", "build tree"},         // build/win32/hosttools/tools/medium
        {"/../../../win32/stub/setup-stub.exe", "build tree"},   // build/host/tools/medium
    };
    for (const auto &c : candidates) {
        std::string p = dir + c.relative;
        struct stat st;
        if (stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            *path = p;
            *from = c.from;
            return true;
        }
    }
    return false;
}

bool Build(const BuildOptions &o, BuildReport *report, Failure *f)
{
    *report = BuildReport();
    // Inputs first: nothing is written before they all check out.
    report->stub = o.stub;
    report->stubFrom = o.stubFrom.empty() ? "--stub" : o.stubFrom;
    if (o.stub.empty() && !FindStub(o.self, &report->stub, &report->stubFrom))
        return Fail(f, kExitInput,
                    "no launcher stub found (looked for ../share/corvane/setup-stub.exe beside the tool and in the "
                    "build tree); give one with --stub FILE");
    std::vector<uint8_t> stub;
    if (!ReadSmallFile(report->stub, "launcher stub", &stub, f))
        return false;
    ResList res;
    std::string err;
    if (!ReadResources(stub.data(), stub.size(), &res, &err))
        return Fail(f, kExitInput, report->stub + ": " + err + "; give the launcher stub (setup-stub.exe) with --stub");
    if (!CheckStub(report->stub, res, f))
        return false;

    report->scriptName = BaseName(o.script);
    const std::string upperScript = Upper(report->scriptName);
    if (upperScript != "SETUP.INS" && upperScript != "INSTALL.INS")
        return Fail(f, kExitInput,
                    o.script + ": the launcher looks for SETUP.INS or INSTALL.INS beside it; rename the script to one "
                               "of those");
    struct stat st;
    if (stat(o.script.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return Fail(f, kExitInput, o.script + ": cannot find the script (" + Errno() + "); check --script");

    if (!CheckBootstrap(o.payload[0], f))
        return false;

    std::vector<uint8_t> library;
    if (!ReadSmallFile(o.library, "resource library", &library, f))
        return false;
    ResList libraryRes;
    if (!ReadResources(library.data(), library.size(), &libraryRes, &err))
        return Fail(f, kExitInput, o.library + ": not a resource library (" + err + "); give the _SETUP.DLL to ship with --library");
    if (!CheckResourceOnly(o.library, library, f))
        return false;
    library.clear();
    library.shrink_to_fit();

    if (!o.icon.empty()) {
        std::vector<uint8_t> ico;
        if (!ReadSmallFile(o.icon, "icon", &ico, f))
            return false;
        if (!ReplaceIconGroup(&res, kIconGroup, ico, &err))
            return Fail(f, kExitInput, o.icon + ": " + err + "; give a valid .ico file");
    }
    ResEntry *version = ResFind(&res, kRtVersion, kVersionId);
    if (!o.versionInfo.empty()) {
        std::vector<uint8_t> edited;
        if (!EditVersionInfo(version->data, o.versionInfo, &edited, &err))
            return Fail(f, kExitInput, report->stub + ": version resource: " + err);
        version->data = edited;
    }
    if (!o.level.empty()) {
        ResEntry *manifest = ResFind(&res, kRtManifest, kManifestId);
        std::vector<uint8_t> edited;
        if (!SetExecutionLevel(manifest->data, o.level, &edited, &err))
            return Fail(f, kExitInput, report->stub + ": manifest: " + err);
        manifest->data = edited;
    }

    // The output folder (made when missing) holds the temps, so the final
    // renames stay on one file system.
    const std::string &dir = o.outDir;
    if (stat(dir.c_str(), &st) != 0) {
        if (mkdir(dir.c_str(), 0777) != 0)
            return Fail(f, kExitIo, dir + ": cannot create the output folder (" + Errno() + ")");
    } else if (!S_ISDIR(st.st_mode)) {
        return Fail(f, kExitUsage, dir + ": --out must be a folder");
    }

    TempFiles temps;
    PayloadRecordEntry entries[3];
    tk::SealEntry sealed[3];
    Crc32Table crcTable;
    Crc32Init(&crcTable);
    std::vector<std::unique_ptr<PieceJob>> jobs;
    {
        // Declared after the temps: on an early return the workers stop
        // before the temp files are removed.
        // Pieces are independent, so the bytes do not depend on the number of
        // threads. At most two pieces per worker are held at a time (read and
        // waiting, or being coded), which bounds memory.
        const unsigned threads = ThreadCount(o.threads);
        tk::WorkerPool pool(threads, 2 * threads);
        for (int i = 0; i < 3; i++) {
            if (!ReadPayload(o, i, dir, &crcTable, &temps, &pool, &jobs, &entries[i], &sealed[i], &report->payloads[i], f))
                return false;
        }
        pool.Wait();
    }
    for (const std::unique_ptr<PieceJob> &job : jobs) {
        if (job->failed) {
            *f = job->failure;
            return false;
        }
        ResEntry e;
        e.type = ResNumber(RT_PAYLOAD_PIECE);
        e.name = ResNumber(job->id);
        e.lang = 0x409;
        e.dataFile = job->path;
        e.dataFileSize = (uint32_t)job->packed;
        res.push_back(e);
        PayloadReport &payload = report->payloads[job->payload];
        payload.packed += job->packed;
        payload.raw += job->raw ? 1 : 0;
    }
    jobs.clear();
    for (int i = 0; i < 3; i++) {
        // The count in every language's block, whichever the launcher loads.
        std::u16string count;
        for (char c : std::to_string(entries[i].pieceCount))
            count.push_back((char16_t)c);
        std::vector<uint16_t> langs;
        for (const ResEntry &e : res) {
            if (!e.type.named && e.type.id == kRtString && !e.name.named && e.name.id == StringBlockName(kPayloadBase[i]))
                langs.push_back(e.lang);
        }
        for (uint16_t lang : langs) {
            if (!SetString(&res, kPayloadBase[i], lang, count, &err))
                return Fail(f, kExitInput, report->stub + ": string table: " + err);
        }
    }
    ResEntry record;
    record.type = ResNumber(RT_PAYLOAD_PIECE);
    record.name = ResNumber(RES_PAYLOAD_RECORD);
    record.lang = 0x409;
    record.data = PayloadRecordBytes(entries, 3);
    res.push_back(record);

    // The three files go out under temporary names and are renamed into
    // place only when all are whole: the script and the library first, so
    // that the seal records the very bytes copied.
    PendingFile setup, script, lib;
    std::string why;
    const std::string scriptPath = dir + "/" + report->scriptName;
    const std::string libraryPath = dir + "/_SETUP.DLL";
    if (!script.Open(scriptPath, &why))
        return Fail(f, kExitIo, scriptPath + ": cannot create (" + why + "); check the folder's permissions");
    if (!lib.Open(libraryPath, &why))
        return Fail(f, kExitIo, libraryPath + ": cannot create (" + why + "); check the folder's permissions");
    tk::Seal seal;
    seal.entries.resize(2);
    seal.entries[0].kind = tk::SealKind::Script;
    seal.entries[0].name = report->scriptName;
    seal.entries[1].kind = tk::SealKind::Library;
    seal.entries[1].name = "_SETUP.DLL";
    if (!CopyFileTo(o.script, &script, "script", &seal.entries[0], f) ||
        !CopyFileTo(o.library, &lib, "resource library", &seal.entries[1], f))
        return false;
    for (const tk::SealEntry &e : sealed)
        seal.entries.push_back(e);
    // The seal goes into setup.exe with the payloads, so that a signature
    // over setup.exe covers the files beside it too.
    ResEntry sealEntry;
    sealEntry.type = ResNumber(kRtRcData);
    sealEntry.name = ResNumber(tk::kSealId);
    sealEntry.lang = 0x409;
    if (!tk::SealBytes(seal, &sealEntry.data, &err))
        return Fail(f, kExitInput, o.script + ": cannot seal the medium (" + err + ")");
    ResRemove(&res, kRtRcData, tk::kSealId);   // a stub's own, in every language
    res.push_back(sealEntry);

    const std::string setupPath = dir + "/setup.exe";
    if (!setup.Open(setupPath, &why) || !setup.Stream())
        return Fail(f, kExitIo, setupPath + ": cannot create a temporary file beside it (" + why +
                                    "); check the folder's permissions");
    FILE *out = setup.Stream();
    uint64_t stored = 0;
    for (const PayloadReport &p : report->payloads)
        stored += p.packed;
    report->fileAlignment = stored > o.mappedLayoutAbove ? kMappedFileAlignment : kSmallFileAlignment;
    bool written =
        ReplaceResourcesToFile(stub.data(), stub.size(), res, out, &report->warnings, &err, report->fileAlignment);
    if (written)
        report->setupSize = (uint64_t)ftell(out);
    if (written && fflush(out) != 0) {
        written = false;
        err = "cannot write (" + Errno() + "); check the free space";
    }
    if (!written)
        return Fail(f, err.find("cannot write") != std::string::npos ? kExitIo : kExitInput, setupPath + ": " + err);

    for (PendingFile *p : {&setup, &script, &lib}) {
        if (!p->Commit(&why))
            return Fail(f, kExitIo, p->Target() + ": cannot put in place (" + why + ")");
    }
    return true;
}

}  // namespace medium
