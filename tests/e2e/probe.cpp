// e2e_probe.dll: loaded by the rig into a launcher before its first
// instruction, to see or shape what the platform tells it where Wine alone
// cannot. It replaces entries of the launcher's own import table only (the
// platform's libraries are untouched) and is configured by the launcher's
// environment:
//   CORVANE_PROBE_REPORT  file the probe appends its lines to
//   CORVANE_PROBE_TICK_SHIFT  unsigned number added to GetTickCount (mod 2^32),
//                         so that the tick count wraps while the launcher runs
//   CORVANE_PROBE_FREE    "D=bytes": drive D reports exactly that many bytes
//                         free; "*=fail": every free-space query fails
//   CORVANE_PROBE_PLANT   ';'-separated library names; at the launcher's first
//                         free-space query (inside its main window creation)
//                         the probe tries LoadLibraryA on each by bare name
//   CORVANE_PROBE_NO_WINDIR  "1": GetWindowsDirectoryA/W fail (return 0)
//   CORVANE_PROBE_NO_SHORT_NAMES  "1": GetShortPathNameW answers as on a volume
//                         that keeps no 8.3 names: with the long path
//   CORVANE_PROBE_READONLY  "1": the Windows directory and the drive roots are
//                         read-only, as for a standard user: CreateFileA
//                         refuses to create a file directly in them
//   CORVANE_PROBE_CPU     "1": a thread appends the process's CPU time every
//                         100 ms ("cpu <tick> <ms>")
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

CRITICAL_SECTION g_lock;
char g_report[MAX_PATH];
DWORD g_tickShift;
char g_freeDrive;  // 0: no change; '*': fail all; else the drive letter
ULONGLONG g_freeBytes;
char g_plant[1024];
LONG g_plantDone;

typedef ULONGLONG(WINAPI *TickCount64Fn)();
TickCount64Fn g_tick64;

DWORD RealTick() {
    return g_tick64 != nullptr ? DWORD(g_tick64()) : GetTickCount();
}

void Append(const char *line) {
    if (g_report[0] == '\0')
        return;
    EnterCriticalSection(&g_lock);
    HANDLE file = CreateFileA(g_report, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, DWORD(strlen(line)), &written, nullptr);
        WriteFile(file, "\n", 1, &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&g_lock);
}

void CheckPlantedLibraries() {
    if (g_plant[0] == '\0' || InterlockedExchange(&g_plantDone, 1) != 0)
        return;
    char names[sizeof g_plant];
    memcpy(names, g_plant, sizeof names);
    for (char *name = strtok(names, ";"); name != nullptr; name = strtok(nullptr, ";")) {
        HMODULE module = LoadLibraryA(name);
        char line[300];
        snprintf(line, sizeof line, "plant %s %s", name, module != nullptr ? "loaded" : "absent");
        Append(line);
        if (module != nullptr)
            FreeLibrary(module);
    }
}

DWORD WINAPI HookGetTickCount() {
    return RealTick() + g_tickShift;
}

bool FreeOverride(LPCSTR root, ULONGLONG &bytes, bool &fail) {
    fail = false;
    if (g_freeDrive == '*') {
        fail = true;
        return true;
    }
    if (g_freeDrive != 0 && root != nullptr && (root[0] | 0x20) == (g_freeDrive | 0x20) && root[1] == ':') {
        bytes = g_freeBytes;
        return true;
    }
    return false;
}

void LogFreeQuery(const char *api, LPCSTR root, const char *answer) {
    char line[400];
    snprintf(line, sizeof line, "free %s %s %s", api, root != nullptr ? root : "(null)", answer);
    Append(line);
}

