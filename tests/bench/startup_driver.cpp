// Driver of the start-up benchmark (tests/bench/bench-startup.sh): starts each
// installer in turn, N times, and measures from just before CreateProcess to
// the moment the bootstrap payload (stamp_bootstrap) read the performance
// counter at its first instruction. While it waits it samples the
// installer's memory counters.
//
// usage: startup_driver --temp DIR --stamp FILE [--runs N] [--warmup N]
//                       [--timeout-ms MS] [--expect NAME=FILE ...]
//                       --run "LABEL|EXE|ARGS" ...
//
// Each installer runs with TEMP and TMP set to DIR, which is emptied before
// every run; after each warm-up run the files named by --expect must be in
// DIR with the same bytes as the originals. The installers take turns run by
// run, so that load from other work on the machine falls on all of them
// alike. Lines written to stdout:
//   run LABEL I MS PEAK_WS_KB MAX_PRIVATE_KB        one measured run
//   result LABEL MEDIAN_MS MIN_MS MAX_MS PEAK_WS_KB MAX_PRIVATE_KB N
//   fail LABEL I WHAT                               a run that went wrong
// PEAK_WS is the process's peak working set and MAX_PRIVATE the largest
// private (under Wine: anonymous resident) size seen, both from
// GetProcessMemoryInfo. Exit code 0 when every run measured.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

struct Installer {
    std::string label;
    std::string exe;
    std::string args;
    std::vector<double> ms;
    SIZE_T peakWorkingSet = 0;
    SIZE_T maxPrivate = 0;
    int failures = 0;
};

struct Options {
    std::string temp;
    std::string stamp;
    int runs = 5;
    int warmup = 1;
    DWORD timeoutMs = 60000;
    std::vector<Installer> installers;
    // Files each installer must leave in TEMP (name, the original's path),
    // compared after every warm-up run, outside the measured time.
    std::vector<std::pair<std::string, std::string>> expected;
};

// How long an installer may keep running after its bootstrap started before
// it is ended. An installer that stays by design (a launcher waiting for its
// setup to close the splash) is not waited out: only the start counts.
const DWORD kGraceMs = 200;
const DWORD kPollMs = 1;
const DWORD kAfterEndMs = 5000;

bool ParseRun(const std::string &run, Installer &out)
{
    size_t a = run.find('|');
    if (a == std::string::npos)
        return false;
    size_t b = run.find('|', a + 1);
    out.label = run.substr(0, a);
    out.exe = run.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    out.args = b == std::string::npos ? "" : run.substr(b + 1);
    return !out.label.empty() && !out.exe.empty();
}

bool ParseOptions(int argc, char **argv, Options &o)
{
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (i + 1 >= argc)
            return false;
        std::string value = argv[++i];
        if (arg == "--temp")
            o.temp = value;
        else if (arg == "--stamp")
            o.stamp = value;
        else if (arg == "--runs")
            o.runs = atoi(value.c_str());
        else if (arg == "--warmup")
            o.warmup = atoi(value.c_str());
        else if (arg == "--timeout-ms")
            o.timeoutMs = (DWORD)strtoul(value.c_str(), nullptr, 10);
        else if (arg == "--expect") {
            size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0)
                return false;
            o.expected.emplace_back(value.substr(0, eq), value.substr(eq + 1));
        } else if (arg == "--run") {
            Installer installer;
            if (!ParseRun(value, installer))
                return false;
            o.installers.push_back(installer);
        } else
            return false;
    }
    return !o.temp.empty() && !o.stamp.empty() && o.runs > 0 && o.warmup >= 0 && !o.installers.empty();
}

// Removes everything inside `dir` (not `dir` itself). False when something
// stays.
bool EmptyDirectory(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    bool ok = true;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = dir + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = EmptyDirectory(path) && RemoveDirectoryA(path.c_str()) && ok;
        else
            ok = DeleteFileA(path.c_str()) && ok;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return ok;
}

// A process that may still hold files in the temporary folder gets a short
// while to let go of them.
bool EmptyDirectoryPatiently(const std::string &dir)
{
    for (int attempt = 0; attempt < 50; attempt++) {
        if (EmptyDirectory(dir))
            return true;
        Sleep(100);
    }
    return false;
}

// True when the two files hold the same bytes.
bool SameContent(const std::string &a, const std::string &b)
{
    HANDLE fa = CreateFileA(a.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE fb = CreateFileA(b.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    bool same = fa != INVALID_HANDLE_VALUE && fb != INVALID_HANDLE_VALUE;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (same) {
        DWORD na = 0, nb = 0;
        if (!ReadFile(fa, ba.data(), (DWORD)ba.size(), &na, nullptr) ||
            !ReadFile(fb, bb.data(), (DWORD)bb.size(), &nb, nullptr) || na != nb) {
            same = false;
            break;
        }
        if (na == 0)
            break;
        same = memcmp(ba.data(), bb.data(), na) == 0;
    }
    if (fa != INVALID_HANDLE_VALUE)
        CloseHandle(fa);
    if (fb != INVALID_HANDLE_VALUE)
        CloseHandle(fb);
    return same;
}

// Reads "<counter> <pid>" from the stamp; false until the file is there.
bool ReadStamp(const std::string &path, long long &counter, DWORD &pid)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char text[64] = "";
    DWORD got = 0;
    bool ok = ReadFile(file, text, sizeof text - 1, &got, nullptr) && got > 0;
    CloseHandle(file);
    if (!ok)
        return false;
    text[got] = '\0';
    unsigned long processId = 0;
    if (sscanf(text, "%lld %lu", &counter, &processId) != 2)
        return false;
    pid = (DWORD)processId;
    return true;
}

void SampleMemory(HANDLE process, Installer &installer)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process, &counters, sizeof counters))
        return;
    installer.peakWorkingSet = std::max(installer.peakWorkingSet, counters.PeakWorkingSetSize);
    installer.maxPrivate = std::max(installer.maxPrivate, counters.PagefileUsage);
}

