#include "tests/e2e/e2e_support.h"
#include "tests/e2e/library_info.h"

#include <algorithm>
#include <set>
#include <sstream>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace e2e {

const char kBootstrapFile[] = "_INS0366._MP";
const char kEngineFile[] = "_INS0466._MP";
const char kEngineExeFile[] = "_INS0466.EXE";
const char kCompanionFile[] = "_INS0166._MP";

namespace {

std::string FromEnv(const char *name) {
    const std::string value = rig::EnvOr(name, "");
    return value.empty() ? value : rig::WinPath(value);
}

std::string TestFolderName() {
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "case";
    for (char &ch : name)
        if (ch == '/' || ch == '\\' || ch == ':' || ch == ' ')
            ch = '.';
    // Short folder names keep the work directories within what the
    // platform's OpenFile takes (a 128-byte path).
    if (name.size() > 48)
        name = name.substr(0, 12) + "~" + name.substr(name.size() - 35);
    return name;
}

std::string CurrentDirectory() {
    char dir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof dir, dir);
    return dir;
}

// Where the cases' folders go: CORVANE_E2E_CASES, else "cases" here.
std::string CasesFolder() {
    const std::string configured = rig::EnvOr("CORVANE_E2E_CASES", "");
    return configured.empty() ? rig::JoinPath(CurrentDirectory(), "cases") : rig::WinPath(configured);
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool StartsWithNoCase(const std::string &text, const std::string &prefix) {
    return text.size() >= prefix.size() && _strnicmp(text.c_str(), prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

const Originals &Files() {
    static const Originals files = [] {
        Originals f;
        f.setup = FromEnv("CORVANE_E2E_SETUP");
        f.library = FromEnv("CORVANE_E2E_LIBRARY");
        f.script = FromEnv("CORVANE_E2E_SCRIPT");
        f.bootstrap = FromEnv("CORVANE_E2E_BOOTSTRAP");
        f.engine = FromEnv("CORVANE_E2E_ENGINE");
        f.companion = FromEnv("CORVANE_E2E_COMPANION");
        f.probe = FromEnv("CORVANE_E2E_PROBE");
        f.plant = FromEnv("CORVANE_E2E_PLANT");
        f.boxDemo = FromEnv("CORVANE_E2E_BOX_DEMO");
        return f;
    }();
    return files;
}

std::string MissingOriginals() {
    const Originals &f = Files();
    const std::pair<const char *, const std::string *> needed[] = {
        {"CORVANE_E2E_SETUP", &f.setup},         {"CORVANE_E2E_LIBRARY", &f.library},
        {"CORVANE_E2E_SCRIPT", &f.script},       {"CORVANE_E2E_BOOTSTRAP", &f.bootstrap},
        {"CORVANE_E2E_ENGINE", &f.engine},       {"CORVANE_E2E_COMPANION", &f.companion},
        {"CORVANE_E2E_PROBE", &f.probe},         {"CORVANE_E2E_PLANT", &f.plant},
    };
    std::string missing;
    for (const auto &n : needed)
        if (n.second->empty() || !rig::Exists(*n.second))
            missing += std::string(missing.empty() ? "" : ", ") + n.first;
    return missing;
}

std::string FillerName(size_t length, bool withBlank) {
    std::string name;
    for (size_t i = 0; i < length; ++i)
        name += char('a' + i % 26);
    if (withBlank && length >= 3)
        name[1] = ' ';
    return name;
}

namespace {

std::string g_lastCaseRoot;

// Removes the folder of a case that passed; a failed case keeps its folder
// for a look at what the launcher left.
class CaseFolderCleanup : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo &info) override {
        if (!g_lastCaseRoot.empty() && info.result() != nullptr && !info.result()->Failed())
            rig::RemoveTree(g_lastCaseRoot.substr(0, g_lastCaseRoot.size() - 1));
        g_lastCaseRoot.clear();
    }
};

const bool g_cleanupInstalled = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new CaseFolderCleanup);
    return true;
}();

}  // namespace

