// Sample setup engine: the second payload. The launcher only carries and
// expands it (tests compare its bytes); run on its own it answers with its
// version, in a file named by CORVANE_ENGINE_REPORT when that is set, and
// as its exit code (major * 100 + minor).
#include <windows.h>

#include <string.h>

namespace {
const char kVersion[] = "corvane sample engine 1.0\n";
const int kVersionCode = 100;
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("CORVANE_ENGINE_REPORT", path, sizeof path);
    if (n > 0 && n < sizeof path) {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, kVersion, DWORD(strlen(kVersion)), &written, nullptr);
            CloseHandle(file);
        }
    }
    return kVersionCode;
}
