// `medium record`: the payload check record for a launcher whose resource
// script names the three SZDD pieces itself (the CMake build's setup.rc).
#include "tools/medium/record.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>

#include "base/ids.h"
#include "tools/lib/fileio.h"

namespace medium {

std::vector<uint8_t> PayloadRecordBytes(const PayloadRecordEntry *entries, uint32_t count)
{
    std::vector<uint8_t> data(PayloadRecordSize(count));
    const uint32_t written = PayloadRecordWrite(data.data(), (uint32_t)data.size(), entries, count);
    data.resize(written);
    return data;
}

bool RecordWholeFile(const std::string &path, const char *what, uint32_t baseId, const Crc32Table *table,
                     PayloadRecordEntry *entry, Failure *f)
{
    FILE *in = fopen(path.c_str(), "rb");
    if (!in)
        return Fail(f, kExitInput, path + ": cannot open the " + what + " payload (" + strerror(errno) + ")");
    struct stat st;
    if (fstat(fileno(in), &st) != 0 || !S_ISREG(st.st_mode)) {
        fclose(in);
        return Fail(f, kExitInput, path + ": the " + what + " payload is not a regular file");
    }
    std::vector<uint8_t> chunk(1u << 16);
    uint64_t length = 0;
    uint32_t crc = 0;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), in)) > 0) {
        crc = Crc32Update(table, crc, chunk.data(), n);
        length += n;
    }
    const bool bad = ferror(in) != 0;
    fclose(in);
    if (bad)
        return Fail(f, kExitInput, path + ": cannot read the " + what + " payload");
    if (length > 0xFFFFFFFFu)
        return Fail(f, kExitInput, path + ": the " + what + " payload is larger than the launcher can carry (4 GiB)");
    entry->baseId = baseId;
    entry->pieceCount = 1;
    entry->length = (uint32_t)length;
    entry->crc = crc;
    return true;
}

namespace {

const char kRecordUsage[] =
    "usage: medium record --bootstrap FILE --engine FILE --companion FILE -o RECORD\n\n"
    "Writes the payload check record, for builds that compile their own resource\n"
    "script: each payload's length and CRC-32, for a launcher that carries each\n"
    "payload in one SZDD piece (resources 3000/7100, 7200, 7300). Put RECORD into\n"
    "the script as resource 3000/7099:\n"
    "  RES_PAYLOAD_RECORD RT_PAYLOAD_PIECE \"record7099.bin\"\n\n"
    "Exit codes: 0 written; 1 a payload is missing or unreadable; 3 the record could\n"
    "not be written (an old one stays as it was); 64 wrong command line.\n";

bool WriteRecordFile(const std::string &path, const std::vector<uint8_t> &data, Failure *f)
{
    std::string why;
    if (!tk::WriteFileAtomic(path, data, &why))
        return Fail(f, kExitIo, why);
    return true;
}

}  // namespace

void RecordHelp(FILE *out)
{
    fputs(kRecordUsage, out);
}

int RecordCommand(int argc, char **argv)
{
    const char *const names[3] = {"bootstrap", "engine", "companion"};
    const char *const options[3] = {"--bootstrap", "--engine", "--companion"};
    const uint32_t bases[3] = {PAYLOAD_BOOTSTRAP, PAYLOAD_ENGINE, PAYLOAD_COMPANION};
    std::string payload[3], output;
    for (int i = 1; i < argc; i++) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            RecordHelp(stdout);
            return kExitOk;
        }
        std::string *slot = arg == "-o" ? &output : nullptr;
        for (int k = 0; k < 3; k++) {
            if (arg == options[k])
                slot = &payload[k];
        }
        if (!slot) {
            fprintf(stderr, "medium record: unknown option '%s'; see 'medium record --help'\n", arg.c_str());
            return kExitUsage;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            fprintf(stderr, "medium record: %s needs a file; see 'medium record --help'\n", arg.c_str());
            return kExitUsage;
        }
        if (!slot->empty()) {
            fprintf(stderr, "medium record: %s given twice\n", arg.c_str());
            return kExitUsage;
        }
        *slot = argv[++i];
    }
    for (int k = 0; k < 3; k++) {
        if (payload[k].empty()) {
            fprintf(stderr, "medium record: %s is required; see 'medium record --help'\n", options[k]);
            return kExitUsage;
        }
    }
    if (output.empty()) {
        fprintf(stderr, "medium record: -o RECORD is required; see 'medium record --help'\n");
        return kExitUsage;
    }

    Crc32Table table;
    Crc32Init(&table);
    PayloadRecordEntry entries[3];
    Failure failure;
    for (int k = 0; k < 3; k++) {
        if (!RecordWholeFile(payload[k], names[k], bases[k], &table, &entries[k], &failure)) {
            fprintf(stderr, "medium: %s\n", failure.message.c_str());
            return failure.code;
        }
    }
    if (!WriteRecordFile(output, PayloadRecordBytes(entries, 3), &failure)) {
        fprintf(stderr, "medium: %s\n", failure.message.c_str());
        return failure.code;
    }
    printf("medium: wrote the payload check record %s:", output.c_str());
    for (int k = 0; k < 3; k++)
        printf(" %s %u bytes, CRC-32 %08x%s", names[k], entries[k].length, entries[k].crc, k < 2 ? ";" : "\n");
    return kExitOk;
}

}  // namespace medium