Case PrepareCase(int content, const std::string &mediumDir) {
    (void)g_cleanupInstalled;
    Case c;
    c.root = rig::WithBackslash(rig::JoinPath(CasesFolder(), TestFolderName()));
    rig::RemoveTree(c.root.substr(0, c.root.size() - 1));
    c.medium = rig::WithBackslash(c.root + mediumDir);
    c.temp = c.root + "temp\\";
    c.report = c.root + "report.txt";
    c.probeReport = c.root + "probe.txt";
    g_lastCaseRoot = c.root;
    EXPECT_TRUE(rig::MakeDirs(c.medium)) << c.medium;
    EXPECT_TRUE(rig::MakeDirs(c.temp)) << c.temp;
    const Originals &f = Files();
    if (content & kLauncher) {
        EXPECT_TRUE(rig::CopyFileTo(f.setup, c.Launcher())) << f.setup;
    }
    if (content & kLibrary) {
        EXPECT_TRUE(rig::CopyFileTo(f.library, c.medium + "_SETUP.DLL")) << f.library;
    }
    if (content & kSetupIns) {
        EXPECT_TRUE(rig::CopyFileTo(f.script, c.medium + "SETUP.INS")) << f.script;
    }
    if (content & kInstallIns) {
        EXPECT_TRUE(rig::CopyFileTo(f.script, c.medium + "INSTALL.INS")) << f.script;
    }
    return c;
}

std::vector<std::string> Result::ProbeLinesStartingWith(const std::string &prefix) const {
    std::vector<std::string> out;
    for (const std::string &line : probeLines)
        if (line.compare(0, prefix.size(), prefix) == 0)
            out.push_back(line);
    return out;
}

int Result::HookCount(const std::string &function) const {
    for (const std::string &line : ProbeLinesStartingWith("hook " + function + " "))
        return atoi(line.c_str() + 6 + function.size());
    return -1;
}

long Result::CpuBetween(DWORD fromTick, DWORD toTick, DWORD *covered) const {
    // On a busy machine the launcher may start after fromTick: the window
    // then begins at its first sample, and *covered says how much was seen.
    long before = -1, after = -1;
    DWORD beforeTick = 0, afterTick = 0;
    for (const std::string &line : ProbeLinesStartingWith("cpu ")) {
        unsigned long tick = 0, ms = 0;
        if (sscanf(line.c_str(), "cpu %lu %lu", &tick, &ms) != 2)
            continue;
        const bool early = int32_t(DWORD(tick) - fromTick) <= 0;
        if (early || (before < 0 && int32_t(DWORD(tick) - toTick) < 0))
            before = long(ms), beforeTick = DWORD(tick);
        if (after < 0 && int32_t(DWORD(tick) - toTick) >= 0)
            after = long(ms), afterTick = DWORD(tick);
    }
    if (before < 0 || after < 0)
        return -1;
    if (covered)
        *covered = afterTick - beforeTick;
    return after - before;
}

DWORD Result::LaunchTick() const {
    auto it = report.find("tick");
    return it == report.end() ? 0 : DWORD(strtoul(it->second.c_str(), nullptr, 10));
}

Result RunLauncher(const Case &c, const Launch &launch) {
    DeleteFileA(c.report.c_str());
    DeleteFileA(c.probeReport.c_str());
    rig::RunOptions o;
    o.program = c.Launcher();
    o.arguments = launch.arguments;
    o.currentDir = c.root;
    o.setEnv["TEMP"] = c.temp.substr(0, c.temp.size() - 1);
    o.setEnv["CORVANE_REPORT"] = c.report;
    o.setEnv["CORVANE_CLOSE_DELAY_MS"] = "300";
    o.setEnv["CORVANE_EXIT_AFTER_MS"] = "1500";
    // Cases run side by side: each bootstrap closes its own launcher's splash only.
    o.setEnv["CORVANE_CLOSE_SCOPE"] = "parent";
    o.setEnv["CORVANE_PROBE_REPORT"] = c.probeReport;
    for (const auto &kv : launch.env)
        o.setEnv[kv.first] = kv.second;
    for (const auto &kv : launch.envWide) {
        o.setEnv.erase(kv.first);
        o.setEnvWide[kv.first] = kv.second;
    }
    for (const std::string &name : launch.unsetEnv) {
        o.setEnv.erase(name);
        o.unsetEnv.push_back(name);
    }
    o.injectDlls = launch.injectDlls;
    o.timeoutMs = launch.timeoutMs;
    o.captureBoxText = launch.captureBoxText;
    const std::string reportPath = c.report;
    const bool stopAtLaunch = !launch.waitForExit;
    auto extra = launch.stopWhen;
    o.stopWhen = [reportPath, stopAtLaunch, extra](const rig::Run &run) {
        if (extra && extra(run))
            return true;
        std::map<std::string, std::string> report;
        return stopAtLaunch && rig::ReadReport(reportPath, report);
    };

    Result r;
    r.run = rig::RunAndWatch(o);
    r.launched = rig::ReadReport(c.report, r.report);
    std::string probeText;
    if (rig::ReadBytes(c.probeReport, probeText))
        r.probeLines = Lines(probeText);
    if (r.launched)
        rig::WaitOrEnd(DWORD(strtoul(r.report["pid"].c_str(), nullptr, 10)), 10000);
    return r;
}

