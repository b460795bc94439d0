// The `medium build` command: a project file and flags (flags win) become
// one build, made in a staging folder inside the output folder, signed there
// when the project says how, checked by inspect, and only then put in place.
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>

#include "tools/lib/commit.h"
#include "tools/lib/fileio.h"
#include "tools/lib/folders.h"
#include "tools/lib/numbers.h"
#include "tools/lib/pe_image.h"
#include "tools/lib/project.h"
#include "tools/lib/versionrules.h"
#include "tools/medium/build.h"
#include "tools/medium/cli.h"
#include "tools/medium/inspect.h"
#include "tools/medium/library_cli.h"
#include "tools/medium/resedit.h"
#include "tools/medium/sign.h"
#include "tools/lib/strings.h"

namespace medium {

namespace {

constexpr uint64_t kMaxProjectFile = 1u << 20;

// Stable codes of the build's own findings.
constexpr const char kCodeInputUnreadable[] = "input-unreadable";

// A decimal number from `low` to `high` (no sign, no spaces, no overflow).
bool WholeNumber(const std::string &text, uint64_t low, uint64_t high, uint64_t *value)
{
    int64_t v = 0;
    const int64_t most = high > (uint64_t)INT64_MAX ? INT64_MAX : (int64_t)high;
    if (!ParseNumber(text, (int64_t)low, most, NumberForm(), &v))
        return false;
    *value = (uint64_t)v;
    return true;
}

void Help(FILE *out)
{
    fprintf(out,
            "usage: medium build PROJECT.toml|DIR [OPTIONS]   (DIR: DIR/project.toml)\n"
            "       medium build --bootstrap FILE --engine FILE --companion FILE\n"
            "                    --script FILE --library FILE --out DIR [OPTIONS]\n\n"
            "Makes DIR/setup.exe from the launcher stub with the three payloads (each\n"
            "SZDD-compressed, in pieces of 4 MiB; a piece that does not shrink by 1 %%\n"
            "is stored as it is), copies the script beside it under its own\n"
            "name (SETUP.INS or INSTALL.INS) and the library as _SETUP.DLL. A project\n"
            "file names all of it (paths relative to the file), can have the library built\n"
            "from its description and setup.exe signed; options given here override its\n"
            "keys. The finished medium is checked as `medium inspect` checks it and put in\n"
            "place only when it has no error ('medium new DIR' writes a starter project).\n\n"
            "Options:\n"
            "  --stub FILE                 the payload-free launcher (default: the installed\n"
            "                              ../share/corvane/setup-stub.exe, or the build tree's)\n"
            "  --execution-level LEVEL     asInvoker, highestAvailable or requireAdministrator\n"
            "                              (default: the stub's, requireAdministrator)\n"
            "  --version-info KEY=VALUE    set a version string (repeatable); FileVersion and\n"
            "                              ProductVersion must be a.b.c.d (each 0-65535, missing\n"
            "                              parts 0) and set the numeric version too\n"
            "  --icon FILE.ico             replace the launcher's icon\n"
            "  --piece-size BYTES          split payloads into pieces of at most this size before\n"
            "                              compression (default 4194304, at least 4096; grows when\n"
            "                              a payload would need more than 100 pieces)\n"
            "  --threads N                 compress pieces on N threads (default: one per core);\n"
            "                              the output is the same for any N\n"
            "  --no-sign                   build without signing, from a project that has [sign]\n"
            "                              (a quick unsigned build; it says so)\n"
            "  --strict                    every warning is an error: nothing is put in place\n"
            "                              when there is one (the project's strict = true)\n"
            "  --json FILE                 write the build log to FILE however the build ends:\n"
            "                              inputs and outputs with size and SHA-256, pieces,\n"
            "                              findings with their codes, each step's time\n\n"
            "Exit codes: 0 done, 1 bad input, 3 I/O (the old medium stays as it was), 4 the\n"
            "finished medium failed its checks (nothing put in place), 64 usage.\n");
}

using tk::Errno;

// Removes the folders a failed build made (each only if empty), unless kept.
class MadeFolders {
public:
    ~MadeFolders()
    {
        for (size_t i = list.size(); !keep && i-- > 0;)
            rmdir(list[i].c_str());
    }
    std::vector<std::string> list;
    bool keep = false;
};

std::string Absolute(const std::string &path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd))
        return path;
    return std::string(cwd) + "/" + path;
}

