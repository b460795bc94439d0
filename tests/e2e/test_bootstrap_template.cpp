// The template bootstrap (docs/examples/bootstrap/template.c) as the first
// payload of a medium made by `medium build` with the sample library's
// splash. Once its window is up it closes the launcher's splash, so the
// launcher ends at its first timer tick, not the ninth; it reads the script
// and the work directory the launcher passes, also a work directory with a
// blank (quoted, with the backslash before the closing quote) and INSTALL.INS
// in place of SETUP.INS; at its end it
// deletes the engine and the companion and leaves its own file to be deleted
// at the next restart. CORVANE_E2E_TEMPLATE_MEDIUM names the medium.
#include "tests/e2e/e2e_support.h"

#include <string.h>

#include <algorithm>

namespace {

const char kTemplateClass[] = "CorvaneTemplateSetup";
const DWORD kTick = 15000;       // the launcher's timer period
const DWORD kTimeSlack = 2500;   // start-up, Wine's timers, the rig's polling
const DWORD kSplashMinimum = 1500;  // the launcher's own minimum display time

HWND VisibleWindow(DWORD pid, const char *cls) {
    return e2e::FindTopWindow(pid, cls, true);
}

struct Seen {
    HWND setup = nullptr;     // the template's window
    DWORD setupFirst = 0;     // when it was first seen
    DWORD splashLast = 0;     // when the launcher's splash was last seen
    std::vector<std::string> filesAtStart;
};

// The multi-string of files to delete at the next restart, as one text.
std::string PendingDeletes() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "";
    DWORD size = 0;
    std::string value;
    if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size > 0) {
        value.resize(size);
        if (RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE *>(&value[0]), &size) != ERROR_SUCCESS)
            value.clear();
        std::replace(value.begin(), value.end(), '\0', '\n');
    }
    RegCloseKey(key);
    return value;
}

std::string Lower(std::string s) {
    for (char &ch : s)
        ch = char(tolower(static_cast<unsigned char>(ch)));
    return s;
}

TEST(BootstrapTemplate, ClosesTheSplashReadsItsCommandLineAndCleansUp) {
    E2E_REQUIRE_LAUNCHER();
    const std::string medium = rig::WinPath(rig::EnvOr("CORVANE_E2E_TEMPLATE_MEDIUM", ""));
    ASSERT_FALSE(medium.empty()) << "CORVANE_E2E_TEMPLATE_MEDIUM is not set";
    ASSERT_EQ(VisibleWindow(0, kTemplateClass), nullptr) << "a template setup of an earlier run is still open";

    // A work directory with a blank; a medium with INSTALL.INS, for which
    // the launcher still names SETUP.INS.
    const struct {
        const char *tempName;
        const char *script;
    } cases[] = {{"temp", "SETUP.INS"}, {"my temp", "INSTALL.INS"}};
    for (const auto &row : cases) {
        SCOPED_TRACE(row.tempName);
        const e2e::Case c = e2e::PrepareCase(0);
        for (const char *name : {"setup.exe", "_SETUP.DLL"}) {
            ASSERT_TRUE(rig::CopyFileTo(rig::JoinPath(medium, name), c.medium + name)) << name;
        }
        ASSERT_TRUE(rig::CopyFileTo(rig::JoinPath(medium, "SETUP.INS"), c.medium + row.script));
        const std::string work = c.root + row.tempName + "\\";
        ASSERT_TRUE(rig::MakeDirs(work));

        Seen seen;
        rig::RunOptions o;
        o.program = c.Launcher();
        o.currentDir = c.root;
        o.setEnv["TEMP"] = work.substr(0, work.size() - 1);
        // Without the close message the launcher would run 135 s: the bound
        // ends it long before.
        o.timeoutMs = 60000;
        o.stopWhen = [&seen, &work](const rig::Run &run) {
            if (run.pid == 0)
                return false;
            const DWORD now = GetTickCount();
            if (VisibleWindow(run.pid, "#32770") != nullptr)
                seen.splashLast = now;
            if (seen.setup == nullptr) {
                seen.setup = VisibleWindow(0, kTemplateClass);
                if (seen.setup != nullptr) {
                    seen.setupFirst = now;
                    seen.filesAtStart = e2e::LauncherFilesIn(work);
                }
            }
            return false;
        };
        const rig::Run run = rig::RunAndWatch(o);
        ASSERT_TRUE(run.started) << run.error;
        ASSERT_NE(seen.setup, nullptr) << "the template's window never came up";
        DWORD setupPid = 0;
        GetWindowThreadProcessId(seen.setup, &setupPid);
        HANDLE setupProcess = OpenProcess(SYNCHRONIZE, FALSE, setupPid);
        // A failed check must not leave the template open for the next case.
        struct EndSetup {
            DWORD pid;
            ~EndSetup() { rig::WaitOrEnd(pid, 5000); }
        } endSetup{setupPid};

        EXPECT_TRUE(run.exited && !run.timedOut) << "the launcher did not end by itself";
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_TRUE(run.splashSeen);
        // The splash goes once the minimum display time has passed, and the
        // launcher ends at the first tick after the launch.
        const long splashAfter = long(int32_t(seen.splashLast - seen.setupFirst));
        const long endAfter = long(int32_t(run.exitTick - seen.setupFirst));
        e2e::Measure("splash last seen after the setup's window", splashAfter, "ms");
        e2e::Measure("launcher end after the setup's window", endAfter, "ms");
        EXPECT_LT(splashAfter, long(kSplashMinimum + kTimeSlack));
        EXPECT_LT(endAfter, long(kTick + kTimeSlack));

        std::vector<std::string> all = {e2e::kCompanionFile, e2e::kBootstrapFile, e2e::kEngineFile};
        std::sort(all.begin(), all.end());
        EXPECT_EQ(seen.filesAtStart, all);

        char shown[3 * MAX_PATH] = "";
        GetDlgItemTextA(seen.setup, 100, shown, sizeof shown);
        EXPECT_EQ(std::string(shown),
                  "Installation script: " + c.medium + row.script + "\r\nWork directory: " + work + "\r\nSplash: yes");

        // Finish: the template removes what it can and ends.
        PostMessageA(seen.setup, WM_COMMAND, IDOK, 0);
        ASSERT_NE(setupProcess, nullptr);
        EXPECT_EQ(WaitForSingleObject(setupProcess, 10000), WAIT_OBJECT_0);
        CloseHandle(setupProcess);
        EXPECT_EQ(e2e::LauncherFilesIn(work), std::vector<std::string>{e2e::kBootstrapFile});
        EXPECT_NE(Lower(PendingDeletes()).find(Lower(work + e2e::kBootstrapFile)), std::string::npos)
            << "the bootstrap's own file is not to be deleted at the next restart:\n" << PendingDeletes();
    }
}

}  // namespace
