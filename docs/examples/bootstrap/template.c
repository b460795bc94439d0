/* Template bootstrap for a Corvane medium: the first payload, the program
 * that setup.exe expands and starts. Start from this file and put your
 * installation where run_installation() stands.
 *
 * What it shows:
 *   - reading the command line the launcher builds, with the launcher's own
 *     quoting rule (not the C runtime's: -x"C:\My Temp\" ends in a backslash
 *     before the closing quote, which argv parsing would take for an escaped
 *     quote);
 *   - closing the launcher's splash with the registered message
 *     "SETUP_MSG_LOGOCLOSE_SE" once this program's own window is up;
 *   - removing the files the launcher expanded, at the end: the launcher
 *     never removes them;
 *   - showing the long names of the paths it was given: for a folder named
 *     in a script the ANSI code page lacks, the launcher hands over the
 *     short (8.3) name.
 *
 * Build (MinGW-w64):
 *   i686-w64-mingw32-gcc -Os -s -mwindows -o bootstrap.exe template.c
 */
#include <windows.h>
#include <tlhelp32.h>

#include <stdio.h>
#include <string.h>

/* The names under which the launcher expands its payloads in the work
 * directory (-x); this program itself is _INS0366._MP there. */
static const char kEngineFile[] = "_INS0466._MP";
static const char kEngineExeFile[] = "_INS0466.EXE"; /* when the user gave -e */
static const char kCompanionFile[] = "_INS0166._MP";

static const char kWindowClass[] = "CorvaneTemplateSetup";
enum { kTextId = 100 };

struct launch_options {
    char script[MAX_PATH];   /* -f: the installation script, absolute */
    char work_dir[MAX_PATH]; /* -x: where the payloads were expanded */
    int splash;              /* -cx: the launcher shows a splash; -c: none */
};

static struct launch_options g_options;
static wchar_t g_text[3 * MAX_PATH];

/* Reads one argument as the launcher writes it: in double (or single) quotes
 * up to the closing quote, else up to the next blank. Copies at most cap - 1
 * bytes; sets *fits to 0 when the argument was longer. Returns where the
 * scan goes on. */
static const char *read_argument(const char *p, char *out, size_t cap, int *fits)
{
    char delimiter = ' ';
    size_t used = 0;
    *fits = 1;
    if (*p == '"' || *p == '\'')
        delimiter = *p++;
    for (; *p != '\0' && *p != delimiter; p++) {
        if (used + 1 < cap)
            out[used++] = *p;
        else
            *fits = 0;
    }
    if (cap > 0)
        out[used] = '\0';
    return *p == delimiter && delimiter != ' ' ? p + 1 : p;
}

/* The launcher puts the user's arguments first, then -f<script> (in place of
 * the user's first -f, if any), then -z1 (unless the user gave -z), -c or
 * -cx, and -x<work directory> last. So: the first -f, the last -c and -x.
 * Returns 0 when there is no -x, e.g. when the program was started by hand,
 * or when a path does not fit. */
static int parse_command_line(const char *line, struct launch_options *o)
{
    const char *p = line;
    char scratch[MAX_PATH];
    int have_script = 0, have_work_dir = 0, fits = 1, fitted;

    /* The program's own name. */
    p = read_argument(p, scratch, sizeof scratch, &fitted);
    memset(o, 0, sizeof *o);
    while (*p != '\0') {
        char letter;
        if (*p == ' ' || *p == '\t') {
            p++;
            continue;
        }
        if ((*p != '-' && *p != '/') || p[1] == '\0') {
            p = read_argument(p, scratch, sizeof scratch, &fitted); /* a plain word */
            continue;
        }
        letter = p[1];
        p += 2;
        if ((letter == 'f' || letter == 'F') && !have_script && *p != '1' && *p != '2') {
            p = read_argument(p, o->script, sizeof o->script, &fitted);
            fits = fits && fitted;
            have_script = 1;
        } else if (letter == 'x' || letter == 'X') {
            p = read_argument(p, o->work_dir, sizeof o->work_dir, &fitted);
            fits = fits && fitted;
            have_work_dir = 1;
        } else {
            p = read_argument(p, scratch, sizeof scratch, &fitted);
            if (letter == 'c' || letter == 'C')
                o->splash = scratch[0] == 'x' || scratch[0] == 'X';
        }
    }
    return have_work_dir && fits;
}

/* The process that started this one: the launcher. 0 when not found. */
static DWORD parent_process_id(void)
{
    DWORD parent = 0, self = GetCurrentProcessId();
    PROCESSENTRY32 entry;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (entry.th32ProcessID == self) {
            parent = entry.th32ParentProcessID;
            break;
        }
    }
    CloseHandle(snapshot);
    return parent;
}

struct close_target {
    DWORD pid;
    UINT message;
};

static BOOL CALLBACK post_to_window_of(HWND window, LPARAM context)
{
    const struct close_target *t = (const struct close_target *)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == t->pid)
        PostMessageA(window, t->message, 0, 0);
    return TRUE;
}

/* The splash is a top-level window of the launcher, our parent process: the
 * message goes to that process's top-level windows only, so that another
 * medium's launcher running at the same time keeps its splash. Posted, not
 * sent: the launcher waits out the splash's minimum display time before it
 * hides it, and a sender would wait with it. */