// The staging folder: made inside the output folder (so the final renames
// stay on one file system) and removed with what is left in it.
class Staging {
public:
    ~Staging()
    {
        if (path_.empty() || keep)
            return;
        if (DIR *d = opendir(path_.c_str())) {
            while (struct dirent *e = readdir(d)) {
                if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                    unlink((path_ + "/" + e->d_name).c_str());
            }
            closedir(d);
        }
        rmdir(path_.c_str());
    }
    bool Make(const std::string &outDir, std::string *why)
    {
        std::string templ = outDir + "/.medium-build-XXXXXX";
        if (!mkdtemp(&templ[0])) {
            *why = Errno();
            return false;
        }
        path_ = templ;
        return true;
    }
    const std::string &Path() const { return path_; }
    bool keep = false;   // it holds the only copy of an old file

private:
    std::string path_;
};

std::string Replace(std::string text, const std::string &from, const std::string &to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

struct SignStep {
    bool payloads = false;   // the programs inside and _SETUP.DLL too
    std::vector<std::string> command;
    std::vector<std::pair<std::string, std::string>> values;
    std::string dir;   // where the command runs: the project's folder
    std::string ca;    // roots the signed file must chain to at the gate; empty: not checked
};

// What `--json FILE` writes: the inputs, the pieces, the outputs, every
// finding and how long each step took, for scripts that gate a release.
struct BuildLog {
    struct File {
        std::string role;
        std::string path;
    };
    std::vector<File> inputs;
    std::vector<File> outputs;
    PayloadReport payloads[3];
    bool built = false;
    std::vector<Finding> findings;
    std::vector<std::pair<std::string, double>> steps;
    double mark = MonotonicSeconds();

    // The step `name` ends now.
    void Step(const char *name)
    {
        const double now = MonotonicSeconds();
        steps.emplace_back(name, now - mark);
        mark = now;
    }
    // The step `name` took `seconds` within the step under way, which does
    // not count them.
    void Aside(const char *name, double seconds)
    {
        steps.emplace_back(name, seconds);
        mark += seconds;
    }
    void Add(Severity severity, const char *code, const std::string &file, const std::string &text)
    {
        Finding f;
        f.severity = severity;
        f.code = code;
        f.file = file;
        f.text = text;
        findings.push_back(f);
    }
};

std::string FilesJson(const std::vector<BuildLog::File> &files)
{
    std::string out = "[";
    for (const BuildLog::File &f : files) {
        uint64_t size = 0;
        std::string sha, why;
        const bool read = FileSha256(f.path, &size, &sha, &why);
        out += std::string(out.size() > 1 ? "," : "") + "{\"role\":" + JsonString(f.role) +
               ",\"path\":" + JsonString(f.path) + ",\"size\":" + std::to_string(size) +
               ",\"sha256\":" + (read ? JsonString(sha) : "null") + "}";
    }
    return out + "]";
}

// The log as one JSON object; `status` is the exit code.
std::string BuildLogJson(const BuildLog &log, int status)
{
    std::string out = "{\"tool\":\"medium build\",\"status\":" + std::to_string(status) +
                      ",\"ok\":" + (status == kExitOk ? "true" : "false") + ",\"inputs\":" + FilesJson(log.inputs) +
                      ",\"pieces\":[";
    for (int i = 0; log.built && i < 3; i++) {
        const PayloadReport &p = log.payloads[i];
        out += std::string(i ? "," : "") + "{\"payload\":\"" + kPayloadNames[i] +
               "\",\"length\":" + std::to_string(p.length) + ",\"packed\":" + std::to_string(p.packed) +
               ",\"pieces\":" + std::to_string(p.pieces) + ",\"raw\":" + std::to_string(p.raw) + "}";
    }
    out += "],\"outputs\":" + FilesJson(log.outputs) + ",\"findings\":[";
    for (size_t i = 0; i < log.findings.size(); i++)
        out += (i ? "," : "") + FindingJson(log.findings[i]);
    out += "],\"steps\":[";
    for (size_t i = 0; i < log.steps.size(); i++) {
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%.3f", log.steps[i].second);
        out += std::string(i ? "," : "") + "{\"name\":" + JsonString(log.steps[i].first) + ",\"seconds\":" + seconds +
               "}";
    }
    return out + "]}\n";
}

int RunBuild(int argc, char **argv, BuildLog *log);

}  // namespace

