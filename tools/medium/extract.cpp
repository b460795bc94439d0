// Payloads out of a launcher: expanded with the base's expander, checked,
// and for `medium extract` written under the launcher's own file names.
#include "tools/medium/extract.h"
#include "tools/lib/fileio.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <thread>

#include "base/crc32.h"
#include "base/ids.h"
#include "base/szdd.h"
#include "base/text.h"
#include "tools/medium/cli.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/workers.h"
#include "tools/medium/resedit.h"

namespace medium {

const KnownPayload kPayloads[kPayloadCount] = {
    {PAYLOAD_BOOTSTRAP, BOOTSTRAP_FILE, "bootstrap"},
    {PAYLOAD_ENGINE, ENGINE_FILE, "engine"},
    {PAYLOAD_COMPANION, COMPANION_FILE, "companion"},
};

namespace {

struct SinkContext {
    const PayloadSink *sink;
};

int ToSink(void *ctx, const unsigned char *data, uint32_t len)
{
    const SinkContext *c = (const SinkContext *)ctx;
    return (!*c->sink || (*c->sink)(data, len)) ? 1 : 0;
}

const char *SzddText(int result)
{
    switch (result) {
    case SZDD_BAD_HEADER:
        return "its SZDD header is cut short or names another method than 'A'";
    case SZDD_TRUNCATED:
        return "its coded data ends before the length its header states";
    case SZDD_TOO_LONG:
        return "it expands to more than its header states, or bytes follow its end";
    case SZDD_SINK_FAILED:
        return "the output could not be written";
    case SZDD_NO_MEMORY:
        return "there is not enough memory to expand it";
    default:
        return "it is not a well-formed SZDD file";
    }
}

std::string Ascii(const std::u16string &s)
{
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? (char)c : '?';
    return out;
}

std::string Num(uint64_t v)
{
    return std::to_string(v);
}

// The bytes of `e`: its data, or read from its file into `buf` (one piece
// at a time, so a launcher's payloads are never held whole).
bool EntryBytes(const ResEntry &e, std::vector<uint8_t> *buf, const uint8_t **data, uint32_t *size)
{
    if (e.dataFile.empty()) {
        if (e.data.size() > 0xFFFFFFFFu)
            return false;
        *data = e.data.data();
        *size = (uint32_t)e.data.size();
        return true;
    }
    FILE *f = fopen(e.dataFile.c_str(), "rb");
    if (!f)
        return false;
    if (buf->capacity() < e.dataFileSize) {
        // Freed before the larger one is taken, and taken to size: growing
        // in place would hold both and double the piece.
        std::vector<uint8_t>().swap(*buf);
        buf->reserve(e.dataFileSize);
    }
    buf->resize(e.dataFileSize);
    const ByteSource src = FileSource(f);
    const bool ok = src.read(src.ctx, e.dataFileOffset, buf->data(), buf->size());
    fclose(f);
    *data = buf->data();
    *size = e.dataFileSize;
    return ok;
}

// One piece expanded on its own: what CheckPayload reports of it.
struct PieceResult {
    bool readable = false;
    bool stored = false;     // no SZDD signature: copied as it is
    int result = SZDD_OK;
    uint32_t packed = 0;
    uint32_t length = 0;
    uint32_t crc = 0;        // of its expanded bytes alone
};

int NoSink(void *, const unsigned char *, uint32_t)
{
    return 1;
}

// Reads and expands one piece into `*r`; `buf` holds its bytes meanwhile.
void ExpandPiece(const ResEntry &piece, const Crc32Table *table, SzddSink sink, void *ctx, std::vector<uint8_t> *buf,
                 PieceResult *r)
{
    const uint8_t *data = nullptr;
    uint32_t size = 0;
    r->readable = EntryBytes(piece, buf, &data, &size);
    if (!r->readable)
        return;
    r->stored = size < kSzddMagicSize || memcmp(data, kSzddMagic, kSzddMagicSize) != 0;
    SzddOutput expanded = {0, 0};
    r->result = SzddExpandOrCopy(data, size, table, 0, sink, ctx, &expanded);
    r->packed = size;
    r->length = expanded.length;
    r->crc = expanded.crc;
}

// Pieces one after another into `sink`, stopping at the first that fails.
void ExpandInOrder(const std::vector<const ResEntry *> &pieces, const Crc32Table *table, const PayloadSink &sink,
                   std::vector<PieceResult> *results)
{
    SinkContext ctx = {&sink};
    std::vector<uint8_t> buf;
    for (size_t i = 0; i < pieces.size(); i++) {
        PieceResult &r = (*results)[i];
        ExpandPiece(*pieces[i], table, ToSink, &ctx, &buf, &r);
        if (!r.readable || r.result != SZDD_OK)
            break;
    }
}

// Most bytes of pieces held at once by the workers together: one piece
// each, so fewer workers take larger pieces.
constexpr uint64_t kPieceMemory = 8u << 20;

// Pieces are independent: each is read from its own place and expanded by
// whichever worker takes it next, one per core.
void ExpandOnEveryCore(const std::vector<const ResEntry *> &pieces, const Crc32Table *table,
                       std::vector<PieceResult> *results)
{
    uint64_t largest = 1;
    for (const ResEntry *p : pieces)
        largest = std::max<uint64_t>(largest, ResDataSize(*p));
    size_t threads = std::max(1u, std::thread::hardware_concurrency());
    threads = std::min<size_t>(threads, pieces.size());
    threads = std::min<size_t>(threads, std::max<uint64_t>(1, kPieceMemory / largest));
    // One piece held per worker: the job reads it into its worker's buffer.
    const unsigned workers = static_cast<unsigned>(threads);
    tk::WorkerPool pool(workers, workers);
    std::vector<std::vector<uint8_t>> bufs(pool.Workers());
    for (size_t i = 0; i < pieces.size(); i++) {
        pool.Submit([&, i](unsigned worker) {
            ExpandPiece(*pieces[i], table, NoSink, nullptr, &bufs[worker], &(*results)[i]);
        });
    }
    pool.Wait();
}

}  // namespace

void PayloadHead(const ResList &res, int index, size_t limit, std::vector<uint8_t> *out)
{
    out->clear();
    // Within the payload's own ids: a hostile file's thousands of pieces are
    // not searched for.
    std::vector<const ResEntry *> pieces;
    const uint32_t base = kPayloads[index].baseId;
    for (uint32_t id = base; id < base + kPayloadIdSpan; id++) {
        const ResEntry *piece = ResFind(res, RT_PAYLOAD_PIECE, (uint16_t)id);
        if (!piece)
            break;
        pieces.push_back(piece);
    }
    Crc32Table table;
    Crc32Init(&table);
    std::vector<PieceResult> results(pieces.size());
    // Full: the sink says stop, which ends the expansion there.
    const PayloadSink sink = [&](const uint8_t *data, uint32_t len) {
        out->insert(out->end(), data, data + std::min<size_t>(len, limit - out->size()));
        return out->size() < limit;
    };
    if (limit > 0)
        ExpandInOrder(pieces, &table, sink, &results);
}

void CheckPayload(const ResList &res, int index, const PayloadSink &sink, PayloadCheck *out,
                  const std::string *countOverride)
{
    *out = PayloadCheck();
    const KnownPayload &payload = kPayloads[index];
    out->baseId = payload.baseId;
    const std::string fix = "; build the medium again (medium build)";

    std::string err;
    std::u16string count;
    if (countOverride) {
        out->countText = *countOverride;
        out->countFound = !countOverride->empty();
    } else if (!GetString(res, payload.baseId, 0xFFFF, &count, &err)) {
        out->errors.push_back("the string block of the piece count " + Num(payload.baseId) + " is malformed" + fix);
        return;
    } else {
        out->countText = Ascii(count);
        out->countFound = !count.empty();
    }
    if (!out->countFound) {
        out->errors.push_back("no piece count (string " + Num(payload.baseId) +
                              "): the launcher expands nothing and reports a failure" + fix);
        return;
    }
    // The launcher reads the count into kPieceCountChars bytes.
    out->pieces = ParseDecimal(out->countText.substr(0, kPieceCountChars - 1).c_str());
    if (out->pieces <= 0) {
        out->errors.push_back("the piece count \"" + out->countText + "\" is not a positive number" + fix);
        return;
    }

    // The pieces present, in order, up to the first missing one.
    std::vector<const ResEntry *> present;
    for (long i = 0; i < out->pieces; i++) {
        const long id = payload.baseId + i;
        const ResEntry *piece = id <= 0xFFFF ? ResFind(res, RT_PAYLOAD_PIECE, (uint16_t)id) : nullptr;
        if (!piece)
            break;
        present.push_back(piece);
    }

    Crc32Table table;
    Crc32Init(&table);
    std::vector<PieceResult> results(present.size());
    if (sink)
        ExpandInOrder(present, &table, sink, &results);
    else
        ExpandOnEveryCore(present, &table, &results);

    // The findings in piece order, as one expansion from the first piece
    // would meet them; each piece's CRC was taken from 0 and is joined on.
    uint32_t crc = 0;
    uint64_t length = 0;
    bool ok = true;
    for (long i = 0; i < out->pieces && ok; i++) {
        const long id = payload.baseId + i;
        if ((size_t)i >= present.size()) {
            out->errors.push_back("piece " + Num((uint64_t)id) + " of " + Num((uint64_t)out->pieces) +
                                  " is missing" + fix);
            ok = false;
            break;
        }
        const PieceResult &r = results[(size_t)i];
        if (!r.readable) {
            out->errors.push_back("piece " + Num((uint64_t)id) + " cannot be read from the file" + fix);
            ok = false;
            break;
        }
        out->stored += r.stored ? 1 : 0;
        if (r.result == SZDD_SINK_FAILED) {
            out->errors.push_back("the expanded bytes could not be written");
            ok = false;
            break;
        }
        if (r.result != SZDD_OK) {
            out->errors.push_back("piece " + Num((uint64_t)id) + " is damaged: " + SzddText(r.result) + fix);
            ok = false;
            break;
        }
        out->packed += r.packed;
        length += r.length;
        crc = (uint32_t)crc32_combine(crc, r.crc, (z_off_t)r.length);
        out->piecesFound++;
        out->pieceStored.push_back(r.stored);
        if (length > 0xFFFFFFFFu) {
            out->errors.push_back("the payload expands to more than 4 GiB, past the launcher's 32-bit sizes" + fix);
            ok = false;
        }
    }
    out->length = length;
    out->crc = crc;
    out->whole = ok;
    if (ok && payload.baseId + out->pieces <= 0xFFFF &&
        ResFind(res, RT_PAYLOAD_PIECE, (uint16_t)(payload.baseId + out->pieces)))
        out->warnings.push_back("piece " + Num((uint64_t)(payload.baseId + out->pieces)) +
                                " follows the last counted piece; the launcher never expands it" + fix);

    const ResEntry *record = ResFind(res, RT_PAYLOAD_PIECE, RES_PAYLOAD_RECORD);
    if (!record) {
        out->record = kRecordNone;
        out->matches = ok;
        return;
    }
    std::vector<uint8_t> recordBytes;
    const uint8_t *recordData = nullptr;
    uint32_t recordSize = 0;
    if (!EntryBytes(*record, &recordBytes, &recordData, &recordSize))
        recordSize = 0;   // unreadable reads as malformed
    out->record = PayloadRecordFind(recordData, recordSize, payload.baseId, &out->entry);
    if (out->record == PAYLOAD_RECORD_MALFORMED) {
        out->errors.push_back("the payload check record (resource 3000/7099) is damaged: the launcher fails "
                              "every payload" + fix);
        return;
    }
    if (out->record == PAYLOAD_RECORD_ABSENT) {
        out->warnings.push_back("the payload check record has no entry for it: only structure and lengths "
                                "are checked" + fix);
        out->matches = ok;
        return;
    }
    if ((long)out->entry.pieceCount != out->pieces) {
        out->errors.push_back("the piece count says " + Num((uint64_t)out->pieces) + " pieces, the check record " +
                              Num(out->entry.pieceCount) + ": the launcher then skips the check" + fix);
        return;
    }
    if (!ok)
        return;
    if (out->entry.length != length || out->entry.crc != crc) {
        char buf[160];
        snprintf(buf, sizeof buf, "expands to %llu bytes with CRC-32 %08X, the check record says %u bytes "
                 "with CRC-32 %08X: the launcher refuses it", (unsigned long long)length, (unsigned)crc,
                 (unsigned)out->entry.length, (unsigned)out->entry.crc);
        out->errors.push_back(buf + fix);
        return;
    }
    out->matches = true;
}

// ---- medium extract ----

namespace {

const char kExtractUsage[] = "usage: medium extract SETUP.EXE DIR\n";


}  // namespace

void ExtractHelp(FILE *out)
{
    fprintf(out,
            "%s\n"
            "Expands the three payloads of a launcher with the launcher's own expander, checks\n"
            "each against its piece count and the payload check record, and writes them into\n"
            "DIR under the names the launcher uses: _INS0366._MP (bootstrap), _INS0466._MP\n"
            "(engine), _INS0166._MP (companion). DIR is made when missing. Nothing is written\n"
            "unless all three come out whole: a damaged payload is named and no file is left.\n\n"
            "Exit codes: 0 done, 1 bad input (not a launcher, a damaged payload), 3 I/O (the\n"
            "files could not be written), 64 usage.\n",
            kExtractUsage);
}

int ExtractCommand(int argc, char **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            ExtractHelp(stdout);
            return kExitOk;
        }
        if (argv[i][0] == '-' && argv[i][1] != '\0') {
            fprintf(stderr, "medium extract: unknown option '%s'\n%s", argv[i], kExtractUsage);
            return kExitUsage;
        }
        args.push_back(argv[i]);
    }
    if (args.size() != 2) {
        fputs(kExtractUsage, stderr);
        return kExitUsage;
    }
    const std::string &exe = args[0];
    const std::string &dir = args[1];
    // Headers and the resource tree only; pieces are read one at a time.
    std::string why;
    uint64_t size = 0;
    FILE *f = OpenForReading(exe, 0xFFFFFFFFull, "4 GiB", &size, &why);
    if (!f) {
        fprintf(stderr, "%s: cannot read: %s\n", exe.c_str(), why.c_str());
        return kExitInput;
    }
    const ByteSource src = FileSource(f);
    ResInFile pieces;
    pieces.type = RT_PAYLOAD_PIECE;
    pieces.file = exe;
    PeImage pe;
    ResList res;
    const bool read = ParsePeImage(src, size, &pe, &why) && ReadResources(src, pe, &pieces, &res, &why);
    fclose(f);
    if (!read) {
        fprintf(stderr, "%s: %s; give the medium's setup.exe\n", exe.c_str(), why.c_str());
        return kExitInput;
    }
    if (!ResFind(&res, RT_PAYLOAD_PIECE, PAYLOAD_BOOTSTRAP) && !ResFind(&res, RT_PAYLOAD_PIECE, RES_PAYLOAD_RECORD)) {
        fprintf(stderr, "%s: carries no payloads (no resource 3000/7100); give a setup.exe made by the build "
                        "or by medium build\n", exe.c_str());
        return kExitInput;
    }
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
        fprintf(stderr, "%s: cannot make the folder: %s\n", dir.c_str(), strerror(errno));
        return kExitIo;
    }

    PendingFile outs[kPayloadCount];
    PayloadCheck checks[kPayloadCount];
    int code = kExitOk;
    for (int i = 0; i < kPayloadCount && code == kExitOk; i++) {
        const std::string target = dir + "/" + kPayloads[i].file;
        if (!outs[i].Open(target, &why)) {
            fprintf(stderr, "%s: cannot create a file: %s\n", dir.c_str(), why.c_str());
            code = kExitIo;
            break;
        }
        bool writeFailed = false;
        PendingFile &out = outs[i];
        PayloadSink sink = [&](const uint8_t *data, uint32_t len) {
            if (!out.Write(data, len, &why))
                writeFailed = true;
            return !writeFailed;
        };
        CheckPayload(res, i, sink, &checks[i]);
        if (writeFailed) {
            fprintf(stderr, "%s: cannot write %s: %s\n", dir.c_str(), kPayloads[i].file, why.c_str());
            code = kExitIo;
        } else if (!checks[i].errors.empty() || !checks[i].matches) {
            for (const std::string &e : checks[i].errors)
                fprintf(stderr, "%s: payload %u (%s, %s): %s\n", exe.c_str(), (unsigned)kPayloads[i].baseId,
                        kPayloads[i].role, kPayloads[i].file, e.c_str());
            code = kExitInput;
        }
    }
    if (code != kExitOk) {
        fprintf(stderr, "medium extract: nothing written to %s\n", dir.c_str());
        return code;   // the pending files go with their temporary names
    }
    for (int i = 0; i < kPayloadCount; i++) {
        if (!outs[i].Commit(&why)) {
            // Those put in place already are whole; the rest go.
            fprintf(stderr, "%s: cannot write: %s\n", outs[i].Target().c_str(), why.c_str());
            return kExitIo;
        }
    }
    for (int i = 0; i < kPayloadCount; i++) {
        for (const std::string &w : checks[i].warnings)
            fprintf(stderr, "%s: payload %u: warning: %s\n", exe.c_str(), (unsigned)kPayloads[i].baseId, w.c_str());
        printf("%s/%s  %llu bytes from %u pieces (%llu packed), CRC-32 %08X%s\n", dir.c_str(), kPayloads[i].file,
               (unsigned long long)checks[i].length, (unsigned)checks[i].piecesFound,
               (unsigned long long)checks[i].packed, (unsigned)checks[i].crc,
               checks[i].record == PAYLOAD_RECORD_FOUND ? ", matches the check record" : "");
    }
    return kExitOk;
}

}  // namespace medium