static void close_launcher_splash(void)
{
    struct close_target target;
    target.message = RegisterWindowMessageA("SETUP_MSG_LOGOCLOSE_SE");
    target.pid = parent_process_id();
    if (target.message == 0)
        return;
    if (target.pid != 0)
        EnumWindows(post_to_window_of, (LPARAM)&target);
    else
        PostMessageA(HWND_BROADCAST, target.message, 0, 0);
}

/* With only INSTALL.INS on the medium, the launcher still passes the name
 * SETUP.INS (it accepts either, but names the first): look beside it. */
static void find_script(char *script, size_t cap)
{
    char *name = strrchr(script, '\\');
    if (GetFileAttributesA(script) != INVALID_FILE_ATTRIBUTES || name == NULL ||
        lstrcmpiA(name + 1, "SETUP.INS") != 0 || (size_t)(name + 1 - script) + sizeof "INSTALL.INS" > cap)
        return;
    strcpy(name + 1, "INSTALL.INS");
}

static void delete_in_work_dir(const char *name)
{
    char path[MAX_PATH];
    const size_t n = strlen(g_options.work_dir);
    const char *sep = n > 0 && g_options.work_dir[n - 1] != '\\' ? "\\" : "";
    const int len = snprintf(path, sizeof path, "%s%s%s", g_options.work_dir, sep, name);
    if (len > 0 && (size_t)len < sizeof path)
        DeleteFileA(path);
}

/* The launcher leaves the expanded files behind. The engine and the
 * companion are deleted now (nothing runs from them any more: a real setup
 * waits for its engine first). This program's own file cannot be deleted
 * while it runs: it is deleted at the next restart, which needs
 * administrator rights (the launcher asks for them unless the medium was
 * built with --execution-level asInvoker); without them it stays until a
 * later run of a launcher writes over it. Only the known names are touched:
 * other setups may be using files of their own in the same directory. */
static void remove_expanded_files(void)
{
    /* The wide call: the ANSI one puts '?' for letters the code page lacks. */
    wchar_t self[MAX_PATH];
    const DWORD n = GetModuleFileNameW(NULL, self, MAX_PATH);
    delete_in_work_dir(kEngineFile);
    delete_in_work_dir(kEngineExeFile);
    delete_in_work_dir(kCompanionFile);
    if (n > 0 && n < MAX_PATH)
        MoveFileExW(self, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}

/* The launcher hands over paths in the ANSI code page. A folder whose name
 * that code page cannot hold (a Cyrillic folder on a Western European
 * system, a Greek one on a Japanese system) comes as its short (8.3) name,
 * such as C:\____~QM1\SETUP.INS, in this program's own path, -f and -x alike.
 * Such a path works for every file call as it is; for what the user sees (or
 * what you record, such as an uninstall entry), take the long name. A path
 * that does not exist (yet) is shown as given. */
static void long_name(const char *path, wchar_t *out, DWORD cap)
{
    wchar_t wide[MAX_PATH];
    DWORD n = 0;
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) > 0)
        n = GetLongPathNameW(wide, out, cap);
    if (n == 0 || n >= cap)
        MultiByteToWideChar(CP_ACP, 0, path, -1, out, (int)cap);
}

/* Your installation goes here: read the script, start the engine
 * (work_dir + kEngineFile), copy files, and so on. The template only shows
 * what it was given, by the long names, and waits for Finish. */
static void run_installation(HWND window)
{
    wchar_t script[MAX_PATH], work_dir[MAX_PATH];
    long_name(g_options.script, script, MAX_PATH);
    long_name(g_options.work_dir, work_dir, MAX_PATH);
    _snwprintf(g_text, sizeof g_text / sizeof g_text[0] - 1,
               L"Installation script: %ls\r\nWork directory: %ls\r\nSplash: %ls", script, work_dir,
               g_options.splash ? L"yes" : L"no");
    g_text[sizeof g_text / sizeof g_text[0] - 1] = L'\0';
    SetDlgItemTextW(window, kTextId, g_text);
}

static LRESULT CALLBACK window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_CREATE:
        CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 12, 12, 520, 80, window,
                        (HMENU)(INT_PTR)kTextId, NULL, NULL);
        CreateWindowExA(0, "BUTTON", "Finish", WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 432, 110, 100, 28,
                        window, (HMENU)(INT_PTR)IDOK, NULL, NULL);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK)
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    WNDCLASSA wc;
    HWND window;
    MSG msg;
    (void)previous;
    (void)command_line; /* without the program's name; the whole line is read below */

    if (!parse_command_line(GetCommandLineA(), &g_options)) {
        MessageBoxA(NULL, "Start the installation with setup.exe.", "Example Setup", MB_OK | MB_ICONSTOP);
        return 1;
    }
    find_script(g_options.script, sizeof g_options.script);

    memset(&wc, 0, sizeof wc);
    wc.lpfnWndProc = window_proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassA(&wc))
        return 1;
    window = CreateWindowExA(0, kWindowClass, "Example Setup", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU,
                             CW_USEDEFAULT, CW_USEDEFAULT, 560, 190, NULL, NULL, instance, NULL);
    if (window == NULL)
        return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    /* Our window is up: the splash may go. Until it comes, the launcher keeps
     * its splash on the screen for up to 135 seconds. */
    if (g_options.splash)
        close_launcher_splash();

    run_installation(window);
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    remove_expanded_files();
    return 0;
}