BOOL WINAPI HookGetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                                  LPDWORD freeClusters, LPDWORD totalClusters) {
    CheckPlantedLibraries();
    ULONGLONG bytes = 0;
    bool fail = false;
    if (FreeOverride(root, bytes, fail)) {
        LogFreeQuery("A", root, fail ? "fail" : "override");
        if (fail) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        // One byte per cluster: the product is exactly the given count.
        if (sectorsPerCluster) *sectorsPerCluster = 1;
        if (bytesPerSector) *bytesPerSector = 1;
        if (freeClusters) *freeClusters = DWORD(bytes);
        if (totalClusters) *totalClusters = DWORD(bytes) + 1000000;
        return TRUE;
    }
    LogFreeQuery("A", root, "real");
    WCHAR wide[MAX_PATH];
    LPCWSTR wideRoot = nullptr;
    if (root != nullptr) {
        if (MultiByteToWideChar(CP_ACP, 0, root, -1, wide, MAX_PATH) == 0) {
            SetLastError(ERROR_INVALID_NAME);
            return FALSE;
        }
        wideRoot = wide;
    }
    return GetDiskFreeSpaceW(wideRoot, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters);
}

BOOL WINAPI HookGetDiskFreeSpaceExA(LPCSTR root, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                    PULARGE_INTEGER totalFree) {
    CheckPlantedLibraries();
    ULONGLONG bytes = 0;
    bool fail = false;
    if (FreeOverride(root, bytes, fail)) {
        LogFreeQuery("ExA", root, fail ? "fail" : "override");
        if (fail) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
        if (available) available->QuadPart = bytes;
        if (total) total->QuadPart = bytes + 1000000;
        if (totalFree) totalFree->QuadPart = bytes;
        return TRUE;
    }
    LogFreeQuery("ExA", root, "real");
    WCHAR wide[MAX_PATH];
    LPCWSTR wideRoot = nullptr;
    if (root != nullptr) {
        if (MultiByteToWideChar(CP_ACP, 0, root, -1, wide, MAX_PATH) == 0) {
            SetLastError(ERROR_INVALID_NAME);
            return FALSE;
        }
        wideRoot = wide;
    }
    return GetDiskFreeSpaceExW(wideRoot, available, total, totalFree);
}

UINT WINAPI HookGetWindowsDirectoryA(LPSTR buffer, UINT size) {
    if (buffer != nullptr && size > 0)
        buffer[0] = '\0';
    Append("windir query failed");
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

UINT WINAPI HookGetWindowsDirectoryW(LPWSTR buffer, UINT size) {
    if (buffer != nullptr && size > 0)
        buffer[0] = L'\0';
    Append("windir query failed");
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
}

// On a volume without 8.3 names the short form of a path is its long form.
DWORD WINAPI HookGetShortPathNameW(LPCWSTR path, LPWSTR out, DWORD cap) {
    Append("short name query: none kept");
    return GetLongPathNameW(path, out, cap);
}

char g_windowsDir[MAX_PATH];  // with a trailing backslash

// 1 when `path` names a file directly in the Windows directory or in a
// drive root (compared without regard to case, through the long form of the
// folder so that a short name is caught too).
bool InReadOnlyFolder(LPCSTR path) {
    const char *slash = path != nullptr ? strrchr(path, '\\') : nullptr;
    if (slash == nullptr)
        return false;
    char folder[MAX_PATH];
    const size_t n = size_t(slash - path) + 1;
    if (n >= sizeof folder)
        return false;
    memcpy(folder, path, n);
    folder[n] = '\0';
    if (n == 3 && folder[1] == ':')
        return true;
    char longFolder[MAX_PATH];
    const DWORD got = GetLongPathNameA(folder, longFolder, sizeof longFolder);
    return _stricmp(got > 0 && got < sizeof longFolder ? longFolder : folder, g_windowsDir) == 0;
}

HANDLE WINAPI HookCreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (disposition != OPEN_EXISTING && InReadOnlyFolder(path)) {
        char line[400];
        snprintf(line, sizeof line, "readonly %s", path);
        Append(line);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return CreateFileA(path, access, share, security, disposition, flags, templateFile);
}

// Replaces, in the main executable's import table, every entry imported by
// that name. Returns the number of entries replaced.
int PatchImport(const char *function, void *hook) {
    BYTE *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return 0;
    int patched = 0;
    for (auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress); d->Name != 0; ++d) {
        if (d->OriginalFirstThunk == 0)
            continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char *>(byName->Name), function) != 0)
                continue;
            DWORD old = 0;
            if (VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) {
                slots->u1.Function = reinterpret_cast<ULONG_PTR>(hook);
                VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
                ++patched;
            }
        }
    }
    return patched;
}