void BuildHelp(FILE *out)
{
    Help(out);
}

int BuildCommand(int argc, char **argv)
{
    // --json FILE is the wrapper's: the log is written however the build ends.
    std::vector<char *> args;
    std::string logPath;
    for (int i = 0; i < argc; i++) {
        const std::string arg = argv[i];
        if (i > 0 && (arg == "--json" || arg.rfind("--json=", 0) == 0)) {
            if (arg == "--json" && i + 1 >= argc) {
                fprintf(stderr, "medium build: --json needs a file for the build log; see 'medium build --help'\n");
                return kExitUsage;
            }
            logPath = arg == "--json" ? argv[++i] : arg.substr(7);
            if (logPath.empty()) {
                fprintf(stderr, "medium build: --json needs a file for the build log\n");
                return kExitUsage;
            }
            continue;
        }
        args.push_back(argv[i]);
    }
    BuildLog log;
    int code = RunBuild((int)args.size(), args.data(), &log);
    if (logPath.empty())
        return code;
    std::string why;
    if (!WriteFileAtomic(logPath, BuildLogJson(log, code), &why)) {
        fprintf(stderr, "medium: %s; the build log is not written\n", why.c_str());
        return code == kExitOk ? kExitIo : code;
    }
    return code;
}

namespace {

// Runs the project's sign command on `in`, writing `out`. kExitOk when the
// command succeeded and wrote `out`; kExitInput (printed) otherwise. `what`
// names the file for people ("setup.exe", "the bootstrap (boot.exe)").
int SignFile(const SignStep &sign, const std::string &projectPath, const std::string &in, const std::string &out,
             const std::string &what)
{
    std::vector<std::pair<std::string, std::string>> values = sign.values;
    values.emplace_back("in", Absolute(in));
    values.emplace_back("out", Absolute(out));
    std::vector<std::string> args;
    std::string why;
    if (!ExpandCommand(sign.command, values, &args, &why)) {
        fprintf(stderr, "medium: %s: sign command: %s\n", projectPath.c_str(), why.c_str());
        return kExitInput;
    }
    struct stat signedStat;
    if (!RunCommand(args, sign.dir, &why)) {
        fprintf(stderr, "medium: signing %s failed: %s; nothing put in place\n", what.c_str(), why.c_str());
        return kExitInput;
    }
    if (stat(out.c_str(), &signedStat) != 0 || signedStat.st_size == 0) {
        fprintf(stderr, "medium: signing %s failed: %s wrote no {out} file; nothing put in place\n", what.c_str(),
                args[0].c_str());
        return kExitInput;
    }
    printf("signed: %s with %s\n", what.c_str(), args[0].c_str());
    return kExitOk;
}

// The sign step: the signed copy replaces the staged setup.exe only when
// the command succeeded and wrote it. kExitOk when signed or when the
// project signs nothing; kExitInput or kExitIo (printed) otherwise.
int SignStaged(const SignStep &sign, const std::string &projectPath, const std::string &stage,
               const std::string &outDir)
{
    if (sign.command.empty())
        return kExitOk;
    const std::string setup = stage + "/setup.exe";
    const std::string signedPath = stage + "/setup.signed.exe";
    if (const int code = SignFile(sign, projectPath, setup, signedPath, "setup.exe"); code != kExitOk)
        return code;
    if (rename(signedPath.c_str(), setup.c_str()) != 0) {
        fprintf(stderr, "medium: %s/setup.exe: cannot put the signed file in place (%s)\n", outDir.c_str(),
                Errno().c_str());
        return kExitIo;
    }
    return kExitOk;
}

// Whether the file at `path` is a Windows program or library (its headers
// parse as a PE image).
bool IsPeFile(const std::string &path)
{
    PeImage pe;
    std::string err;
    return ParsePeFile(path, &pe, &err);
}

// The payloads' sign step, before anything is packed: the bootstrap, the
// engine and the companion when they are programs, and the library, each
// signed into a copy in `stage` that the build then takes in its place (the
// project's own files are never changed). kExitOk, or the failed signing's
// code (printed).
int SignPayloads(const SignStep &sign, const std::string &projectPath, const std::string &stage, BuildOptions *o,
                 const std::function<void(const char *, const std::string &)> &warn)
{
    static const char *const kSignedNames[3] = {"signed-bootstrap.exe", "signed-engine.exe", "signed-companion"};
    for (int i = 0; i < 3; i++) {
        const std::string what = std::string("the ") + kPayloadNames[i] + " (" + o->payload[i] + ")";
        if (!IsPeFile(o->payload[i])) {
            // The bootstrap's own check names that fault; a companion is
            // often data.
            if (i == 1)
                warn("payload-not-signed", o->payload[i] + ": the engine is not a Windows program; it is packed "
                                                           "unsigned");
            continue;
        }
        const std::string out = stage + "/" + kSignedNames[i];
        if (const int code = SignFile(sign, projectPath, o->payload[i], out, what); code != kExitOk)
            return code;
        o->payload[i] = out;
    }
    const std::string out = stage + "/signed-library.dll";
    const std::string what = o->library.rfind(stage + "/", 0) == 0 ? std::string("_SETUP.DLL (built from the description)")
                                                                     : "_SETUP.DLL (" + o->library + ")";
    if (const int code = SignFile(sign, projectPath, o->library, out, what); code != kExitOk)
        return code;
    o->library = out;
    return kExitOk;
}

// The gate: inspect's checks over the staged medium, its findings printed
// and logged under the output folder's name, and counted into `errors` and
// `warnings`. kExitChecks when there is an error (with `strict`, a warning
// is one); kExitOk otherwise.
int GateStaged(const std::string &stage, const std::string &outDir, const std::string &ca, bool strict, BuildLog *log,
               size_t *errors, size_t *warnings)
{
    Inspection inspection;
    ImageCheckOptions gate;
    gate.caFile = ca;
    InspectPath(stage, &inspection, gate);
    if (strict)
        WarningsToErrors(&inspection.findings);
    for (const Finding &f : inspection.findings) {
        if (f.severity == Severity::Note)
            continue;
        (f.severity == Severity::Error ? *errors : *warnings)++;
        fprintf(stderr, "%s\n", Replace(FindingLine(f), stage, outDir).c_str());
        Finding logged = f;
        logged.file = Replace(f.file, stage, outDir);
        log->findings.push_back(logged);
    }
    if (InspectStatus(inspection.findings) != kInspectErrors)
        return kExitOk;
    fprintf(stderr, "medium: the medium has %zu error%s (above); nothing put in place\n", *errors,
            *errors == 1 ? "" : "s");
    return kExitChecks;
}

// The commit: `names` from `stage` into `outDir` together, or the old ones
// kept (CommitFiles). kExitOk when in place; kExitIo (printed and logged)
// otherwise, with `*keepStage` set when `stage` holds the only copy of an
// old file.
int CommitStaged(const std::string &stage, const std::string &outDir, const std::vector<std::string> &names,
                 BuildLog *log, bool *keepStage)
{
    tk::CommitOutcome commit;
    if (tk::CommitFiles(stage, outDir, names, &commit))
        return kExitOk;
    if (!commit.restored) {
        *keepStage = true;
        fprintf(stderr,
                "medium: %s: cannot put in place (%s), and the old medium could not be put back: its files "
                "are in %s as old.NAME; move them back by hand\n",
                commit.file.c_str(), commit.why.c_str(), commit.keptIn.c_str());
    } else if (commit.signal) {
        fprintf(stderr, "medium: interrupted (%s); nothing put in place, the output folder is as it was\n",
                strsignal(commit.signal));
    } else {
        fprintf(stderr, "medium: %s: cannot put in place (%s); nothing put in place, the output folder is as "
                        "it was\n",
                commit.file.c_str(), commit.why.c_str());
    }
    log->Add(Severity::Error, commit.signal ? "interrupted" : "commit-failed", commit.file,
             commit.signal ? std::string("interrupted: ") + strsignal(commit.signal) : commit.why);
    return kExitIo;
}

int RunBuild(int argc, char **argv, BuildLog *log)
{
    BuildOptions o;
    std::string pieceSize, threads, projectPath;
    o.progress = isatty(2) != 0;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = 0;
        o.self = self;
    }
    struct Slot {
        const char *name;
        std::string *value;
        const char *key;    // its key in the project file
        const char *what;   // an input file: what it is; null for other values
    } slots[] = {
        {"--bootstrap", &o.payload[0], "payloads.bootstrap", "bootstrap"},
        {"--engine", &o.payload[1], "payloads.engine", "engine payload"},
        {"--companion", &o.payload[2], "payloads.companion", "companion payload"},
        {"--script", &o.script, "script", "script"},
        {"--library", &o.library, "library.file", "resource library"},
        {"--out", &o.outDir, "out", nullptr},
        {"--stub", &o.stub, "stub", "launcher stub"},
        {"--execution-level", &o.level, "execution-level", nullptr},
        {"--icon", &o.icon, "icon", "icon"},
        {"--piece-size", &pieceSize, "piece-size", nullptr},
        {"--threads", &threads, "threads", nullptr},
    };
    // The values the project gave (no flag): their faults are reported at
    // their line in the project file.
    std::vector<const std::string *> fromProject;
    Project p;
    std::vector<std::pair<std::string, std::string>> flagVersionInfo;
    bool strict = false, noSign = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Help(stdout);
            return kExitOk;
        }
        if (arg == "--strict") {
            strict = true;
            continue;
        }
        if (arg == "--no-sign") {
            noSign = true;
            continue;
        }
        if (arg.empty() || arg[0] != '-') {
            if (!projectPath.empty()) {
                fprintf(stderr, "medium build: one project file only (%s, then %s)\n", projectPath.c_str(),
                        arg.c_str());
                return kExitUsage;
            }
            projectPath = arg;
            continue;
        }
        std::string value;
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        bool inlineValue = eq != std::string::npos && arg.compare(0, 2, "--") == 0;
        if (inlineValue) {
            value = arg.substr(eq + 1);
        } else {
            name = arg;
        }
        bool known = name == "--version-info";
        for (const Slot &s : slots)
            known = known || name == s.name;
        if (!known) {
            fprintf(stderr, "medium build: unknown option '%s'; see 'medium build --help'\n", arg.c_str());
            return kExitUsage;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                fprintf(stderr, "medium build: %s needs a value; see 'medium build --help'\n", name.c_str());
                return kExitUsage;
            }
            value = argv[++i];
        }
        if (name == "--version-info") {
            size_t at = value.find('=');
            if (at == std::string::npos || at == 0) {
                fprintf(stderr, "medium build: --version-info wants KEY=VALUE, got '%s'\n", value.c_str());
                return kExitUsage;
            }
            flagVersionInfo.emplace_back(value.substr(0, at), value.substr(at + 1));
            continue;
        }
        for (const Slot &s : slots) {
            if (name != s.name)
                continue;
            if (!s.value->empty()) {
                fprintf(stderr, "medium build: %s given twice\n", s.name);
                return kExitUsage;
            }
            if (value.empty()) {
                fprintf(stderr, "medium build: %s needs a value\n", s.name);
                return kExitUsage;
            }
            *s.value = value;
        }
    }

    // The project's keys fill what the flags left open.
    std::string libraryDescription;
    SignStep sign;
    if (!projectPath.empty()) {
        // A folder stands for the project file in it.
        struct stat st;
        if (stat(projectPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            while (projectPath.size() > 1 && projectPath.back() == '/')
                projectPath.pop_back();
            projectPath += "/project.toml";
        }
        std::string text, why;
        if (!ReadWholeFile(projectPath, kMaxProjectFile, "1 MiB", &text, &why)) {
            fprintf(stderr, "medium: %s: cannot read the project file (%s); check the path\n", projectPath.c_str(),
                    why.c_str());
            return kExitInput;
        }
        std::vector<std::string> errors;
        if (!ParseProject(text, projectPath, &p, &errors)) {
            for (const std::string &e : errors)
                fprintf(stderr, "%s\n", e.c_str());
            fprintf(stderr, "medium build: nothing built\n");
            return kExitInput;
        }
        const std::pair<std::string *, const std::string *> fill[] = {
            {&o.payload[0], &p.payload[0]}, {&o.payload[1], &p.payload[1]}, {&o.payload[2], &p.payload[2]},
            {&o.script, &p.script}, {&o.outDir, &p.outDir}, {&o.stub, &p.stub},
            {&o.icon, &p.icon},     {&o.level, &p.level}, {&o.library, &p.library},
        };
        const bool libraryFlag = !o.library.empty();
        for (const auto &f : fill) {
            if (f.first->empty() && !f.second->empty()) {
                *f.first = *f.second;
                fromProject.push_back(f.first);
            }
        }
        if (!libraryFlag)
            libraryDescription = p.libraryDescription;
        if (pieceSize.empty() && p.pieceSize != 0)
            pieceSize = std::to_string(p.pieceSize);
        o.versionInfo = p.versionInfo;
        sign.command = p.signCommand;
        sign.payloads = p.signPayloads;
        sign.values = p.signValues;
        sign.dir = p.dir;
        sign.ca = p.signCa;
        strict = strict || p.strict;
        if (!o.level.empty() && !IsExecutionLevel(o.level) && o.level == p.level) {
            fprintf(stderr, "%s: execution-level must be asInvoker, highestAvailable or requireAdministrator\n",
                    PlaceOf(p, "execution-level").c_str());
            return kExitInput;
        }
    }
    o.versionInfo.insert(o.versionInfo.end(), flagVersionInfo.begin(), flagVersionInfo.end());

    log->Step("options");

    // Every input left out, then every input that cannot be read: all of
    // them at once, so that one build shows what to fix.
    const char *hint = projectPath.empty() ? "; see 'medium build --help'" : " (or its key in the project file)";
    size_t unset = 0;
    for (const Slot &s : slots) {
        bool optional = s.value == &o.stub || s.value == &o.level || s.value == &o.icon || s.value == &pieceSize ||
                        s.value == &threads || (s.value == &o.library && !libraryDescription.empty());
        if (!optional && s.value->empty()) {
            fprintf(stderr, "medium build: %s is required%s\n", s.name, hint);
            unset++;
        }
    }
    if (unset > 0)
        return kExitUsage;
    if (!o.level.empty() && !IsExecutionLevel(o.level)) {
        fprintf(stderr, "medium build: --execution-level must be asInvoker, highestAvailable or requireAdministrator\n");
        return kExitUsage;
    }
    uint64_t v = 0;
    if (!pieceSize.empty()) {
        if (!WholeNumber(pieceSize, kMinPieceSize, 0x7FFFFFFFu, &v)) {
            fprintf(stderr, "medium build: the piece size must be a number of bytes from %u up\n", kMinPieceSize);
            return kExitUsage;
        }
        o.pieceSize = (uint32_t)v;
    }
    if (!threads.empty()) {
        if (!WholeNumber(threads, 1, 256, &v)) {
            fprintf(stderr, "medium build: --threads must be a number from 1 to 256\n");
            return kExitUsage;
        }
        o.threads = (unsigned)v;
    }
    if (const char *above = getenv(kMappedLayoutAboveVariable)) {
        if (!WholeNumber(above, 0, UINT64_MAX, &v)) {
            fprintf(stderr, "medium build: %s must be a number of bytes\n", kMappedLayoutAboveVariable);
            return kExitUsage;
        }
        o.mappedLayoutAbove = v;
    }

    std::vector<Finding> inputFaults;
    auto checkInput = [&](const std::string &path, const std::string *value, const char *key, const char *flag,
                          const char *what) {
        struct stat st;
        std::string why;
        if (stat(path.c_str(), &st) != 0)
            why = Errno();
        else if (S_ISDIR(st.st_mode))
            why = "it is a folder";
        else if (access(path.c_str(), R_OK) != 0)
            why = Errno();
        if (why.empty())
            return;
        Finding f;
        f.code = kCodeInputUnreadable;
        bool projectValue = value == nullptr;
        for (const std::string *from : fromProject)
            projectValue = projectValue || from == value;
        const Project::KeyPlace *place = projectValue ? FindPlace(p, key) : nullptr;
        if (place) {
            f.file = p.file;
            f.line = place->line;
            f.column = place->column;
            f.text = std::string(key) + ": cannot read the " + what + " " + path + " (" + why +
                     "); check the path (relative to the project file)";
        } else {
            f.file = path;
            f.text = std::string("cannot read the ") + what + " (" + why + "); check " + flag;
        }
        inputFaults.push_back(f);
        log->findings.push_back(f);
    };
    for (const Slot &s : slots) {
        if (s.what && !s.value->empty())
            checkInput(*s.value, s.value, s.key, s.name, s.what);
    }
    if (!libraryDescription.empty())
        checkInput(libraryDescription, nullptr, "library.description", "[library] description",
                   "library description");
    if (!sign.ca.empty())
        checkInput(sign.ca, nullptr, "sign.ca", "[sign] ca", "trusted roots (PEM)");
    if (!inputFaults.empty()) {
        for (const Finding &f : inputFaults)
            fprintf(stderr, "%s\n", FindingLine(f).c_str());
        fprintf(stderr, "medium build: %zu input%s cannot be read; nothing built\n", inputFaults.size(),
                inputFaults.size() == 1 ? "" : "s");
        return kExitInput;
    }

    for (const Slot &s : slots) {
        if (s.what && !s.value->empty())
            log->inputs.push_back({s.name + 2, *s.value});
    }
    if (!libraryDescription.empty())
        log->inputs.push_back({"library-description", libraryDescription});
    if (!sign.ca.empty())
        log->inputs.push_back({"sign-ca", sign.ca});

    // Version information: refused before anything is compressed.
    VersionPlan plan;
    std::vector<std::string> versionErrors;
    if (!PlanVersionInfo(o.versionInfo, &plan, &versionErrors)) {
        for (const std::string &e : versionErrors)
            fprintf(stderr, "medium build: %s\n", e.c_str());
        fprintf(stderr, "medium build: nothing built\n");
        return kExitInput;
    }
    o.versionInfo = plan.strings;
    // Every warning printed counts in the summary, the build's and the gate's;
    // with --strict each is an error, and the build stops at the step that
    // found it.
    size_t warnings = 0;
    auto warn = [&](const char *code, const std::string &text) {
        log->Add(strict ? Severity::Error : Severity::Warning, code, "", text);
        fprintf(stderr, "medium: %s: %s\n", strict ? "error" : "warning", text.c_str());
        warnings++;
    };
    for (const std::string &w : plan.warnings)
        warn("version-info", w);
    if (strict && warnings > 0) {
        fprintf(stderr, "medium build: %zu warning%s, errors with --strict; nothing built\n", warnings,
                warnings == 1 ? "" : "s");
        return kExitInput;
    }

    // Which stub and which inputs, at once: compressing may take a while.
    if (o.stub.empty() && !FindStub(o.self, &o.stub, &o.stubFrom)) {
        fprintf(stderr, "medium: no launcher stub found (looked for ../share/corvane/setup-stub.exe beside the tool "
                        "and in the build tree); give one with --stub FILE\n");
        return kExitInput;
    }
    if (!projectPath.empty())
        printf("project: %s\n", projectPath.c_str());
    printf("stub: %s (%s)\n", o.stub.c_str(), o.stubFrom.empty() ? "--stub" : o.stubFrom.c_str());
    if (noSign && !sign.command.empty()) {
        sign.command.clear();
        sign.ca.clear();   // nothing signed: no chain to check
        printf("not signed: --no-sign; the project's [sign] is skipped\n");
        log->Add(Severity::Note, "not-signed", projectPath, "built with --no-sign: the project's [sign] is skipped");
    }
    if (log->inputs.empty() || log->inputs.back().role != "stub")
        log->inputs.push_back({"stub", o.stub});
    log->Step("plan");
    fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    const std::string outDir = o.outDir;
    std::string why;
    // Held back from the commit on; they arrive after the clean-up.
    std::optional<tk::SignalsHeld> held;
    MadeFolders made;
    if (!MakeFolders(outDir, &made.list, &why)) {
        fprintf(stderr, "medium: %s: cannot create the output folder (%s)\n", outDir.c_str(), why.c_str());
        return kExitIo;
    }
    Staging staging;
    if (!staging.Make(outDir, &why)) {
        fprintf(stderr, "medium: %s: cannot create a folder to build in (%s); check the folder's permissions\n",
                outDir.c_str(), why.c_str());
        return kExitIo;
    }
    const std::string stage = staging.Path();
    std::string libraryReport;

    if (!libraryDescription.empty()) {
        // Its report names the library as it will stand in the medium.
        o.library = stage + "/library.dll";
        char *text = nullptr;
        size_t length = 0;
        FILE *report = open_memstream(&text, &length);
        const int code = RunLibraryCommand({libraryDescription, "-o", o.library}, report ? report : stdout, stderr,
                                           p.hasDefines ? &p.defines : nullptr);
        if (report) {
            fclose(report);
            // Its "_SETUP.DLL: ..." line waits for the commit: until then
            // nothing is written where it says.
            libraryReport = Replace(text, o.library, outDir + "/_SETUP.DLL");
            free(text);
        }
        if (code != kExitOk) {
            fputs(libraryReport.c_str(), stderr);
            log->Add(Severity::Error, "library-failed", libraryDescription, "the library description has errors (above)");
            return code;
        }
    }

    // The programs inside and the library are signed before they are
    // packed and sealed, so that the seal records the signed bytes.
    const std::string given[3] = {o.payload[0], o.payload[1], o.payload[2]};
    if (sign.payloads && !sign.command.empty()) {
        const double began = MonotonicSeconds();
        if (const int code = SignPayloads(sign, projectPath, stage, &o, warn); code != kExitOk) {
            log->Add(Severity::Error, "sign-failed", "", "signing a payload or _SETUP.DLL failed (above)");
            return code;
        }
        log->Aside("sign-payloads", MonotonicSeconds() - began);
        if (strict && warnings > 0) {
            fprintf(stderr, "medium build: %zu warning%s, errors with --strict; nothing put in place\n", warnings,
                    warnings == 1 ? "" : "s");
            return kExitChecks;
        }
    }

    o.outDir = stage;
    BuildReport report;
    Failure failure;
    const bool ok = Build(o, &report, &failure);
    for (const std::string &w : report.warnings)
        warn("stub-resources", Replace(w, stage, outDir));
    if (!ok) {
        fprintf(stderr, "medium: %s\n", Replace(failure.message, stage, outDir).c_str());
        log->Add(Severity::Error, "build-failed", "", Replace(failure.message, stage, outDir));
        return failure.code;
    }
    if (strict && warnings > 0) {
        fprintf(stderr, "medium build: %zu warning%s, errors with --strict; nothing put in place\n", warnings,
                warnings == 1 ? "" : "s");
        return kExitChecks;
    }
    if (o.library.rfind(stage + "/", 0) == 0)
        unlink(o.library.c_str());   // built or signed here; now in the medium as _SETUP.DLL
    for (int i = 0; i < 3; i++)
        if (o.payload[i] != given[i])
            unlink(o.payload[i].c_str());
    for (int i = 0; i < 3; i++) {
        const PayloadReport &pr = report.payloads[i];
        // A signed copy is what was packed: its size, named after the file given.
        printf("%-9s %s%s: %llu -> %llu bytes (%.1f%%), %u piece%s (%u stored raw)\n", kPayloadNames[i],
               given[i].c_str(), o.payload[i] != given[i] ? " (signed)" : "", (unsigned long long)pr.length, (unsigned long long)pr.packed,
               pr.length ? 100.0 * (double)pr.packed / (double)pr.length : 0.0, pr.pieces, pr.pieces == 1 ? "" : "s",
               pr.raw);
    }
    fflush(stdout);

    log->built = true;
    for (int i = 0; i < 3; i++)
        log->payloads[i] = report.payloads[i];
    log->Step("stage");

    // Sign, gate, commit: each step ends the build when it fails.
    if (const int code = SignStaged(sign, projectPath, stage, outDir); code != kExitOk)
        return code;
    log->Step("sign");
    size_t errors = 0;
    if (const int code = GateStaged(stage, outDir, sign.ca, strict, log, &errors, &warnings); code != kExitOk)
        return code;
    log->Step("gate");
    held.emplace();
    if (const int code = CommitStaged(stage, outDir, {"setup.exe", report.scriptName, "_SETUP.DLL"}, log,
                                      &staging.keep);
        code != kExitOk) {
        made.keep = staging.keep;
        return code;
    }
    made.keep = true;
    log->Step("commit");
    for (const std::string &name : {std::string("setup.exe"), report.scriptName, std::string("_SETUP.DLL")})
        log->outputs.push_back({name, outDir + "/" + name});
    struct stat st;
    if (stat((outDir + "/setup.exe").c_str(), &st) == 0)
        report.setupSize = (uint64_t)st.st_size;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    printf("checked: %zu error%s, %zu warning%s\n", errors, errors == 1 ? "" : "s", warnings,
           warnings == 1 ? "" : "s");
    fputs(libraryReport.c_str(), stdout);
    printf("wrote %s/setup.exe (%llu bytes), %s, _SETUP.DLL in %.2f s\n", outDir.c_str(),
           (unsigned long long)report.setupSize, report.scriptName.c_str(), seconds);
    return kExitOk;
}

}  // namespace

}  // namespace medium
