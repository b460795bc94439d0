// Sample bootstrap: the first payload that a medium's launcher expands and
// starts. It stands in for a real setup: it records what it was given, shows
// it, tells the launcher's splash to close, and ends.
//
// Environment (all optional):
//   CORVANE_REPORT          report file; default %TEMP%\corvane-bootstrap.txt
//   CORVANE_CLOSE_DELAY_MS  delay before "SETUP_MSG_LOGOCLOSE_SE" is sent (3000)
//   CORVANE_EXIT_AFTER_MS   time after which the program ends (8000)
//   CORVANE_CLOSE_SCOPE     "all" (default): the close message goes to every
//                           top-level window, as a real setup sends it;
//                           "parent": only to the windows of the process that
//                           started this one (tests that run several media
//                           at once, so that one setup does not close
//                           another's splash)
//   CORVANE_STARTS          file to which each start appends one line, so a
//                           test can count the starts
//
// The report is written and flushed before anything else, in one write, so a
// reader that sees the last line ("end=1") has the whole report.
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char kWindowClass[] = "CorvaneSampleBootstrap";
const UINT_PTR kCloseTimer = 1;
const UINT_PTR kExitTimer = 2;

char g_shown[2048];  // what the window displays
UINT g_closeMessage;

DWORD EnvNumber(const char *name, DWORD fallback) {
    char text[32];
    const DWORD n = GetEnvironmentVariableA(name, text, sizeof text);
    if (n == 0 || n >= sizeof text)
        return fallback;
    char *end = nullptr;
    const unsigned long value = strtoul(text, &end, 10);
    return end == text ? fallback : DWORD(value);
}

void ReportPath(char *out, DWORD cap) {
    const DWORD n = GetEnvironmentVariableA("CORVANE_REPORT", out, cap);
    if (n > 0 && n < cap)
        return;
    char temp[MAX_PATH];
    DWORD t = GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    if (t == 0 || t >= sizeof temp)
        t = GetTempPathA(sizeof temp, temp);
    if (t == 0 || t >= sizeof temp)
        temp[0] = '\0';
    const size_t len = strlen(temp);
    snprintf(out, cap, "%s%scorvane-bootstrap.txt", temp,
             len > 0 && temp[len - 1] != '\\' ? "\\" : "");
}

// Writes the report in one WriteFile and flushes it. Returns 1 on success.
int WriteReport(const char *path, const char *text) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    const DWORD size = DWORD(strlen(text));
    const BOOL ok = WriteFile(file, text, size, &written, nullptr) && written == size &&
                    FlushFileBuffers(file);
    CloseHandle(file);
    return ok ? 1 : 0;
}

void AppendStart() {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("CORVANE_STARTS", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    char line[32];
    const int length = snprintf(line, sizeof line, "start %lu\n", static_cast<unsigned long>(GetCurrentProcessId()));
    DWORD written = 0;
    WriteFile(file, line, DWORD(length), &written, nullptr);
    CloseHandle(file);
}

DWORD ParentProcessId() {
    DWORD parent = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

BOOL CALLBACK PostToWindowOf(HWND window, LPARAM pid) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == DWORD(pid))
        PostMessageA(window, g_closeMessage, 0, 0);
    return TRUE;
}

// Sends the close message to the top-level windows; posting does not block
// on a window that does not answer.
void SendCloseMessage() {
    if (g_closeMessage == 0)
        return;
    char scope[16];
    const DWORD n = GetEnvironmentVariableA("CORVANE_CLOSE_SCOPE", scope, sizeof scope);
    if (n > 0 && n < sizeof scope && lstrcmpiA(scope, "parent") == 0) {
        const DWORD parent = ParentProcessId();
        if (parent != 0)
            EnumWindows(PostToWindowOf, LPARAM(parent));
        return;
    }
    PostMessageA(HWND_BROADCAST, g_closeMessage, 0, 0);
}

LRESULT CALLBACK BootstrapWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        if (wParam == kCloseTimer) {
            KillTimer(window, kCloseTimer);
            SendCloseMessage();
        } else if (wParam == kExitTimer) {
            DestroyWindow(window);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window, &ps);
        RECT area;
        GetClientRect(window, &area);
        InflateRect(&area, -8, -8);
        DrawTextA(dc, g_shown, -1, &area, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        EndPaint(window, &ps);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    const DWORD startTick = GetTickCount();
    char module[MAX_PATH] = "";
    char cwd[MAX_PATH] = "";
    char reportPath[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    GetCurrentDirectoryA(sizeof cwd, cwd);
    ReportPath(reportPath, sizeof reportPath);

    static char report[4096];
    snprintf(report, sizeof report,
             "module=%s\ncmdline=%s\ncwd=%s\ntick=%lu\npid=%lu\nend=1\n", module,
             GetCommandLineA(), cwd, static_cast<unsigned long>(startTick),
             static_cast<unsigned long>(GetCurrentProcessId()));
    WriteReport(reportPath, report);
    AppendStart();

    snprintf(g_shown, sizeof g_shown,
             "Corvane sample bootstrap\n\nProgram: %s\nCommand line: %s\nWorking directory: %s\n"
             "Started at tick %lu\nReport: %s",
             module, GetCommandLineA(), cwd, static_cast<unsigned long>(startTick), reportPath);

    g_closeMessage = RegisterWindowMessageA("SETUP_MSG_LOGOCLOSE_SE");
    const DWORD closeDelay = EnvNumber("CORVANE_CLOSE_DELAY_MS", 3000);
    const DWORD exitAfter = EnvNumber("CORVANE_EXIT_AFTER_MS", 8000);

    WNDCLASSA wc = {};
    wc.lpfnWndProc = BootstrapWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    HWND window = nullptr;
    if (RegisterClassA(&wc))
        window = CreateWindowExA(0, kWindowClass, "Corvane sample bootstrap",
                                 WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU, 40, 40, 560, 220,
                                 nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        // No display: still keep the promised timing, without a window.
        Sleep(closeDelay < exitAfter ? closeDelay : exitAfter);
        SendCloseMessage();
        if (exitAfter > closeDelay)
            Sleep(exitAfter - closeDelay);
        return 0;
    }
    ShowWindow(window, show);
    UpdateWindow(window);
    SetTimer(window, kCloseTimer, closeDelay, nullptr);
    SetTimer(window, kExitTimer, exitAfter, nullptr);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