void ReportPatch(const char *function, void *hook) {
    char line[200];
    snprintf(line, sizeof line, "hook %s %d", function, PatchImport(function, hook));
    Append(line);
}

DWORD WINAPI SampleCpu(LPVOID) {
    for (;;) {
        FILETIME created, exited, kernel, user;
        if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
            ULARGE_INTEGER k, u;
            k.LowPart = kernel.dwLowDateTime;
            k.HighPart = kernel.dwHighDateTime;
            u.LowPart = user.dwLowDateTime;
            u.HighPart = user.dwHighDateTime;
            char line[100];
            snprintf(line, sizeof line, "cpu %lu %lu", static_cast<unsigned long>(RealTick()),
                     static_cast<unsigned long>((k.QuadPart + u.QuadPart) / 10000));
            Append(line);
        }
        Sleep(100);
    }
}

void Configure() {
    g_tick64 = reinterpret_cast<TickCount64Fn>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount64")));
    DWORD n = GetEnvironmentVariableA("CORVANE_PROBE_REPORT", g_report, sizeof g_report);
    if (n == 0 || n >= sizeof g_report)
        g_report[0] = '\0';
    Append("probe loaded");

    char text[64];
    n = GetEnvironmentVariableA("CORVANE_PROBE_TICK_SHIFT", text, sizeof text);
    if (n > 0 && n < sizeof text) {
        g_tickShift = DWORD(strtoul(text, nullptr, 10));
        ReportPatch("GetTickCount", reinterpret_cast<void *>(HookGetTickCount));
    }

    n = GetEnvironmentVariableA("CORVANE_PROBE_FREE", text, sizeof text);
    if (n > 0 && n < sizeof text && n >= 3 && text[1] == '=') {
        g_freeDrive = text[0];
        g_freeBytes = strtoull(text + 2, nullptr, 10);
    }
    n = GetEnvironmentVariableA("CORVANE_PROBE_PLANT", g_plant, sizeof g_plant);
    if (n == 0 || n >= sizeof g_plant)
        g_plant[0] = '\0';
    if (g_freeDrive != 0 || g_plant[0] != '\0') {
        ReportPatch("GetDiskFreeSpaceA", reinterpret_cast<void *>(HookGetDiskFreeSpaceA));
        ReportPatch("GetDiskFreeSpaceExA", reinterpret_cast<void *>(HookGetDiskFreeSpaceExA));
    }

    n = GetEnvironmentVariableA("CORVANE_PROBE_NO_WINDIR", text, sizeof text);
    if (n > 0 && n < sizeof text && text[0] == '1') {
        ReportPatch("GetWindowsDirectoryA", reinterpret_cast<void *>(HookGetWindowsDirectoryA));
        ReportPatch("GetWindowsDirectoryW", reinterpret_cast<void *>(HookGetWindowsDirectoryW));
    }

    n = GetEnvironmentVariableA("CORVANE_PROBE_NO_SHORT_NAMES", text, sizeof text);
    if (n > 0 && n < sizeof text && text[0] == '1')
        ReportPatch("GetShortPathNameW", reinterpret_cast<void *>(HookGetShortPathNameW));

    n = GetEnvironmentVariableA("CORVANE_PROBE_READONLY", text, sizeof text);
    if (n > 0 && n < sizeof text && text[0] == '1') {
        const UINT w = GetWindowsDirectoryA(g_windowsDir, sizeof g_windowsDir - 1);
        if (w > 0 && w < sizeof g_windowsDir - 1 && g_windowsDir[w - 1] != '\\')
            strcat(g_windowsDir, "\\");
        ReportPatch("CreateFileA", reinterpret_cast<void *>(HookCreateFileA));
    }

    n = GetEnvironmentVariableA("CORVANE_PROBE_CPU", text, sizeof text);
    if (n > 0 && n < sizeof text && text[0] == '1') {
        HANDLE thread = CreateThread(nullptr, 0, SampleCpu, nullptr, 0, nullptr);
        if (thread != nullptr)
            CloseHandle(thread);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&g_lock);
        Configure();
    }
    return TRUE;
}