std::string FormatBoxText(const std::string &format, const std::string &argument, size_t cap) {
    std::string out;
    bool used = false;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (format[i + 1] == 's' && !used) {
                out += argument;
                used = true;
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    if (out.size() > cap - 1)
        out.resize(cap - 1);
    return out;
}

// The launcher's error box loads its caption and text through the resource
// module, which the case's library may redirect to its own strings in the
// user's language: the same module, run here, gives the expected texts.
std::string ExpectedCaption(const Case &c) {
    return libinfo::ErrorBoxStrings(c.Launcher(), c.medium + "_SETUP.DLL", 7061).caption;
}

std::string ExpectedText(const Case &c, unsigned id, const std::string *argument) {
    const std::string text = libinfo::ErrorBoxStrings(c.Launcher(), c.medium + "_SETUP.DLL", id).text;
    return argument != nullptr ? FormatBoxText(text, *argument) : text;
}

std::string ExpectedCommand(const Command &command) {
    std::string cmd = rig::QuoteIfSpaces(rig::WithBackslash(command.directory) + command.file);
    cmd += " " + command.copy + " ";
    if (command.z1)
        cmd += " -z1";
    cmd += command.splash ? " -cx" : " -c";
    cmd += " -x" + rig::QuoteIfSpaces(command.directory);
    return cmd;
}

::testing::AssertionResult HoldsExactly(const std::string &dir,
                                        const std::map<std::string, std::string> &fileToOriginal) {
    std::vector<std::string> expected;
    for (const auto &kv : fileToOriginal)
        expected.push_back(kv.first);
    const std::vector<std::string> present = rig::ListNames(dir);
    std::ostringstream why;
    if (present != expected) {
        why << dir << " holds [";
        for (const std::string &n : present)
            why << " " << n;
        why << " ], expected [";
        for (const std::string &n : expected)
            why << " " << n;
        why << " ]";
        return ::testing::AssertionFailure() << why.str();
    }
    for (const auto &kv : fileToOriginal) {
        std::string got, want;
        if (!rig::ReadBytes(rig::JoinPath(dir, kv.first), got))
            return ::testing::AssertionFailure() << "cannot read " << kv.first;
        if (!kv.second.empty() && !rig::ReadBytes(kv.second, want))
            return ::testing::AssertionFailure() << "cannot read the original " << kv.second;
        if (got != want)
            return ::testing::AssertionFailure()
                   << kv.first << " (" << got.size() << " bytes) differs from "
                   << (kv.second.empty() ? std::string("an empty file") : kv.second) << " ("
                   << want.size() << " bytes)";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> LauncherFilesIn(const std::string &dir) {
    std::vector<std::string> out;
    for (const std::string &name : rig::ListNames(dir))
        if (StartsWithNoCase(name, "_INS"))
            out.push_back(name);
    return out;
}

void DeleteLauncherFilesIn(const std::string &dir) {
    for (const std::string &name : LauncherFilesIn(dir))
        DeleteFileA(rig::JoinPath(dir, name).c_str());
}

std::string WindowsDirectory() {
    char dir[MAX_PATH] = "";
    GetWindowsDirectoryA(dir, sizeof dir);
    return rig::WithBackslash(dir);
}

std::wstring Widen(const std::string &ansi) {
    std::wstring out(ansi.size() + 1, L'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &out[0], int(out.size()));
    out.resize(n > 0 ? size_t(n - 1) : 0);
    return out;
}

std::string Narrow(const std::wstring &wide) {
    std::string out(wide.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, &out[0], int(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? size_t(n - 1) : 0);
    return out;
}

std::string MakeFolderWide(const std::string &parent, const std::wstring &name) {
    const std::wstring path = Widen(rig::WithBackslash(parent)) + name;
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return "";
    wchar_t shortPath[MAX_PATH];
    const DWORD n = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return "";
    const std::string ansi = Narrow(shortPath);
    return Widen(ansi) == shortPath ? ansi : "";
}

std::wstring LongPath(const std::string &ansi) {
    wchar_t longPath[MAX_PATH];
    const DWORD n = GetLongPathNameW(Widen(ansi).c_str(), longPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return L"";
    std::wstring out = longPath;
    while (out.size() > 3 && out.back() == L'\\')
        out.pop_back();
    return out;
}

std::vector<std::wstring> NamesWithQuestionMarks(const std::string &dir) {
    std::vector<std::wstring> found;
    std::vector<std::wstring> pending = {Widen(rig::WithBackslash(dir))};
    while (!pending.empty()) {
        const std::wstring folder = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW entry;
        HANDLE h = FindFirstFileW((folder + L"*").c_str(), &entry);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        do {
            const std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            // Wine shows a Unix name with '?' in it with U+F03F in its place.
            if (name.find(L'?') != std::wstring::npos || name.find(wchar_t(0xF03F)) != std::wstring::npos)
                found.push_back(folder + name);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                pending.push_back(folder + name + L"\\");
        } while (FindNextFileW(h, &entry));
        FindClose(h);
    }
    return found;
}

void Measure(const std::string &name, long long value, const char *unit) {
    printf("[ measure  ] %s: %lld %s\n", name.c_str(), value, unit);
    fflush(stdout);
}

std::string Describe(const Result &r) {
    std::ostringstream out;
    out << "\n  started=" << r.run.started << (r.run.error.empty() ? "" : " (" + r.run.error + ")")
        << " exited=" << r.run.exited << " exitCode=0x" << std::hex << r.run.exitCode << std::dec
        << " timedOut=" << r.run.timedOut << " stoppedEarly=" << r.run.stoppedEarly
        << " splashSeen=" << r.run.splashSeen;
    if (r.run.exited)
        out << " ended " << (r.run.exitTick - r.run.startTick) << " ms after start";
    out << "\n  boxes: " << r.run.boxes.size();
    for (const rig::Box &b : r.run.boxes)
        out << "\n    [" << b.caption << "] " << b.text << " (at +" << (b.tick - r.run.startTick) << " ms)";
    out << "\n  launched=" << r.launched;
    if (r.launched)
        out << "\n    module=" << r.report.at("module") << "\n    cmdline=" << r.report.at("cmdline")
            << "\n    at +" << (r.LaunchTick() - r.run.startTick) << " ms";
    for (const std::string &line : r.probeLines)
        if (line.compare(0, 4, "cpu ") != 0)
            out << "\n  probe: " << line;
    return out.str();
}

namespace {

struct WindowQuery {
    DWORD pid;
    const char *cls;
    bool visibleOnly;
    HWND found;
};

BOOL CALLBACK MatchTopWindow(HWND window, LPARAM context) {
    WindowQuery &q = *reinterpret_cast<WindowQuery *>(context);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char cls[64] = "";
    GetClassNameA(window, cls, sizeof cls);
    if ((q.pid == 0 || pid == q.pid) && strcmp(cls, q.cls) == 0 && (!q.visibleOnly || IsWindowVisible(window))) {
        q.found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND FindTopWindow(DWORD pid, const char *cls, bool visibleOnly) {
    WindowQuery q = {pid, cls, visibleOnly, nullptr};
    EnumWindows(MatchTopWindow, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

}  // namespace e2e
