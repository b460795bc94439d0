// The template bootstrap (docs/examples/bootstrap/template.c) as the first
// payload of a medium made by `medium build` with the sample library's
// splash. Once its window is up it closes the launcher's splash, so the
// launcher ends at its first timer tick, not the ninth; it reads the script
// and the work directory the launcher passes, also a work directory with a
// blank (quoted, with the backslash before the closing quote), INSTALL.INS
// in place of SETUP.INS, and a medium and TEMP named in a script the code
// page lacks (handed over by their short names, shown by their long ones;
// the ctest entry runs under en_US with its locale compiled); at its end it
// deletes the engine and the companion and leaves its own file to be deleted
// at the next restart. CORVANE_E2E_TEMPLATE_MEDIUM names the medium.
#include "tests/e2e/e2e_support.h"

#include <string.h>
#include <wctype.h>

#include <algorithm>

namespace {

const char kTemplateClass[] = "CorvaneTemplateSetup";
const DWORD kTick = 15000;       // the launcher's timer period
// Which tick ended or released something, not how many milliseconds it took:
// anything within half a tick of the expected one is that tick, however busy
// the machine (start-up, Wine's timers and the rig's polling all add).
const DWORD kTimeSlack = kTick / 2 - 1;
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

std::wstring Lower(std::wstring s) {
    for (wchar_t &ch : s)
        ch = wchar_t(towlower(ch));
    return s;
}

// The multi-string of files to delete at the next restart, as one text in
// lower case.
std::wstring PendingDeletes() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return L"";
    DWORD size = 0;
    std::wstring value;
    if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size > 0) {
        value.resize(size / sizeof(wchar_t));
        if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                             reinterpret_cast<BYTE *>(&value[0]), &size) != ERROR_SUCCESS)
            value.clear();
        std::replace(value.begin(), value.end(), L'\0', L'\n');
    }
    RegCloseKey(key);
    return Lower(value);
}

TEST(BootstrapTemplate, ClosesTheSplashReadsItsCommandLineAndCleansUp) {
    E2E_REQUIRE_LAUNCHER();
    const std::string medium = rig::WinPath(rig::EnvOr("CORVANE_E2E_TEMPLATE_MEDIUM", ""));
    ASSERT_FALSE(medium.empty()) << "CORVANE_E2E_TEMPLATE_MEDIUM is not set";
    ASSERT_EQ(VisibleWindow(0, kTemplateClass), nullptr) << "a template setup of an earlier run is still open";

    // A work directory with a blank; a medium with INSTALL.INS, for which
    // the launcher still names SETUP.INS; a medium and a work directory in
    // Cyrillic folders ("Установка", "Временные").
    const struct {
        const wchar_t *mediumName;
        const wchar_t *tempName;
        const char *script;
    } cases[] = {{L"medium", L"temp", "SETUP.INS"},
                 {L"medium", L"my temp", "INSTALL.INS"},
                 {L"\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u043a\u0430",
                  L"\u0412\u0440\u0435\u043c\u0435\u043d\u043d\u044b\u0435", "SETUP.INS"}};
    for (const auto &row : cases) {
        SCOPED_TRACE(e2e::Narrow(row.tempName));
        e2e::Case c = e2e::PrepareCase(0, "ascii-medium");
        c.medium = rig::WithBackslash(e2e::MakeFolderWide(c.root, row.mediumName));
        ASSERT_FALSE(c.medium.empty()) << "cannot make the medium folder: is the locale compiled (LOCPATH)?";
        for (const char *name : {"setup.exe", "_SETUP.DLL"}) {
            ASSERT_TRUE(rig::CopyFileTo(rig::JoinPath(medium, name), c.medium + name)) << name;
        }
        ASSERT_TRUE(rig::CopyFileTo(rig::JoinPath(medium, "SETUP.INS"), c.medium + row.script));
        const std::string work = rig::WithBackslash(e2e::MakeFolderWide(c.root, row.tempName));
        ASSERT_FALSE(work.empty()) << "cannot make the work folder";
        const std::wstring root = e2e::Widen(c.root);

        Seen seen;
        rig::RunOptions o;
        o.program = c.Launcher();
        o.currentDir = c.root;
        o.setEnvWide["TEMP"] = root + row.tempName;
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

        // By the long names, whatever names the launcher handed over.
        wchar_t shown[3 * MAX_PATH] = L"";
        GetDlgItemTextW(seen.setup, 100, shown, 3 * MAX_PATH);
        EXPECT_TRUE(std::wstring(shown) == L"Installation script: " + root + row.mediumName + L"\\" +
                                               e2e::Widen(row.script) + L"\r\nWork directory: " + root +
                                               row.tempName + L"\\\r\nSplash: yes")
            << e2e::Narrow(shown);

        // Finish: the template removes what it can and ends.
        PostMessageA(seen.setup, WM_COMMAND, IDOK, 0);
        ASSERT_NE(setupProcess, nullptr);
        EXPECT_EQ(WaitForSingleObject(setupProcess, 10000), WAIT_OBJECT_0);
        CloseHandle(setupProcess);
        EXPECT_EQ(e2e::LauncherFilesIn(work), std::vector<std::string>{e2e::kBootstrapFile});
        const std::wstring self = root + row.tempName + L"\\" + e2e::Widen(e2e::kBootstrapFile);
        EXPECT_NE(PendingDeletes().find(Lower(self)), std::wstring::npos)
            << "the bootstrap's own file is not to be deleted at the next restart:\n" << e2e::Narrow(PendingDeletes());
    }
}

}  // namespace