void EndProcess(HANDLE process, DWORD graceMs)
{
    if (WaitForSingleObject(process, graceMs) == WAIT_OBJECT_0)
        return;
    TerminateProcess(process, 0xBE7C);
    WaitForSingleObject(process, 5000);
}

// The bootstrap ends by itself right after its stamp; waiting for it keeps
// its file from being held while the folder is emptied.
void WaitForBootstrap(DWORD pid)
{
    HANDLE bootstrap = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (bootstrap == nullptr)
        return;
    EndProcess(bootstrap, 5000);
    CloseHandle(bootstrap);
}

// One run: returns the milliseconds from start to bootstrap, or a negative
// value on failure (reported on stdout).
double RunOnce(const Options &o, Installer &installer, int index, bool measure)
{
    if (!EmptyDirectoryPatiently(o.temp)) {
        printf("fail %s %d temp-not-emptied\n", installer.label.c_str(), index);
        return -1;
    }
    DeleteFileA(o.stamp.c_str());

    std::string command = "\"" + installer.exe + "\"";
    if (!installer.args.empty())
        command += " " + installer.args;
    std::vector<char> commandBuffer(command.begin(), command.end());
    commandBuffer.push_back('\0');

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(installer.exe.c_str(), commandBuffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi)) {
        printf("fail %s %d CreateProcess-error-%lu\n", installer.label.c_str(), index, GetLastError());
        return -1;
    }
    CloseHandle(pi.hThread);

    Installer scratch;   // warm-up runs leave the figures alone
    Installer &memory = measure ? installer : scratch;
    long long stamped = 0;
    DWORD bootstrapPid = 0;
    bool seen = false;
    DWORD waitStart = GetTickCount();
    DWORD endedAt = 0;
    bool ended = false;
    for (;;) {
        if (!ended)
            SampleMemory(pi.hProcess, memory);
        if (ReadStamp(o.stamp, stamped, bootstrapPid)) {
            seen = true;
            break;
        }
        DWORD now = GetTickCount();
        if (now - waitStart > o.timeoutMs)
            break;
        // An installer may end right after starting its bootstrap, before
        // the stamp is there; one that ended a while ago started none.
        if (ended && now - endedAt > kAfterEndMs)
            break;
        if (!ended && WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
            ended = true;
            endedAt = now;
        }
        Sleep(kPollMs);
    }
    SampleMemory(pi.hProcess, memory);
    EndProcess(pi.hProcess, kGraceMs);
    CloseHandle(pi.hProcess);
    if (seen)
        WaitForBootstrap(bootstrapPid);
    if (!seen) {
        printf("fail %s %d no-bootstrap-stamp\n", installer.label.c_str(), index);
        return -1;
    }
    if (!measure) {
        for (const auto &file : o.expected) {
            if (!SameContent(o.temp + "\\" + file.first, file.second)) {
                printf("fail %s %d payload-differs-%s\n", installer.label.c_str(), index, file.first.c_str());
                return -1;
            }
        }
    }

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (double)(stamped - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

// Creates `dir` and the folders above it; true when it is there.
bool MakeDirectories(const std::string &dir)
{
    for (size_t at = dir.find('\\', 3); at != std::string::npos; at = dir.find('\\', at + 1))
        CreateDirectoryA(dir.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    DWORD attributes = GetFileAttributesA(dir.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char **argv)
{
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        fprintf(stderr,
                "usage: startup_driver --temp DIR --stamp FILE [--runs N] [--warmup N] [--timeout-ms MS]\n"
                "                      --run \"LABEL|EXE|ARGS\" ...\n");
        return 2;
    }
    if (!MakeDirectories(o.temp)) {
        fprintf(stderr, "startup_driver: cannot create %s\n", o.temp.c_str());
        return 1;
    }
    // Inherited by every installer and, through it, by its bootstrap.
    if (!SetEnvironmentVariableA("TEMP", o.temp.c_str()) || !SetEnvironmentVariableA("TMP", o.temp.c_str()) ||
        !SetEnvironmentVariableA("CORVANE_BENCH_STAMP", o.stamp.c_str())) {
        fprintf(stderr, "startup_driver: cannot set the environment\n");
        return 1;
    }

    int failed = 0;
    for (int round = 0; round < o.warmup + o.runs; round++) {
        bool measure = round >= o.warmup;
        for (Installer &installer : o.installers) {
            double ms = RunOnce(o, installer, round - o.warmup, measure);
            if (ms < 0) {
                installer.failures++;
                failed = 1;
                continue;
            }
            if (measure) {
                installer.ms.push_back(ms);
                printf("run %s %d %.1f %lu %lu\n", installer.label.c_str(), round - o.warmup, ms,
                       (unsigned long)(installer.peakWorkingSet / 1024),
                       (unsigned long)(installer.maxPrivate / 1024));
            }
            fflush(stdout);
        }
    }
    EmptyDirectoryPatiently(o.temp);
    DeleteFileA(o.stamp.c_str());

    for (const Installer &installer : o.installers) {
        if (installer.ms.empty())
            continue;
        printf("result %s %.1f %.1f %.1f %lu %lu %u\n", installer.label.c_str(), Median(installer.ms),
               *std::min_element(installer.ms.begin(), installer.ms.end()),
               *std::max_element(installer.ms.begin(), installer.ms.end()),
               (unsigned long)(installer.peakWorkingSet / 1024), (unsigned long)(installer.maxPrivate / 1024),
               (unsigned)installer.ms.size());
    }
    fflush(stdout);
    return failed;
}
