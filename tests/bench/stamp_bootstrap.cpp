// Bootstrap payload of the start-up benchmark: the program an installer
// starts. Its first instruction reads the performance counter (one monotonic
// clock for every process under Wine and Windows), and it writes that value
// and its process id to the file named by CORVANE_BENCH_STAMP (default
// C:\corvane-bench-stamp.txt), then ends. No C runtime: its own start-up
// costs next to nothing, so the figure is the installer's.
//
// The stamp is written under a temporary name and renamed, so a reader that
// sees the file sees all of it: "<counter> <pid>\n".
#include <windows.h>

namespace {

const char kDefaultStamp[] = "C:\\corvane-bench-stamp.txt";

// Appends `value` in decimal at out[*used]; out has room for 20 digits.
void AppendDecimal(char *out, unsigned *used, unsigned long long value)
{
    char digits[20];
    unsigned n = 0;
    do {
        digits[n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value != 0 && n < sizeof digits);
    while (n > 0)
        out[(*used)++] = digits[--n];
}

// Copies `text` and appends `suffix`; 0 when that does not fit `cap` bytes.
int Concat(char *out, unsigned cap, const char *text, const char *suffix)
{
    unsigned used = 0;
    for (const char *p = text; *p != '\0'; p++) {
        if (used + 1 >= cap)
            return 0;
        out[used++] = *p;
    }
    for (const char *p = suffix; *p != '\0'; p++) {
        if (used + 1 >= cap)
            return 0;
        out[used++] = *p;
    }
    out[used] = '\0';
    return 1;
}

int WriteStamp(LARGE_INTEGER started)
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("CORVANE_BENCH_STAMP", path, sizeof path);
    if (n == 0 || n >= sizeof path) {
        if (!Concat(path, sizeof path, kDefaultStamp, ""))
            return 0;
    }
    char partial[MAX_PATH + 8];
    if (!Concat(partial, sizeof partial, path, ".part"))
        return 0;

    char line[48];   // two numbers of at most 20 digits, a blank, a newline
    unsigned used = 0;
    AppendDecimal(line, &used, (unsigned long long)started.QuadPart);
    line[used++] = ' ';
    AppendDecimal(line, &used, GetCurrentProcessId());
    line[used++] = '\n';

    HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    int ok = WriteFile(file, line, used, &written, NULL) && written == used;
    ok = CloseHandle(file) && ok;
    if (ok)
        ok = MoveFileExA(partial, path, MOVEFILE_REPLACE_EXISTING) != 0;
    if (!ok)
        DeleteFileA(partial);
    return ok;
}

}  // namespace

extern "C" void WINAPI Entry()
{
    LARGE_INTEGER started;
    QueryPerformanceCounter(&started);
    ExitProcess(WriteStamp(started) ? 0 : 1);
}
