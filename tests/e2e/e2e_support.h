// Support for the end-to-end cases: media prepared per case in a folder of
// their own, the launcher run under a chosen environment, the texts its boxes
// must show, and the files it must leave.
#pragma once

#include "tests/e2e/rig.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

// Files the cases are made of (Windows paths).
struct Originals {
    std::string setup;      // the launcher
    std::string library;    // sample _SETUP.DLL
    std::string script;     // sample SETUP.INS
    std::string bootstrap;  // payload 7100
    std::string engine;     // payload 7200
    std::string companion;  // payload 7300
    std::string probe;      // e2e_probe.dll
    std::string plant;      // e2e_plant.dll
    std::string boxDemo;    // e2e_box_demo.exe
};
const Originals &Files();
// Empty when the driver was started without the launcher's paths.
std::string MissingOriginals();

// Payload file names in the work directory.
extern const char kBootstrapFile[];  // _INS0366._MP
extern const char kEngineFile[];     // _INS0466._MP
extern const char kEngineExeFile[];  // _INS0466.EXE
extern const char kCompanionFile[];  // _INS0166._MP

enum MediumContent {
    kLauncher = 1,
    kLibrary = 2,
    kSetupIns = 4,
    kInstallIns = 8,
    kFullMedium = kLauncher | kLibrary | kSetupIns,
};

struct Case {
    std::string root;    // the case's own folder, ending in '\'
    std::string medium;  // folder of setup.exe, ending in '\'
    std::string temp;    // the default TEMP of the case, ending in '\'
    std::string report;  // the bootstrap's report file
    std::string probeReport;
    std::string Launcher() const { return medium + "setup.exe"; }
};

// A fresh folder for the running test (named after it), with a medium holding
// the given content in `mediumDir` (relative to the case folder, may hold
// blanks and several levels) and an empty TEMP folder.
Case PrepareCase(int content, const std::string &mediumDir = "medium");
// A folder name made of `length` characters, blanks included where asked.
std::string FillerName(size_t length, bool withBlank);

struct Launch {
    std::string arguments;
    std::map<std::string, std::string> env;  // on top of the case defaults
    std::map<std::string, std::wstring> envWide;  // the same, as UTF-16 (names no code page holds)
    std::vector<std::string> unsetEnv;
    bool waitForExit = false;  // otherwise the run stops once the bootstrap reported
    std::vector<std::string> injectDlls;
    DWORD timeoutMs = 60000;
    std::function<bool(const rig::Run &)> stopWhen;  // in addition to the default
    bool captureBoxText = false;  // see rig::RunOptions
};

struct Result {
    rig::Run run;
    bool launched = false;  // the bootstrap wrote its whole report
    std::map<std::string, std::string> report;
    std::vector<std::string> probeLines;
    // Probe lines that start with the prefix (e.g. "hook GetTickCount").
    std::vector<std::string> ProbeLinesStartingWith(const std::string &prefix) const;
    int HookCount(const std::string &function) const;  // -1 when not reported
    // Process CPU milliseconds the probe sampled between two ticks; -1 when
    // no samples fall on both sides of the interval's end. Where the first
    // sample comes after fromTick, the interval starts there; covered (when
    // given) receives the milliseconds the samples span.
    long CpuBetween(DWORD fromTick, DWORD toTick, DWORD *covered = nullptr) const;
    DWORD LaunchTick() const;  // the bootstrap's start, or 0
};

// Runs the case's launcher. Defaults: TEMP = case temp, CORVANE_REPORT = case
// report, a bootstrap that closes its own launcher's splash (not those of
// other cases running at the same time) after 300 ms and ends after 1500 ms,
// the probe's report in the case folder, current directory = the case
// folder. Waits for the bootstrap to end before returning.
Result RunLauncher(const Case &c, const Launch &launch);

// The caption and text a box of the given message id shows, from the case's
// launcher and resource library as the launcher loads them.
std::string ExpectedCaption(const Case &c);
std::string ExpectedText(const Case &c, unsigned id, const std::string *argument = nullptr);
// Formats as the launcher's error box does: the first "%s" takes the
// argument, "%%" shows "%", any other '%' stands as it is; at most cap - 1
// characters.
std::string FormatBoxText(const std::string &format, const std::string &argument, size_t cap = 300);

// The launched command line of the launcher's form.
struct Command {
    std::string directory;  // where the program is, as LaunchBootstrap gets it
    std::string file = "_INS0366._MP";
    std::string copy;  // the forwarded command-line copy
    bool z1 = true;
    bool splash = false;
};
std::string ExpectedCommand(const Command &command);

// Checks that the folder holds exactly the named payload files, each equal to
// its original ("" as original: the file must be empty).
::testing::AssertionResult HoldsExactly(const std::string &dir,
                                        const std::map<std::string, std::string> &fileToOriginal);
// The launcher's payload files present in a folder (the _INS* names).
std::vector<std::string> LauncherFilesIn(const std::string &dir);
void DeleteLauncherFilesIn(const std::string &dir);

// The first top-level window of class `cls` that process `pid` owns (pid 0:
// any process), visible when `visibleOnly`; null when there is none. The one
// window finder of the e2e cases.
HWND FindTopWindow(DWORD pid, const char *cls, bool visibleOnly);

std::string WindowsDirectory();  // with a trailing backslash

// Names no ANSI code page holds. Under Wine these need a Unix locale that glibc
// knows (LOCPATH), or the names cannot reach the file system.
std::wstring Widen(const std::string &ansi);   // CP_ACP to UTF-16
std::string Narrow(const std::wstring &wide);  // UTF-16 to CP_ACP, best fit as the system does it
// Makes the folder `parent` + `name` (or takes it as it is) and returns its short (8.3) name as
// ANSI text, which names it in any code page; "" on failure.
std::string MakeFolderWide(const std::string &parent, const std::wstring &name);
// The long form of an existing ANSI path (GetLongPathNameW), without a
// trailing backslash; "" when the path names nothing.
std::wstring LongPath(const std::string &ansi);
// Names in the tree below `dir` holding '?' (or Wine's stand-in for it).
std::vector<std::wstring> NamesWithQuestionMarks(const std::string &dir);
// Prints a measurement of the running case ("[ measure  ] name: value unit").
void Measure(const std::string &name, long long value, const char *unit);
std::string Describe(const Result &r);  // for failure messages

}  // namespace e2e

// Ends the test early when the driver was started without the launcher.
#define E2E_REQUIRE_LAUNCHER()                                                   \
    do {                                                                         \
        const std::string missing_ = e2e::MissingOriginals();                    \
        if (!missing_.empty())                                                   \
            GTEST_FAIL() << "driver started without " << missing_;               \
    } while (0)
